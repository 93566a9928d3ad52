#include "Edit.h"

#include "AboutBox.h"
#include "Application.h"
#include "Controls.h"
#include "awhhelp.h"
#include "helpviewer.h"
#include "SpinEdit.h"
#include "kakunin.h"

#include "cp932.h"
#include "errors.h"
#include "random.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCloseEvent>
#include <QFileDialog>
#include <QDir>
#include <QFileInfo>
#include <QGroupBox>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QShortcut>
#include <QTimer>

#include <chrono>

namespace hg::forms {

TfrmEdit* frmEdit = nullptr;
TfrmAboutBox* frmAboutBox = nullptr;
TRandom* TfrmEdit::RandomSource = nullptr;

namespace {

constexpr std::int32_t kMaxCount = 59124873;

QFont Font(const char* family, int pixels, bool bold = false)
{
    QFont font(QString::fromUtf8(family));
    font.setPixelSize(pixels);
    font.setBold(bold);
    return font;
}

QPushButton* BitmapButton(QWidget* parent, const char* name, const QRect& geometry, TGlyph glyph, const QString& hint)
{
    auto* button = new QPushButton(parent);
    button->setObjectName(QString::fromLatin1(name));
    button->setGeometry(geometry);
    button->setIcon(GlyphIcon(glyph));
    button->setIconSize(GlyphSize(glyph));
    button->setToolTip(hint);
    return button;
}

// Runs a handler's work; an error that leaves it ends in the default error box.
template <typename Work>
void Guarded(Work&& work)
{
    try {
        work();
    } catch (const EHanagumoError& e) {
        Application().ShowException(e.what());
    } catch (const std::exception& e) {
        Application().ShowException(e.what());
    } catch (...) {
        Application().ShowException("Unknown error");
    }
}

} // namespace

TfrmEdit::TfrmEdit(QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint)
{
    frmEdit = this;
    setObjectName(QStringLiteral("frmEdit"));
    CreateControls();
    ConnectHandlers();
    SetTabOrder();
    // The help bridge takes the application's help requests once the window is built.
    helpViewer_ = help::CreateHtmlHelpViewer();
    HTMLHelp1 = new help::THTMLHelp(Application(), *helpViewer_);
    HTMLHelp1->Loaded(false);
    FormCreate();
    // Centred on the screen when first shown.
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

TfrmEdit::~TfrmEdit()
{
    delete HTMLHelp1; // before the viewer it uses
    if (frmEdit == this)
        frmEdit = nullptr;
}

void TfrmEdit::CreateControls()
{
    setFixedSize(361, 303);
    setWindowIcon(ApplicationIcon());
    setFont(Font("ＭＳ ゴシック", 15));
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, QColor(0xF0, 0xF0, 0xF0)); // the system menu colour
    setPalette(pal);

    const QString monitorHint = QStringLiteral("出力データに関する情報を表示します");
    sapMoniter = new TShape(this);
    sapMoniter->setObjectName(QStringLiteral("sapMoniter"));
    sapMoniter->setGeometry(0, 0, 361, 60);
    sapMoniter->setToolTip(monitorHint);

    bevBase = new QFrame(this);
    bevBase->setObjectName(QStringLiteral("bevBase"));
    bevBase->setGeometry(0, 64, 361, 193);
    bevBase->setFrameStyle(QFrame::Box | QFrame::Sunken);

    Label1 = new QLabel(QStringLiteral("出力先"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setGeometry(8, 72, 49, 25);
    Label1->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    Label2 = new QLabel(QStringLiteral("人数"), this);
    Label2->setObjectName(QStringLiteral("Label2"));
    Label2->setGeometry(8, 101, 49, 25);
    Label2->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);

    btnKorokoro = BitmapButton(this, "btnKorokoro", {104, 264, 105, 33}, TGlyph::Korokoro, QStringLiteral("ころこ～ろ"));
    btnKorokoro->setText(QStringLiteral("ころころ"));

    auto monitorLine = [&](const char* name, const QRect& geometry, const QFont& font) {
        auto* text = new TStaticText(this);
        text->setObjectName(QString::fromLatin1(name));
        text->setGeometry(geometry);
        text->setFont(font);
        text->setToolTip(monitorHint);
        return text;
    };
    stxKanji = monitorLine("stxKanji", {16, 8, 217, 25}, Font("ＭＳ Ｐゴシック", 21, true));
    stxHiragana = monitorLine("stxHiragana", {16, 32, 217, 25}, Font("ＭＳ Ｐゴシック", 21, true));
    stxZanken = monitorLine("stxZanken", {232, 8, 121, 25}, Font("ＭＳ Ｐゴシック", 15));
    stxZanken->SetAlignment(Qt::AlignRight | Qt::AlignVCenter);
    stxZanken->SetCaption(HG_SJIS("残り 0名"));

    btnOutput = BitmapButton(this, "btnOutput", {328, 72, 27, 25}, TGlyph::Output, QStringLiteral("出力先選択のダイアログを表示します"));
    btnCancel = BitmapButton(this, "btnCancel", {208, 264, 33, 33}, TGlyph::Cancel, QStringLiteral("強制停止"));
    CreateRadioGroup();

    edtOutput = new TEdit(this);
    edtOutput->setObjectName(QStringLiteral("edtOutput"));
    edtOutput->setGeometry(64, 72, 257, 25);
    edtOutput->setFont(Font("ＭＳ ゴシック", 13));
    edtOutput->setToolTip(QStringLiteral("出力先をフルパスで入力してください"));
    SetDestination(NoOutputMarker());

    btnHelp = BitmapButton(this, "btnHelp", {296, 264, 33, 33}, TGlyph::Help, QStringLiteral("ヘルプ"));
    btnAbout = BitmapButton(this, "btnAbout", {328, 264, 33, 33}, TGlyph::About, QStringLiteral("バージョン情報"));

    txtNinzu = new TSpinEdit(this);
    txtNinzu->setObjectName(QStringLiteral("txtNinzu"));
    txtNinzu->setGeometry(64, 99, 257, 30);
    txtNinzu->setFont(Font("ＭＳ ゴシック", 19));
    txtNinzu->setToolTip(QStringLiteral("出力する人数を1～59124873の範囲で入力してください"));
    txtNinzu->MinValue = 1;
    txtNinzu->MaxValue = kMaxCount;
    txtNinzu->Increment = 1;
    txtNinzu->SetMaxLength(8);
    txtNinzu->SetText(QStringLiteral("1"));

    // The stacking order of the layout: later controls lie above earlier ones.
    for (QWidget* w : std::initializer_list<QWidget*>{sapMoniter, bevBase, Label1, Label2, btnKorokoro, stxKanji,
                                                      stxHiragana, stxZanken, btnOutput, btnCancel, radKeisiki,
                                                      edtOutput, btnHelp, btnAbout, txtNinzu})
        w->raise();
}

void TfrmEdit::CreateRadioGroup()
{
    radKeisiki = new QGroupBox(QStringLiteral("出力形式"), this);
    radKeisiki->setObjectName(QStringLiteral("radKeisiki"));
    radKeisiki->setGeometry(64, 144, 257, 105);
    radKeisiki->setToolTip(QStringLiteral("ファイルに出力する時の形式を指定してください"));
    layoutButtons_ = new QButtonGroup(this);
    const QString items[] = {QStringLiteral("漢字+ひらがな（カンマ区切り）"), QStringLiteral("漢字+ひらがな（タブ区切り）"),
                             QStringLiteral("漢字のみ"), QStringLiteral("ひらがなのみ")};
    // One column: the items share the group's height below its caption.
    const int top = 18, itemHeight = (105 - top - 4) / 4;
    for (int i = 0; i < 4; ++i) {
        auto* item = new QRadioButton(items[i], radKeisiki);
        item->setObjectName(QStringLiteral("radKeisiki%1").arg(i));
        item->setGeometry(8, top + i * itemHeight, 257 - 16, itemHeight);
        layoutButtons_->addButton(item, i);
    }
    // The selected item, kept as it changes: the run reads it for every name.
    connect(layoutButtons_, &QButtonGroup::idToggled, this, [this](int id, bool checked) {
        if (checked)
            layoutIndex_ = id;
    });
    layoutButtons_->button(0)->setChecked(true);
    radKeisiki->setEnabled(false);
}

void TfrmEdit::ConnectHandlers()
{
    connect(btnKorokoro, &QPushButton::clicked, this, [this] { btnKorokoroClick(); });
    connect(btnCancel, &QPushButton::clicked, this, [this] { btnCancelClick(); });
    connect(btnOutput, &QPushButton::clicked, this, [this] { Guarded([this] { btnOutputClick(); }); });
    connect(btnAbout, &QPushButton::clicked, this, [this] { Guarded([this] { btnAboutClick(); }); });
    connect(btnHelp, &QPushButton::clicked, this, [this] { Guarded([this] { btnHelpClick(); }); });
    connect(edtOutput, &QLineEdit::textChanged, this, [this](const QString& text) { destination_ = ToCp932(text); });
    edtOutput->installEventFilter(this);
    txtNinzu->OnKeyPress = [this](char32_t& key) { txtNinzuKeyPress(key); };

    // Esc presses the stop button, wherever the focus is in this window.
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    escape->setContext(Qt::WindowShortcut);
    connect(escape, &QShortcut::activated, btnCancel, [this] {
        if (btnCancel->isEnabled())
            btnCancel->click();
    });

    // The exit checks run when the focus moves to another control of this window.
    connect(qApp, &QApplication::focusChanged, this, [this](QWidget* old, QWidget* now) {
        if (!old || !now || now->window() != this || inExitCheck_)
            return;
        if (old == txtNinzu || old == edtOutput)
            LeaveField(old);
    });
    qApp->installEventFilter(this);
}

void TfrmEdit::SetTabOrder()
{
    setTabOrder(btnKorokoro, btnCancel);
    setTabOrder(btnCancel, btnHelp);
    setTabOrder(btnHelp, btnAbout);
    setTabOrder(btnAbout, edtOutput);
    setTabOrder(edtOutput, btnOutput);
    setTabOrder(btnOutput, txtNinzu);
    setTabOrder(txtNinzu, layoutButtons_->button(0));
    for (int i = 0; i < 3; ++i)
        setTabOrder(layoutButtons_->button(i), layoutButtons_->button(i + 1));
    btnKorokoro->setFocus(Qt::OtherFocusReason);
}

// ---- creation and closing ----------------------------------------------------------------

void TfrmEdit::FormCreate()
{
    try {
        LoadNameTables();
    } catch (...) {
        btnKorokoro->setEnabled(false);
        btnCancel->setEnabled(false);
        stxKanji->SetCaption(HG_SJIS("データファイルが"));
        stxHiragana->SetCaption(HG_SJIS("見つかりません"));
    }
    FAppName = HG_SJIS("ころころ帳");
    FOutputBaseName = HG_SJIS("ころりん");
    FDefaultOutputPath = FOutputBaseName;
    Application().SetTitle(FAppName);
    setWindowTitle(FromCp932(FAppName));
}

void TfrmEdit::LoadNameTables()
{
    hg::LoadNameTables(tblSei, tblMei, Application().ExeDir(), RandomSource ? *RandomSource : DefaultRandom());
}

void TfrmEdit::AdvanceNameTables() { hg::AdvanceNameTables(tblSei, tblMei); }

void TfrmEdit::CloseNameTables() { hg::CloseNameTables(tblSei, tblMei); }

void TfrmEdit::FormCloseQuery(bool& canClose)
{
    CloseNameTables();
    (void)canClose; // closing is never refused
}

void TfrmEdit::closeEvent(QCloseEvent* event)
{
    bool canClose = true;
    if (!closeRequested_)
        FormCloseQuery(canClose);
    if (running_) {
        // The run ends through its failure path at its next read of the closed tables; the
        // window closes once its error has been shown.
        closeRequested_ = true;
        event->ignore();
        return;
    }
    event->accept();
    emit Closed(); // the main window takes the other windows with it
}

// ---- the run -----------------------------------------------------------------------------

void TfrmEdit::btnKorokoroClick()
{
    if (running_)
        return; // a click delivered by the run's own pump starts no second run
    running_ = true;
    Guarded([this] { ExecuteRun(*this); });
    running_ = false;
    SettleMonitor();
    if (closeRequested_)
        QTimer::singleShot(0, this, [this] { close(); });
}

void TfrmEdit::btnCancelClick() { RequestStop(*this); }

void TfrmEdit::SettleMonitor()
{
    stxKanji->FlushCaption();
    stxHiragana->FlushCaption();
    stxZanken->FlushCaption();
}

std::string TfrmEdit::CountText() const { return ToCp932(txtNinzu->Text()); }
std::int32_t TfrmEdit::RemainingCount() const { return stxZanken->Tag; }
void TfrmEdit::SetRemainingCount(std::int32_t count) { stxZanken->Tag = count; }
void TfrmEdit::SetRemainingText(std::string_view text) { stxZanken->SetCaption(text); }
void TfrmEdit::SetKanjiLine(std::string_view line) { stxKanji->SetCaption(line); }
std::string_view TfrmEdit::KanjiLine() const { return stxKanji->Caption(); }
void TfrmEdit::SetReadingLine(std::string_view line) { stxHiragana->SetCaption(line); }
std::string_view TfrmEdit::ReadingLine() const { return stxHiragana->Caption(); }

void TfrmEdit::SetDestination(const std::string& text)
{
    edtOutput->setText(FromCp932(text));
    destination_ = text; // the bytes themselves, also where the field cannot show them
}

int TfrmEdit::LayoutIndex() const { return layoutIndex_; }
void TfrmEdit::SetLayoutIndex(int index) { layoutButtons_->button(index)->setChecked(true); }

void TfrmEdit::SetControlEnabled(TRunControl control, bool enabled)
{
    QWidget* widget = nullptr;
    switch (control) {
    case TRunControl::edtOutput: widget = edtOutput; break;
    case TRunControl::txtNinzu: widget = txtNinzu; break;
    case TRunControl::btnKorokoro: widget = btnKorokoro; break;
    case TRunControl::btnOutput: widget = btnOutput; break;
    case TRunControl::radKeisiki: widget = radKeisiki; break;
    }
    widget->setEnabled(enabled);
}

void TfrmEdit::FocusGenerateButton() { btnKorokoro->setFocus(Qt::OtherFocusReason); }

void TfrmEdit::ProcessMessages()
{
    // A pass of the event loop costs about two microseconds here, more than all the rest of a
    // name; nothing the user does is seen sooner than a millisecond apart, so the pending
    // messages are taken at most once a millisecond (the clock itself is read every few names).
    // Stop clicks, painting and the other buttons are served as before, at most that much later.
    if (++namesSinceClock_ < kNamesPerClockRead)
        return;
    namesSinceClock_ = 0;
    const auto now = std::chrono::steady_clock::now();
    if (now - lastPump_ < kPumpInterval)
        return;
    lastPump_ = now;
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

int TfrmEdit::AskOverwrite() { return frmKakunin->ShowModal(); }

void TfrmEdit::ShowMessage(const std::string& text) { Application().ShowMessage(text); }

std::string TfrmEdit::ExeDir() const { return Application().ExeDir(); }

// ---- About and help ----------------------------------------------------------------------

void TfrmEdit::btnAboutClick()
{
    if (frmAboutBox)
        frmAboutBox->Show();
}

void TfrmEdit::btnHelpClick() { (void)Application().HelpCommand(11, 0); }

// ---- run settings input -------------------------------------------------------------------

void TfrmEdit::txtNinzuKeyPress(char32_t& key)
{
    if (!((key >= U'0' && key <= U'9') || key == 8))
        key = 0;
}

void TfrmEdit::txtNinzuExit(bool& accepted)
{
    const std::int32_t value = TryStrToInt(ToCp932(txtNinzu->Text())).value_or(99999999);
    accepted = value >= 1 && value <= kMaxCount;
    if (!accepted) {
        ShowMessage(HG_SJIS("人数は 1 ～ 59124873 の範囲で入力して下さい"));
        txtNinzu->setFocus(Qt::OtherFocusReason);
    }
}

void TfrmEdit::edtOutputKeyPress(char32_t)
{
    if (destination_ == NoOutputMarker()) {
        edtOutput->clear();
        radKeisiki->setEnabled(true);
    }
}

void TfrmEdit::edtOutputExit()
{
    if (destination_.empty() || destination_ == NoOutputMarker()) {
        SetDestination(NoOutputMarker());
        radKeisiki->setEnabled(false);
    } else {
        radKeisiki->setEnabled(true);
    }
}

QString TfrmEdit::SaveDialogTitle() { return QStringLiteral("出力先指定"); }
QString TfrmEdit::SaveDialogFilter()
{
    return QStringLiteral("Text File (*.txt);;Csv File (*.csv);;All (*.*)");
}

void TfrmEdit::btnOutputClick()
{
    QString suggested;
    if (destination_ != NoOutputMarker())
        suggested = FromCp932(destination_);
    else
        suggested = FromCp932(cp932::SplitPath(FDefaultOutputPath).fileName);

    int filterIndex = saveFilterIndex_;
    QString chosen;
    if (saveDialog_) {
        chosen = saveDialog_(suggested, filterIndex);
    } else {
        QFileDialog dialog(this, SaveDialogTitle());
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
        dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
        dialog.setNameFilters(SaveDialogFilter().split(QStringLiteral(";;")));
        dialog.selectNameFilter(dialog.nameFilters().value(filterIndex - 1));
        dialog.setDefaultSuffix(QStringLiteral("txt"));
        dialog.setSizeGripEnabled(true);
        dialog.selectFile(suggested);
        while (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty()) {
            const QString path = dialog.selectedFiles().constFirst();
            const QFileInfo info(path);
            if (!info.absoluteDir().exists()) {
                QMessageBox::warning(&dialog, SaveDialogTitle(),
                                     QStringLiteral("%1\nフォルダーが存在しません。").arg(info.absolutePath()));
                continue;
            }
            if (info.exists() && !info.isWritable()) {
                QMessageBox::warning(&dialog, SaveDialogTitle(),
                                     QStringLiteral("%1\nこのファイルは読み取り専用です。別の名前を指定してください。").arg(path));
                continue;
            }
            chosen = path;
            filterIndex = int(dialog.nameFilters().indexOf(dialog.selectedNameFilter())) + 1;
            break;
        }
    }
    if (chosen.isEmpty())
        return; // cancelled: nothing changes
    saveFilterIndex_ = filterIndex > 0 ? filterIndex : 1;
    SetDestination(ToCp932(chosen));
    radKeisiki->setEnabled(true);
}

// ---- focus moves ----------------------------------------------------------------------------

bool TfrmEdit::LeaveField(QWidget* field)
{
    inExitCheck_ = true;
    bool accepted = true;
    if (field == txtNinzu) {
        Guarded([&] { txtNinzuExit(accepted); });
        txtNinzu->ExitStep();
    } else if (field == edtOutput) {
        Guarded([this] { edtOutputExit(); });
    }
    inExitCheck_ = false;
    if (!accepted) {
        // The click that tried to leave the field is not carried out.
        swallowReleaseFor_ = nullptr;
        refusedLeave_ = true;
        QTimer::singleShot(0, this, [this] { refusedLeave_ = false; });
    }
    return accepted;
}

bool TfrmEdit::eventFilter(QObject* watched, QEvent* event)
{
    switch (event->type()) {
    case QEvent::KeyPress:
        if (watched == edtOutput) {
            auto* key = static_cast<QKeyEvent*>(event);
            if (!key->text().isEmpty() && key->key() != Qt::Key_Delete && key->key() != Qt::Key_Escape)
                edtOutputKeyPress(key->text().toUcs4().value(0));
        }
        break;
    case QEvent::InputMethod:
        // Characters committed by an input method (kana-kanji conversion) are typed characters too.
        if (watched == edtOutput) {
            const QString committed = static_cast<QInputMethodEvent*>(event)->commitString();
            if (!committed.isEmpty())
                edtOutputKeyPress(committed.toUcs4().value(0));
        }
        break;
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
        if (refusedLeave_ && watched->isWidgetType()) {
            refusedLeave_ = false;
            swallowReleaseFor_ = static_cast<QWidget*>(watched);
            return true;
        }
        break;
    case QEvent::MouseButtonRelease:
        if (watched == swallowReleaseFor_) {
            swallowReleaseFor_ = nullptr;
            return true;
        }
        break;
    default:
        break;
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace hg::forms
