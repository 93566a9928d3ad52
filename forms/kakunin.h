// The question asked before a run writes to a file that already exists.
#pragma once

#include <QDialog>
#include <QPoint>

class QLabel;
class QPushButton;

namespace hg::forms {

class TfrmKakunin final : public QDialog {
    Q_OBJECT
public:
    // Results, as the run reads them.
    static constexpr int mrUwagaki = 6; // overwrite
    static constexpr int mrTuiki = 7;   // append (also Esc)
    static constexpr int mrCancel = 2;  // cancel, and every other way of closing

    explicit TfrmKakunin(QWidget* parent = nullptr);

    QPushButton* btnUwagaki = nullptr;
    QPushButton* btnTuiki = nullptr;
    QPushButton* btnCancel = nullptr;
    QLabel* Label1 = nullptr;

    // Shows the dialog modally and returns 6, 7 or 2.
    int ShowModal();

    void done(int result) override;
    void reject() override;

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    QPushButton* lastFocus_ = nullptr;
    bool shownBefore_ = false;
    QPoint lastPos_;
};

extern TfrmKakunin* frmKakunin;

} // namespace hg::forms
