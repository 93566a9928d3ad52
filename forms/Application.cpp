#include "Application.h"

#include "cp932.h"

#include <QApplication>
#include <QDesktopServices>
#include <QMessageBox>
#include <QWidget>

namespace hg::forms {

QString FromCp932(std::string_view bytes)
{
    const std::string utf8 = cp932::ToUtf8Lossy(bytes);
    return QString::fromUtf8(utf8.data(), qsizetype(utf8.size()));
}

std::string ToCp932(const QString& text)
{
    const QByteArray whole = text.toUtf8();
    if (auto converted = cp932::TryFromUtf8(std::string_view(whole.constData(), size_t(whole.size()))))
        return *std::move(converted);
    std::string out;
    // Character by character, so that one that code page 932 lacks costs only itself.
    for (qsizetype i = 0; i < text.size(); ++i) {
        qsizetype len = text.at(i).isHighSurrogate() && i + 1 < text.size() ? 2 : 1;
        const QByteArray utf8 = text.mid(i, len).toUtf8();
        if (auto converted = cp932::TryFromUtf8(std::string_view(utf8.constData(), size_t(utf8.size()))))
            out += *converted;
        else
            out += '?';
        i += len - 1;
    }
    return out;
}

namespace {

void ShowBox(QMessageBox::Icon icon, const QString& caption, const QString& text)
{
    QMessageBox box(icon, caption, text, QMessageBox::Ok);
    box.setEscapeButton(QMessageBox::Ok);
    box.setDefaultButton(QMessageBox::Ok);
    box.exec();
}

} // namespace

TApplication::TApplication()
{
    services_.plainMessage = [](const QString& caption, const QString& text) {
        ShowBox(QMessageBox::NoIcon, caption, text);
    };
    services_.errorBox = [](const QString& caption, const QString& text) {
        ShowBox(QMessageBox::Critical, caption, text);
    };
    services_.messageBox = [](const QString& text, const QString& caption, unsigned flags) {
        const auto icon = (flags & 0xF0u) == 0x10u ? QMessageBox::Critical : QMessageBox::NoIcon;
        ShowBox(icon, caption, text);
        return 1; // IDOK
    };
    services_.openUrl = [](const QUrl& url) { return QDesktopServices::openUrl(url); };
}

void TApplication::SetTitle(std::string cp932Title)
{
    // Kept here only: as Qt's display name it would be appended to every window's caption.
    title_ = std::move(cp932Title);
}

std::string TApplication::ExeName() const
{
    const QByteArray native = QCoreApplication::applicationFilePath().toUtf8();
    std::string_view view(native.constData(), size_t(native.size()));
#ifdef _WIN32
    return ToCp932(QCoreApplication::applicationFilePath());
#else
    return cp932::TryFromUtf8(view).value_or(std::string(view));
#endif
}

std::string TApplication::ExeDir() const
{
    if (!exeDirOverride_.empty())
        return exeDirOverride_;
    const std::string exe = ExeName();
    return std::string(cp932::SplitPath(exe).directory);
}

void TApplication::SetExeDirForTesting(std::string dir) { exeDirOverride_ = std::move(dir); }

void TApplication::ShowMessage(const std::string& cp932Text)
{
    services_.plainMessage(FromCp932(title_), FromCp932(cp932Text));
}

std::string TApplication::WithFullStop(std::string message)
{
    if (!message.empty() && static_cast<unsigned char>(message.back()) > '.')
        message += '.';
    return message;
}

void TApplication::ShowException(const std::string& cp932Message)
{
    services_.errorBox(FromCp932(title_), FromCp932(WithFullStop(cp932Message)));
}

bool TApplication::HelpCommand(std::uint16_t command, std::int32_t data)
{
    bool callHelp = true;
    bool result = false;
    if (onHelp_)
        result = onHelp_(command, data, callHelp);
    if (!callHelp)
        return result;
    return false; // no help handling of our own beyond the bridge
}

int TApplication::MessageBox(const std::string& text, const std::string& caption, unsigned flags)
{
    return services_.messageBox(FromCp932(text), FromCp932(caption), flags);
}

help::HelpWindow TApplication::ActiveFormWindow() const
{
    QWidget* active = QApplication::activeWindow();
    return active ? static_cast<help::HelpWindow>(active->winId()) : 0;
}

TApplication& Application()
{
    static TApplication app;
    return app;
}

} // namespace hg::forms
