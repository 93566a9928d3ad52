#include "winhelpviewer.h"

#include "helpviewer.h"

#include <windows.h>
#include <oleauto.h>

#include <cstring>

namespace hg::help {

namespace {
using HtmlHelpAFn = HWND(WINAPI*)(HWND, LPCSTR, UINT, DWORD_PTR);
static_assert(sizeof(HelpWideChar) == sizeof(OLECHAR));
} // namespace

THtmlHelpWin::~THtmlHelpWin()
{
    if (module_)
        FreeLibrary(static_cast<HMODULE>(module_));
}

HelpWindow THtmlHelpWin::HtmlHelpA(HelpWindow caller, const char* file, unsigned command, std::uintptr_t data)
{
    if (!htmlHelpA_) {
        if (!module_)
            module_ = LoadLibraryA("hhctrl.ocx");
        if (!module_)
            return 0;
        const FARPROC proc = GetProcAddress(static_cast<HMODULE>(module_), "HtmlHelpA");
        if (!proc)
            return 0;
        static_assert(sizeof proc == sizeof htmlHelpA_);
        std::memcpy(&htmlHelpA_, &proc, sizeof proc);
    }
    HtmlHelpAFn htmlHelp;
    std::memcpy(&htmlHelp, &htmlHelpA_, sizeof htmlHelp);
    return reinterpret_cast<HelpWindow>(
        htmlHelp(reinterpret_cast<HWND>(caller), file, command, static_cast<DWORD_PTR>(data)));
}

HelpWindow THtmlHelpWin::GetDesktopWindow() { return reinterpret_cast<HelpWindow>(::GetDesktopWindow()); }

void THtmlHelpWin::SysFreeString(HelpWideChar* text) { ::SysFreeString(reinterpret_cast<BSTR>(text)); }

std::unique_ptr<IHtmlHelpViewer> CreateHtmlHelpViewer() { return std::make_unique<THtmlHelpWin>(); }

} // namespace hg::help
