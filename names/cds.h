// Reader and writer of client dataset table files (".cds"): the binary packet and both XML forms.
//
// The reader distrusts its input: every length and count is checked against what is left of
// the file before it is used, and a file that is not a valid table gives an error with a reason
// and the byte offset where reading stopped, never a crash or an unbounded allocation.
//
// What it reads: flat tables (nested tables, ADT, array and reference fields are refused as
// Unsupported). String fields keep their bytes, cut at the first zero byte, so a stored "01 00"
// and a zero-length value are both "" and only the blank bits make NULL. Rows that are an older
// version, deleted or unused are left out. A value marked "not changed" is taken from the version
// of the row it replaces, following the packet's CHANGE_LOG; with no earlier version it is NULL
// (in XML, an attribute missing from a modified row means "not changed", as in the runtime).
// Field names in a binary packet are taken as UTF-8 when they are valid UTF-8, else as code page
// 932; a FIELDNAME parameter overrides them. XML declared as UTF-8 that is not valid UTF-8 is read
// as code page 932, again as the runtime does.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace hg::cds {

enum class FieldKind {
    String, // ZSTRING: value bytes as stored (code page 932 for our tables)
    Int32,
    Int16,
    Other   // any other type the reader could skip; its values read as no value
};

struct FieldDef {
    std::string name;       // code page 932 bytes, whatever encoding the file used
    FieldKind kind = FieldKind::String;
    std::uint32_t typeWord = 0;  // as stored (binary) or as derived (XML)
    std::int32_t width = 0;      // declared width of a string field (WIDTH), else the value size
};

// A value of one field in one row: nothing (NULL) or text. Integers are held as their decimal text.
using Value = std::optional<std::string>;

struct Table {
    std::vector<FieldDef> fields;
    std::vector<std::vector<Value>> rows; // current rows only, in stored order; one Value per field
};

enum class ReadStatus { Ok, IoError, NotATable, Truncated, Malformed, Unsupported, TooLarge };

struct ReadResult {
    ReadStatus status = ReadStatus::Ok;
    std::string reason;       // English, for logs and tools; empty when Ok. Field names in it are
                              // code page 932, like every text of the tool.
    std::uint64_t offset = 0; // byte offset at which the problem was found
    Table table;
    explicit operator bool() const noexcept { return status == ReadStatus::Ok; }
    std::string Description() const; // "reason at offset N"; for IoError the reason alone
};

// "Ok", "Truncated", ...: the enumerator's name, for logs and test output.
const char* StatusName(ReadStatus status) noexcept;

// Reads a table from bytes in memory: binary, XML (raw code page 932) or XML (UTF-8), by content.
ReadResult ReadTable(const std::uint8_t* data, std::size_t size);
// Opens the file read-only, refuses what is not a regular file or is larger than kMaxFileSize,
// reads it whole and parses it. Never writes the file.
ReadResult ReadTableFile(const std::string& path);

inline constexpr std::uint64_t kMaxFileSize = 256u * 1024u * 1024u;
// The most values (rows × fields, a row without fields counting as one) a table may hold. A NULL
// takes no bytes in a file but a Value in memory, so the file size alone does not bound memory;
// a table that claims more is refused as TooLarge before its rows are allocated.
inline constexpr std::uint64_t kMaxValues = 8u * 1024u * 1024u;
// The most fields a table may have (the binary form counts them in 16 bits).
inline constexpr std::size_t kMaxFields = 0xFFFF;

// Writes the binary form of a flat table of String and Int32 fields: every row with status 0,
// no change log, string values of at most 253 bytes with a 1-byte length prefix (wider fields
// get a 2-byte prefix), "" written as 01 00, field names written as code page 932 bytes, the
// packet parameter LCID = 1041 (Japanese).
// Throws std::invalid_argument for a field kind it does not write, a field name outside 1-31
// bytes, a string width outside 1-65535, a value longer than its width or holding a zero byte,
// an Int32 value that is not decimal int32 text, or a row whose value count differs from the
// field count.
std::vector<std::uint8_t> WriteBinary(const Table& table);

} // namespace hg::cds
