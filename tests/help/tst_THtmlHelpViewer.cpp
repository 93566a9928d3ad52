// Our HTML Help viewer on the offscreen platform, on the built Hanagumo.chm: the commands the
// bridge sends, the failures it reports, links and resources inside the window, and the bridge
// and viewer together.
#include "awhhelp.h"
#include "cp932.h"
#include "hhviewer.h"
#include "quitswhenclosed.h"

#include <QApplication>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QScreen>
#include <QTimer>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBrowser>
#include <QTreeWidget>

#include <memory>
#include <vector>

using namespace hg::help;
namespace cp932 = hg::cp932;

namespace {

const std::string kHelpFile = HG_HELP_FILE; // an ASCII path: the same in code page 932

struct LastErrorSeen {
    std::int32_t hr;
    QString description;
};

LastErrorSeen QueryLastError(THtmlHelpViewer& viewer)
{
    HH_LAST_ERROR record{};
    record.cbStruct = sizeof record;
    viewer.HtmlHelpA(0, nullptr, HH_GET_LAST_ERROR, reinterpret_cast<std::uintptr_t>(&record));
    LastErrorSeen seen{record.hr, {}};
    if (record.description)
        seen.description = QString::fromUtf16(record.description);
    viewer.SysFreeString(record.description);
    return seen;
}

HH_POPUP PopupRecord(std::uint32_t id, int x, int y)
{
    HH_POPUP popup{};
    popup.cbStruct = sizeof popup;
    popup.idString = id;
    popup.pt = {x, y};
    popup.clrForeground = popup.clrBackground = 0xFFFFFFFFu;
    popup.rcMargins = {-1, -1, -1, -1};
    return popup;
}

class TestApplication final : public IHelpApplication {
public:
    void SetOnHelp(HelpEvent handler) override { onHelp = std::move(handler); }
    const HelpEvent& OnHelp() const override { return onHelp; }
    bool HelpCommand(std::uint16_t command, std::int32_t data) override
    {
        bool callHelp = true;
        const bool result = onHelp ? onHelp(command, data, callHelp) : false;
        return callHelp ? false : result;
    }
    std::string CurrentHelpFile() const override { return {}; }
    std::string ExeName() const override { return exeName; }
    std::string Title() const override { return "Hanagumo"; }
    int MessageBox(const std::string& text, const std::string& caption, unsigned flags) override
    {
        boxes.push_back(QString::fromStdString(cp932::ToUtf8Lossy(text)) + "|" + QString::fromStdString(caption) + "|"
                        + QString::number(flags));
        return 1;
    }
    HelpWindow ActiveFormWindow() const override { return 0; }

    HelpEvent onHelp;
    std::string exeName;
    QStringList boxes;
};

} // namespace

class tst_THtmlHelpViewer final : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void displayTopicShowsTheDefaultTopicInOneWindow();
    void displayTopicByName();
    void helpContext_data();
    void helpContext();
    void failures_data();
    void failures();
    void successClearsTheLastError();
    void initializeWritesACookie();
    void textPopup();
    void textPopupFailures();
    void linksStayInsideExternalOnesLeave();
    void contentsTreeOpensPages();
    void picturesAndStyleSheetsComeFromTheFile();
    void bridgeAndViewerTogether();
    void openViewerDoesNotOutliveTheMainWindow();

private:
    QTextBrowser* Page() const { return viewer->Window()->findChild<QTextBrowser*>(QStringLiteral("HelpPage")); }

    std::unique_ptr<THtmlHelpViewer> viewer;
    std::vector<QUrl> external;
};

void tst_THtmlHelpViewer::init()
{
    viewer = std::make_unique<THtmlHelpViewer>();
    external.clear();
    viewer->openExternal = [this](const QUrl& url) {
        external.push_back(url);
        return true;
    };
}

void tst_THtmlHelpViewer::cleanup() { viewer.reset(); }

void tst_THtmlHelpViewer::displayTopicShowsTheDefaultTopicInOneWindow()
{
    const HelpWindow first = viewer->HtmlHelpA(0x10, kHelpFile.c_str(), HH_DISPLAY_TOPIC, 0);
    QVERIFY(first != 0);
    QVERIFY(viewer->Window()->isVisible());
    QCOMPARE(viewer->CurrentTopic(), QStringLiteral("/index.htm"));
    QCOMPARE(viewer->Window()->windowTitle(), QString::fromUtf8("ころころ帳 ヘルプ"));
    QVERIFY(Page()->toPlainText().contains(QString::fromUtf8("架空の日本人の名前")));

    QWidget* window = viewer->Window();
    viewer->HtmlHelpA(0, (kHelpFile + "::/run.htm").c_str(), HH_DISPLAY_TOPIC, 0);
    window->hide();
    const HelpWindow again = viewer->HtmlHelpA(0, kHelpFile.c_str(), HH_DISPLAY_TOPIC, 0);
    QCOMPARE(again, first);
    QCOMPARE(viewer->Window(), window);
    QVERIFY(window->isVisible());
    QCOMPARE(viewer->CurrentTopic(), QStringLiteral("/index.htm"));
}

void tst_THtmlHelpViewer::displayTopicByName()
{
    QVERIFY(viewer->HtmlHelpA(0, (kHelpFile + "::/keisiki.htm").c_str(), HH_DISPLAY_TOPIC, 0) != 0);
    QVERIFY(QTest::qWaitForWindowExposed(viewer->Window()));
    QTest::qWait(20); // the window settles (focus, contents tree) without leaving the topic
    QCOMPARE(viewer->CurrentTopic(), QStringLiteral("/keisiki.htm"));
    QVERIFY(Page()->toPlainText().contains(QString::fromUtf8("'山田　花子','やまだ　はなこ'")));

    const char* topic = "ninzu.htm";
    QVERIFY(viewer->HtmlHelpA(0, kHelpFile.c_str(), HH_DISPLAY_TOPIC, reinterpret_cast<std::uintptr_t>(topic)) != 0);
    QCOMPARE(viewer->CurrentTopic(), QStringLiteral("/ninzu.htm"));
}

void tst_THtmlHelpViewer::helpContext_data()
{
    QTest::addColumn<int>("context");
    QTest::addColumn<QString>("topic");
    QTest::newRow("overview") << 1000 << "/index.htm";
    QTest::newRow("output") << 1020 << "/output.htm";
    QTest::newRow("about") << 1070 << "/about.htm";
}

void tst_THtmlHelpViewer::helpContext()
{
    QFETCH(int, context);
    QFETCH(QString, topic);
    QVERIFY(viewer->HtmlHelpA(0, kHelpFile.c_str(), HH_HELP_CONTEXT, std::uintptr_t(context)) != 0);
    QCOMPARE(viewer->CurrentTopic(), topic);
}

void tst_THtmlHelpViewer::failures_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<uint>("command");
    QTest::addColumn<uint>("data");
    QTest::addColumn<QString>("description");
    const QByteArray help = QByteArray::fromStdString(kHelpFile);
    QTest::newRow("missing file") << QByteArray("/nonexistent/Missing.chm") << uint(HH_DISPLAY_TOPIC) << 0u
                                  << QString::fromUtf8("ヘルプファイル '/nonexistent/Missing.chm' を開けません");
    QTest::newRow("missing file, context") << QByteArray("/nonexistent/Missing.chm") << uint(HH_HELP_CONTEXT) << 1000u
                                           << QString::fromUtf8("ヘルプファイル '/nonexistent/Missing.chm' を開けません");
    QTest::newRow("damaged file") << QByteArray("DAMAGED") << uint(HH_DISPLAY_TOPIC) << 0u
                                  << QString::fromUtf8("ヘルプファイル 'DAMAGED' を開けません");
    QTest::newRow("unmapped context") << help << uint(HH_HELP_CONTEXT) << 9999u
                                      << QString::fromUtf8("トピックが見つかりません");
    QTest::newRow("missing topic") << help + "::/nope.htm" << uint(HH_DISPLAY_TOPIC) << 0u
                                   << QString::fromUtf8("トピックが見つかりません");
}

void tst_THtmlHelpViewer::failures()
{
    QFETCH(QByteArray, file);
    QFETCH(uint, command);
    QFETCH(uint, data);
    QFETCH(QString, description);
    QTemporaryDir dir;
    if (file == "DAMAGED") {
        QFile damaged(dir.filePath(QStringLiteral("Damaged.chm")));
        QVERIFY(damaged.open(QIODevice::WriteOnly));
        damaged.write(QByteArray(300, '\x7f'));
        damaged.close();
        file = damaged.fileName().toUtf8();
        description.replace(QStringLiteral("DAMAGED"), damaged.fileName());
    }
    QCOMPARE(viewer->HtmlHelpA(0, file.constData(), command, data), HelpWindow(0));
    const LastErrorSeen error = QueryLastError(*viewer);
    QVERIFY(error.hr < 0);
    QCOMPARE(error.description, description);
}

void tst_THtmlHelpViewer::successClearsTheLastError()
{
    viewer->HtmlHelpA(0, "/nonexistent/Missing.chm", HH_DISPLAY_TOPIC, 0);
    QVERIFY(QueryLastError(*viewer).hr < 0);
    QVERIFY(viewer->HtmlHelpA(0, kHelpFile.c_str(), HH_DISPLAY_TOPIC, 0) != 0);
    const LastErrorSeen error = QueryLastError(*viewer);
    QCOMPARE(error.hr, 0);
    QVERIFY(error.description.isNull());
}

void tst_THtmlHelpViewer::initializeWritesACookie()
{
    std::uint32_t cookie = 0xFFFFFFFFu;
    viewer->HtmlHelpA(0, nullptr, HH_INITIALIZE, reinterpret_cast<std::uintptr_t>(&cookie));
    QVERIFY(cookie != 0xFFFFFFFFu);
}

void tst_THtmlHelpViewer::textPopup()
{
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    const QPoint at = screen.center();
    HH_POPUP popup = PopupRecord(2010, at.x(), at.y());
    const HelpWindow window = viewer->HtmlHelpA(0, (kHelpFile + "::/cshelp.txt").c_str(), HH_DISPLAY_TEXT_POPUP,
                                                reinterpret_cast<std::uintptr_t>(&popup));
    QVERIFY(window != 0);
    QLabel* shown = viewer->Popup();
    QVERIFY(shown->isVisible());
    QCOMPARE(shown->text(), QString::fromUtf8("出力する人数を 1～59124873 の範囲で入力します。"));
    QCOMPARE(shown->pos(), QPoint(at.x() - shown->width() / 2, at.y())); // pt is the top centre
    QVERIFY(!viewer->Window()); // a popup opens no viewer window

    const QByteArray own = QString::fromUtf8("直接の文").toUtf8();
    const std::string ownCp932 = cp932::FromUtf8(std::string_view(own.constData(), size_t(own.size())));
    popup.pszText = ownCp932.c_str();
    QVERIFY(viewer->HtmlHelpA(0, (kHelpFile + "::/cshelp.txt").c_str(), HH_DISPLAY_TEXT_POPUP,
                              reinterpret_cast<std::uintptr_t>(&popup))
            != 0);
    QCOMPARE(viewer->Popup(), shown);
    QCOMPARE(shown->text(), QString::fromUtf8("直接の文"));
}

void tst_THtmlHelpViewer::textPopupFailures()
{
    HH_POPUP popup = PopupRecord(1, 0, 0);
    QCOMPARE(viewer->HtmlHelpA(0, (kHelpFile + "::/cshelp.txt").c_str(), HH_DISPLAY_TEXT_POPUP,
                               reinterpret_cast<std::uintptr_t>(&popup)),
             HelpWindow(0));
    QCOMPARE(QueryLastError(*viewer).description, QString::fromUtf8("トピックが見つかりません"));

    popup.idString = 2010;
    QCOMPARE(viewer->HtmlHelpA(0, "/nonexistent/Missing.chm::/cshelp.txt", HH_DISPLAY_TEXT_POPUP,
                               reinterpret_cast<std::uintptr_t>(&popup)),
             HelpWindow(0));
    QVERIFY(QueryLastError(*viewer).hr < 0);
    QVERIFY(!viewer->Popup());
}

void tst_THtmlHelpViewer::linksStayInsideExternalOnesLeave()
{
    viewer->HtmlHelpA(0, kHelpFile.c_str(), HH_DISPLAY_TOPIC, 0);
    QTextBrowser* page = Page();
    emit page->anchorClicked(QUrl(QStringLiteral("ninzu.htm")));
    QCOMPARE(viewer->CurrentTopic(), QStringLiteral("/ninzu.htm"));
    emit page->anchorClicked(page->source().resolved(QUrl(QStringLiteral("run.htm"))));
    QCOMPARE(viewer->CurrentTopic(), QStringLiteral("/run.htm"));
    emit page->anchorClicked(QUrl(QStringLiteral("missing.htm")));
    QCOMPARE(viewer->CurrentTopic(), QStringLiteral("/run.htm"));
    QVERIFY(external.empty());

    emit page->anchorClicked(QUrl(QStringLiteral("https://hanagumo.example/")));
    emit page->anchorClicked(QUrl(QStringLiteral("mailto:hanagumo@example.jp")));
    QCOMPARE(external.size(), size_t(2));
    QCOMPARE(external[0], QUrl(QStringLiteral("https://hanagumo.example/")));
    QCOMPARE(viewer->CurrentTopic(), QStringLiteral("/run.htm"));
}

void tst_THtmlHelpViewer::contentsTreeOpensPages()
{
    viewer->HtmlHelpA(0, kHelpFile.c_str(), HH_DISPLAY_TOPIC, 0);
    auto* tree = viewer->Window()->findChild<QTreeWidget*>(QStringLiteral("HelpContents"));
    QVERIFY(tree);
    const auto found = tree->findItems(QString::fromUtf8("人数"), Qt::MatchExactly | Qt::MatchRecursive);
    QCOMPARE(found.size(), 1);
    QVERIFY(found[0]->parent()); // under its heading
    QCOMPARE(tree->currentItem()->text(0), QString::fromUtf8("ころころ帳の概要")); // marks the page shown
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, tree->visualItemRect(found[0]).center());
    QCOMPARE(viewer->CurrentTopic(), QStringLiteral("/ninzu.htm"));
}

void tst_THtmlHelpViewer::picturesAndStyleSheetsComeFromTheFile()
{
    viewer->HtmlHelpA(0, kHelpFile.c_str(), HH_DISPLAY_TOPIC, 0);
    QTextBrowser* page = Page();
    const QVariant picture = page->loadResource(QTextDocument::ImageResource, QUrl(QStringLiteral("images/hanagumo32.png")));
    QCOMPARE(QImage::fromData(picture.toByteArray()).size(), QSize(32, 32));
    const QVariant style = page->loadResource(QTextDocument::StyleSheetResource, QUrl(QStringLiteral("hanagumo.css")));
    QVERIFY(style.toString().contains(QString::fromUtf8("ＭＳ Ｐゴシック")));
    QVERIFY(!page->loadResource(QTextDocument::ImageResource, QUrl(QStringLiteral("images/none.png"))).isValid());
}

void tst_THtmlHelpViewer::bridgeAndViewerTogether()
{
    TestApplication app;
    app.exeName = kHelpFile.substr(0, kHelpFile.size() - 4); // ".../Hanagumo" -> ".../Hanagumo.chm"
    THTMLHelp bridge(app, *viewer);
    bridge.Loaded();

    QVERIFY(!app.HelpCommand(HELP_FINDER, 0));
    QCOMPARE(viewer->CurrentTopic(), QStringLiteral("/index.htm"));

    QVERIFY(!app.HelpCommand(HELP_CONTEXTPOPUP, 1010)); // mapped: the topic, no popup
    QCOMPARE(viewer->CurrentTopic(), QStringLiteral("/ninzu.htm"));
    QVERIFY(!viewer->Popup());
    app.HelpCommand(HELP_SETPOPUP_POS, (300 << 16) | 200);
    QVERIFY(!app.HelpCommand(HELP_CONTEXTPOPUP, 2060)); // a popup number: the text popup
    QVERIFY(viewer->Popup() && viewer->Popup()->isVisible());
    QVERIFY(viewer->Popup()->text().startsWith(QString::fromUtf8("実行中の名前作りを止めます")));
    QVERIFY(app.boxes.isEmpty());

    app.exeName = "/nonexistent/Hanagumo";
    QVERIFY(!app.HelpCommand(HELP_FINDER, 0));
    QCOMPARE(app.boxes, QStringList{QString::fromUtf8("ヘルプファイル '/nonexistent/Hanagumo.chm' を開けません|Hanagumo|16")});
}

void tst_THtmlHelpViewer::openViewerDoesNotOutliveTheMainWindow()
{
    QWidget mainWindow;
    mainWindow.show();
    viewer->HtmlHelpA(0, kHelpFile.c_str(), HH_DISPLAY_TOPIC, 0);
    HH_POPUP popup = PopupRecord(2010, 10, 10);
    viewer->HtmlHelpA(0, (kHelpFile + "::/cshelp.txt").c_str(), HH_DISPLAY_TEXT_POPUP, reinterpret_cast<std::uintptr_t>(&popup));
    QVERIFY(hg::test::QuitsWhenClosed(mainWindow));
}

QTEST_MAIN(tst_THtmlHelpViewer)
#include "tst_THtmlHelpViewer.moc"
