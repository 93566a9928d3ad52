// THtmlHelpWin: the system's HTML Help viewer (hhctrl.ocx) behind IHtmlHelpViewer, for the
// Windows build. Every call goes straight to HtmlHelpA, GetDesktopWindow and SysFreeString;
// the records of helpapi.h have the API's own layout, so their addresses pass unchanged.
#pragma once

#include "helpapi.h"

namespace hg::help {

class THtmlHelpWin final : public IHtmlHelpViewer {
public:
    THtmlHelpWin() = default;
    ~THtmlHelpWin() override;
    THtmlHelpWin(const THtmlHelpWin&) = delete;
    THtmlHelpWin& operator=(const THtmlHelpWin&) = delete;

    // Loads hhctrl.ocx on first use; 0 when it cannot be loaded.
    HelpWindow HtmlHelpA(HelpWindow caller, const char* file, unsigned command, std::uintptr_t data) override;
    HelpWindow GetDesktopWindow() override;
    void SysFreeString(HelpWideChar* text) override;

private:
    void* module_ = nullptr;   // HMODULE of hhctrl.ocx
    void* htmlHelpA_ = nullptr; // its HtmlHelpA
};

} // namespace hg::help
