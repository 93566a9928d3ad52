#include "hhviewer.h"

#include "chmfile.h"
#include "cp932.h"
#include "helpviewer.h"

#include <QApplication>
#include <QDesktopServices>
#include <QHBoxLayout>
#include <QLabel>
#include <QScreen>
#include <QSplitter>
#include <QTextBrowser>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>

#include <algorithm>
#include <cstring>
#include <optional>
#include <vector>

namespace hg::help {

namespace {

constexpr std::uint32_t kCookie = 0x48480001u;
constexpr HelpWindow kDesktopWindow = 0x10010;

QString FromCp932Bytes(std::string_view bytes)
{
    const std::string utf8 = cp932::ToUtf8Lossy(bytes);
    return QString::fromUtf8(utf8.data(), qsizetype(utf8.size()));
}

QString Decode(std::string_view bytes, chm::Charset charset)
{
    switch (charset) {
    case chm::Charset::Cp932: return FromCp932Bytes(bytes);
    case chm::Charset::Latin1: return QString::fromLatin1(bytes.data(), qsizetype(bytes.size()));
    case chm::Charset::Utf8: break;
    }
    return QString::fromUtf8(bytes.data(), qsizetype(bytes.size()));
}

// Text of the file itself (title, contents names): in the file's language.
QString DecodeForFile(std::string_view bytes, const chm::ChmFile& file)
{
    return Decode(bytes, chm::DetectCharset(bytes, file.System().lcid));
}

// The path as the system's file functions take it: help file names come in code page 932.
std::string NativePath(const std::string& cp932Path)
{
#ifdef _WIN32
    return cp932Path;
#else
    return cp932::TryToUtf8(cp932Path).value_or(cp932Path);
#endif
}

QUrl TopicUrl(const std::string& objectPath)
{
    QUrl url;
    url.setScheme(QStringLiteral("chm"));
    url.setPath(QString::fromUtf8(objectPath.data(), qsizetype(objectPath.size())));
    return url;
}

std::string ObjectPath(const QUrl& url)
{
    const QByteArray path = url.path().toUtf8();
    return chm::NormalizeObjectPath(std::string_view(path.constData(), size_t(path.size())));
}

// "ms-its:x.chm::/page.htm" and "mk:@MSITStore:x.chm::/page.htm" name a page of a .chm; only
// pages of the open file are followed.
std::optional<std::string> ItsTopic(const QUrl& url)
{
    const QString text = url.toString();
    const qsizetype at = text.indexOf(QStringLiteral("::"));
    if (at < 0)
        return std::nullopt;
    const QByteArray topic = text.mid(at + 2).toUtf8();
    return chm::NormalizeObjectPath(std::string_view(topic.constData(), size_t(topic.size())));
}

// Workaround: Qt's HTML import (seen in Qt 6.4) collapses U+3000, the ideographic space, like an
// ASCII blank, so "山田　花子" would show as "山田 花子". Runs of it in text (outside tags) are
// wrapped in a span that keeps white space as it is.
QString KeepIdeographicSpaces(const QString& html)
{
    static const QChar kIdeographicSpace(0x3000);
    if (!html.contains(kIdeographicSpace))
        return html;
    QString out;
    out.reserve(html.size() + 64);
    bool inTag = false;
    for (qsizetype i = 0; i < html.size(); ++i) {
        const QChar c = html.at(i);
        if (c == QLatin1Char('<'))
            inTag = true;
        else if (c == QLatin1Char('>'))
            inTag = false;
        if (inTag || c != kIdeographicSpace) {
            out += c;
            continue;
        }
        qsizetype end = i;
        while (end < html.size() && html.at(end) == kIdeographicSpace)
            ++end;
        out += QLatin1String("<span style=\"white-space:pre\">") + html.mid(i, end - i) + QLatin1String("</span>");
        i = end - 1;
    }
    return out;
}

// The page area: reads pages, style sheets and pictures from the open .chm.
class TChmBrowser final : public QTextBrowser {
public:
    explicit TChmBrowser(QWidget* parent) : QTextBrowser(parent) {}

    void SetFile(std::shared_ptr<chm::ChmFile> file)
    {
        if (file == file_)
            return;
        file_ = std::move(file);
        clear();
        clearHistory();
    }
    const std::shared_ptr<chm::ChmFile>& File() const { return file_; }

    QVariant loadResource(int type, const QUrl& name) override
    {
        const QUrl url = name.isRelative() ? source().resolved(name) : name;
        if (!file_ || url.scheme() != QLatin1String("chm"))
            return {};
        const auto bytes = file_->Read(ObjectPath(url));
        if (!bytes)
            return {};
        if (type == QTextDocument::HtmlResource)
            return KeepIdeographicSpaces(DecodeForFile(*bytes, *file_));
        if (type == QTextDocument::StyleSheetResource || type == QTextDocument::MarkdownResource)
            return DecodeForFile(*bytes, *file_);
        return QByteArray(bytes->data(), qsizetype(bytes->size()));
    }

private:
    std::shared_ptr<chm::ChmFile> file_;
};

} // namespace

// The viewer window: the contents tree on the left, the page on the right.
class THelpWindow final : public QWidget {
public:
    explicit THelpWindow(std::function<bool(const QUrl&)>& openExternal)
        : QWidget(nullptr, Qt::Window), openExternal_(openExternal)
    {
        setObjectName(QStringLiteral("HelpViewer"));
        setAttribute(Qt::WA_QuitOnClose, false); // the application ends with its main window
        resize(780, 540);
        auto* layout = new QHBoxLayout(this);
        layout->setContentsMargins(0, 0, 0, 0);
        auto* splitter = new QSplitter(this);
        contents_ = new QTreeWidget(splitter);
        contents_->setObjectName(QStringLiteral("HelpContents"));
        contents_->setHeaderHidden(true);
        browser_ = new TChmBrowser(splitter);
        browser_->setObjectName(QStringLiteral("HelpPage"));
        browser_->setOpenLinks(false);
        splitter->addWidget(contents_);
        splitter->addWidget(browser_);
        splitter->setStretchFactor(1, 1);
        splitter->setSizes({220, 560});
        layout->addWidget(splitter);

        QObject::connect(browser_, &QTextBrowser::anchorClicked, browser_, [this](const QUrl& url) { Follow(url); });
        // Clicks and Enter only: the current item also changes when the tree is filled or
        // gets the focus, and that must not replace the topic asked for.
        auto open = [this](QTreeWidgetItem* item) {
            const QString local = item ? item->data(0, Qt::UserRole).toString() : QString();
            if (!local.isEmpty())
                Follow(QUrl(local));
        };
        QObject::connect(contents_, &QTreeWidget::itemClicked, contents_, open);
        QObject::connect(contents_, &QTreeWidget::itemActivated, contents_, open);
    }

    void Show(const std::shared_ptr<chm::ChmFile>& file, const std::string& topic)
    {
        if (file != browser_->File()) {
            browser_->SetFile(file);
            FillContents(*file);
            const QString title = DecodeForFile(file->System().title, *file);
            setWindowTitle(title.isEmpty() ? QString::fromUtf8("HTML ヘルプ") : title);
        }
        const QUrl url = TopicUrl(topic);
        if (browser_->source() == url)
            browser_->reload();
        else
            browser_->setSource(url, QTextDocument::HtmlResource);
        MarkInContents(QString::fromUtf8(topic.c_str()));
    }

    QString CurrentTopic() const { return browser_->source().path(); }

private:
    // A link inside the file stays here; one to the web or a mail address goes out.
    void Follow(const QUrl& url)
    {
        const auto& file = browser_->File();
        if (!file)
            return;
        const QString scheme = url.scheme().toLower();
        std::optional<std::string> topic;
        if (url.isRelative())
            topic = ObjectPath(browser_->source().resolved(url));
        else if (scheme == QLatin1String("chm"))
            topic = ObjectPath(url);
        else if (scheme == QLatin1String("ms-its") || scheme == QLatin1String("mk") || scheme == QLatin1String("its"))
            topic = ItsTopic(url);
        else {
            if (openExternal_)
                openExternal_(url);
            return;
        }
        if (!topic || !file->Exists(*topic))
            return;
        QUrl target = TopicUrl(*topic);
        const QUrl resolved = url.isRelative() ? browser_->source().resolved(url) : url;
        target.setFragment(resolved.fragment());
        browser_->setSource(target, QTextDocument::HtmlResource);
        MarkInContents(QString::fromUtf8(topic->c_str()));
    }

    // Selects the contents entry of the page shown, if it has one.
    void MarkInContents(const QString& topic)
    {
        for (QTreeWidgetItemIterator it(contents_); *it; ++it) {
            if ((*it)->data(0, Qt::UserRole).toString() == topic) {
                contents_->setCurrentItem(*it);
                return;
            }
        }
    }

    void FillContents(const chm::ChmFile& file)
    {
        contents_->clear();
        std::vector<QTreeWidgetItem*> parents;
        for (const auto& entry : file.Contents()) {
            const auto level = std::size_t(entry.level);
            if (level > parents.size())
                continue; // a level skipped in the file: the entry has no parent to hang from
            parents.resize(level);
            auto* item = parents.empty() ? new QTreeWidgetItem(contents_) : new QTreeWidgetItem(parents.back());
            item->setText(0, DecodeForFile(entry.name, file));
            if (!entry.local.empty())
                item->setData(0, Qt::UserRole, QString::fromUtf8(chm::NormalizeObjectPath(entry.local).c_str()));
            parents.push_back(item);
        }
        contents_->expandAll();
        contents_->setVisible(contents_->topLevelItemCount() > 0);
    }

    std::function<bool(const QUrl&)>& openExternal_;
    QTreeWidget* contents_;
    TChmBrowser* browser_;
};

THtmlHelpViewer::THtmlHelpViewer() : openExternal([](const QUrl& url) { return QDesktopServices::openUrl(url); }) {}

THtmlHelpViewer::~THtmlHelpViewer() = default;

QWidget* THtmlHelpViewer::Window() const { return window_.get(); }
QLabel* THtmlHelpViewer::Popup() const { return popup_.get(); }
QString THtmlHelpViewer::CurrentTopic() const { return window_ ? window_->CurrentTopic() : QString(); }

HelpWindow THtmlHelpViewer::GetDesktopWindow() { return kDesktopWindow; }

void THtmlHelpViewer::SysFreeString(HelpWideChar* text) { delete[] text; }

HelpWindow THtmlHelpViewer::HtmlHelpA(HelpWindow, const char* file, unsigned command, std::uintptr_t data)
{
    switch (command) {
    case HH_INITIALIZE:
        if (data)
            *reinterpret_cast<std::uint32_t*>(data) = kCookie;
        return 0;
    case HH_GET_LAST_ERROR:
        FillLastError(data);
        return 0;
    default:
        break;
    }
    lastError_ = {};
    switch (command) {
    case HH_DISPLAY_TOPIC: return DisplayTopic(file, data);
    case HH_HELP_CONTEXT: return DisplayContext(file, static_cast<std::uint32_t>(data));
    case HH_DISPLAY_TEXT_POPUP: return DisplayPopup(file, data);
    case HH_CLOSE_ALL: CloseAll(); return 0;
    default:
        Fail(HH_E_NOTIMPL, QString::fromUtf8("このヘルプ コマンド (%1) には対応していません").arg(command));
        return 0;
    }
}

void THtmlHelpViewer::Fail(std::int32_t hr, QString description)
{
    lastError_.hr = hr;
    lastError_.description = std::move(description);
}

void THtmlHelpViewer::FillLastError(std::uintptr_t data) const
{
    auto* record = reinterpret_cast<HH_LAST_ERROR*>(data);
    if (!record || record->cbStruct < std::int32_t(sizeof(HH_LAST_ERROR)))
        return;
    record->hr = lastError_.hr;
    record->description = nullptr;
    if (lastError_.hr < 0 && !lastError_.description.isEmpty()) {
        const auto length = std::size_t(lastError_.description.size());
        record->description = new HelpWideChar[length + 1];
        std::memcpy(record->description, lastError_.description.constData(), length * sizeof(HelpWideChar));
        record->description[length] = 0;
    }
}

std::shared_ptr<chm::ChmFile> THtmlHelpViewer::OpenFile(const std::string& cp932Path)
{
    if (cp932Path.empty()) {
        Fail(HH_E_INVALIDARG, QString::fromUtf8("ヘルプファイルが指定されていません"));
        return nullptr;
    }
    const std::string native = NativePath(cp932Path);
    if (file_ && file_->Path() == native)
        return file_;
    std::shared_ptr<chm::ChmFile> opened = chm::ChmFile::Open(native);
    if (!opened) {
        Fail(HH_E_FILENOTFOUND, QString::fromUtf8("ヘルプファイル '%1' を開けません").arg(FromCp932Bytes(cp932Path)));
        return nullptr;
    }
    file_ = opened;
    return opened;
}

HelpWindow THtmlHelpViewer::DisplayTopic(const char* file, std::uintptr_t data)
{
    const chm::HelpLocation location = chm::SplitHelpLocation(file ? file : "");
    const auto chmFile = OpenFile(location.file);
    if (!chmFile)
        return 0;
    std::string topic;
    if (!location.topic.empty())
        topic = chmFile->ResolveTopic(location.topic).value_or("");
    else if (data != 0)
        topic = chmFile->ResolveTopic(reinterpret_cast<const char*>(data)).value_or("");
    else
        topic = chmFile->DefaultTopic();
    if (topic.empty()) {
        Fail(HH_E_TOPICNOTFOUND, QString::fromUtf8("トピックが見つかりません"));
        return 0;
    }
    return ShowTopic(chmFile, topic);
}

HelpWindow THtmlHelpViewer::DisplayContext(const char* file, std::uint32_t context)
{
    const chm::HelpLocation location = chm::SplitHelpLocation(file ? file : "");
    const auto chmFile = OpenFile(location.file);
    if (!chmFile)
        return 0;
    const auto topic = chmFile->TopicForContext(context);
    if (!topic) {
        Fail(HH_E_CONTEXTIDDOESNTEXIST, QString::fromUtf8("トピックが見つかりません"));
        return 0;
    }
    return ShowTopic(chmFile, *topic);
}

HelpWindow THtmlHelpViewer::ShowTopic(const std::shared_ptr<chm::ChmFile>& chmFile, const std::string& topic)
{
    if (!window_)
        window_ = std::make_unique<THelpWindow>(openExternal);
    window_->Show(chmFile, topic);
    window_->show();
    window_->raise();
    window_->activateWindow();
    return static_cast<HelpWindow>(window_->winId());
}

HelpWindow THtmlHelpViewer::DisplayPopup(const char* file, std::uintptr_t data)
{
    const auto* request = reinterpret_cast<const HH_POPUP*>(data);
    if (!request || request->cbStruct < std::int32_t(sizeof(HH_POPUP))) {
        Fail(HH_E_INVALIDARG, QString::fromUtf8("ポップアップの指定が正しくありません"));
        return 0;
    }
    QString text;
    if (request->pszText) {
        text = FromCp932Bytes(request->pszText);
    } else {
        const chm::HelpLocation location = chm::SplitHelpLocation(file ? file : "");
        const auto chmFile = OpenFile(location.file);
        if (!chmFile)
            return 0;
        const auto entry = chmFile->PopupText(location.topic.empty() ? "/cshelp.txt" : location.topic, request->idString);
        if (!entry) {
            Fail(HH_E_TOPICNOTFOUND, QString::fromUtf8("トピックが見つかりません"));
            return 0;
        }
        text = DecodeForFile(*entry, *chmFile);
    }

    if (!popup_) {
        popup_ = std::make_unique<QLabel>(nullptr, Qt::Popup | Qt::FramelessWindowHint);
        popup_->setObjectName(QStringLiteral("HelpPopup"));
        popup_->setAttribute(Qt::WA_QuitOnClose, false);
        popup_->setWordWrap(true);
        popup_->setMargin(6);
        popup_->setFrameStyle(QFrame::Box | QFrame::Plain);
        popup_->setAutoFillBackground(true);
        popup_->setBackgroundRole(QPalette::ToolTipBase);
        popup_->setForegroundRole(QPalette::ToolTipText);
        popup_->setMaximumWidth(360);
    }
    popup_->setText(text);
    popup_->adjustSize();
    // pt is the popup's top centre; the popup stays on the screen that holds it.
    const QPoint anchor(request->pt.x, request->pt.y);
    QPoint topLeft(anchor.x() - popup_->width() / 2, anchor.y());
    QScreen* screen = QGuiApplication::screenAt(anchor);
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    if (screen) {
        const QRect area = screen->availableGeometry();
        topLeft.setX(std::clamp(topLeft.x(), area.left(), std::max(area.left(), area.right() - popup_->width())));
        topLeft.setY(std::clamp(topLeft.y(), area.top(), std::max(area.top(), area.bottom() - popup_->height())));
    }
    popup_->move(topLeft);
    popup_->show();
    return static_cast<HelpWindow>(popup_->winId());
}

void THtmlHelpViewer::CloseAll()
{
    if (window_)
        window_->hide();
    if (popup_)
        popup_->hide();
}

std::unique_ptr<IHtmlHelpViewer> CreateHtmlHelpViewer() { return std::make_unique<THtmlHelpViewer>(); }

} // namespace hg::help
