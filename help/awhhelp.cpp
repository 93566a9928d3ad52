#include "awhhelp.h"

#include "cp932.h"

#include <cstring>

namespace hg::help {

namespace {

// The cookie's value before the viewer has written one.
constexpr std::uint32_t kNoCookie = 0xFFFFFFFFu;
// Outcome of a command that has nothing to report: any non-null window.
constexpr HelpWindow kNothingToReport = ~HelpWindow(0);
constexpr unsigned MB_ICONERROR = 16;

#ifdef _WIN32
constexpr std::string_view kExtDelimiters = ".\\:";
#else
constexpr std::string_view kExtDelimiters = ".\\:/";
#endif

// One code point of zero-terminated UTF-16, or U+FFFD for a lone surrogate.
char32_t NextCodePoint(const HelpWideChar*& p)
{
    const char32_t c = *p++;
    if (c >= 0xD800 && c <= 0xDBFF && *p >= 0xDC00 && *p <= 0xDFFF)
        return 0x10000 + ((c - 0xD800) << 10) + (char32_t(*p++) - 0xDC00);
    if (c >= 0xD800 && c <= 0xDFFF)
        return 0xFFFD;
    return c;
}

void AppendUtf8(std::string& out, char32_t c)
{
    if (c < 0x80) {
        out += char(c);
    } else if (c < 0x800) {
        out += char(0xC0 | (c >> 6));
        out += char(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += char(0xE0 | (c >> 12));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    } else {
        out += char(0xF0 | (c >> 18));
        out += char(0x80 | ((c >> 12) & 0x3F));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    }
}

// The description in code page 932; a character that it lacks becomes "?", as the system's
// wide-to-ANSI conversion does.
std::string WideToCp932(const HelpWideChar* text)
{
    std::string out;
    while (*text) {
        std::string one;
        AppendUtf8(one, NextCodePoint(text));
        out += cp932::TryFromUtf8(one).value_or("?");
    }
    return out;
}

} // namespace

std::string_view ExtractFileExt(std::string_view path) noexcept
{
    const std::size_t at = cp932::LastDelimiter(path, kExtDelimiters);
    if (at == std::string_view::npos || path[at] != '.')
        return {};
    return path.substr(at);
}

std::string ChangeFileExt(std::string_view path, std::string_view ext)
{
    const std::size_t at = cp932::LastDelimiter(path, kExtDelimiters);
    const std::size_t keep = at != std::string_view::npos && path[at] == '.' ? at : path.size();
    std::string result(path.substr(0, keep));
    result += ext;
    return result;
}

THTMLHelp::THTMLHelp(IHelpApplication& application, IHtmlHelpViewer& viewer)
    : FApplication(application), FViewer(viewer), FCookie(kNoCookie), FAutoInstall(true)
{
}

THTMLHelp::~THTMLHelp()
{
    // The application may go on without us: leave it no handler that points here.
    if (const Handler* installed = FApplication.OnHelp().target<Handler>(); installed && installed->self == this)
        FApplication.SetOnHelp(nullptr);
}

void THTMLHelp::Loaded(bool designing)
{
    if (FAutoInstall && !designing)
        FApplication.SetOnHelp(Handler{this});
}

void THTMLHelp::InitHelp()
{
    if (FCookie == kNoCookie)
        FViewer.HtmlHelpA(0, nullptr, HH_INITIALIZE, reinterpret_cast<std::uintptr_t>(&FCookie));
}

bool THTMLHelp::HelpHandler(std::uint16_t command, std::int32_t data, bool& callHelp)
{
    InitHelp();
    const HelpWindow owner = FViewer.GetDesktopWindow();

    std::string helpFile = FApplication.CurrentHelpFile();
    if (helpFile.empty())
        helpFile = ChangeFileExt(FApplication.ExeName(), ".chm");
    if (!cp932::EqualsIgnoreAsciiCase(ExtractFileExt(helpFile), ".chm"))
        return false; // not ours: the application's own help handling goes on

    callHelp = false;
    // The datum as HtmlHelpA's DWORD takes it: the 32 bits as they are, never sign-extended.
    const auto datum = static_cast<std::uintptr_t>(static_cast<std::uint32_t>(data));
    HelpWindow outcome = kNothingToReport;
    switch (command) {
    case HELP_CONTEXT:
        outcome = FViewer.HtmlHelpA(owner, helpFile.c_str(), HH_HELP_CONTEXT, datum);
        break;
    case HELP_CONTENTS:
    case HELP_FINDER:
        outcome = FViewer.HtmlHelpA(owner, helpFile.c_str(), HH_DISPLAY_TOPIC, 0);
        break;
    case HELP_CONTEXTPOPUP:
        if (FViewer.HtmlHelpA(owner, helpFile.c_str(), HH_HELP_CONTEXT, datum) == 0) {
            HH_POPUP popup;
            std::memset(&popup, 0, sizeof popup);
            popup.cbStruct = static_cast<std::int32_t>(sizeof popup);
            popup.hinst = nullptr;
            popup.idString = static_cast<std::uint32_t>(data);
            popup.pszText = nullptr;
            popup.pt = {FPopupX, FPopupY};
            popup.clrForeground = 0xFFFFFFFFu;
            popup.clrBackground = 0xFFFFFFFFu;
            popup.rcMargins = {-1, -1, -1, -1};
            popup.pszFont = nullptr;
            const std::string popupFile = helpFile + "::/cshelp.txt";
            FViewer.HtmlHelpA(FApplication.ActiveFormWindow(), popupFile.c_str(), HH_DISPLAY_TEXT_POPUP,
                              reinterpret_cast<std::uintptr_t>(&popup));
        }
        return false; // a topic that failed on this path is never reported
    case HELP_SETPOPUP_POS:
        FPopupX = static_cast<std::int32_t>(static_cast<std::uint32_t>(data) & 0xFFFFu);
        FPopupY = static_cast<std::int32_t>(static_cast<std::uint32_t>(data) >> 16);
        break;
    default:
        break;
    }

    if (outcome == 0)
        ShowLastError(owner);
    return false;
}

void THTMLHelp::ShowLastError(HelpWindow owner)
{
    HH_LAST_ERROR lastError;
    std::memset(&lastError, 0, sizeof lastError);
    lastError.cbStruct = static_cast<std::int32_t>(sizeof lastError);
    FViewer.HtmlHelpA(owner, nullptr, HH_GET_LAST_ERROR, reinterpret_cast<std::uintptr_t>(&lastError));
    if (lastError.hr < 0 && lastError.description != nullptr)
        FApplication.MessageBox(WideToCp932(lastError.description), FApplication.Title(), MB_ICONERROR);
    // Whatever the viewer handed out is ours to release, shown or not.
    if (lastError.description != nullptr)
        FViewer.SysFreeString(lastError.description);
}

} // namespace hg::help
