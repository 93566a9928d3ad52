// Hanagumo: start-up. Sets the application title, creates the main window, the About box and
// the overwrite question in that order (the last two hidden), then runs the event loop until
// the main window has closed.
#include "AboutBox.h"
#include "Application.h"
#include "Edit.h"
#include "kakunin.h"

#include <QApplication>
#include <QFont>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    // The faces the windows name, and the ones that stand in for them where they are missing.
    QFont::insertSubstitution(QStringLiteral("ＭＳ ゴシック"), QStringLiteral("IPAGothic"));
    QFont::insertSubstitution(QStringLiteral("ＭＳ Ｐゴシック"), QStringLiteral("IPAPGothic"));
    QApplication::setQuitOnLastWindowClosed(false); // the main window's closing ends the tool

    using namespace hg::forms;
    Application().SetTitle("Hanagumo");
    TfrmEdit edit;
    QObject::connect(&edit, &TfrmEdit::Closed, &app, &QApplication::quit, Qt::QueuedConnection);
    edit.show();
    TfrmAboutBox aboutBox;
    frmAboutBox = &aboutBox;
    TfrmKakunin kakunin;
    frmKakunin = &kakunin;
    const int code = app.exec();
    frmAboutBox = nullptr;
    frmKakunin = nullptr;
    return code;
}
