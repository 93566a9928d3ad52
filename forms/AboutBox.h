// The About box (frmAboutBox): the icon, the tool's name and version, the maker, a copyright
// line, a freeware notice and two link fields that open the home page and a mail message.
//
// Created hidden at start-up and only ever shown and hidden again, never destroyed before the
// application ends. It has no cancel button: Esc does nothing, the close box and OK hide it.
#pragma once

#include <QDialog>

#include <string_view>

class QCloseEvent;
class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;

namespace hg::forms {

class TfrmAboutBox final : public QDialog {
    Q_OBJECT

public:
    explicit TfrmAboutBox(QWidget* parent = nullptr);

    // Shows the box, centred on the screen the first time and where it was left afterwards;
    // an open box is only brought to the front.
    void Show();

public slots:
    void btnOKClick();
    void txtHomePageDblClick();
    void txtMailDblClick();

    // Esc lands here: the box has no cancel button, so nothing happens.
    void reject() override;

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void createControls();
    void createLinkField(QLineEdit*& field, const char* name, std::string_view text, int top);

    QFrame* Panel1 = nullptr;
    QLabel* ImgIcon = nullptr;
    QLabel* lblAppName = nullptr;
    QLabel* lblVersion = nullptr;
    QLabel* lblCopyright = nullptr;
    QPushButton* btnOK = nullptr;
    QLabel* lblProduct = nullptr;
    QLineEdit* txtHomePage = nullptr;
    QLabel* lblHomePage = nullptr;
    QLineEdit* txtMail = nullptr;
    QLabel* lblMail = nullptr;
    QLabel* Label4 = nullptr;
    bool FPlaced = false; // centred once; later showings keep the last position
};

} // namespace hg::forms
