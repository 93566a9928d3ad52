// THTMLHelp: the bridge from the application's help event to the HTML Help viewer.
//
// One instance (HTMLHelp1) belongs to the main window. Loaded() installs HelpHandler as the
// application's help event; from then on every help command comes here. For a ".chm" help file
// the bridge takes the request over: it picks the viewer command, calls the viewer and shows the
// viewer's last error in a message box when it opened no window. Any other help file is left to
// the application's own help handling.
//
// The bridge only decides; the application (IHelpApplication) and the viewer (IHtmlHelpViewer)
// do. Both outlive the bridge. No Qt here.
#pragma once

#include "helpapi.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace hg::help {

// A path's extension: the text from its last "." that comes after its last "\" and ":" (and,
// on POSIX builds, "/"), dot included; empty when there is none. Double-byte aware.
std::string_view ExtractFileExt(std::string_view path) noexcept;
// The path with its extension replaced by `ext`, or with `ext` appended when it has none.
std::string ChangeFileExt(std::string_view path, std::string_view ext);

class THTMLHelp final {
public:
    THTMLHelp(IHelpApplication& application, IHtmlHelpViewer& viewer);
    // Takes the help event back if it is still ours.
    ~THTMLHelp();
    THTMLHelp(const THTMLHelp&) = delete;
    THTMLHelp& operator=(const THTMLHelp&) = delete;

    bool AutoInstall() const noexcept { return FAutoInstall; }
    void SetAutoInstall(bool value) noexcept { FAutoInstall = value; }

    // Called once the owning window is built. Installs HelpHandler as the application's help
    // event, replacing any earlier handler, when AutoInstall is set and `designing` is not.
    void Loaded(bool designing = false);

    // The help event handler. Result is always false; callHelp is cleared when the request
    // was for a ".chm" file, whatever the command.
    bool HelpHandler(std::uint16_t command, std::int32_t data, bool& callHelp);

private:
    // What SetOnHelp receives: a named type, so the destructor can tell its own handler.
    struct Handler {
        THTMLHelp* self;
        bool operator()(std::uint16_t command, std::int32_t data, bool& callHelp) const
        {
            return self->HelpHandler(command, data, callHelp);
        }
    };

    void InitHelp();
    void ShowLastError(HelpWindow owner);

    IHelpApplication& FApplication;
    IHtmlHelpViewer& FViewer;
    std::uint32_t FCookie;   // written by the viewer's initialisation; all ones until then
    std::int32_t FPopupX = 0; // last popup position received (HELP_SETPOPUP_POS), 0..65535
    std::int32_t FPopupY = 0;
    bool FAutoInstall;
};

} // namespace hg::help
