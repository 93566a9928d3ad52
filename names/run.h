// The generation run: everything between a click on the generate button and its last name.
//
// The run keeps its state where the window keeps it (the remaining count and the stop flag in
// Tags, the monitor lines in captions) and reaches the window only through IRunWindow, which
// TfrmEdit implements and tests fake. The output file is TOutputFile (output.h).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace hg {

class TNameTable;

enum class TRunControl { edtOutput, txtNinzu, btnKorokoro, btnOutput, radKeisiki };

class IRunWindow {
public:
    virtual ~IRunWindow() = default;

    virtual std::string CountText() const = 0;                   // txtNinzu's text
    virtual std::int32_t RemainingCount() const = 0;              // stxZanken.Tag
    virtual void SetRemainingCount(std::int32_t count) = 0;
    virtual void SetRemainingText(std::string_view text) = 0;     // stxZanken's caption
    virtual std::int32_t StopFlag() const = 0;                    // frmEdit.Tag
    virtual void SetStopFlag(std::int32_t flag) = 0;
    virtual void SetKanjiLine(std::string_view line) = 0;         // stxKanji's caption
    virtual std::string_view KanjiLine() const = 0;
    virtual void SetReadingLine(std::string_view line) = 0;       // stxHiragana's caption
    virtual std::string_view ReadingLine() const = 0;
    virtual const std::string& Destination() const = 0;           // edtOutput's text
    virtual void SetDestination(const std::string& text) = 0;
    virtual int LayoutIndex() const = 0;                          // radKeisiki's selected item
    virtual void SetControlEnabled(TRunControl control, bool enabled) = 0;
    virtual void FocusGenerateButton() = 0;
    // Takes every pending window message and dispatches it, then returns.
    virtual void ProcessMessages() = 0;
    virtual TNameTable& SurnameTable() = 0;                      // tblSei
    virtual TNameTable& GivenNameTable() = 0;                    // tblMei
    virtual void AdvanceNameTables() = 0;

    // What opening the destination needs.
    virtual int AskOverwrite() = 0;                               // 6 overwrite, 7 append, 2 cancel
    virtual void ShowMessage(const std::string& text) = 0;       // the plain message box
    virtual std::string ExeDir() const = 0;                       // with its final separator
};

// The destination text that means "write no file".
const std::string& NoOutputMarker();

// "残り " + count + "名", written into `out` (reused, so the per-name step allocates nothing).
void FormatRemainingText(std::int32_t count, std::string& out);

// The one text-to-integer conversion of the count: optional leading blanks, an optional sign,
// decimal digits, nothing after them, within 32 bits. The check made when the count field is
// left and the run's reading of the count both use it.
std::optional<std::int32_t> TryStrToInt(std::string_view text) noexcept;
// Throws EHanagumoError "'<text>' is not a valid integer value".
std::int32_t StrToInt(std::string_view text);

// One whole run (btnKorokoroClick). Returns when the run has ended, whichever way; a failure
// leaves as EHanagumoError after the closing steps have run.
void ExecuteRun(IRunWindow& window);

// btnCancelClick: stop flag := 1, then the generate button enabled again.
void RequestStop(IRunWindow& window);

} // namespace hg
