// A window for the run without a display: controls are plain members, the message pump is a hook.
#pragma once

#include "nametable.h"
#include "run.h"

#include <functional>
#include <map>
#include <string>
#include <vector>

namespace hg::test {

class TFakeRunWindow : public IRunWindow {
public:
    TFakeRunWindow() : sei("tblSei"), mei("tblMei")
    {
        for (auto c : {TRunControl::edtOutput, TRunControl::txtNinzu, TRunControl::btnKorokoro, TRunControl::btnOutput})
            enabled[c] = true;
        enabled[TRunControl::radKeisiki] = false;
        destination = NoOutputMarker();
    }

    std::string CountText() const override { return countText; }
    std::int32_t RemainingCount() const override { return remaining; }
    void SetRemainingCount(std::int32_t count) override { remaining = count; }
    void SetRemainingText(std::string_view text) override { remainingText = text; }
    std::int32_t StopFlag() const override { return stopFlag; }
    void SetStopFlag(std::int32_t flag) override { stopFlag = flag; }
    void SetKanjiLine(std::string_view line) override { kanji = line; }
    std::string_view KanjiLine() const override { return kanji; }
    void SetReadingLine(std::string_view line) override { reading = line; }
    std::string_view ReadingLine() const override { return reading; }
    const std::string& Destination() const override { return destination; }
    void SetDestination(const std::string& text) override { destination = text; }
    int LayoutIndex() const override { return layout; }
    void SetControlEnabled(TRunControl control, bool on) override
    {
        enabled[control] = on;
        if (control == TRunControl::btnKorokoro && on)
            focusedGenerate = false;
    }
    void FocusGenerateButton() override { focusedGenerate = true; }
    void ProcessMessages() override
    {
        ++pumps;
        if (onPump)
            onPump(*this);
    }
    TNameTable& SurnameTable() override { return sei; }
    TNameTable& GivenNameTable() override { return mei; }
    void AdvanceNameTables() override { hg::AdvanceNameTables(sei, mei); }
    int AskOverwrite() override
    {
        ++questions;
        return answer;
    }
    void ShowMessage(const std::string& text) override { messages.push_back(text); }
    std::string ExeDir() const override { return exeDir; }

    std::string countText = "1";
    std::int32_t remaining = 0;
    std::string remainingText;
    std::int32_t stopFlag = 0;
    std::string kanji, reading;
    std::string destination;
    int layout = 0;
    std::map<TRunControl, bool> enabled;
    bool focusedGenerate = false;
    int pumps = 0;
    std::function<void(TFakeRunWindow&)> onPump;
    TNameTable sei, mei;
    int answer = 6;
    int questions = 0;
    std::vector<std::string> messages;
    std::string exeDir = "/nonexistent/";
};

} // namespace hg::test
