// The application object: title, executable path, the plain message box, the default error box
// and the help event, plus the seams through which tests stand in for modal boxes and the
// desktop's URL handler.
//
// Start-up (app/main.cpp) creates the three windows in order: TfrmEdit (the main window, which
// loads the name tables and drives the generation run in names/), TfrmAboutBox and TfrmKakunin,
// both hidden. Every text that reaches the screen is code page 932 and is converted only here,
// at the edge, by FromCp932().
#pragma once

#include "helpapi.h"

#include <QString>
#include <QUrl>

#include <functional>
#include <string>
#include <string_view>

class QWidget;

namespace hg::forms {

QString FromCp932(std::string_view bytes);
std::string ToCp932(const QString& text); // characters code page 932 lacks become "?"

// How modal boxes and the URL handler are reached; tests replace them.
struct TServices {
    // The plain message box: the message, no icon, one OK button (Enter and Esc press it),
    // centred on the screen, captioned with the application title.
    std::function<void(const QString& caption, const QString& text)> plainMessage;
    // The default error box: error icon, one OK button.
    std::function<void(const QString& caption, const QString& text)> errorBox;
    // A message box with flags as the help bridge gives them (16: error icon, OK).
    std::function<int(const QString& text, const QString& caption, unsigned flags)> messageBox;
    std::function<bool(const QUrl& url)> openUrl;
};

class TApplication final : public help::IHelpApplication {
public:
    TApplication();

    void SetTitle(std::string cp932Title);
    std::string Title() const override { return title_; }
    std::string ExeName() const override;
    // The executable's directory with its final separator.
    std::string ExeDir() const;
    // Tests point the executable's directory elsewhere ("" restores the real one).
    void SetExeDirForTesting(std::string dir);

    void ShowMessage(const std::string& cp932Text);
    // The default error box: the message with a full stop added unless its last character is
    // "." or before it in code order.
    void ShowException(const std::string& cp932Message);
    static std::string WithFullStop(std::string message);

    // Help event
    void SetOnHelp(help::HelpEvent handler) override { onHelp_ = std::move(handler); }
    const help::HelpEvent& OnHelp() const override { return onHelp_; }
    bool HelpCommand(std::uint16_t command, std::int32_t data) override;
    std::string CurrentHelpFile() const override { return currentHelpFile_; }
    void SetCurrentHelpFile(std::string file) { currentHelpFile_ = std::move(file); }
    int MessageBox(const std::string& text, const std::string& caption, unsigned flags) override;
    help::HelpWindow ActiveFormWindow() const override;

    TServices& Services() { return services_; }

private:
    std::string title_;
    std::string exeDirOverride_;
    std::string currentHelpFile_;
    help::HelpEvent onHelp_;
    TServices services_;
};

TApplication& Application();

} // namespace hg::forms
