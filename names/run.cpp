#include "run.h"

#include "cp932.h"
#include "errors.h"
#include "nametable.h"
#include "output.h"

#include <algorithm>
#include <charconv>
#include <climits>

namespace hg {

namespace {

// Joins two field values around `separator` into `out`; false when either is no value.
bool JoinInto(std::string& out, const TFieldValue& left, std::string_view separator, const TFieldValue& right)
{
    if (!left || !right)
        return false;
    // One resize and three copies: this runs twice for every name.
    out.resize(left->size() + separator.size() + right->size());
    char* at = out.data();
    at = std::copy(left->begin(), left->end(), at);
    at = std::copy(separator.begin(), separator.end(), at);
    std::copy(right->begin(), right->end(), at);
    return true;
}

[[noreturn]] void ThrowNullConversion()
{
    throw EHanagumoError("Could not convert variant of type (Null) into type (String)");
}

void Enable(IRunWindow& window, std::initializer_list<TRunControl> controls, bool enabled)
{
    for (TRunControl control : controls)
        window.SetControlEnabled(control, enabled);
}

// Closing steps: on every way out of a run, failures included.
void CloseRun(IRunWindow& window, TOutputFile& output)
{
    Enable(window, {TRunControl::edtOutput, TRunControl::txtNinzu, TRunControl::btnKorokoro, TRunControl::btnOutput}, true);
    if (window.Destination() != NoOutputMarker())
        window.SetControlEnabled(TRunControl::radKeisiki, true);
    if (output.IsOpen())
        output.Close(); // a failure here is the error the user sees; the focus step is skipped
    window.FocusGenerateButton();
}

void RunNames(IRunWindow& window, TOutputFile& output)
{
    const std::string& separator = HG_SJIS("　");
    const std::string& sei = HG_SJIS("姓");
    const std::string& mei = HG_SJIS("名");
    const std::string& seiYomi = HG_SJIS("姓よみ");
    const std::string& meiYomi = HG_SJIS("名よみ");
    std::string line;
    std::string remainingText;
    TNameTable& surnames = window.SurnameTable();
    TNameTable& givenNames = window.GivenNameTable();

    while (window.RemainingCount() > 0) {
        window.ProcessMessages();
        if (window.StopFlag() == 1)
            break;

        const TFieldValue surname = surnames.FieldValue(sei);
        const TFieldValue givenName = givenNames.FieldValue(mei);
        if (!JoinInto(line, surname, separator, givenName))
            ThrowNullConversion();
        window.SetKanjiLine(line);
        const TFieldValue surnameReading = surnames.FieldValue(seiYomi);
        const TFieldValue givenNameReading = givenNames.FieldValue(meiYomi);
        if (!JoinInto(line, surnameReading, separator, givenNameReading))
            ThrowNullConversion();
        window.SetReadingLine(line);

        if (window.Destination() != NoOutputMarker() && output.IsOpen())
            output.WriteNameLine(window.LayoutIndex(), window.KanjiLine(), window.ReadingLine());

        window.AdvanceNameTables();
        const std::int32_t remaining = window.RemainingCount() - 1;
        window.SetRemainingCount(remaining);
        FormatRemainingText(remaining, remainingText);
        window.SetRemainingText(remainingText);
    }
}

} // namespace

const std::string& NoOutputMarker() { return HG_SJIS("出力なし"); }

void FormatRemainingText(std::int32_t count, std::string& out)
{
    const std::string& prefix = HG_SJIS("残り ");
    char digits[16];
    const auto result = std::to_chars(digits, digits + sizeof digits, count);
    // Called for every name with the same `out`: the prefix is usually there already.
    if (out.compare(0, prefix.size(), prefix) != 0)
        out.assign(prefix);
    out.resize(prefix.size());
    out.append(digits, result.ptr).append(HG_SJIS("名"));
}

std::optional<std::int32_t> TryStrToInt(std::string_view text) noexcept
{
    std::size_t i = 0;
    while (i < text.size() && text[i] == ' ')
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    if (i == text.size())
        return std::nullopt;
    std::int64_t value = 0;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        if (c < '0' || c > '9')
            return std::nullopt;
        value = value * 10 + (c - '0');
        if (value > static_cast<std::int64_t>(INT32_MAX) + 1)
            return std::nullopt;
    }
    if (negative)
        value = -value;
    if (value > INT32_MAX || value < INT32_MIN)
        return std::nullopt;
    return static_cast<std::int32_t>(value);
}

std::int32_t StrToInt(std::string_view text)
{
    if (const auto value = TryStrToInt(text))
        return *value;
    throw EHanagumoError("'" + std::string(text) + "' is not a valid integer value");
}

void ExecuteRun(IRunWindow& window)
{
    TOutputFile output;
    const std::string countText = window.CountText();
    if (countText.empty()) {
        CloseRun(window, output);
        return;
    }
    try {
        const std::int32_t count = StrToInt(countText);
        window.SetRemainingCount(count);
        std::string remainingText;
        FormatRemainingText(count, remainingText);
        window.SetRemainingText(remainingText);
        window.SetStopFlag(0);
        Enable(window,
               {TRunControl::edtOutput, TRunControl::txtNinzu, TRunControl::btnKorokoro, TRunControl::btnOutput,
                TRunControl::radKeisiki},
               false);
        if (output.OpenDestination(window) != TOpenOutcome::Abandoned)
            RunNames(window, output);
    } catch (...) {
        CloseRun(window, output); // an error of its own replaces the run's
        throw;
    }
    CloseRun(window, output);
}

void RequestStop(IRunWindow& window)
{
    window.SetStopFlag(1);
    window.SetControlEnabled(TRunControl::btnKorokoro, true);
}

} // namespace hg
