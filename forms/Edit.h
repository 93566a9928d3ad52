// The main window. It lays out the monitor and the run settings, loads the name tables when it
// is created, and hands a click on the generate button to the run (names/run.h), which reaches
// the controls back through IRunWindow.
#pragma once

#include "nametable.h"
#include "run.h"

#include <QWidget>

#include <chrono>
#include <functional>
#include <memory>
#include <string>

class QButtonGroup;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace hg {
class TRandom;
}

namespace hg::help {
class THTMLHelp;
class IHtmlHelpViewer;
}

namespace hg::forms {

class TfrmAboutBox;
class TShape;
class TSpinEdit;
class TStaticText;

class TfrmEdit final : public QWidget, public IRunWindow {
    Q_OBJECT
public:
    explicit TfrmEdit(QWidget* parent = nullptr);
    ~TfrmEdit() override;

    // Components, named as in the layout.
    TShape* sapMoniter = nullptr;
    TStaticText* stxKanji = nullptr;
    TStaticText* stxHiragana = nullptr;
    TStaticText* stxZanken = nullptr;
    QFrame* bevBase = nullptr;
    QPushButton* btnOutput = nullptr;
    QLabel* Label1 = nullptr;
    QLabel* Label2 = nullptr;
    QPushButton* btnKorokoro = nullptr;
    QPushButton* btnCancel = nullptr;
    QGroupBox* radKeisiki = nullptr;
    QLineEdit* edtOutput = nullptr;
    QPushButton* btnHelp = nullptr;
    QPushButton* btnAbout = nullptr;
    TSpinEdit* txtNinzu = nullptr;
    TNameTable tblSei{"tblSei"};
    TNameTable tblMei{"tblMei"};
    help::THTMLHelp* HTMLHelp1 = nullptr;

    std::int32_t Tag = 0; // the stop flag

    // Event handlers
    void FormCreate();
    void btnKorokoroClick();
    void txtNinzuExit(bool& accepted);
    void btnCancelClick();
    void btnOutputClick();
    void btnAboutClick();
    void edtOutputExit();
    void edtOutputKeyPress(char32_t key);
    void txtNinzuKeyPress(char32_t& key);
    void btnHelpClick();
    void FormCloseQuery(bool& canClose);

    // Table steps
    void LoadNameTables();
    void AdvanceNameTables() override;
    void CloseNameTables();

    bool Running() const noexcept { return running_; }
    // The draws of the tables' start records; tests put in their own before creating the window.
    static TRandom* RandomSource;
    int LayoutIndex() const override;
    void SetLayoutIndex(int index);

    // The save dialog, replaceable by tests: (suggested name, in/out selected filter index, from 1)
    // -> the chosen full path, or an empty string when cancelled.
    using TSaveDialog = std::function<QString(const QString& suggestedName, int& filterIndex)>;
    void SetSaveDialog(TSaveDialog dialog) { saveDialog_ = std::move(dialog); }
    static QString SaveDialogTitle();
    static QString SaveDialogFilter();

    // IRunWindow
    std::string CountText() const override;
    std::int32_t RemainingCount() const override;
    void SetRemainingCount(std::int32_t count) override;
    void SetRemainingText(std::string_view text) override;
    std::int32_t StopFlag() const override { return Tag; }
    void SetStopFlag(std::int32_t flag) override { Tag = flag; }
    void SetKanjiLine(std::string_view line) override;
    std::string_view KanjiLine() const override;
    void SetReadingLine(std::string_view line) override;
    std::string_view ReadingLine() const override;
    const std::string& Destination() const override { return destination_; }
    void SetDestination(const std::string& text) override;
    void SetControlEnabled(TRunControl control, bool enabled) override;
    void FocusGenerateButton() override;
    void ProcessMessages() override;
    TNameTable& SurnameTable() override { return tblSei; }
    TNameTable& GivenNameTable() override { return tblMei; }
    int AskOverwrite() override;
    void ShowMessage(const std::string& text) override;
    std::string ExeDir() const override;

signals:
    // The main window has closed: the application ends.
    void Closed();

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void CreateControls();
    void CreateRadioGroup();
    void ConnectHandlers();
    void SetTabOrder();
    bool LeaveField(QWidget* field); // runs the exit handler of the field being left
    void SettleMonitor();

    std::string FDefaultOutputPath;
    std::string FOutputBaseName;
    std::string FAppName;

    std::string destination_;
    QButtonGroup* layoutButtons_ = nullptr;
    TSaveDialog saveDialog_;
    int saveFilterIndex_ = 1;
    bool running_ = false;
    bool closeRequested_ = false;
    bool inExitCheck_ = false;
    bool refusedLeave_ = false;
    QWidget* swallowReleaseFor_ = nullptr;
    std::unique_ptr<help::IHtmlHelpViewer> helpViewer_;
    static constexpr std::chrono::microseconds kPumpInterval{1000};
    static constexpr int kNamesPerClockRead = 16;
    std::chrono::steady_clock::time_point lastPump_{};
    int namesSinceClock_ = 0;
    int layoutIndex_ = 0;
};

extern TfrmEdit* frmEdit;
extern TfrmAboutBox* frmAboutBox;

} // namespace hg::forms
