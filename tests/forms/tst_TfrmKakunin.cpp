// The overwrite question: its answers for every way of closing it, and what it remembers.
#include "kakunin.h"
#include "testutil.h"

#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTimer>

#include <functional>

using hg::forms::TfrmKakunin;

class tst_TfrmKakunin final : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void layoutAndCaption();
    void answers_data();
    void answers();
    void focusAndPositionAreRememberedBetweenQuestions();

private:
    // Asks the question and acts in the dialog once it is open.
    int Ask(TfrmKakunin& dialog, const std::function<void(TfrmKakunin&)>& act)
    {
        QTimer::singleShot(0, &dialog, [&dialog, act] {
            QVERIFY(QTest::qWaitForWindowExposed(&dialog));
            QCoreApplication::processEvents(); // the focus is given once the dialog runs
            act(dialog);
        });
        return dialog.ShowModal();
    }
};

void tst_TfrmKakunin::initTestCase() { hg::test::UseWindowFonts(); }

void tst_TfrmKakunin::layoutAndCaption()
{
    TfrmKakunin dialog;
    QVERIFY(!dialog.isVisible());
    QCOMPARE(dialog.windowTitle(), QStringLiteral("出力確認"));
    QCOMPARE(dialog.size(), QSize(281, 66));
    QCOMPARE(dialog.minimumSize(), dialog.maximumSize());
    QCOMPARE(dialog.Label1->text(), QStringLiteral("出力先に指定されたファイルは既に存在しています。"));
    QCOMPARE(dialog.btnUwagaki->geometry(), QRect(20, 33, 75, 25));
    QCOMPARE(dialog.btnTuiki->geometry(), QRect(100, 33, 75, 25));
    QCOMPARE(dialog.btnCancel->geometry(), QRect(180, 33, 75, 25));
    QCOMPARE(dialog.btnUwagaki->text(), QStringLiteral("上書き"));
    QCOMPARE(dialog.btnTuiki->text(), QStringLiteral("追加"));
    QCOMPARE(dialog.btnCancel->text(), QStringLiteral("キャンセル"));
    QCOMPARE(dialog.btnUwagaki->nextInFocusChain(), dialog.btnTuiki);
    QCOMPARE(dialog.btnTuiki->nextInFocusChain(), dialog.btnCancel);
    QVERIFY(dialog.btnUwagaki->isDefault());
}

void tst_TfrmKakunin::answers_data()
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<int>("expected");
    QTest::newRow("Enter on the first showing overwrites") << "enter" << 6;
    QTest::newRow("Esc appends") << "esc" << 7;
    QTest::newRow("the close box cancels") << "close" << 2;
    QTest::newRow("click 上書き") << "uwagaki" << 6;
    QTest::newRow("click 追加") << "tuiki" << 7;
    QTest::newRow("click キャンセル") << "cancel" << 2;
    QTest::newRow("space on the focused button") << "space" << 6;
}

void tst_TfrmKakunin::answers()
{
    QFETCH(QString, action);
    QFETCH(int, expected);
    TfrmKakunin dialog;
    const int result = Ask(dialog, [action](TfrmKakunin& d) {
        QWidget* focus = QApplication::focusWidget() ? QApplication::focusWidget() : &d;
        if (action == "enter")
            QTest::keyClick(focus, Qt::Key_Return);
        else if (action == "esc")
            QTest::keyClick(focus, Qt::Key_Escape);
        else if (action == "close")
            d.close();
        else if (action == "uwagaki")
            QTest::mouseClick(d.btnUwagaki, Qt::LeftButton);
        else if (action == "tuiki")
            QTest::mouseClick(d.btnTuiki, Qt::LeftButton);
        else if (action == "cancel")
            QTest::mouseClick(d.btnCancel, Qt::LeftButton);
        else if (action == "space")
            QTest::keyClick(focus, Qt::Key_Space);
    });
    QCOMPARE(result, expected);
    QVERIFY(!dialog.isVisible());
}

void tst_TfrmKakunin::focusAndPositionAreRememberedBetweenQuestions()
{
    TfrmKakunin dialog;
    QPoint centred;
    int result = Ask(dialog, [&centred](TfrmKakunin& d) {
        QCOMPARE(QApplication::focusWidget(), d.btnUwagaki);
        centred = d.pos();
        d.move(d.pos() + QPoint(40, 30));
        d.btnTuiki->setFocus();
        QTest::mouseClick(d.btnTuiki, Qt::LeftButton);
    });
    QCOMPARE(result, 7);
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    QVERIFY(qAbs(centred.x() + dialog.width() / 2 - screen.center().x()) <= 16);

    QPoint second;
    result = Ask(dialog, [&second](TfrmKakunin& d) {
        QCOMPARE(QApplication::focusWidget(), d.btnTuiki);
        second = d.pos();
        QTest::keyClick(d.btnTuiki, Qt::Key_Return);
    });
    QCOMPARE(result, 7); // Enter presses the button that has the focus
    QCOMPARE(second, centred + QPoint(40, 30));
}

QTEST_MAIN(tst_TfrmKakunin)
#include "tst_TfrmKakunin.moc"
