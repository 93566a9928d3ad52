#include "AboutBox.h"

#include "AboutInfo.h"
#include "Application.h"
#include "cp932.h"

#include <QCloseEvent>
#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>

#include <algorithm>
#include <string>

// The application icon's 32 x 32 picture, drawn by data/icons/make_icons.py.
#include "../data/icons/hanagumo32.xpm"

namespace hg::forms {

namespace {

const QColor kNavy(0, 0, 128);
const QColor kBlue(0, 0, 255);

// "ＭＳ Ｐゴシック" where Windows has it, a proportional Japanese Gothic face elsewhere.
QFont GothicFont(int pixels)
{
    QFont font;
    font.setFamilies({QString::fromUtf8("ＭＳ Ｐゴシック"), QStringLiteral("MS PGothic"), QStringLiteral("IPAPGothic"),
                      QString::fromUtf8("IPA Pゴシック"), QStringLiteral("Noto Sans CJK JP")});
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(pixels);
    return font;
}

// "Times New Roman" or the serif face that Debian carries in its place.
QFont TimesFont(int pixels)
{
    QFont font;
    font.setFamilies({QStringLiteral("Times New Roman"), QStringLiteral("Liberation Serif"),
                      QStringLiteral("DejaVu Serif")});
    font.setStyleHint(QFont::Serif);
    font.setPixelSize(pixels);
    font.setBold(true);
    return font;
}

QString Text(std::string_view cp932) { return FromCp932(cp932); }

// A panel with a lowered outer and a raised inner bevel, one pixel each.
class TBevelPanel final : public QFrame {
public:
    using QFrame::QFrame;

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        const QColor light = palette().color(QPalette::Light);
        const QColor shadow = palette().color(QPalette::Dark);
        const QRect outer = rect().adjusted(0, 0, -1, -1);
        const QRect inner = outer.adjusted(1, 1, -1, -1);
        auto bevel = [&](const QRect& r, const QColor& topLeft, const QColor& bottomRight) {
            p.setPen(topLeft);
            p.drawLine(r.topLeft(), r.topRight());
            p.drawLine(r.topLeft(), r.bottomLeft());
            p.setPen(bottomRight);
            p.drawLine(r.bottomLeft(), r.bottomRight());
            p.drawLine(r.topRight(), r.bottomRight());
        };
        bevel(outer, shadow, light); // lowered
        bevel(inner, light, shadow); // raised
    }
};

QLabel* MakeLabel(QWidget* parent, const char* name, std::string_view text, int left, int top, const QFont& font)
{
    auto* label = new QLabel(Text(text), parent);
    label->setObjectName(QLatin1String(name));
    label->setFont(font);
    label->move(left, top);
    label->adjustSize(); // auto-size
    return label;
}

} // namespace

TfrmAboutBox::TfrmAboutBox(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint
                          | Qt::WindowStaysOnTopHint | Qt::MSWindowsFixedSizeDialogHint)
{
    setObjectName(QStringLiteral("frmAboutBox"));
    setWindowTitle(Text(HG_SJIS("バージョン情報")));
    setFixedSize(346, 216);
    setFont(GothicFont(12));
    setModal(false);
    // An open box does not keep the application running once the main window has closed.
    setAttribute(Qt::WA_QuitOnClose, false);
    createControls();
}

void TfrmAboutBox::createControls()
{
    Panel1 = new TBevelPanel(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setGeometry(8, 8, 329, 169);

    ImgIcon = new QLabel(Panel1);
    ImgIcon->setObjectName(QStringLiteral("ImgIcon"));
    ImgIcon->setGeometry(16, 24, 33, 33);
    ImgIcon->setPixmap(QPixmap(hanagumo32_xpm));
    ImgIcon->setScaledContents(true); // stretched to the frame

    lblAppName = MakeLabel(Panel1, "lblAppName", "Hanagumo", 80, 31, TimesFont(35));
    lblAppName->setFixedSize(137, 40); // no auto-size
    // A stand-in serif face is often wider than Times New Roman: narrow it to fit the frame.
    const int advance = lblAppName->fontMetrics().horizontalAdvance(lblAppName->text());
    if (advance > lblAppName->width()) {
        QFont narrowed = lblAppName->font();
        narrowed.setStretch(std::max(50, 100 * (lblAppName->width() - 4) / advance));
        lblAppName->setFont(narrowed);
    }
    lblVersion = MakeLabel(Panel1, "lblVersion", "Version  1.00", 216, 55, TimesFont(12));
    lblCopyright = MakeLabel(Panel1, "lblCopyright", about::kCopyright, 80, 80, font());

    btnOK = new QPushButton(Text("OK"), this);
    btnOK->setObjectName(QStringLiteral("btnOK"));
    btnOK->setGeometry(136, 184, 74, 25);
    btnOK->setDefault(true);
    connect(btnOK, &QPushButton::clicked, this, &TfrmAboutBox::btnOKClick);

    lblProduct = MakeLabel(Panel1, "lblProduct", "Tsukushi", 72, 7, TimesFont(16));
    QPalette navy = lblProduct->palette();
    navy.setColor(QPalette::WindowText, kNavy);
    lblProduct->setPalette(navy);

    createLinkField(txtHomePage, "txtHomePage", about::kHomePage, 125);
    lblHomePage = MakeLabel(Panel1, "lblHomePage", "HomePage", 8, 129, GothicFont(12));
    createLinkField(txtMail, "txtMail", about::kMail, 145);
    lblMail = MakeLabel(Panel1, "lblMail", "E-mail", 8, 149, GothicFont(12));

    Label4 = MakeLabel(Panel1, "Label4", HG_SJIS("このソフトウェアはフリーソフトです。"), 80, 100, font());

    btnOK->setFocus();
}

// A read-only field drawn as a hyperlink: blue, underlined, flat, on the window's background,
// with the hand cursor; reached by clicking only, never by Tab.
void TfrmAboutBox::createLinkField(QLineEdit*& field, const char* name, std::string_view text, int top)
{
    field = new QLineEdit(Text(text), Panel1);
    field->setObjectName(QLatin1String(name));
    field->setGeometry(72, top, 249, 18);
    field->setReadOnly(true);
    field->setFrame(false);
    field->setFocusPolicy(Qt::ClickFocus);
    field->setCursor(Qt::PointingHandCursor);
    QFont linkFont = GothicFont(12);
    linkFont.setUnderline(true);
    field->setFont(linkFont);
    QPalette link = field->palette();
    link.setColor(QPalette::Base, palette().color(QPalette::Button));
    link.setColor(QPalette::Text, kBlue);
    field->setPalette(link);
    field->setCursorPosition(0);
    field->installEventFilter(this);
}

void TfrmAboutBox::Show()
{
    if (!FPlaced) {
        QScreen* screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen();
        if (screen)
            move(screen->availableGeometry().center() - rect().center());
        FPlaced = true;
    }
    show();
    raise();
    activateWindow();
}

void TfrmAboutBox::btnOKClick() { hide(); }

void TfrmAboutBox::txtHomePageDblClick()
{
    // The address is the handler's own, not the field's text. A failure is not reported.
    const std::string url(about::kHomePage);
    Application().Services().openUrl(QUrl(Text(url)));
}

void TfrmAboutBox::txtMailDblClick()
{
    const std::string url = "mailto:" + std::string(about::kMail);
    Application().Services().openUrl(QUrl(Text(url)));
}

void TfrmAboutBox::reject() {}

void TfrmAboutBox::closeEvent(QCloseEvent* event)
{
    // The close box and Alt+F4 only hide the box (QDialog would go through reject()).
    event->accept();
}

bool TfrmAboutBox::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::MouseButtonDblClick) {
        if (watched == txtHomePage)
            txtHomePageDblClick();
        else if (watched == txtMail)
            txtMailDblClick();
    }
    return QDialog::eventFilter(watched, event); // the field still selects the word
}

} // namespace hg::forms
