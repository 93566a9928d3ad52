// The main window on the offscreen platform: its created state, a failed load, runs driven by
// real clicks, stopping, closing during a run, the output file through the window, and the
// input rules of the count and destination fields.
#include "AboutBox.h"
#include "Edit.h"
#include "SpinEdit.h"
#include "kakunin.h"
#include "testutil.h"

#include "Controls.h"
#include "random.h"

#include <QButtonGroup>
#include <QClipboard>
#include <QGroupBox>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <deque>
#include <filesystem>
#include <memory>

using namespace hg;
using namespace hg::forms;
using hg::test::NumberedTable;

namespace {

class TFixedRandom final : public TRandom {
public:
    std::deque<std::int32_t> draws;
    void Randomize() override {}
    std::int32_t Random(std::int32_t) override
    {
        if (draws.empty())
            return 0;
        const auto k = draws.front();
        draws.pop_front();
        return k;
    }
};

QString U(const char* utf8) { return QString::fromUtf8(utf8); }
std::string Sjis(const char* utf8) { return cp932::FromUtf8(utf8); }
QString Name(int s, int g) { return QStringLiteral("S%1　G%2").arg(s).arg(g); }

QByteArray ReadAll(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

} // namespace

class tst_TfrmEdit final : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void createdState();
    void controlGeometry_data();
    void controlGeometry();
    void failedLoad_data();
    void failedLoad();
    void runs_data();
    void runs();
    void twoRunsContinueAndWrap();
    void stopDuringRun_data();
    void stopDuringRun();
    void generateClickDuringPumpStartsNoSecondRun();
    void fieldWithNoValueFailsTheRun();
    void tableWithoutFieldFailsTheRun();
    void closingDuringRunEndsItAndThenTheWindow();

    void outputNewFileAndBareName();
    void secondRunAsksOverwriteAppendOrCancel_data();
    void secondRunAsksOverwriteAppendOrCancel();
    void destinationMessages();
    void faultsLeaveTheToolWorking_data();
    void faultsLeaveTheToolWorking();

    void countKeyFilter_data();
    void countKeyFilter();
    void countExitCheck_data();
    void countExitCheck();
    void generateClickWithCountZeroStartsNoRun();
    void enteringFieldsWithTheKeyboard();
    void countArrows_data();
    void countArrows();
    void markerClearedByFirstTypedCharacter_data();
    void markerClearedByFirstTypedCharacter();
    void emptiedDestinationFallsBackToMarker();
    void browseConfirmedAndCancelled();
    void helpButtonReportsAMissingHelpFile();
    void aboutButtonShowsTheOneAboutBox();

private:
    void WriteTables(int surnames, int givenNames);
    std::unique_ptr<TfrmEdit> MakeWindow(std::deque<std::int32_t> draws = {0, 0});
    QString Dir() const { return dir->path() + "/"; }
    static void Click(QWidget* widget) { QTest::mouseClick(widget, Qt::LeftButton); }
    static void TypeInto(QWidget* widget, const QString& text)
    {
        widget->setFocus(Qt::TabFocusReason);
        QTest::keyClicks(widget, text);
    }

    hg::test::TBoxRecorder boxes;
    std::unique_ptr<QTemporaryDir> dir;
    TFixedRandom random;
    std::unique_ptr<TfrmKakunin> kakunin;
};

void tst_TfrmEdit::initTestCase()
{
    hg::test::UseWindowFonts();
    boxes.Install();
    TfrmEdit::RandomSource = &random;
    kakunin = std::make_unique<TfrmKakunin>();
    frmKakunin = kakunin.get();
}

void tst_TfrmEdit::init()
{
    boxes.Clear();
    dir = std::make_unique<QTemporaryDir>();
    QVERIFY(dir->isValid());
    Application().SetExeDirForTesting(cp932::FromUtf8(Dir().toStdString()));
    WriteTables(5, 3);
}

void tst_TfrmEdit::cleanup() { dir.reset(); }

void tst_TfrmEdit::WriteTables(int surnames, int givenNames)
{
    hg::test::WriteTable(Dir() + "SEI.cds", NumberedTable("姓", "姓よみ", "S", surnames));
    hg::test::WriteTable(Dir() + "MEI.cds", NumberedTable("名", "名よみ", "G", givenNames));
}

std::unique_ptr<TfrmEdit> tst_TfrmEdit::MakeWindow(std::deque<std::int32_t> draws)
{
    random.draws = std::move(draws);
    auto window = std::make_unique<TfrmEdit>();
    window->show();
    window->activateWindow();
    if (!QTest::qWaitForWindowActive(window.get()))
        qWarning("window not active");
    return window;
}

void tst_TfrmEdit::createdState()
{
    auto w = MakeWindow();
    QCOMPARE(w->windowTitle(), U("ころころ帳"));
    QCOMPARE(Application().Title(), Sjis("ころころ帳"));
    QCOMPARE(w->size(), QSize(361, 303));
    QCOMPARE(w->minimumSize(), w->maximumSize());
    QVERIFY(!(w->windowFlags() & Qt::WindowMaximizeButtonHint));
    QCOMPARE(w->stxKanji->CaptionText(), QString());
    QCOMPARE(w->stxHiragana->CaptionText(), QString());
    QCOMPARE(w->stxZanken->CaptionText(), U("残り 0名"));
    QCOMPARE(w->edtOutput->text(), U("出力なし"));
    QCOMPARE(w->txtNinzu->Text(), U("1"));
    QVERIFY(!w->radKeisiki->isEnabled());
    QCOMPARE(w->LayoutIndex(), 0);
    QVERIFY(w->btnKorokoro->isEnabled());
    QVERIFY(w->btnCancel->isEnabled());
    QCOMPARE(QApplication::focusWidget(), w->btnKorokoro);
    QCOMPARE(w->btnKorokoro->text(), U("ころころ"));
    QCOMPARE(w->btnKorokoro->toolTip(), U("ころこ～ろ"));
    QCOMPARE(w->btnCancel->toolTip(), U("強制停止"));
    QCOMPARE(w->radKeisiki->title(), U("出力形式"));
    QCOMPARE(w->stxKanji->font().pixelSize(), 21);
    QVERIFY(w->stxKanji->font().bold());
    QCOMPARE(w->txtNinzu->font().pixelSize(), 19);
    // The tab order of the layout.
    QList<QWidget*> order;
    QWidget* next = w->btnKorokoro;
    for (int i = 0; i < 7; ++i) {
        next = next->nextInFocusChain();
        while (!(next->focusPolicy() & Qt::TabFocus) || next->parentWidget() == w->txtNinzu)
            next = next->nextInFocusChain();
        order << next;
    }
    QCOMPARE(order, (QList<QWidget*>{w->btnCancel, w->btnHelp, w->btnAbout, w->edtOutput, w->btnOutput, w->txtNinzu,
                                     w->findChild<QRadioButton*>("radKeisiki0")}));
}

void tst_TfrmEdit::controlGeometry_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QRect>("geometry");
    QTest::newRow("sapMoniter") << "sapMoniter" << QRect(0, 0, 361, 60);
    QTest::newRow("bevBase") << "bevBase" << QRect(0, 64, 361, 193);
    QTest::newRow("btnKorokoro") << "btnKorokoro" << QRect(104, 264, 105, 33);
    QTest::newRow("stxKanji") << "stxKanji" << QRect(16, 8, 217, 25);
    QTest::newRow("stxHiragana") << "stxHiragana" << QRect(16, 32, 217, 25);
    QTest::newRow("stxZanken") << "stxZanken" << QRect(232, 8, 121, 25);
    QTest::newRow("btnOutput") << "btnOutput" << QRect(328, 72, 27, 25);
    QTest::newRow("btnCancel") << "btnCancel" << QRect(208, 264, 33, 33);
    QTest::newRow("radKeisiki") << "radKeisiki" << QRect(64, 144, 257, 105);
    QTest::newRow("edtOutput") << "edtOutput" << QRect(64, 72, 257, 25);
    QTest::newRow("btnHelp") << "btnHelp" << QRect(296, 264, 33, 33);
    QTest::newRow("btnAbout") << "btnAbout" << QRect(328, 264, 33, 33);
    QTest::newRow("txtNinzu") << "txtNinzu" << QRect(64, 99, 257, 30);
}

void tst_TfrmEdit::controlGeometry()
{
    QFETCH(QString, name);
    QFETCH(QRect, geometry);
    auto w = MakeWindow();
    QWidget* control = w->findChild<QWidget*>(name);
    QVERIFY(control);
    QCOMPARE(control->geometry(), geometry);
}

void tst_TfrmEdit::failedLoad_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<bool>("present");
    QTest::addColumn<QByteArray>("content");
    QTest::newRow("SEI.cds missing") << "SEI.cds" << false << QByteArray();
    QTest::newRow("MEI.cds missing") << "MEI.cds" << false << QByteArray();
    QTest::newRow("SEI.cds empty") << "SEI.cds" << true << QByteArray();
    QTest::newRow("MEI.cds truncated") << "MEI.cds" << true << QByteArray("\x96\x19\xE0\xBD\x01\x00", 6);
    QTest::newRow("SEI.cds is a folder") << "SEI.cds" << false << QByteArray("folder");
}

void tst_TfrmEdit::failedLoad()
{
    QFETCH(QString, file);
    QFETCH(bool, present);
    QFETCH(QByteArray, content);
    QFile::remove(Dir() + file);
    if (present) {
        QFile out(Dir() + file);
        QVERIFY(out.open(QIODevice::WriteOnly));
        out.write(content);
    } else if (content == "folder") {
        QVERIFY(QDir(Dir()).mkdir(file));
    }
    auto w = MakeWindow();
    QVERIFY(!w->btnKorokoro->isEnabled());
    QVERIFY(!w->btnCancel->isEnabled());
    QCOMPARE(w->stxKanji->CaptionText(), U("データファイルが"));
    QCOMPARE(w->stxHiragana->CaptionText(), U("見つかりません"));
    QCOMPARE(w->stxZanken->CaptionText(), U("残り 0名"));
    QCOMPARE(w->windowTitle(), U("ころころ帳"));
    QVERIFY(w->btnHelp->isEnabled() && w->edtOutput->isEnabled());
    QVERIFY(boxes.errors.isEmpty() && boxes.plain.isEmpty());
    bool canClose = true;
    w->FormCloseQuery(canClose); // closing closed tables does nothing
    QVERIFY(canClose);
}

void tst_TfrmEdit::runs_data()
{
    QTest::addColumn<QString>("count");
    QTest::addColumn<QString>("kanji");
    QTest::addColumn<QString>("reading");
    QTest::newRow("one name") << "1" << Name(0, 0) << QStringLiteral("Sy0　Gy0");
    QTest::newRow("three names") << "3" << Name(2, 2) << QStringLiteral("Sy2　Gy2");
}

void tst_TfrmEdit::runs()
{
    QFETCH(QString, count);
    QFETCH(QString, kanji);
    QFETCH(QString, reading);
    auto w = MakeWindow();
    w->txtNinzu->SetText(count);
    Click(w->btnKorokoro);
    QCOMPARE(w->stxKanji->CaptionText(), kanji);
    QCOMPARE(w->stxHiragana->CaptionText(), reading);
    QCOMPARE(w->stxZanken->CaptionText(), U("残り 0名"));
    QCOMPARE(w->stxZanken->Tag, 0);
    QVERIFY(!w->radKeisiki->isEnabled());
    QVERIFY(w->txtNinzu->isEnabled() && w->edtOutput->isEnabled() && w->btnOutput->isEnabled());
    QCOMPARE(QApplication::focusWidget(), w->btnKorokoro);
    QVERIFY(boxes.errors.isEmpty());
}

void tst_TfrmEdit::twoRunsContinueAndWrap()
{
    WriteTables(3, 2);
    auto w = MakeWindow({2, 0}); // surnames start on their last record
    w->txtNinzu->SetText("2");
    Click(w->btnKorokoro);
    QCOMPARE(w->stxKanji->CaptionText(), Name(2, 1)); // names: S2 G0, S2 G1
    Click(w->btnKorokoro);
    QCOMPARE(w->stxKanji->CaptionText(), Name(1, 0)); // names: S0 G1, S1 G0
}

void tst_TfrmEdit::stopDuringRun_data()
{
    QTest::addColumn<bool>("byEscape");
    QTest::newRow("stop button") << false;
    QTest::newRow("Esc") << true;
}

void tst_TfrmEdit::stopDuringRun()
{
    QFETCH(bool, byEscape);
    auto w = MakeWindow();
    w->txtNinzu->SetText("59124873");
    TfrmEdit* window = w.get();
    QTimer::singleShot(100, window, [window, byEscape] {
        QVERIFY(window->Running());
        if (byEscape)
            QTest::keyClick(window, Qt::Key_Escape);
        else
            Click(window->btnCancel);
    });
    Click(w->btnKorokoro);
    const int remaining = w->stxZanken->Tag;
    QVERIFY(remaining > 0 && remaining < 59124873);
    QCOMPARE(w->stxZanken->CaptionText(), QStringLiteral("残り %1名").arg(remaining));
    QCOMPARE(w->Tag, 1);
    QVERIFY(w->btnKorokoro->isEnabled() && w->txtNinzu->isEnabled());
    QCOMPARE(QApplication::focusWidget(), w->btnKorokoro);
}

void tst_TfrmEdit::generateClickDuringPumpStartsNoSecondRun()
{
    auto w = MakeWindow();
    w->txtNinzu->SetText("59124873");
    TfrmEdit* window = w.get();
    int remainingAtStop = -1;
    QTimer::singleShot(100, window, [window, &remainingAtStop] {
        remainingAtStop = window->stxZanken->Tag;
        Click(window->btnCancel);  // enables the generate button again...
        Click(window->btnKorokoro); // ...whose click the running run ignores
    });
    Click(w->btnKorokoro);
    QCOMPARE(w->stxZanken->Tag, remainingAtStop);
    QCOMPARE(w->Tag, 1);
}

void tst_TfrmEdit::fieldWithNoValueFailsTheRun()
{
    cds::Table given = NumberedTable("名", "名よみ", "G", 3);
    given.rows[1][1] = std::nullopt;
    hg::test::WriteTable(Dir() + "MEI.cds", given);
    auto w = MakeWindow();
    w->txtNinzu->SetText("5");
    Click(w->btnKorokoro);
    // ")" comes before "." in code order: no full stop is added.
    QCOMPARE(boxes.errors, QStringList{U("Could not convert variant of type (Null) into type (String)")});
    QCOMPARE(boxes.captions, QStringList{U("ころころ帳")});
    QCOMPARE(w->stxKanji->CaptionText(), Name(1, 1));
    QCOMPARE(w->stxHiragana->CaptionText(), QStringLiteral("Sy0　Gy0"));
    QCOMPARE(w->stxZanken->Tag, 4);
    QVERIFY(w->btnKorokoro->isEnabled());
}

void tst_TfrmEdit::tableWithoutFieldFailsTheRun()
{
    cds::Table given = NumberedTable("名", "名よみ", "G", 3);
    given.fields.pop_back();
    for (auto& row : given.rows)
        row.pop_back();
    hg::test::WriteTable(Dir() + "MEI.cds", given);
    auto w = MakeWindow();
    Click(w->btnKorokoro);
    QCOMPARE(boxes.errors, QStringList{U("tblMei: 項目 '名よみ' が見つかりません.")});
}

void tst_TfrmEdit::closingDuringRunEndsItAndThenTheWindow()
{
    auto w = MakeWindow();
    const QString out = Dir() + "names.txt";
    w->SetDestination(cp932::FromUtf8(out.toStdString()));
    w->radKeisiki->setEnabled(true);
    w->SetLayoutIndex(2);
    w->txtNinzu->SetText("59124873");
    QSignalSpy closed(w.get(), &TfrmEdit::Closed);
    TfrmEdit* window = w.get();
    QTimer::singleShot(100, window, [window] { window->close(); });
    Click(w->btnKorokoro);
    QCOMPARE(boxes.errors, QStringList{U("tblSei: 項目 '姓' が見つかりません.")});
    QVERIFY(closed.wait(2000));
    QVERIFY(!w->isVisible());
    const QByteArray text = ReadAll(out);
    QCOMPARE(text.count('\n'), qsizetype(59124873 - w->stxZanken->Tag));
    QVERIFY(text.endsWith("\r\n"));
}

void tst_TfrmEdit::outputNewFileAndBareName()
{
    auto w = MakeWindow();
    w->SetDestination("bare.txt");
    w->radKeisiki->setEnabled(true);
    w->SetLayoutIndex(1);
    w->txtNinzu->SetText("3");
    QDir::setCurrent(QDir::tempPath());
    QFile::remove(QDir::tempPath() + "/bare.txt");
    Click(w->btnKorokoro);
    QCOMPARE(w->edtOutput->text(), Dir() + "bare.txt");
    QCOMPARE(ReadAll(Dir() + "bare.txt"),
             QByteArray("S0\x81\x40G0\tSy0\x81\x40Gy0\r\nS1\x81\x40G1\tSy1\x81\x40Gy1\r\nS2\x81\x40G2\tSy2\x81\x40Gy2\r\n"));
    QVERIFY(w->radKeisiki->isEnabled());
}

void tst_TfrmEdit::secondRunAsksOverwriteAppendOrCancel_data()
{
    QTest::addColumn<QString>("answer");
    QTest::addColumn<QByteArray>("expected");
    const QByteArray first = "S0\x81\x40G0\r\n", second = "S1\x81\x40G1\r\n";
    QTest::newRow("上書き") << "uwagaki" << second;
    QTest::newRow("追加") << "tuiki" << first + second;
    QTest::newRow("Esc is 追加") << "esc" << first + second;
    QTest::newRow("キャンセル") << "cancel" << first;
}

void tst_TfrmEdit::secondRunAsksOverwriteAppendOrCancel()
{
    QFETCH(QString, answer);
    QFETCH(QByteArray, expected);
    auto w = MakeWindow();
    const QString out = Dir() + "twice.txt";
    w->SetDestination(cp932::FromUtf8(out.toStdString()));
    w->radKeisiki->setEnabled(true);
    w->SetLayoutIndex(2);
    Click(w->btnKorokoro);
    QTimer::singleShot(50, w.get(), [answer] {
        TfrmKakunin* d = frmKakunin;
        QVERIFY(d->isVisible());
        if (answer == "uwagaki")
            Click(d->btnUwagaki);
        else if (answer == "tuiki")
            Click(d->btnTuiki);
        else if (answer == "cancel")
            Click(d->btnCancel);
        else
            QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : d, Qt::Key_Escape);
    });
    Click(w->btnKorokoro);
    QCOMPARE(ReadAll(out), expected);
}

void tst_TfrmEdit::destinationMessages()
{
    auto w = MakeWindow();
    w->SetDestination(cp932::FromUtf8((Dir() + "nowhere/").toStdString()));
    Click(w->btnKorokoro);
    w->SetDestination(cp932::FromUtf8(Dir().toStdString()));
    Click(w->btnKorokoro);
    QCOMPARE(boxes.plain, (QStringList{U("「出力先」の指定されたディレクトリは存在しません。"), U("「出力先」のファイル名が入力されていません。")}));
    QCOMPARE(boxes.captions.value(0), U("ころころ帳"));
    QCOMPARE(w->stxZanken->CaptionText(), U("残り 1名")); // abandoned: the requested count is shown
    QCOMPARE(w->stxKanji->CaptionText(), QString());
}

void tst_TfrmEdit::faultsLeaveTheToolWorking_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QString>("message"); // a part of what the user is told
    QTest::newRow("the disk fills") << "full" << U("ディスクの空き領域が不足しています");
    QTest::newRow("folder removed before the run") << "removed" << U("「出力先」の指定されたディレクトリは存在しません。");
    QTest::newRow("destination is a folder") << "folder" << U("同じ名前のディレクトリがあります");
}

void tst_TfrmEdit::faultsLeaveTheToolWorking()
{
    QFETCH(QString, fault);
    QFETCH(QString, message);
    if (fault == "full" && !QFile::exists("/dev/full"))
        QSKIP("no /dev/full");
    const QByteArray sei = ReadAll(Dir() + "SEI.cds"), mei = ReadAll(Dir() + "MEI.cds");
    auto w = MakeWindow();
    QString destination;
    if (fault == "full") {
        destination = "/dev/full";
        QTimer::singleShot(50, w.get(), [] { Click(frmKakunin->btnUwagaki); });
    } else if (fault == "removed") {
        QVERIFY(QDir(Dir()).mkdir("gone"));
        destination = Dir() + "gone/names.txt";
        QVERIFY(QDir(Dir()).rmdir("gone"));
    } else {
        QVERIFY(QDir(Dir()).mkdir("folder"));
        destination = Dir() + "folder";
    }
    w->SetDestination(cp932::FromUtf8(destination.toStdString()));
    w->txtNinzu->SetText("5");
    Click(w->btnKorokoro);
    const QString told = (boxes.errors + boxes.plain).join('\n');
    QVERIFY2(told.contains(message), qPrintable(told));
    QVERIFY(w->btnKorokoro->isEnabled() && w->edtOutput->isEnabled());

    // The tool keeps working, and the tables are as they were.
    boxes.Clear();
    w->SetDestination(NoOutputMarker());
    w->txtNinzu->SetText("2");
    Click(w->btnKorokoro);
    QVERIFY(boxes.errors.isEmpty() && boxes.plain.isEmpty());
    QCOMPARE(w->stxZanken->CaptionText(), U("残り 0名"));
    QCOMPARE(ReadAll(Dir() + "SEI.cds"), sei);
    QCOMPARE(ReadAll(Dir() + "MEI.cds"), mei);
}

void tst_TfrmEdit::countKeyFilter_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("expected");
    QTest::newRow("digits") << "123" << "1123";
    QTest::newRow("letter") << "a" << "1";
    QTest::newRow("minus") << "-" << "1";
    QTest::newRow("full stop") << "." << "1";
    QTest::newRow("plus") << "+" << "1";
    QTest::newRow("full-width digit") << U("１") << "1";
    QTest::newRow("ninth digit refused") << "123456789" << "11234567";
}

void tst_TfrmEdit::countKeyFilter()
{
    QFETCH(QString, typed);
    QFETCH(QString, expected);
    auto w = MakeWindow();
    w->txtNinzu->setFocus(Qt::MouseFocusReason); // a click puts the caret at the end, selecting nothing
    QTest::keyClick(w->txtNinzu, Qt::Key_End);
    for (const QChar c : typed) {
        // Sent as typed text, so that characters without a key of their own arrive too.
        QKeyEvent press(QEvent::KeyPress, c.isDigit() && c.unicode() < 128 ? Qt::Key_0 + (c.unicode() - '0') : Qt::Key_unknown,
                        Qt::NoModifier, QString(c));
        QApplication::sendEvent(w->txtNinzu, &press);
    }
    QCOMPARE(w->txtNinzu->Text(), expected);
    QTest::keyClick(w->txtNinzu, Qt::Key_Backspace);
    QCOMPARE(w->txtNinzu->Text(), expected.chopped(1));
    QTest::keyClick(w->txtNinzu, Qt::Key_Return);
    QCOMPARE(w->txtNinzu->Text(), expected.chopped(1));
}

void tst_TfrmEdit::countExitCheck_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("refused");
    QTest::addColumn<QString>("after");
    QTest::newRow("0") << "0" << true << "1";
    QTest::newRow("99999999") << "99999999" << true << "59124873";
    QTest::newRow("empty") << "" << true << "";
    QTest::newRow("59124873") << "59124873" << false << "59124873";
    QTest::newRow("1") << "1" << false << "1";
}

void tst_TfrmEdit::countExitCheck()
{
    QFETCH(QString, text);
    QFETCH(bool, refused);
    QFETCH(QString, after);
    auto w = MakeWindow();
    w->txtNinzu->setFocus(Qt::TabFocusReason);
    w->txtNinzu->SetText(text);
    QTest::keyClick(w->txtNinzu, Qt::Key_Tab);
    if (refused) {
        QCOMPARE(boxes.plain, QStringList{U("人数は 1 ～ 59124873 の範囲で入力して下さい")});
        QCOMPARE(QApplication::focusWidget(), w->txtNinzu);
    } else {
        QVERIFY(boxes.plain.isEmpty());
        QCOMPARE(QApplication::focusWidget(), w->findChild<QRadioButton*>("radKeisiki0")->isEnabled()
                                                   ? static_cast<QWidget*>(w->findChild<QRadioButton*>("radKeisiki0"))
                                                   : static_cast<QWidget*>(w->btnKorokoro));
    }
    QCOMPARE(w->txtNinzu->Text(), after);
}

void tst_TfrmEdit::generateClickWithCountZeroStartsNoRun()
{
    auto w = MakeWindow();
    TypeInto(w->txtNinzu, "0");
    Click(w->btnKorokoro);
    QCOMPARE(boxes.plain, QStringList{U("人数は 1 ～ 59124873 の範囲で入力して下さい")});
    QCOMPARE(QApplication::focusWidget(), w->txtNinzu);
    QCOMPARE(w->stxZanken->CaptionText(), U("残り 0名"));
    QCOMPARE(w->stxKanji->CaptionText(), QString());
}

void tst_TfrmEdit::enteringFieldsWithTheKeyboard()
{
    auto w = MakeWindow();
    w->btnAbout->setFocus(Qt::OtherFocusReason);
    QTest::keyClick(w->btnAbout, Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), w->edtOutput);
    QVERIFY(!w->edtOutput->hasSelectedText()); // the destination's text is not selected
    QTest::keyClick(w->edtOutput, Qt::Key_Tab);
    QTest::keyClick(w->btnOutput, Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), w->txtNinzu);
    QCOMPARE(w->txtNinzu->findChild<QLineEdit*>()->selectedText(), U("1")); // the count's is
}

void tst_TfrmEdit::countArrows_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("key");
    QTest::addColumn<QString>("after");
    QTest::newRow("up on empty") << "" << int(Qt::Key_Up) << "2";
    QTest::newRow("down on 1") << "1" << int(Qt::Key_Down) << "1";
    QTest::newRow("up on the maximum") << "59124873" << int(Qt::Key_Up) << "59124873";
    QTest::newRow("down on 10") << "10" << int(Qt::Key_Down) << "9";
}

void tst_TfrmEdit::countArrows()
{
    QFETCH(QString, text);
    QFETCH(int, key);
    QFETCH(QString, after);
    auto w = MakeWindow();
    w->txtNinzu->setFocus(Qt::TabFocusReason);
    w->txtNinzu->SetText(text);
    QTest::keyClick(w->txtNinzu, Qt::Key(key));
    QCOMPARE(w->txtNinzu->Text(), after);
    QVERIFY(boxes.plain.isEmpty());
}

void tst_TfrmEdit::markerClearedByFirstTypedCharacter_data()
{
    QTest::addColumn<QString>("how");
    QTest::addColumn<QString>("expected");
    QTest::newRow("a letter") << "c" << "c";
    QTest::newRow("Ctrl+V") << "paste" << "/tmp/pasted.txt";
    QTest::newRow("Backspace") << "backspace" << "";
    QTest::newRow("Delete types nothing") << "delete" << U("力なし");
    QTest::newRow("input method commit") << "ime" << U("出");
}

void tst_TfrmEdit::markerClearedByFirstTypedCharacter()
{
    QFETCH(QString, how);
    QFETCH(QString, expected);
    auto w = MakeWindow();
    w->edtOutput->setFocus(Qt::MouseFocusReason);
    w->edtOutput->setCursorPosition(0);
    if (how == "paste") {
        QGuiApplication::clipboard()->setText("/tmp/pasted.txt");
        QTest::keyClick(w->edtOutput, Qt::Key_V, Qt::ControlModifier);
    } else if (how == "backspace") {
        QTest::keyClick(w->edtOutput, Qt::Key_Backspace);
    } else if (how == "delete") {
        QTest::keyClick(w->edtOutput, Qt::Key_Delete);
    } else if (how == "ime") {
        QInputMethodEvent commit;
        commit.setCommitString(U("出"));
        QApplication::sendEvent(w->edtOutput, &commit);
    } else {
        QTest::keyClicks(w->edtOutput, how);
    }
    QCOMPARE(w->edtOutput->text(), expected);
    QCOMPARE(w->radKeisiki->isEnabled(), how != "delete");
    QTest::keyClick(w->edtOutput, Qt::Key_Tab); // leaving settles the group
    QCOMPARE(w->radKeisiki->isEnabled(), !expected.isEmpty());
    QCOMPARE(w->edtOutput->text(), expected.isEmpty() ? U("出力なし") : expected);
}

void tst_TfrmEdit::emptiedDestinationFallsBackToMarker()
{
    auto w = MakeWindow();
    w->edtOutput->setFocus(Qt::MouseFocusReason);
    w->edtOutput->selectAll();
    QTest::keyClick(w->edtOutput, Qt::Key_X);
    QVERIFY(w->radKeisiki->isEnabled());
    QTest::keyClick(w->edtOutput, Qt::Key_Backspace);
    Click(w->btnKorokoro);
    QCOMPARE(w->edtOutput->text(), U("出力なし"));
    QVERIFY(!w->radKeisiki->isEnabled());
    QCOMPARE(w->stxZanken->CaptionText(), U("残り 0名"));
    QVERIFY(!w->stxKanji->CaptionText().isEmpty()); // the run went ahead, writing no file
}

void tst_TfrmEdit::browseConfirmedAndCancelled()
{
    auto w = MakeWindow();
    QStringList suggested;
    QList<int> filtersOffered;
    QString answer = "/data/names.csv";
    w->SetSaveDialog([&](const QString& name, int& filterIndex) {
        suggested << name;
        filtersOffered << filterIndex;
        if (!answer.isEmpty())
            filterIndex = 2; // the user picked "Csv File (*.csv)"
        return answer;
    });
    Click(w->btnOutput);
    QCOMPARE(w->edtOutput->text(), answer);
    QVERIFY(w->radKeisiki->isEnabled());
    answer.clear();
    Click(w->btnOutput);
    QCOMPARE(w->edtOutput->text(), QStringLiteral("/data/names.csv"));
    QVERIFY(w->radKeisiki->isEnabled());
    QCOMPARE(suggested, (QStringList{U("ころりん"), QStringLiteral("/data/names.csv")}));
    QCOMPARE(filtersOffered, (QList<int>{1, 2}));
    QCOMPARE(TfrmEdit::SaveDialogTitle(), U("出力先指定"));
}

void tst_TfrmEdit::helpButtonReportsAMissingHelpFile()
{
    // The help file is the executable's path with ".chm": none lies beside this test.
    QStringList shown;
    auto& services = Application().Services();
    const auto saved = services.messageBox;
    services.messageBox = [&shown](const QString& text, const QString& caption, unsigned flags) {
        shown << caption + "|" + text + "|" + QString::number(flags);
        return 1;
    };
    auto w = MakeWindow();
    Click(w->btnHelp);
    services.messageBox = saved;
    QCOMPARE(shown.size(), 1);
    QVERIFY2(shown[0].startsWith(U("ころころ帳|")) && shown[0].contains(U("を開けません")) && shown[0].endsWith("|16"),
             qPrintable(shown[0]));
}

void tst_TfrmEdit::aboutButtonShowsTheOneAboutBox()
{
    auto w = MakeWindow();
    TfrmAboutBox box;
    frmAboutBox = &box;
    QVERIFY(!box.isVisible());
    Click(w->btnAbout);
    QVERIFY(box.isVisible());
    Click(w->btnAbout);
    int shownBoxes = 0;
    for (QWidget* top : QApplication::topLevelWidgets())
        shownBoxes += qobject_cast<TfrmAboutBox*>(top) && top->isVisible() ? 1 : 0;
    QCOMPARE(shownBoxes, 1);
    QVERIFY(box.isVisible());
    QVERIFY(w->isEnabled()); // modeless: the main window stays usable
    frmAboutBox = nullptr;
}

QTEST_MAIN(tst_TfrmEdit)
#include "tst_TfrmEdit.moc"
