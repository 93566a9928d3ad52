// THtmlHelpViewer: our HTML Help viewer for systems without hhctrl.ocx. It answers the
// HtmlHelpA commands that the bridge (awhhelp.h) issues, reading the .chm through chmlib
// (chmfile.h) and showing its pages in one Qt window, which is reused for every later call:
//
//   HH_DISPLAY_TOPIC (0)        "file.chm" shows the default topic, "file.chm::/page.htm" that
//                               page; data may point to a topic name instead.
//   HH_HELP_CONTEXT (15)        the topic that the file's context map gives for the number.
//   HH_DISPLAY_TEXT_POPUP (14)  "file.chm::/cshelp.txt" with an HH_POPUP: entry idString of that
//                               text file (or the record's own pszText) in a small popup whose
//                               top centre is at pt.
//   HH_INITIALIZE (28)          writes a cookie.
//   HH_GET_LAST_ERROR (20)      the failure of the last command: hr and a Japanese description.
//   HH_CLOSE_ALL (18)           hides the window and the popup.
//
// The viewer window is top-level whatever the caller window, and its handle is its winId().
// Links between pages stay in the window; links to web pages and mail addresses go to
// openExternal. Needs a QApplication.
#pragma once

#include "helpapi.h"

#include <QString>
#include <QUrl>

#include <functional>
#include <memory>
#include <string>

class QLabel;
class QWidget;

namespace hg::help {

namespace chm {
class ChmFile;
}
class THelpWindow;

inline constexpr unsigned HH_CLOSE_ALL = 18;

// The viewer's failure codes (hhctrl's own numbers where it has one).
inline constexpr std::int32_t HH_E_FILENOTFOUND = std::int32_t(0x80040200u);
inline constexpr std::int32_t HH_E_TOPICNOTFOUND = std::int32_t(0x80040201u);
inline constexpr std::int32_t HH_E_CONTEXTIDDOESNTEXIST = std::int32_t(0x8004020Bu);
inline constexpr std::int32_t HH_E_NOTIMPL = std::int32_t(0x80004001u);
inline constexpr std::int32_t HH_E_INVALIDARG = std::int32_t(0x80070057u);

class THtmlHelpViewer final : public IHtmlHelpViewer {
public:
    THtmlHelpViewer();
    ~THtmlHelpViewer() override;
    THtmlHelpViewer(const THtmlHelpViewer&) = delete;
    THtmlHelpViewer& operator=(const THtmlHelpViewer&) = delete;

    HelpWindow HtmlHelpA(HelpWindow caller, const char* file, unsigned command, std::uintptr_t data) override;
    // A token that stands for the desktop; the viewer makes no use of its callers' windows.
    HelpWindow GetDesktopWindow() override;
    void SysFreeString(HelpWideChar* text) override;

    // Where links to web pages and mail addresses go; QDesktopServices::openUrl by default.
    std::function<bool(const QUrl&)> openExternal;

    // For tests and the window's owner: the viewer window (null until a topic was shown), the
    // popup (null until one was shown), the shown topic ("/index.htm") and the popup's text.
    QWidget* Window() const;
    QLabel* Popup() const;
    QString CurrentTopic() const;

private:
    struct LastError {
        std::int32_t hr = 0;
        QString description;
    };

    std::shared_ptr<chm::ChmFile> OpenFile(const std::string& cp932Path);
    HelpWindow DisplayTopic(const char* file, std::uintptr_t data);
    HelpWindow DisplayContext(const char* file, std::uint32_t context);
    HelpWindow DisplayPopup(const char* file, std::uintptr_t data);
    HelpWindow ShowTopic(const std::shared_ptr<chm::ChmFile>& chm, const std::string& topic);
    void FillLastError(std::uintptr_t data) const;
    void Fail(std::int32_t hr, QString description);
    void CloseAll();

    std::unique_ptr<THelpWindow> window_;
    std::unique_ptr<QLabel> popup_;
    std::shared_ptr<chm::ChmFile> file_; // the last file opened, kept for the next call
    LastError lastError_;
};

} // namespace hg::help
