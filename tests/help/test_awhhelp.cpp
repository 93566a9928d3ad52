// The help bridge against a fake application and a fake viewer: which file, which viewer
// command with which datum, which popup record, and when a failure is shown.
#include "awhhelp.h"
#include "cp932.h"
#include "helpviewer.h"

#include <gtest/gtest.h>

#include <cstring>
#include <optional>
#include <string>
#include <vector>

namespace hg::help {
namespace {

constexpr HelpWindow kDesktop = 0xDE5C;
constexpr HelpWindow kActiveForm = 0xF0F0;
constexpr HelpWindow kViewerWindow = 0x7777;

struct ShownBox {
    std::string text, caption;
    unsigned flags;
};

class FakeApplication final : public IHelpApplication {
public:
    void SetOnHelp(HelpEvent handler) override { onHelp = std::move(handler); }
    const HelpEvent& OnHelp() const override { return onHelp; }
    // As the application does it: the handler first; the own help handling only while
    // callHelp is still set.
    bool HelpCommand(std::uint16_t command, std::int32_t data) override
    {
        bool callHelp = true;
        bool result = false;
        if (onHelp)
            result = onHelp(command, data, callHelp);
        if (!callHelp)
            return result;
        ++ownHelpHandling;
        return false;
    }
    std::string CurrentHelpFile() const override { return currentHelpFile; }
    std::string ExeName() const override { return exeName; }
    std::string Title() const override { return title; }
    int MessageBox(const std::string& text, const std::string& caption, unsigned flags) override
    {
        boxes.push_back({text, caption, flags});
        return 1;
    }
    HelpWindow ActiveFormWindow() const override { return kActiveForm; }

    HelpEvent onHelp;
    std::string currentHelpFile;
    std::string exeName = "C:\\Tools\\X.exe";
    std::string title = "Title";
    std::vector<ShownBox> boxes;
    int ownHelpHandling = 0;
};

struct ViewerCall {
    HelpWindow caller;
    std::optional<std::string> file;
    unsigned command;
    std::uintptr_t data;
};

class FakeViewer final : public IHtmlHelpViewer {
public:
    HelpWindow HtmlHelpA(HelpWindow caller, const char* file, unsigned command, std::uintptr_t data) override
    {
        calls.push_back({caller, file ? std::optional<std::string>(file) : std::nullopt, command, data});
        switch (command) {
        case HH_INITIALIZE:
            if (writesCookie)
                *reinterpret_cast<std::uint32_t*>(data) = 0x1234;
            return 0;
        case HH_DISPLAY_TOPIC:
        case HH_HELP_CONTEXT:
            return topicWindow;
        case HH_DISPLAY_TEXT_POPUP:
            popups.push_back(*reinterpret_cast<const HH_POPUP*>(data));
            return popupWindow;
        case HH_GET_LAST_ERROR: {
            auto* record = reinterpret_cast<HH_LAST_ERROR*>(data);
            lastErrorSize = record->cbStruct;
            record->hr = hr;
            if (description) {
                record->description = new HelpWideChar[description->size() + 1]{};
                std::memcpy(record->description, description->c_str(), description->size() * sizeof(HelpWideChar));
                ++handedOut;
            }
            return 0;
        }
        default:
            return 0;
        }
    }
    HelpWindow GetDesktopWindow() override { return kDesktop; }
    void SysFreeString(HelpWideChar* text) override
    {
        if (text)
            ++freed;
        delete[] text;
    }

    std::vector<unsigned> Commands() const
    {
        std::vector<unsigned> out;
        for (const auto& call : calls)
            out.push_back(call.command);
        return out;
    }

    bool writesCookie = true;
    HelpWindow topicWindow = kViewerWindow;
    HelpWindow popupWindow = 0x5555;
    std::int32_t hr = 0;
    std::optional<std::u16string> description;
    std::int32_t lastErrorSize = 0;
    int handedOut = 0;
    int freed = 0;
    std::vector<ViewerCall> calls;
    std::vector<HH_POPUP> popups;
};

class HtmlHelpTest : public ::testing::Test {
protected:
    // Lets the first request initialise the viewer, so that the calls seen afterwards are the
    // request's own.
    void Initialise()
    {
        bool callHelp = true;
        Request(0, 0, callHelp);
        viewer.calls.clear();
    }

    // Runs one request through the installed handler, as the help button does.
    bool Request(std::uint16_t command, std::int32_t data, bool& callHelp)
    {
        return bridge.HelpHandler(command, data, callHelp);
    }

    FakeApplication app;
    FakeViewer viewer;
    THTMLHelp bridge{app, viewer};
};

TEST(HelpFileExt, FollowsTheLastDotAfterTheLastSeparator)
{
    struct Case {
        const char* path;
        const char* ext;
        const char* changed;
    } const cases[] = {
        {"C:\\Tools\\X.exe", ".exe", "C:\\Tools\\X.chm"},
        {"C:\\Tools\\X", "", "C:\\Tools\\X.chm"},
        {"C:\\a.b\\manual", "", "C:\\a.b\\manual.chm"},
        {"C:X.tar.gz", ".gz", "C:X.tar.chm"},
        {"D:.hidden", ".hidden", "D:.chm"},
        {"/opt/hana.gumo/Hanagumo", "", "/opt/hana.gumo/Hanagumo.chm"},
        {"X.", ".", "X.chm"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(ExtractFileExt(c.path), c.ext);
        EXPECT_EQ(ChangeFileExt(c.path, ".chm"), c.changed);
    }
}

TEST(HelpFileExt, TrailByteThatLooksLikeABackslashIsNoSeparator)
{
    // 表 is 95 5C: its trail byte must not hide the dot in front of it.
    const std::string path = cp932::FromUtf8("C:\\Tools\\X.表");
    EXPECT_EQ(ExtractFileExt(path), cp932::FromUtf8(".表"));
    EXPECT_EQ(ChangeFileExt(path, ".chm"), "C:\\Tools\\X.chm");
}

TEST_F(HtmlHelpTest, ResolvesTheHelpFileAndTakesOnlyChm)
{
    struct Case {
        const char* current;
        const char* exe;
        const char* file; // nullptr: not taken
    } const cases[] = {
        {"", "C:\\Tools\\X.exe", "C:\\Tools\\X.chm"},
        {"", "/opt/hana.gumo/Hanagumo", "/opt/hana.gumo/Hanagumo.chm"},
        {"C:\\Help\\Manual.CHM", "C:\\Tools\\X.exe", "C:\\Help\\Manual.CHM"},
        {"C:\\Help\\Manual.Chm", "C:\\Tools\\X.exe", "C:\\Help\\Manual.Chm"},
        {"C:\\Help\\Manual.hlp", "C:\\Tools\\X.exe", nullptr},
        {"C:\\a.b\\manual", "C:\\Tools\\X.exe", nullptr},
        {"C:\\Help\\Manual.chm.txt", "C:\\Tools\\X.exe", nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.current) + " | " + c.exe);
        FakeApplication application;
        application.currentHelpFile = c.current;
        application.exeName = c.exe;
        FakeViewer fake;
        THTMLHelp help(application, fake);
        bool callHelp = true;
        EXPECT_FALSE(help.HelpHandler(HELP_FINDER, 0, callHelp));
        if (c.file) {
            EXPECT_FALSE(callHelp);
            ASSERT_EQ(fake.Commands(), (std::vector<unsigned>{HH_INITIALIZE, HH_DISPLAY_TOPIC}));
            EXPECT_EQ(fake.calls[1].caller, kDesktop);
            EXPECT_EQ(fake.calls[1].file, c.file);
            EXPECT_EQ(fake.calls[1].data, 0u);
        } else {
            EXPECT_TRUE(callHelp);
            EXPECT_EQ(fake.Commands(), std::vector<unsigned>{HH_INITIALIZE});
        }
    }
}

TEST_F(HtmlHelpTest, CommandsWithoutViewerCallStillClearCallHelp)
{
    Initialise();
    for (std::uint16_t command : {0, 2, 9, 12, 14, 100, 65535}) {
        SCOPED_TRACE(command);
        bool callHelp = true;
        EXPECT_FALSE(Request(command, 42, callHelp));
        EXPECT_FALSE(callHelp);
        EXPECT_TRUE(viewer.calls.empty());
    }
    EXPECT_TRUE(app.boxes.empty());
}

TEST_F(HtmlHelpTest, ChoosesTheViewerCommandAndDatum)
{
    struct Case {
        std::uint16_t command;
        std::int32_t data;
        unsigned viewerCommand;
        std::uintptr_t datum;
    } const cases[] = {
        {HELP_CONTEXT, 1001, HH_HELP_CONTEXT, 1001},
        {HELP_CONTEXT, -1, HH_HELP_CONTEXT, 0xFFFFFFFFu}, // the DWORD as it is, not sign-extended
        {HELP_CONTENTS, 77, HH_DISPLAY_TOPIC, 0},
        {HELP_FINDER, 77, HH_DISPLAY_TOPIC, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.command);
        viewer.calls.clear();
        bool callHelp = true;
        EXPECT_FALSE(Request(c.command, c.data, callHelp));
        EXPECT_FALSE(callHelp);
        const ViewerCall& call = viewer.calls.back();
        EXPECT_EQ(call.command, c.viewerCommand);
        EXPECT_EQ(call.data, c.datum);
        EXPECT_EQ(call.caller, kDesktop);
        EXPECT_EQ(call.file, "C:\\Tools\\X.chm");
    }
}

TEST_F(HtmlHelpTest, ContextPopupFallsBackToTextPopupWithItsRecord)
{
    viewer.topicWindow = 0;
    bool callHelp = true;
    EXPECT_FALSE(Request(HELP_CONTEXTPOPUP, 1002, callHelp));
    EXPECT_FALSE(callHelp);
    ASSERT_EQ(viewer.Commands(), (std::vector<unsigned>{HH_INITIALIZE, HH_HELP_CONTEXT, HH_DISPLAY_TEXT_POPUP}));
    EXPECT_EQ(viewer.calls[1].caller, kDesktop);
    EXPECT_EQ(viewer.calls[1].data, 1002u);
    EXPECT_EQ(viewer.calls[2].caller, kActiveForm);
    EXPECT_EQ(viewer.calls[2].file, "C:\\Tools\\X.chm::/cshelp.txt");

    ASSERT_EQ(viewer.popups.size(), 1u);
    const HH_POPUP& p = viewer.popups[0];
    EXPECT_EQ(p.cbStruct, std::int32_t(sizeof(HH_POPUP)));
    EXPECT_EQ(p.hinst, nullptr);
    EXPECT_EQ(p.idString, 1002u);
    EXPECT_EQ(p.pszText, nullptr);
    EXPECT_EQ(p.pt.x, 0); // no position received yet
    EXPECT_EQ(p.pt.y, 0);
    EXPECT_EQ(p.clrForeground, 0xFFFFFFFFu);
    EXPECT_EQ(p.clrBackground, 0xFFFFFFFFu);
    EXPECT_EQ(p.rcMargins.left, -1);
    EXPECT_EQ(p.rcMargins.top, -1);
    EXPECT_EQ(p.rcMargins.right, -1);
    EXPECT_EQ(p.rcMargins.bottom, -1);
    EXPECT_EQ(p.pszFont, nullptr);
}

TEST_F(HtmlHelpTest, ContextPopupShowsNoPopupWhenTheTopicOpens)
{
    bool callHelp = true;
    Request(HELP_CONTEXTPOPUP, 1001, callHelp);
    EXPECT_EQ(viewer.Commands(), (std::vector<unsigned>{HH_INITIALIZE, HH_HELP_CONTEXT}));
}

TEST_F(HtmlHelpTest, ContextPopupNeverReportsAFailure)
{
    viewer.topicWindow = 0;
    viewer.popupWindow = 0;
    viewer.hr = std::int32_t(0x80004005u);
    viewer.description = u"failed";
    bool callHelp = true;
    EXPECT_FALSE(Request(HELP_CONTEXTPOPUP, 5, callHelp));
    EXPECT_EQ(viewer.Commands().back(), HH_DISPLAY_TEXT_POPUP);
    EXPECT_TRUE(app.boxes.empty());
}

TEST_F(HtmlHelpTest, SetPopupPosStoresUnsignedHalvesForLaterPopups)
{
    struct Case {
        std::int32_t data;
        std::int32_t x, y;
    } const cases[] = {
        {(200 << 16) | 100, 100, 200},
        {-1, 65535, 65535},
        {std::int32_t(0x8000FFFEu), 65534, 32768},
    };
    viewer.topicWindow = 0;
    Initialise();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.data);
        viewer.calls.clear();
        bool callHelp = true;
        EXPECT_FALSE(Request(HELP_SETPOPUP_POS, c.data, callHelp));
        EXPECT_FALSE(callHelp);
        EXPECT_TRUE(viewer.calls.empty());
        Request(HELP_CONTEXTPOPUP, 7, callHelp);
        EXPECT_EQ(viewer.popups.back().pt.x, c.x);
        EXPECT_EQ(viewer.popups.back().pt.y, c.y);
    }
}

TEST_F(HtmlHelpTest, InitialisesOnceACookieIsWritten)
{
    bool callHelp = true;
    Request(HELP_FINDER, 0, callHelp);
    Request(HELP_FINDER, 0, callHelp);
    EXPECT_EQ(viewer.Commands(), (std::vector<unsigned>{HH_INITIALIZE, HH_DISPLAY_TOPIC, HH_DISPLAY_TOPIC}));
    const ViewerCall& init = viewer.calls[0];
    EXPECT_EQ(init.caller, 0u);
    EXPECT_FALSE(init.file.has_value());
    EXPECT_NE(init.data, 0u);
}

TEST_F(HtmlHelpTest, RetriesInitialisationWhileNoCookieIsWritten)
{
    viewer.writesCookie = false;
    bool callHelp = true;
    Request(HELP_FINDER, 0, callHelp);
    Request(0, 0, callHelp);
    viewer.writesCookie = true;
    Request(HELP_FINDER, 0, callHelp);
    Request(HELP_FINDER, 0, callHelp);
    EXPECT_EQ(viewer.Commands(), (std::vector<unsigned>{HH_INITIALIZE, HH_DISPLAY_TOPIC, HH_INITIALIZE, HH_INITIALIZE,
                                                        HH_DISPLAY_TOPIC, HH_DISPLAY_TOPIC}));
}

TEST_F(HtmlHelpTest, ShowsTheViewerErrorOnlyForAFailureWithADescription)
{
    struct Case {
        const char* name;
        HelpWindow topicWindow;
        std::int32_t hr;
        std::optional<std::u16string> description;
        bool queried, shown;
    } const cases[] = {
        {"failure with text", 0, std::int32_t(0x80004005u), u"トピックが見つかりません", true, true},
        {"failure without text", 0, std::int32_t(0x80004005u), std::nullopt, true, false},
        {"success code with text", 0, 0, u"ok", true, false},
        {"positive code with text", 0, 1, u"ok", true, false},
        {"window opened", kViewerWindow, std::int32_t(0x80004005u), u"stale", false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FakeApplication application;
        application.title = cp932::FromUtf8("ころころ帳");
        FakeViewer fake;
        fake.topicWindow = c.topicWindow;
        fake.hr = c.hr;
        fake.description = c.description;
        THTMLHelp help(application, fake);
        bool callHelp = true;
        EXPECT_FALSE(help.HelpHandler(HELP_CONTEXT, 3, callHelp));

        const bool queried = fake.Commands().back() == HH_GET_LAST_ERROR;
        EXPECT_EQ(queried, c.queried);
        if (queried) {
            EXPECT_EQ(fake.calls.back().caller, kDesktop);
            EXPECT_FALSE(fake.calls.back().file.has_value());
            EXPECT_EQ(fake.lastErrorSize, std::int32_t(sizeof(HH_LAST_ERROR)));
        }
        ASSERT_EQ(application.boxes.size(), c.shown ? 1u : 0u);
        if (c.shown) {
            EXPECT_EQ(application.boxes[0].text, cp932::FromUtf8("トピックが見つかりません"));
            EXPECT_EQ(application.boxes[0].caption, cp932::FromUtf8("ころころ帳"));
            EXPECT_EQ(application.boxes[0].flags, 16u);
        }
        EXPECT_EQ(fake.freed, fake.handedOut);
    }
}

TEST_F(HtmlHelpTest, DescriptionOutsideCodePage932BecomesQuestionMarks)
{
    viewer.topicWindow = 0;
    viewer.hr = std::int32_t(0x80004005u);
    viewer.description = u"caf\u00e9 \U0001F600 'a.chm'";
    bool callHelp = true;
    Request(HELP_FINDER, 0, callHelp);
    ASSERT_EQ(app.boxes.size(), 1u);
    EXPECT_EQ(app.boxes[0].text, "caf? ? 'a.chm'");
}

TEST(HtmlHelpInstall, LoadedReplacesTheHandlerUnlessDisabled)
{
    struct Case {
        const char* name;
        bool autoInstall, designing, installed;
    } const cases[] = {
        {"default", true, false, true},
        {"AutoInstall off", false, false, false},
        {"designing", true, true, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FakeApplication application;
        int earlierCalls = 0;
        application.SetOnHelp([&](std::uint16_t, std::int32_t, bool&) { return ++earlierCalls, false; });
        FakeViewer fake;
        THTMLHelp help(application, fake);
        EXPECT_TRUE(help.AutoInstall());
        help.SetAutoInstall(c.autoInstall);
        help.Loaded(c.designing);

        EXPECT_FALSE(application.HelpCommand(HELP_FINDER, 0));
        if (c.installed) {
            EXPECT_EQ(earlierCalls, 0); // replaced, not chained
            EXPECT_EQ(application.ownHelpHandling, 0);
            EXPECT_EQ(fake.Commands(), (std::vector<unsigned>{HH_INITIALIZE, HH_DISPLAY_TOPIC}));
        } else {
            EXPECT_EQ(earlierCalls, 1);
            EXPECT_EQ(application.ownHelpHandling, 1);
            EXPECT_TRUE(fake.calls.empty());
        }
    }
}

TEST(HtmlHelpInstall, ResultIsFalseEvenWhenTheViewerOpenedItsWindow)
{
    FakeApplication application;
    FakeViewer fake;
    THTMLHelp help(application, fake);
    help.Loaded();
    EXPECT_FALSE(application.HelpCommand(HELP_FINDER, 0));
    EXPECT_FALSE(application.HelpCommand(HELP_CONTEXT, 1));
    EXPECT_EQ(application.ownHelpHandling, 0);
}

TEST(HtmlHelpInstall, DestroyedBridgeTakesOnlyItsOwnHandlerBack)
{
    FakeApplication application;
    FakeViewer fake;
    {
        THTMLHelp help(application, fake);
        help.Loaded();
    }
    EXPECT_FALSE(application.OnHelp());

    int laterCalls = 0;
    {
        THTMLHelp help(application, fake);
        help.Loaded();
        application.SetOnHelp([&](std::uint16_t, std::int32_t, bool&) { return ++laterCalls, false; });
    }
    application.HelpCommand(HELP_FINDER, 0);
    EXPECT_EQ(laterCalls, 1);
}

TEST(HtmlHelpInstall, BuildWithoutAViewerSaysWhyNoHelpAppears)
{
    // Linked here: the viewer of a build without chmlib.
    FakeApplication application;
    const auto viewer = CreateHtmlHelpViewer();
    THTMLHelp help(application, *viewer);
    help.Loaded();
    EXPECT_FALSE(application.HelpCommand(HELP_FINDER, 0));
    ASSERT_EQ(application.boxes.size(), 1u);
    EXPECT_EQ(application.boxes[0].text, cp932::FromUtf8("このシステムではヘルプを表示できません"));
    EXPECT_EQ(application.boxes[0].flags, 16u);
}

} // namespace
} // namespace hg::help
