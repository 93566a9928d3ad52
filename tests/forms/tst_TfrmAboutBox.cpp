// The About box on the offscreen platform: its layout, how it is shown and hidden, the keys it
// answers and does not, and the two link fields.
#include "AboutBox.h"
#include "AboutInfo.h"
#include "Application.h"
#include "cp932.h"
#include "quitswhenclosed.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QTest>

#include <vector>

using hg::forms::Application;
using hg::forms::TfrmAboutBox;

class tst_TfrmAboutBox final : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void createdHidden();
    void layout_data();
    void layout();
    void texts_data();
    void texts();
    void okCloseBoxAndEnterHide();
    void escapeDoesNothing();
    void secondShowBringsTheOneBoxToFront();
    void firstShowCentresLaterShowsKeepPosition();
    void linkFieldsAreReadOnlyAndNoTabStops();
    void doubleClickOpensTheAddress_data();
    void doubleClickOpensTheAddress();
    void failingOpenerChangesNothing();
    void openBoxDoesNotOutliveTheMainWindow();

private:
    template <typename T> T* child(const char* name) const
    {
        T* widget = box->findChild<T*>(QLatin1String(name));
        if (!widget)
            qFatal("no control %s", name);
        return widget;
    }
    QLineEdit* field(const QByteArray& name) const { return child<QLineEdit>(name.constData()); }

    TfrmAboutBox* box = nullptr;
    std::vector<QUrl> opened;
    bool openerSucceeds = true;
    int messages = 0;
};

void tst_TfrmAboutBox::init()
{
    opened.clear();
    openerSucceeds = true;
    messages = 0;
    auto& services = Application().Services();
    services.openUrl = [this](const QUrl& url) {
        opened.push_back(url);
        return openerSucceeds;
    };
    services.plainMessage = [this](const QString&, const QString&) { ++messages; };
    services.errorBox = [this](const QString&, const QString&) { ++messages; };
    services.messageBox = [this](const QString&, const QString&, unsigned) { return ++messages, 1; };
    box = new TfrmAboutBox;
}

void tst_TfrmAboutBox::cleanup()
{
    delete box;
    box = nullptr;
}

void tst_TfrmAboutBox::createdHidden()
{
    QVERIFY(!box->isVisible());
    QCOMPARE(box->windowTitle(), QString::fromUtf8("バージョン情報"));
    QCOMPARE(box->size(), QSize(346, 216));
    QCOMPARE(box->minimumSize(), box->maximumSize()); // fixed size
    const Qt::WindowFlags flags = box->windowFlags();
    QVERIFY(flags & Qt::WindowStaysOnTopHint);
    QVERIFY(flags & Qt::WindowCloseButtonHint);
    QVERIFY(!(flags & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint | Qt::WindowContextHelpButtonHint)));
}

void tst_TfrmAboutBox::layout_data()
{
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<QRect>("geometry");
    QTest::newRow("Panel1") << QByteArray("Panel1") << QRect(8, 8, 329, 169);
    QTest::newRow("ImgIcon") << QByteArray("ImgIcon") << QRect(16, 24, 33, 33);
    QTest::newRow("lblAppName") << QByteArray("lblAppName") << QRect(80, 31, 137, 40);
    QTest::newRow("txtHomePage") << QByteArray("txtHomePage") << QRect(72, 125, 249, 18);
    QTest::newRow("txtMail") << QByteArray("txtMail") << QRect(72, 145, 249, 18);
    QTest::newRow("btnOK") << QByteArray("btnOK") << QRect(136, 184, 74, 25);
}

void tst_TfrmAboutBox::layout()
{
    QFETCH(QByteArray, name);
    QFETCH(QRect, geometry);
    QCOMPARE(child<QWidget>(name.constData())->geometry(), geometry);
    QCOMPARE(child<QWidget>("txtMail")->parentWidget(), child<QWidget>("Panel1"));
    QVERIFY(!child<QLabel>("ImgIcon")->pixmap().isNull());
}

void tst_TfrmAboutBox::texts_data()
{
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<QString>("text");
    QTest::newRow("lblAppName") << QByteArray("lblAppName") << QStringLiteral("Hanagumo");
    QTest::newRow("lblVersion") << QByteArray("lblVersion") << QStringLiteral("Version  1.00");
    QTest::newRow("lblProduct") << QByteArray("lblProduct") << QStringLiteral("Tsukushi");
    QTest::newRow("lblHomePage") << QByteArray("lblHomePage") << QStringLiteral("HomePage");
    QTest::newRow("lblMail") << QByteArray("lblMail") << QStringLiteral("E-mail");
    QTest::newRow("lblCopyright") << QByteArray("lblCopyright") << QString::fromLatin1(HG_ABOUT_COPYRIGHT);
}

void tst_TfrmAboutBox::texts()
{
    QFETCH(QByteArray, name);
    QFETCH(QString, text);
    QCOMPARE(child<QLabel>(name.constData())->text(), text);
    QCOMPARE(child<QPushButton>("btnOK")->text(), QStringLiteral("OK"));
    QCOMPARE(child<QLabel>("lblProduct")->palette().color(QPalette::WindowText), QColor(0, 0, 128));
}

void tst_TfrmAboutBox::okCloseBoxAndEnterHide()
{
    QPointer<TfrmAboutBox> alive(box);
    box->Show();
    QVERIFY(box->isVisible());
    QTest::mouseClick(child<QPushButton>("btnOK"), Qt::LeftButton);
    QVERIFY(!box->isVisible());

    box->Show();
    QVERIFY(box->isVisible());
    QVERIFY(box->close()); // the close box
    QVERIFY(!box->isVisible());

    box->Show();
    QVERIFY(QTest::qWaitForWindowActive(box));
    QTest::keyClick(box, Qt::Key_Return);
    QVERIFY(!box->isVisible());
    QVERIFY(alive); // hidden, never destroyed
}

void tst_TfrmAboutBox::escapeDoesNothing()
{
    box->Show();
    QVERIFY(QTest::qWaitForWindowActive(box));
    QTest::keyClick(box, Qt::Key_Escape);
    QVERIFY(box->isVisible());
    QTest::keyClick(child<QPushButton>("btnOK"), Qt::Key_Escape);
    QVERIFY(box->isVisible());
}

void tst_TfrmAboutBox::secondShowBringsTheOneBoxToFront()
{
    box->Show();
    QWidget other;
    other.show();
    other.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&other));

    box->Show();
    QVERIFY(QTest::qWaitForWindowActive(box));
    int boxes = 0;
    for (QWidget* w : QApplication::topLevelWidgets())
        boxes += qobject_cast<TfrmAboutBox*>(w) != nullptr;
    QCOMPARE(boxes, 1);
}

void tst_TfrmAboutBox::firstShowCentresLaterShowsKeepPosition()
{
    box->Show();
    const QPoint screenCentre = box->screen()->availableGeometry().center();
    // within the width of a window frame, which the platform may add around the client area
    const QPoint offCentre = box->geometry().center() - screenCentre;
    QVERIFY2(qAbs(offCentre.x()) <= 4 && qAbs(offCentre.y()) <= 4, qPrintable(QString::number(offCentre.x()) + "," + QString::number(offCentre.y())));

    const QPoint moved(40, 50);
    box->move(moved);
    box->btnOKClick();
    box->Show();
    QCOMPARE(box->pos(), moved);
}

void tst_TfrmAboutBox::linkFieldsAreReadOnlyAndNoTabStops()
{
    box->Show();
    QVERIFY(QTest::qWaitForWindowActive(box));
    for (const char* name : {"txtHomePage", "txtMail"}) {
        QLineEdit* link = field(name);
        QVERIFY(link->isReadOnly());
        QCOMPARE(link->focusPolicy(), Qt::ClickFocus);
        QCOMPARE(link->cursor().shape(), Qt::PointingHandCursor);
        QVERIFY(link->font().underline());
        const QString before = link->text();
        link->setFocus();
        QTest::keyClicks(link, "xyz");
        QCOMPARE(link->text(), before);
    }
    auto* ok = child<QPushButton>("btnOK");
    ok->setFocus();
    for (int i = 0; i < 4; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(ok));
    }
}

void tst_TfrmAboutBox::doubleClickOpensTheAddress_data()
{
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<QUrl>("url");
    QTest::newRow("home page") << QByteArray("txtHomePage") << QUrl(QStringLiteral(HG_ABOUT_HOMEPAGE));
    QTest::newRow("mail") << QByteArray("txtMail") << QUrl(QStringLiteral("mailto:" HG_ABOUT_MAIL));
}

void tst_TfrmAboutBox::doubleClickOpensTheAddress()
{
    QFETCH(QByteArray, name);
    QFETCH(QUrl, url);
    box->Show();
    QLineEdit* link = field(name);
    QTest::mouseClick(link, Qt::LeftButton);
    QVERIFY(opened.empty()); // a single click only places the caret
    QTest::mouseDClick(link, Qt::LeftButton);
    QCOMPARE(opened.size(), size_t(1));
    QCOMPARE(opened[0], url);
}

void tst_TfrmAboutBox::failingOpenerChangesNothing()
{
    openerSucceeds = false;
    box->Show();
    const QPoint pos = box->pos();
    QLineEdit* link = field("txtHomePage");
    const QString text = link->text();
    QTest::mouseDClick(link, Qt::LeftButton);
    QTest::mouseDClick(field("txtMail"), Qt::LeftButton);
    QCOMPARE(opened.size(), size_t(2));
    QCOMPARE(messages, 0);
    QVERIFY(box->isVisible());
    QCOMPARE(box->pos(), pos);
    QCOMPARE(link->text(), text);
}

void tst_TfrmAboutBox::openBoxDoesNotOutliveTheMainWindow()
{
    QWidget mainWindow;
    mainWindow.show();
    box->Show();
    QVERIFY(hg::test::QuitsWhenClosed(mainWindow));
}

QTEST_MAIN(tst_TfrmAboutBox)
#include "tst_TfrmAboutBox.moc"
