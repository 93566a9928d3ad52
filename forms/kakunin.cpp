#include "kakunin.h"

#include "Application.h"

#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>

namespace hg::forms {

TfrmKakunin* frmKakunin = nullptr;

TfrmKakunin::TfrmKakunin(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint)
{
    setObjectName(QStringLiteral("frmKakunin"));
    setWindowTitle(QStringLiteral("出力確認"));
    setFixedSize(281, 66);
    setWindowIcon(QIcon());
    QFont formFont(QStringLiteral("ＭＳ Ｐゴシック"));
    formFont.setPixelSize(12);
    setFont(formFont);
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, pal.color(QPalette::Button));
    setPalette(pal);

    Label1 = new QLabel(QStringLiteral("出力先に指定されたファイルは既に存在しています。"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->move(8, 8);
    Label1->adjustSize();

    auto makeButton = [this](const char* name, const QString& caption, int left, int result) {
        auto* button = new QPushButton(caption, this);
        button->setObjectName(QString::fromLatin1(name));
        button->setGeometry(left, 33, 75, 25);
        button->setAutoDefault(true);
        connect(button, &QPushButton::clicked, this, [this, result] { done(result); });
        return button;
    };
    btnUwagaki = makeButton("btnUwagaki", QStringLiteral("上書き"), 20, mrUwagaki);
    btnTuiki = makeButton("btnTuiki", QStringLiteral("追加"), 100, mrTuiki);
    btnCancel = makeButton("btnCancel", QStringLiteral("キャンセル"), 180, mrCancel);
    btnUwagaki->setDefault(true);
    setTabOrder(btnUwagaki, btnTuiki);
    setTabOrder(btnTuiki, btnCancel);
    lastFocus_ = btnUwagaki;
}

int TfrmKakunin::ShowModal()
{
    if (shownBefore_)
        move(lastPos_);
    shownBefore_ = true;
    setResult(mrCancel); // an application that quits while the dialog is open gets 2
    QPushButton* focus = lastFocus_;
    QMetaObject::invokeMethod(this, [focus] { focus->setFocus(Qt::OtherFocusReason); }, Qt::QueuedConnection);
    const int result = exec();
    return (result == mrUwagaki || result == mrTuiki) ? result : mrCancel;
}

void TfrmKakunin::done(int result)
{
    for (QPushButton* button : {btnUwagaki, btnTuiki, btnCancel}) {
        if (button->hasFocus())
            lastFocus_ = button;
    }
    lastPos_ = pos();
    QDialog::done(result);
}

void TfrmKakunin::reject()
{
    done(mrCancel); // the close box, Alt+F4
}

void TfrmKakunin::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        btnTuiki->click(); // "追加" is the cancel button: Esc appends
        return;
    }
    QDialog::keyPressEvent(event);
}

} // namespace hg::forms
