// Reading a compiled HTML Help file (.chm) for our own help viewer: no Qt, no display.
//
// chmlib opens the file and hands out its objects ("/index.htm", "/#SYSTEM", ...). Everything
// that is made of those objects' bytes (the default topic, the context map, the text popups, the
// contents tree, the character set of a page) is parsed by the plain functions below, which
// take bytes and return values, so they can be tested without a file.
//
// What the help compiler writes, as chmcmd (Free Pascal) and Microsoft's compiler both do:
//   /#SYSTEM   a DWORD version, then entries: WORD code, WORD length, data. Code 0 is the
//              contents file, 1 the index file, 2 the default topic, 3 the title (all
//              zero-terminated); code 4 starts with the LCID.
//   /#IVB      a DWORD byte count, then pairs of DWORDs: context number, offset into #STRINGS.
//   /#STRINGS  zero-terminated strings. chmcmd stores the alias target as the full path it had
//              on the compiling machine; ResolveTopic() finds the object by its trailing part.
//   text popups (cshelp.txt) are stored as the plain text file they were compiled from.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct chmFile;

namespace hg::help::chm {

struct SystemInfo {
    std::string contentsFile; // as stored, e.g. "Hanagumo.hhc"
    std::string indexFile;
    std::string defaultTopic; // as stored, e.g. "index.htm"
    std::string title;        // in the file's code page
    std::uint32_t lcid = 0;   // 0x0411 for Japanese
};

// /#SYSTEM; nothing when the bytes are not a #SYSTEM object (too short, an entry running past
// the end).
std::optional<SystemInfo> ParseSystem(std::string_view bytes);

// /#IVB and /#STRINGS -> context number -> topic as stored. Pairs whose offset falls outside
// #STRINGS are left out; a count running past the end of #IVB is cut to what is there.
std::map<std::uint32_t, std::string> ParseContextMap(std::string_view ivb, std::string_view strings);

// A text popup file: ".topic N" opens entry N; its text runs to the next ".topic" line, lines
// joined by "\n", blank lines at either end dropped. Entries named by a symbol instead of a
// number are skipped (the symbols are not compiled into the file).
std::map<std::uint32_t, std::string> ParseTextPopups(std::string_view text);

// One entry of a sitemap file (.hhc): its depth (0 at the top), name and local file.
struct SitemapEntry {
    int level = 0;
    std::string name;
    std::string local; // empty for a heading without a page
};
std::vector<SitemapEntry> ParseSitemap(std::string_view html);

// "a.chm::/dir/page.htm>main" -> file "a.chm", topic "/dir/page.htm" (window name dropped).
struct HelpLocation {
    std::string file;
    std::string topic; // empty when none is given
};
HelpLocation SplitHelpLocation(std::string_view text);

// An object path from a link or an entry: "\" becomes "/", "." and ".." are resolved, a
// leading "/" is added, and "#fragment" or "?query" are dropped.
std::string NormalizeObjectPath(std::string_view path);

enum class Charset { Utf8, Cp932, Latin1 };
// The character set of a page: its <meta> charset when it names one we know, else the one of
// the file's language (Japanese: code page 932), else UTF-8 when the bytes are valid UTF-8,
// else Latin-1.
Charset DetectCharset(std::string_view page, std::uint32_t lcid);

// One open .chm file.
class ChmFile {
public:
    // Nothing when the file is missing or not a .chm file chmlib can read.
    static std::unique_ptr<ChmFile> Open(const std::string& nativePath);
    ~ChmFile();
    ChmFile(const ChmFile&) = delete;
    ChmFile& operator=(const ChmFile&) = delete;

    const std::string& Path() const { return path_; }
    bool Exists(std::string_view objectPath) const;
    // The object's bytes; nothing when it is missing, unreadable or larger than 64 MiB.
    std::optional<std::string> Read(std::string_view objectPath) const;
    // Every object's path that does not belong to the file's own bookkeeping ("/#...", "/$...",
    // "::..."), in the file's order.
    std::vector<std::string> ListFiles() const;

    const SystemInfo& System() const { return system_; }
    // The topic to show when none is asked for: #SYSTEM's default topic, else the "Default
    // topic=" of a project file (.hhp) stored in the file, else the first page (.htm, .html).
    // Empty when the file has no page at all.
    std::string DefaultTopic() const;
    // The object path of the topic mapped to a context number, when it exists in the file.
    std::optional<std::string> TopicForContext(std::uint32_t context) const;
    // An existing object for a stored topic name: tried as it is, then by its trailing parts.
    std::optional<std::string> ResolveTopic(std::string_view stored) const;
    // Entry `id` of a text popup file in this .chm.
    std::optional<std::string> PopupText(std::string_view popupFile, std::uint32_t id) const;
    // The contents tree (#SYSTEM's contents file, else the first .hhc).
    std::vector<SitemapEntry> Contents() const;

private:
    ChmFile(chmFile* handle, std::string path);
    void LoadTables();

    chmFile* handle_;
    std::string path_;
    SystemInfo system_;
    std::map<std::uint32_t, std::string> contexts_;
};

} // namespace hg::help::chm
