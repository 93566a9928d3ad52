// What the help bridge needs of the application and of the help viewer. No Qt here: the bridge's
// logic is built and tested without a display, against fakes of these two interfaces.
//
// The viewer side follows the HTML Help API (HtmlHelpA): the command numbers and the two records
// below are that API's, so a Windows build can put the real hhctrl.ocx behind IHtmlHelpViewer
// unchanged, and the Linux build puts our own viewer (hhviewer.h) there.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace hg::help {

// A window handle as the viewer sees it; 0 is none.
using HelpWindow = std::uintptr_t;

// The application help event: (command, data, callHelp) -> result. The application sets
// callHelp to true before the call; a handler that clears it has taken the request over.
using HelpEvent = std::function<bool(std::uint16_t command, std::int32_t data, bool& callHelp)>;

// Windows help command numbers, as the application's help event carries them.
inline constexpr std::uint16_t HELP_CONTEXT = 1;
inline constexpr std::uint16_t HELP_QUIT = 2;
inline constexpr std::uint16_t HELP_CONTENTS = 3;
inline constexpr std::uint16_t HELP_CONTEXTPOPUP = 8;
inline constexpr std::uint16_t HELP_FINDER = 11;
inline constexpr std::uint16_t HELP_SETPOPUP_POS = 13;

// HTML Help viewer commands.
inline constexpr unsigned HH_DISPLAY_TOPIC = 0;
inline constexpr unsigned HH_DISPLAY_TEXT_POPUP = 14;
inline constexpr unsigned HH_HELP_CONTEXT = 15;
inline constexpr unsigned HH_GET_LAST_ERROR = 20;
inline constexpr unsigned HH_INITIALIZE = 28;

// A wide character of the viewer's strings (a BSTR's element on Windows).
using HelpWideChar = char16_t;

struct HH_POINT {
    std::int32_t x;
    std::int32_t y;
};

struct HH_RECT {
    std::int32_t left;
    std::int32_t top;
    std::int32_t right;
    std::int32_t bottom;
};

// A text popup request (HH_DISPLAY_TEXT_POPUP). Field for field the HTML Help API's HH_POPUP:
// 52 bytes on a 32-bit build; pointers make it 72 on a 64-bit one, as the API's own record is
// there. cbStruct always holds sizeof(HH_POPUP).
struct HH_POPUP {
    std::int32_t cbStruct;
    void* hinst;             // resource module for idString; null: idString is a text-file entry
    std::uint32_t idString;  // entry of the popup text file, when pszText is null
    const char* pszText;     // the text itself, or null
    HH_POINT pt;             // top centre of the popup, screen pixels
    std::uint32_t clrForeground; // 0xFFFFFFFF: the viewer's default colour
    std::uint32_t clrBackground;
    HH_RECT rcMargins;       // -1: margin ignored
    const char* pszFont;     // "face, size, charset, BOLD ITALIC UNDERLINE", or null
};
static_assert(sizeof(void*) != 4 || sizeof(HH_POPUP) == 52, "HH_POPUP must match the viewer's record");

// The last-error query (HH_GET_LAST_ERROR). The viewer fills hr and description; description
// belongs to the caller afterwards, who hands it back through IHtmlHelpViewer::SysFreeString.
struct HH_LAST_ERROR {
    std::int32_t cbStruct;
    std::int32_t hr;         // an HRESULT: failure when the sign bit is set
    HelpWideChar* description; // zero-terminated UTF-16, or null
};

// The part of the application object that the bridge uses.
class IHelpApplication {
public:
    virtual ~IHelpApplication() = default;
    virtual void SetOnHelp(HelpEvent handler) = 0;      // replaces any earlier handler
    virtual const HelpEvent& OnHelp() const = 0;
    // Raises the help event with callHelp = true; returns the handler's result when it cleared
    // callHelp, else goes on with the application's own help handling (none here: false).
    virtual bool HelpCommand(std::uint16_t command, std::int32_t data) = 0;
    virtual std::string CurrentHelpFile() const = 0;     // empty when none is set
    virtual std::string ExeName() const = 0;             // full path of the running executable
    virtual std::string Title() const = 0;               // code page 932
    // A modal message box; text and caption in code page 932; returns the button pressed.
    virtual int MessageBox(const std::string& text, const std::string& caption, unsigned flags) = 0;
    virtual HelpWindow ActiveFormWindow() const = 0;     // the active form's window, or 0
};

// The viewer, with the one entry point of HtmlHelpA plus the desktop window and the release of
// the strings it hands out.
class IHtmlHelpViewer {
public:
    virtual ~IHtmlHelpViewer() = default;
    // caller window, file (code page 932, nullptr for none), command, datum (a number or a
    // record's address) -> the viewer's window, or 0 when it opened none or the command failed.
    virtual HelpWindow HtmlHelpA(HelpWindow caller, const char* file, unsigned command, std::uintptr_t data) = 0;
    virtual HelpWindow GetDesktopWindow() = 0;
    // Releases a string the viewer handed out (HH_LAST_ERROR::description); null is allowed.
    virtual void SysFreeString(HelpWideChar* text) = 0;
};

} // namespace hg::help
