#include "chmfile.h"

#include "cp932.h"

#include <chm_lib.h>

#include <algorithm>
#include <cctype>
#include <cstring>

namespace hg::help::chm {

namespace {

constexpr std::uint64_t kMaxObjectSize = 64u << 20;

std::uint32_t ReadLE32(std::string_view bytes, std::size_t at)
{
    return std::uint32_t(std::uint8_t(bytes[at])) | std::uint32_t(std::uint8_t(bytes[at + 1])) << 8
           | std::uint32_t(std::uint8_t(bytes[at + 2])) << 16 | std::uint32_t(std::uint8_t(bytes[at + 3])) << 24;
}

std::uint16_t ReadLE16(std::string_view bytes, std::size_t at)
{
    return std::uint16_t(std::uint8_t(bytes[at]) | std::uint8_t(bytes[at + 1]) << 8);
}

// The text up to the first zero byte (all of it when there is none).
std::string CString(std::string_view bytes)
{
    return std::string(bytes.substr(0, std::min(bytes.find('\0'), bytes.size())));
}

char Lower(char c) { return char(std::tolower(static_cast<unsigned char>(c))); }

bool StartsWithNoCase(std::string_view text, std::string_view prefix)
{
    if (text.size() < prefix.size())
        return false;
    for (std::size_t i = 0; i < prefix.size(); ++i)
        if (Lower(text[i]) != Lower(prefix[i]))
            return false;
    return true;
}

std::size_t FindNoCase(std::string_view text, std::string_view what, std::size_t from = 0)
{
    for (std::size_t i = from; i + what.size() <= text.size(); ++i)
        if (StartsWithNoCase(text.substr(i), what))
            return i;
    return std::string_view::npos;
}

bool EndsWithNoCase(std::string_view text, std::string_view suffix)
{
    return text.size() >= suffix.size() && StartsWithNoCase(text.substr(text.size() - suffix.size()), suffix);
}

std::string_view Trim(std::string_view text)
{
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front())))
        text.remove_prefix(1);
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back())))
        text.remove_suffix(1);
    return text;
}

std::optional<std::uint32_t> ParseNumber(std::string_view text)
{
    text = Trim(text);
    int base = 10;
    if (StartsWithNoCase(text, "0x")) {
        base = 16;
        text.remove_prefix(2);
    }
    if (text.empty() || text.size() > 10)
        return std::nullopt;
    std::uint64_t value = 0;
    for (char c : text) {
        int digit;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (base == 16 && std::isxdigit(static_cast<unsigned char>(c)))
            digit = Lower(c) - 'a' + 10;
        else
            return std::nullopt;
        value = value * std::uint64_t(base) + std::uint64_t(digit);
    }
    if (value > 0xFFFFFFFFu)
        return std::nullopt;
    return std::uint32_t(value);
}

std::string DecodeEntities(std::string_view text)
{
    static constexpr std::pair<std::string_view, char> kEntities[] = {
        {"&amp;", '&'}, {"&lt;", '<'}, {"&gt;", '>'}, {"&quot;", '"'}, {"&#39;", '\''}, {"&apos;", '\''}};
    std::string out;
    for (std::size_t i = 0; i < text.size();) {
        bool replaced = false;
        if (text[i] == '&') {
            for (const auto& [entity, c] : kEntities) {
                if (StartsWithNoCase(text.substr(i), entity)) {
                    out += c;
                    i += entity.size();
                    replaced = true;
                    break;
                }
            }
        }
        if (!replaced)
            out += text[i++];
    }
    return out;
}

// The attributes of one tag's inside ("param name=Name value='x'"), names lower-cased.
std::map<std::string, std::string> TagAttributes(std::string_view tag)
{
    std::map<std::string, std::string> attributes;
    std::size_t i = 0;
    while (i < tag.size() && !std::isspace(static_cast<unsigned char>(tag[i])))
        ++i; // the tag's name
    while (i < tag.size()) {
        while (i < tag.size() && (std::isspace(static_cast<unsigned char>(tag[i])) || tag[i] == '/'))
            ++i;
        std::string name;
        while (i < tag.size() && tag[i] != '=' && !std::isspace(static_cast<unsigned char>(tag[i])))
            name += Lower(tag[i++]);
        while (i < tag.size() && std::isspace(static_cast<unsigned char>(tag[i])))
            ++i;
        std::string value;
        if (i < tag.size() && tag[i] == '=') {
            ++i;
            while (i < tag.size() && std::isspace(static_cast<unsigned char>(tag[i])))
                ++i;
            if (i < tag.size() && (tag[i] == '"' || tag[i] == '\'')) {
                const char quote = tag[i++];
                const std::size_t end = std::min(tag.find(quote, i), tag.size());
                value = DecodeEntities(tag.substr(i, end - i));
                i = end + 1;
            } else {
                const std::size_t start = i;
                while (i < tag.size() && !std::isspace(static_cast<unsigned char>(tag[i])))
                    ++i;
                value = DecodeEntities(tag.substr(start, i - start));
            }
        }
        if (!name.empty())
            attributes[name] = value;
    }
    return attributes;
}

bool IsValidUtf8(std::string_view text)
{
    for (std::size_t i = 0; i < text.size();) {
        const auto c = std::uint8_t(text[i]);
        const std::size_t n = c < 0x80 ? 1 : (c & 0xE0) == 0xC0 ? 2 : (c & 0xF0) == 0xE0 ? 3 : (c & 0xF8) == 0xF0 ? 4 : 0;
        if (n == 0 || i + n > text.size())
            return false;
        for (std::size_t k = 1; k < n; ++k)
            if ((std::uint8_t(text[i + k]) & 0xC0) != 0x80)
                return false;
        i += n;
    }
    return true;
}

int CollectPath(chmFile*, chmUnitInfo* unit, void* context)
{
    static_cast<std::vector<std::string>*>(context)->emplace_back(unit->path);
    return CHM_ENUMERATOR_CONTINUE;
}

} // namespace

std::optional<SystemInfo> ParseSystem(std::string_view bytes)
{
    if (bytes.size() < 4)
        return std::nullopt;
    SystemInfo info;
    std::size_t at = 4; // after the version
    while (at < bytes.size()) {
        if (at + 4 > bytes.size())
            return std::nullopt;
        const std::uint16_t code = ReadLE16(bytes, at);
        const std::uint16_t length = ReadLE16(bytes, at + 2);
        at += 4;
        if (at + length > bytes.size())
            return std::nullopt;
        const std::string_view data = bytes.substr(at, length);
        switch (code) {
        case 0: info.contentsFile = CString(data); break;
        case 1: info.indexFile = CString(data); break;
        case 2: info.defaultTopic = CString(data); break;
        case 3: info.title = CString(data); break;
        case 4:
            if (data.size() >= 4)
                info.lcid = ReadLE32(data, 0);
            break;
        default: break;
        }
        at += length;
    }
    return info;
}

std::map<std::uint32_t, std::string> ParseContextMap(std::string_view ivb, std::string_view strings)
{
    std::map<std::uint32_t, std::string> map;
    if (ivb.size() < 4)
        return map;
    const std::size_t count = std::min<std::size_t>(ReadLE32(ivb, 0), ivb.size() - 4) / 8;
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint32_t context = ReadLE32(ivb, 4 + 8 * i);
        const std::uint32_t offset = ReadLE32(ivb, 8 + 8 * i);
        if (offset >= strings.size())
            continue;
        std::string topic = CString(strings.substr(offset));
        if (!topic.empty())
            map.emplace(context, std::move(topic));
    }
    return map;
}

std::map<std::uint32_t, std::string> ParseTextPopups(std::string_view text)
{
    std::map<std::uint32_t, std::string> popups;
    std::optional<std::uint32_t> current;
    std::vector<std::string_view> lines;
    auto finish = [&] {
        if (current) {
            while (!lines.empty() && Trim(lines.back()).empty())
                lines.pop_back();
            std::size_t first = 0;
            while (first < lines.size() && Trim(lines[first]).empty())
                ++first;
            std::string joined;
            for (std::size_t i = first; i < lines.size(); ++i) {
                if (i > first)
                    joined += '\n';
                joined += lines[i];
            }
            popups[*current] = std::move(joined);
        }
        lines.clear();
    };
    while (!text.empty()) {
        const std::size_t end = std::min(text.find('\n'), text.size());
        std::string_view line = text.substr(0, end);
        text.remove_prefix(std::min(end + 1, text.size()));
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        if (StartsWithNoCase(line, ".topic") && (line.size() == 6 || std::isspace(static_cast<unsigned char>(line[6])))) {
            finish();
            std::string_view id = Trim(line.substr(6));
            id = id.substr(0, std::min(id.find_first_of(" \t"), id.size()));
            current = ParseNumber(id);
        } else if (current) {
            lines.push_back(line);
        }
    }
    finish();
    return popups;
}

std::vector<SitemapEntry> ParseSitemap(std::string_view html)
{
    std::vector<SitemapEntry> entries;
    int depth = 0;
    std::optional<SitemapEntry> object;
    for (std::size_t at = html.find('<'); at != std::string_view::npos; at = html.find('<', at)) {
        if (html.substr(at, 4) == "<!--") {
            const std::size_t end = html.find("-->", at);
            at = end == std::string_view::npos ? html.size() : end + 3;
            continue;
        }
        const std::size_t end = html.find('>', at);
        if (end == std::string_view::npos)
            break;
        const std::string_view tag = html.substr(at + 1, end - at - 1);
        at = end + 1;
        if (StartsWithNoCase(tag, "ul") && (tag.size() == 2 || std::isspace(static_cast<unsigned char>(tag[2])))) {
            ++depth;
        } else if (StartsWithNoCase(tag, "/ul")) {
            depth = std::max(0, depth - 1);
        } else if (StartsWithNoCase(tag, "object")) {
            const auto attributes = TagAttributes(tag);
            const auto type = attributes.find("type");
            if (type != attributes.end() && StartsWithNoCase(type->second, "text/sitemap")) {
                object = SitemapEntry{};
                object->level = std::max(0, depth - 1);
            }
        } else if (StartsWithNoCase(tag, "/object")) {
            if (object && !object->name.empty())
                entries.push_back(std::move(*object));
            object.reset();
        } else if (object && StartsWithNoCase(tag, "param")) {
            const auto attributes = TagAttributes(tag);
            const auto name = attributes.find("name");
            const auto value = attributes.find("value");
            if (name == attributes.end() || value == attributes.end())
                continue;
            if (StartsWithNoCase(name->second, "name") && name->second.size() == 4 && object->name.empty())
                object->name = value->second;
            else if (StartsWithNoCase(name->second, "local") && name->second.size() == 5)
                object->local = value->second;
        }
    }
    return entries;
}

HelpLocation SplitHelpLocation(std::string_view text)
{
    HelpLocation location;
    const std::size_t separator = text.find("::");
    std::string_view file = text.substr(0, separator);
    if (separator == std::string_view::npos) {
        file = file.substr(0, std::min(file.find('>'), file.size()));
    } else {
        std::string_view topic = text.substr(separator + 2);
        location.topic = std::string(topic.substr(0, std::min(topic.find('>'), topic.size())));
    }
    location.file = std::string(file);
    return location;
}

std::string NormalizeObjectPath(std::string_view path)
{
    path = path.substr(0, std::min(path.find_first_of("#?"), path.size()));
    std::string slashed;
    for (std::size_t i = 0; i < path.size(); ++i) {
        const auto c = static_cast<unsigned char>(path[i]);
        if (cp932::IsLeadByte(c) && i + 1 < path.size()) {
            slashed += path[i];
            slashed += path[++i]; // a trail byte 0x5C is no backslash
            continue;
        }
        slashed += c == '\\' ? '/' : char(c);
    }
    std::vector<std::string_view> parts;
    std::string_view rest = slashed;
    while (!rest.empty()) {
        const std::size_t end = std::min(rest.find('/'), rest.size());
        const std::string_view part = rest.substr(0, end);
        rest.remove_prefix(std::min(end + 1, rest.size()));
        if (part.empty() || part == ".")
            continue;
        if (part == "..") {
            if (!parts.empty())
                parts.pop_back();
            continue;
        }
        parts.push_back(part);
    }
    std::string out;
    for (const auto part : parts) {
        out += '/';
        out += part;
    }
    return out.empty() ? "/" : out;
}

Charset DetectCharset(std::string_view page, std::uint32_t lcid)
{
    const std::string_view head = page.substr(0, 4096);
    for (std::size_t at = FindNoCase(head, "charset"); at != std::string_view::npos;
         at = FindNoCase(head, "charset", at + 7)) {
        std::size_t i = at + 7;
        while (i < head.size() && (head[i] == ' ' || head[i] == '=' || head[i] == '"' || head[i] == '\''))
            ++i;
        std::string name;
        while (i < head.size() && (std::isalnum(static_cast<unsigned char>(head[i])) || head[i] == '-' || head[i] == '_'))
            name += Lower(head[i++]);
        if (name == "utf-8" || name == "utf8")
            return Charset::Utf8;
        if (name == "shift_jis" || name == "shift-jis" || name == "sjis" || name == "x-sjis" || name == "windows-31j"
            || name == "cp932" || name == "ms_kanji")
            return Charset::Cp932;
        if (name == "iso-8859-1" || name == "windows-1252" || name == "us-ascii" || name == "latin1")
            return Charset::Latin1;
    }
    if ((lcid & 0x3FF) == 0x11) // Japanese, whatever the sublanguage
        return Charset::Cp932;
    return IsValidUtf8(page) ? Charset::Utf8 : Charset::Latin1;
}

std::unique_ptr<ChmFile> ChmFile::Open(const std::string& nativePath)
{
    chmFile* handle = chm_open(nativePath.c_str());
    if (!handle)
        return nullptr;
    std::unique_ptr<ChmFile> file(new ChmFile(handle, nativePath));
    file->LoadTables();
    return file;
}

ChmFile::ChmFile(chmFile* handle, std::string path) : handle_(handle), path_(std::move(path)) {}

ChmFile::~ChmFile() { chm_close(handle_); }

void ChmFile::LoadTables()
{
    if (auto bytes = Read("/#SYSTEM"))
        system_ = ParseSystem(*bytes).value_or(SystemInfo{});
    const auto ivb = Read("/#IVB");
    const auto strings = Read("/#STRINGS");
    if (ivb && strings)
        contexts_ = ParseContextMap(*ivb, *strings);
}

bool ChmFile::Exists(std::string_view objectPath) const
{
    chmUnitInfo unit{};
    const std::string path(objectPath);
    return chm_resolve_object(handle_, path.c_str(), &unit) == CHM_RESOLVE_SUCCESS;
}

std::optional<std::string> ChmFile::Read(std::string_view objectPath) const
{
    chmUnitInfo unit{};
    const std::string path(objectPath);
    if (chm_resolve_object(handle_, path.c_str(), &unit) != CHM_RESOLVE_SUCCESS)
        return std::nullopt;
    if (unit.length > kMaxObjectSize)
        return std::nullopt;
    std::string bytes(std::size_t(unit.length), '\0');
    if (unit.length == 0)
        return bytes;
    const LONGINT64 got = chm_retrieve_object(handle_, &unit, reinterpret_cast<unsigned char*>(bytes.data()), 0,
                                              LONGINT64(unit.length));
    if (got != LONGINT64(unit.length))
        return std::nullopt;
    return bytes;
}

std::vector<std::string> ChmFile::ListFiles() const
{
    std::vector<std::string> all;
    chm_enumerate(handle_, CHM_ENUMERATE_ALL, CollectPath, &all);
    std::vector<std::string> files;
    for (auto& path : all) {
        if (path.empty() || path.back() == '/' || path.rfind("::", 0) == 0 || path.rfind("/#", 0) == 0
            || path.rfind("/$", 0) == 0)
            continue;
        files.push_back(std::move(path));
    }
    return files;
}

std::optional<std::string> ChmFile::ResolveTopic(std::string_view stored) const
{
    const std::string path = NormalizeObjectPath(stored);
    if (path == "/")
        return std::nullopt;
    // "/home/x/help/index.htm" -> "/home/x/help/index.htm", "/x/help/index.htm", ... "/index.htm"
    for (std::size_t at = 0; at != std::string::npos; at = path.find('/', at + 1)) {
        const std::string candidate = path.substr(at);
        if (Exists(candidate))
            return candidate;
    }
    return std::nullopt;
}

std::string ChmFile::DefaultTopic() const
{
    if (!system_.defaultTopic.empty())
        if (auto topic = ResolveTopic(system_.defaultTopic))
            return *topic;
    const std::vector<std::string> files = ListFiles();
    for (const auto& file : files) {
        if (!EndsWithNoCase(file, ".hhp"))
            continue;
        const auto project = Read(file);
        if (!project)
            continue;
        for (std::size_t at = FindNoCase(*project, "default topic"); at != std::string::npos;
             at = FindNoCase(*project, "default topic", at + 1)) {
            const std::size_t lineStart = project->rfind('\n', at);
            if (!Trim(std::string_view(*project).substr(lineStart == std::string::npos ? 0 : lineStart + 1,
                                                         at - (lineStart == std::string::npos ? 0 : lineStart + 1)))
                     .empty())
                continue; // not at the start of its line
            const std::size_t equals = project->find('=', at);
            const std::size_t lineEnd = std::min(project->find('\n', at), project->size());
            if (equals == std::string::npos || equals > lineEnd)
                continue;
            if (auto topic = ResolveTopic(Trim(std::string_view(*project).substr(equals + 1, lineEnd - equals - 1))))
                return *topic;
        }
    }
    for (const auto& file : files)
        if (EndsWithNoCase(file, ".htm") || EndsWithNoCase(file, ".html"))
            return file;
    return {};
}

std::optional<std::string> ChmFile::TopicForContext(std::uint32_t context) const
{
    const auto found = contexts_.find(context);
    if (found == contexts_.end())
        return std::nullopt;
    return ResolveTopic(found->second);
}

std::optional<std::string> ChmFile::PopupText(std::string_view popupFile, std::uint32_t id) const
{
    const auto path = ResolveTopic(popupFile);
    if (!path)
        return std::nullopt;
    const auto text = Read(*path);
    if (!text)
        return std::nullopt;
    auto popups = ParseTextPopups(*text);
    const auto found = popups.find(id);
    if (found == popups.end())
        return std::nullopt;
    return std::move(found->second);
}

std::vector<SitemapEntry> ChmFile::Contents() const
{
    std::optional<std::string> path;
    if (!system_.contentsFile.empty())
        path = ResolveTopic(system_.contentsFile);
    if (!path) {
        for (const auto& file : ListFiles())
            if (EndsWithNoCase(file, ".hhc")) {
                path = file;
                break;
            }
    }
    if (!path)
        return {};
    const auto html = Read(*path);
    return html ? ParseSitemap(*html) : std::vector<SitemapEntry>{};
}

} // namespace hg::help::chm
