#include "cds.h"

#include "cp932.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <limits>
#include <new>
#include <stdexcept>
#include <utility>

#include <sys/stat.h>
#ifndef _WIN32
#include <fcntl.h>
#include <unistd.h>
#endif

namespace hg::cds {

namespace {

// ---------------------------------------------------------------------------------------------
// The 32-bit type word of field descriptors and parameters

constexpr std::uint32_t kMagic = 0xBDE01996u;
constexpr std::uint32_t kOldMagic = 0x0000ABCDu;
constexpr std::size_t kHeaderSize = 24;

constexpr std::uint32_t kSizeMask = 0x0000FFFFu;   // value size, prefix width or child count
constexpr std::uint32_t kBaseMask = 0x003F0000u;   // base type code
constexpr std::uint32_t kVarying = 0x00400000u;    // length-prefixed value
constexpr std::uint32_t kArray = 0x00800000u;      // u32 count, then count elements of `size`
constexpr std::uint32_t kComposite = 0x07000000u;  // pseudo field, compressed array, embedded table

constexpr std::uint32_t kTypeInt = 1;
constexpr std::uint32_t kTypeUint = 2;
constexpr std::uint32_t kTypeZString = 9;
constexpr std::uint32_t kTypeUnicode = 10;
constexpr std::uint32_t kTypeAdt = 12;
constexpr std::uint32_t kTypeRef = 15;

constexpr std::uint32_t kWordInt32 = 0x00010004u;
constexpr std::uint32_t kWordUint16 = 0x00020002u;
constexpr std::uint32_t kWordZString1 = 0x00490001u;
constexpr std::uint32_t kWordZString2 = 0x00490002u;

constexpr std::int64_t kInt32Min = std::numeric_limits<std::int32_t>::min();
constexpr std::int64_t kInt32Max = std::numeric_limits<std::int32_t>::max();
constexpr std::int64_t kInt16Min = std::numeric_limits<std::int16_t>::min();
constexpr std::int64_t kInt16Max = std::numeric_limits<std::int16_t>::max();

constexpr std::uint32_t BaseType(std::uint32_t word) { return (word & kBaseMask) >> 16; }
constexpr std::uint32_t SizeOf(std::uint32_t word) { return word & kSizeMask; }

bool IsComposite(std::uint32_t word)
{
    const std::uint32_t base = BaseType(word);
    return (word & kComposite) != 0 || (base >= kTypeAdt && base <= kTypeRef);
}

// Row status bits that take a row out of the current table: an older version of an edited
// row, a deleted row, an unused slot.
constexpr std::uint8_t kRowNotCurrent = 0x01 | 0x02 | 0x20;
constexpr std::uint8_t kRowModified = 0x08;

// State of one cell before the change log is applied.
enum Cell : std::uint8_t { kCellValue = 0, kCellNull = 1, kCellNotChanged = 2 };

// ---------------------------------------------------------------------------------------------
// Failures travel as an exception inside the reader and leave it as a ReadResult.

struct Failure {
    ReadStatus status;
    std::string reason;
    std::uint64_t offset;
};

[[noreturn]] void Fail(ReadStatus status, std::string reason, std::uint64_t offset)
{
    throw Failure{status, std::move(reason), offset};
}

std::string Hex32(std::uint32_t v)
{
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%08X", static_cast<unsigned>(v));
    return buf;
}

std::string Num(std::uint64_t v) { return std::to_string(v); }

// "field 2 "姓"": numbers count from 1, the name is code page 932 like every text of the tool.
std::string FieldLabel(std::size_t index, const std::string& name)
{
    return "field " + Num(index + 1) + " \"" + name + "\"";
}

// ---------------------------------------------------------------------------------------------
// Text

bool IsAscii(std::string_view s)
{
    return std::all_of(s.begin(), s.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// Well-formed UTF-8: no overlong forms, no surrogates, nothing above U+10FFFF.
// Returns the offset of the first bad byte, or npos.
std::size_t FindBadUtf8(std::string_view s)
{
    const auto* p = reinterpret_cast<const unsigned char*>(s.data());
    const std::size_t n = s.size();
    std::size_t i = 0;
    while (i < n) {
        const unsigned char c = p[i];
        if (c < 0x80) {
            ++i;
            continue;
        }
        std::size_t len = 0;
        unsigned char lo = 0x80, hi = 0xBF; // allowed range of the second byte
        if (c >= 0xC2 && c <= 0xDF) {
            len = 2;
        } else if (c >= 0xE0 && c <= 0xEF) {
            len = 3;
            if (c == 0xE0)
                lo = 0xA0;
            else if (c == 0xED)
                hi = 0x9F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            len = 4;
            if (c == 0xF0)
                lo = 0x90;
            else if (c == 0xF4)
                hi = 0x8F;
        } else {
            return i;
        }
        if (n - i < len || p[i + 1] < lo || p[i + 1] > hi)
            return i;
        for (std::size_t k = 2; k < len; ++k)
            if (p[i + k] < 0x80 || p[i + k] > 0xBF)
                return i;
        i += len;
    }
    return std::string_view::npos;
}

bool IsUtf8(std::string_view s) { return FindBadUtf8(s) == std::string_view::npos; }

void AppendUtf8(std::string& out, std::uint32_t cp)
{
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

// UTF-16LE (a UNICODE parameter) to UTF-8; an unpaired surrogate becomes U+FFFD.
std::string Utf16LeToUtf8(std::string_view bytes)
{
    std::string out;
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const std::size_t units = bytes.size() / 2;
    for (std::size_t i = 0; i < units; ++i) {
        std::uint32_t u = p[2 * i] | (std::uint32_t(p[2 * i + 1]) << 8);
        if (u == 0)
            break;
        if (u >= 0xD800 && u <= 0xDBFF && i + 1 < units) {
            const std::uint32_t low = p[2 * i + 2] | (std::uint32_t(p[2 * i + 3]) << 8);
            if (low >= 0xDC00 && low <= 0xDFFF) {
                u = 0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00);
                ++i;
            }
        }
        if (u >= 0xD800 && u <= 0xDFFF)
            u = 0xFFFD;
        AppendUtf8(out, u);
    }
    return out;
}

// A field name as stored in a binary packet: newer writers put UTF-8 there, older ones the
// ANSI code page. Strict UTF-8 is taken as such (half-width katakana names can pass for UTF-8 by
// accident; full-width ones never do); anything else is code page 932 already.
std::string DecodeBinaryName(std::string_view raw)
{
    if (IsAscii(raw) || !IsUtf8(raw))
        return std::string(raw);
    if (auto converted = cp932::TryFromUtf8(raw))
        return *std::move(converted);
    return std::string(raw); // UTF-8 that code page 932 cannot hold: kept as it is
}

std::string_view CutAtNul(std::string_view s)
{
    const std::size_t nul = s.find('\0');
    return nul == std::string_view::npos ? s : s.substr(0, nul);
}

// ---------------------------------------------------------------------------------------------
// Bytes in memory, read little-endian one byte at a time. `what` is a callable giving the name
// of the item being read; it is only called when reading fails.

class ByteReader {
public:
    ByteReader(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    std::size_t Pos() const { return pos_; }
    std::size_t Remaining() const { return size_ - pos_; }
    void Seek(std::size_t pos) { pos_ = pos; }

    template <class What>
    void Need(std::uint64_t n, const What& what) const
    {
        if (n > Remaining())
            Fail(ReadStatus::Truncated,
                 "the file ends inside " + what() + " (" + Num(n) + " bytes needed, " + Num(Remaining()) + " left)",
                 pos_);
    }
    template <class What>
    std::uint64_t Uint(std::size_t width, const What& what)
    {
        Need(width, what);
        std::uint64_t v = 0;
        for (std::size_t i = 0; i < width; ++i)
            v |= std::uint64_t(data_[pos_ + i]) << (8 * i);
        pos_ += width;
        return v;
    }
    template <class What> std::uint8_t U8(const What& what) { return static_cast<std::uint8_t>(Uint(1, what)); }
    template <class What> std::uint16_t U16(const What& what) { return static_cast<std::uint16_t>(Uint(2, what)); }
    template <class What> std::uint32_t U32(const What& what) { return static_cast<std::uint32_t>(Uint(4, what)); }
    template <class What>
    std::string_view Bytes(std::uint64_t n, const What& what)
    {
        Need(n, what);
        std::string_view s(reinterpret_cast<const char*>(data_ + pos_), static_cast<std::size_t>(n));
        pos_ += static_cast<std::size_t>(n);
        return s;
    }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t pos_ = 0;
};

std::uint64_t LittleEndian(std::string_view bytes)
{
    std::uint64_t v = 0;
    for (std::size_t i = 0; i < bytes.size() && i < 8; ++i)
        v |= std::uint64_t(static_cast<unsigned char>(bytes[i])) << (8 * i);
    return v;
}

// One value encoded by the rule shared by parameters and record values: an array is a u32
// count and count elements of `size` bytes; a varying value is a length prefix of `size` bytes
// and that many bytes; anything else is `size` bytes. A 4-byte prefix with bit 31 set is a
// delayed blob: no bytes follow.
struct EncodedValue {
    std::size_t offset = 0; // of the value's bytes (after count or prefix)
    std::string_view bytes;
    bool delayed = false;
};

template <class What>
EncodedValue ReadEncoded(ByteReader& r, std::uint32_t word, const What& what)
{
    const std::uint32_t size = SizeOf(word);
    EncodedValue v;
    std::uint64_t length = size;
    if (word & kArray) {
        const std::uint32_t count = r.U32([&] { return what() + " element count"; });
        length = std::uint64_t(count) * size;
    } else if (word & kVarying) {
        const std::size_t prefixAt = r.Pos();
        if (size != 1 && size != 2 && size != 4)
            Fail(ReadStatus::Malformed, what() + " has a length prefix of " + Num(size) + " bytes (1, 2 or 4 expected)",
                 prefixAt);
        length = r.Uint(size, [&] { return what() + " length"; });
        if (size == 4 && (length & 0x80000000u)) {
            v.offset = r.Pos();
            v.delayed = true;
            return v;
        }
    }
    v.offset = r.Pos();
    v.bytes = r.Bytes(length, what);
    return v;
}

// ---------------------------------------------------------------------------------------------
// Rows as read, before the change log is applied; shared by the binary and the XML reader.

struct RawRows {
    std::size_t fieldCount = 0;
    std::vector<std::uint8_t> status;
    std::vector<std::vector<Value>> values;
    std::vector<std::uint8_t> cells; // Cell per row and field, row after row
    bool anyNotChanged = false;
};

// CHANGE_LOG: triplets (record, record it replaces or 0, action), records numbered from 1.
struct ChangeLog {
    std::vector<std::uint32_t> entries;
    std::uint64_t offset = 0; // of the first entry (binary) or of the attribute value (XML)
    std::uint64_t stride = 0; // bytes per triplet in the file (12 in binary, 0 in XML)
};

Table Finish(std::vector<FieldDef> fields, RawRows raw, const ChangeLog& log)
{
    const std::size_t rows = raw.status.size();
    const std::size_t n = raw.fieldCount;
    if (log.entries.size() % 3 != 0)
        Fail(ReadStatus::Malformed,
             "CHANGE_LOG holds " + Num(log.entries.size()) + " numbers, not a whole number of triplets", log.offset);

    // A "not changed" value is the value of the version the row replaces, found by following
    // the change log back; with no earlier version it reads as NULL.
    std::vector<std::int64_t> replaces;
    if (raw.anyNotChanged || !log.entries.empty()) {
        replaces.assign(rows, -1);
        for (std::size_t k = 0; k < log.entries.size(); k += 3) {
            const std::uint32_t record = log.entries[k];
            const std::uint32_t previous = log.entries[k + 1];
            if (record == 0 || record > rows || previous > rows)
                Fail(ReadStatus::Malformed,
                     "CHANGE_LOG entry " + Num(k / 3 + 1) + " names record " + Num(record == 0 || record > rows ? record : previous) +
                         ", but the packet has " + Num(rows) + " rows",
                     log.offset + (k / 3) * log.stride);
            if (previous != 0)
                replaces[record - 1] = std::int64_t(previous) - 1;
        }
    }
    if (raw.anyNotChanged) {
        for (std::size_t r = 0; r < rows; ++r) {
            if (raw.status[r] & kRowNotCurrent)
                continue;
            for (std::size_t f = 0; f < n; ++f) {
                if (raw.cells[r * n + f] != kCellNotChanged)
                    continue;
                std::int64_t p = replaces[r];
                std::size_t steps = 0;
                while (p >= 0 && raw.cells[std::size_t(p) * n + f] == kCellNotChanged) {
                    p = replaces[std::size_t(p)];
                    if (++steps > rows)
                        Fail(ReadStatus::Malformed, "CHANGE_LOG chain of record " + Num(r + 1) + " loops", log.offset);
                }
                if (p >= 0 && raw.cells[std::size_t(p) * n + f] == kCellValue)
                    raw.values[r][f] = raw.values[std::size_t(p)][f];
            }
        }
    }

    Table table;
    table.fields = std::move(fields);
    std::size_t current = 0;
    for (std::size_t r = 0; r < rows; ++r)
        current += (raw.status[r] & kRowNotCurrent) == 0;
    table.rows.reserve(current);
    for (std::size_t r = 0; r < rows; ++r)
        if ((raw.status[r] & kRowNotCurrent) == 0)
            table.rows.push_back(std::move(raw.values[r]));
    return table;
}

// ---------------------------------------------------------------------------------------------
// Binary packet

struct Param {
    std::string_view name;
    std::uint32_t word = 0;
    EncodedValue value;
};

template <class What>
Param ReadParam(ByteReader& r, const What& what)
{
    Param p;
    const std::size_t at = r.Pos();
    const std::uint8_t len = r.U8([&] { return what() + " name length"; });
    if (len == 0)
        Fail(ReadStatus::Malformed, what() + " has a name of length 0", at);
    p.name = r.Bytes(len, [&] { return what() + " name"; });
    auto named = [&] { return what() + " \"" + std::string(p.name) + "\""; };
    p.word = r.U32([&] { return named() + " type word"; });
    if (IsComposite(p.word))
        Fail(ReadStatus::Unsupported, named() + " has the composite type " + Hex32(p.word), r.Pos() - 4);
    p.value = ReadEncoded(r, p.word, named);
    return p;
}

bool IsPlainNumber(std::uint32_t word)
{
    const std::uint32_t base = BaseType(word);
    const std::uint32_t size = SizeOf(word);
    return (base == kTypeInt || base == kTypeUint) && (word & (kVarying | kArray)) == 0 &&
           (size == 1 || size == 2 || size == 4);
}

FieldDef ReadField(ByteReader& r, std::size_t index)
{
    const std::size_t at = r.Pos();
    auto numbered = [&] { return "field " + Num(index + 1); };
    const std::uint8_t len = r.U8([&] { return numbered() + " name length"; });
    if (len == 0)
        Fail(ReadStatus::Malformed, numbered() + " has a name of length 0", at);
    FieldDef field;
    field.name = DecodeBinaryName(r.Bytes(len, [&] { return numbered() + " name"; }));
    auto label = [&] { return FieldLabel(index, field.name); };

    const std::size_t typeAt = r.Pos();
    const std::uint32_t word = r.U32([&] { return label() + " type word"; });
    (void)r.U16([&] { return label() + " attributes"; });
    const std::uint16_t paramCount = r.U16([&] { return label() + " parameter count"; });
    field.typeWord = word;
    if (IsComposite(word))
        Fail(ReadStatus::Unsupported,
             label() + " has the composite type " + Hex32(word) + " (nested tables, ADT, array and reference fields are not supported)",
             typeAt);
    const std::uint32_t size = SizeOf(word);
    if ((word & kVarying) && !(word & kArray) && size != 1 && size != 2 && size != 4)
        Fail(ReadStatus::Malformed, label() + " has a length prefix of " + Num(size) + " bytes (1, 2 or 4 expected)", typeAt);

    const std::uint32_t base = BaseType(word);
    if (base == kTypeZString && !(word & kArray)) {
        field.kind = FieldKind::String;
        field.width = (word & kVarying) ? 0 : std::int32_t(size);
    } else if (base == kTypeInt && !(word & (kVarying | kArray)) && (size == 4 || size == 2)) {
        field.kind = size == 4 ? FieldKind::Int32 : FieldKind::Int16;
        field.width = std::int32_t(size);
    } else {
        field.kind = FieldKind::Other;
        field.width = std::int32_t(size);
    }

    std::string nameParam;
    bool hasNameParam = false;
    for (std::uint16_t k = 0; k < paramCount; ++k) {
        const Param p = ReadParam(r, [&] { return label() + " parameter " + Num(k + 1); });
        if (p.name == "WIDTH" && IsPlainNumber(p.word)) {
            field.width = std::int32_t(std::min<std::uint64_t>(LittleEndian(p.value.bytes), 0x7FFFFFFF));
        } else if (p.name == "FIELDNAME" && !(p.word & kArray)) {
            if (BaseType(p.word) == kTypeZString) {
                nameParam = DecodeBinaryName(CutAtNul(p.value.bytes));
                hasNameParam = true;
            } else if (BaseType(p.word) == kTypeUnicode) {
                nameParam = DecodeBinaryName(Utf16LeToUtf8(p.value.bytes));
                hasNameParam = true;
            }
        }
    }
    // The descriptor holds at most 31 bytes of the name; FIELDNAME carries it whole.
    if (hasNameParam && !nameParam.empty())
        field.name = std::move(nameParam);
    return field;
}

ReadResult ReadBinary(const std::uint8_t* data, std::size_t size)
{
    ByteReader r(data, size);
    auto header = [](const char* item) { return [item] { return std::string("the header (") + item + ")"; }; };
    (void)r.U32(header("magic"));
    const std::uint16_t major = r.U16(header("major version"));
    const std::uint16_t minor = r.U16(header("minor version"));
    if (major > 3 || minor > 3)
        Fail(ReadStatus::Unsupported, "packet version " + Num(major) + "." + Num(minor) + " is newer than this reader knows", 4);
    const std::uint32_t headerSize = r.U32(header("header size"));
    const std::uint16_t columnCount = r.U16(header("column count"));
    const std::uint32_t rowCount = r.U32(header("row count"));
    const std::uint32_t properties = r.U32(header("properties"));
    (void)r.U16(header("data offset"));
    if (headerSize < kHeaderSize)
        Fail(ReadStatus::Malformed, "header size " + Num(headerSize) + " is smaller than 24", 8);
    if (headerSize > size)
        Fail(ReadStatus::Truncated, "header size " + Num(headerSize) + " runs past the end of the file (" + Num(size) + " bytes)", 8);
    if (!(properties & 1))
        Fail(ReadStatus::Unsupported, "the packet carries no field descriptors (properties " + Hex32(properties) + ")", 18);
    r.Seek(headerSize);

    // A descriptor takes at least 10 bytes: name length, one name byte, type word, attributes,
    // parameter count.
    if (std::uint64_t(columnCount) * 10 > r.Remaining())
        Fail(ReadStatus::Truncated,
             "column count " + Num(columnCount) + " needs at least " + Num(std::uint64_t(columnCount) * 10) +
                 " bytes of field descriptors, but only " + Num(r.Remaining()) + " follow the header",
             12);
    std::vector<FieldDef> fields;
    fields.reserve(columnCount);
    for (std::size_t i = 0; i < columnCount; ++i)
        fields.push_back(ReadField(r, i));

    ChangeLog log;
    log.stride = 12;
    const std::uint16_t packetParams = r.U16([] { return std::string("the packet parameter count"); });
    for (std::uint16_t k = 0; k < packetParams; ++k) {
        const Param p = ReadParam(r, [&] { return "packet parameter " + Num(k + 1); });
        if (p.name != "CHANGE_LOG")
            continue;
        if (!(p.word & kArray) || SizeOf(p.word) != 4 || (BaseType(p.word) != kTypeUint && BaseType(p.word) != kTypeInt))
            Fail(ReadStatus::Malformed, "CHANGE_LOG has the type " + Hex32(p.word) + ", not an array of 32-bit numbers",
                 p.value.offset);
        log.offset = p.value.offset;
        log.entries.resize(p.value.bytes.size() / 4); // bytes already present: bounded by the file
        for (std::size_t e = 0; e < log.entries.size(); ++e)
            log.entries[e] = static_cast<std::uint32_t>(LittleEndian(p.value.bytes.substr(4 * e, 4)));
    }
    // The data offset in the header (when present) always equals the end of the metadata in
    // files the runtime writes; the walk through the metadata is what counts here.

    const std::size_t n = columnCount;
    const std::size_t bitmapBytes = (n + 3) / 4;
    const std::uint64_t minRow = 1 + bitmapBytes;
    if (std::uint64_t(rowCount) * minRow > r.Remaining())
        Fail(ReadStatus::Truncated,
             "row count " + Num(rowCount) + " needs at least " + Num(std::uint64_t(rowCount) * minRow) +
                 " bytes of rows, but only " + Num(r.Remaining()) + " follow the metadata",
             14);

    if (std::uint64_t(rowCount) * std::max<std::size_t>(n, 1) > kMaxValues)
        Fail(ReadStatus::TooLarge,
             Num(rowCount) + " rows of " + Num(n) + " fields are more than the " + Num(kMaxValues) + " values a table may hold",
             14);
    RawRows raw;
    raw.fieldCount = n;
    raw.status.reserve(rowCount);
    raw.values.reserve(rowCount);
    raw.cells.resize(std::size_t(rowCount) * n);
    for (std::size_t row = 0; row < rowCount; ++row) {
        auto rowLabel = [&] { return "row " + Num(row + 1); };
        raw.status.push_back(r.U8([&] { return rowLabel() + " status"; }));
        const std::string_view bitmap = r.Bytes(bitmapBytes, [&] { return rowLabel() + " blank bits"; });
        std::vector<Value> values(n);
        for (std::size_t f = 0; f < n; ++f) {
            const unsigned bits = (static_cast<unsigned char>(bitmap[f / 4]) >> ((f % 4) * 2)) & 3u;
            std::uint8_t& cell = raw.cells[row * n + f];
            if (bits & 1u) {
                cell = kCellNull;
                continue;
            }
            if (bits == 2u) {
                cell = kCellNotChanged;
                raw.anyNotChanged = true;
                continue;
            }
            const FieldDef& field = fields[f];
            auto what = [&] { return rowLabel() + " " + FieldLabel(f, field.name); };
            switch (field.kind) {
            case FieldKind::String: {
                const EncodedValue v = ReadEncoded(r, field.typeWord, what);
                if (v.delayed)
                    Fail(ReadStatus::Unsupported, what() + " is a delayed value that the packet does not hold", v.offset - 4);
                values[f] = std::string(CutAtNul(v.bytes));
                break;
            }
            case FieldKind::Int32:
                values[f] = std::to_string(static_cast<std::int32_t>(r.U32(what)));
                break;
            case FieldKind::Int16:
                values[f] = std::to_string(static_cast<std::int16_t>(r.U16(what)));
                break;
            case FieldKind::Other:
                (void)ReadEncoded(r, field.typeWord, what);
                break;
            }
        }
        raw.values.push_back(std::move(values));
    }
    if (r.Remaining() != 0)
        Fail(ReadStatus::Malformed, Num(r.Remaining()) + " bytes follow the last row", r.Pos());

    ReadResult result;
    result.table = Finish(std::move(fields), std::move(raw), log);
    return result;
}

// ---------------------------------------------------------------------------------------------
// XML: a tolerant tokenizer of its own. Element and attribute names are any bytes up to
// white space, "=", "/" or ">" (the runtime writes names such as "Ｎｏ", and raw code page 932
// in the plain form); the trail bytes of code page 932 never fall in that range.

bool IsSpace(unsigned char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

struct XmlAttribute {
    std::string_view name;
    std::string_view raw; // between the quotes, references not yet decoded
    std::size_t valueOffset = 0;
};

struct XmlTag {
    bool end = false;
    bool selfClosing = false;
    std::string_view name;
    std::size_t offset = 0; // of "<"
    std::vector<XmlAttribute> attributes;

    const XmlAttribute* Find(std::string_view attributeName) const
    {
        for (const XmlAttribute& a : attributes)
            if (a.name == attributeName)
                return &a;
        return nullptr;
    }
};

class XmlScanner {
public:
    XmlScanner(const std::uint8_t* data, std::size_t size, std::size_t start)
        : text_(reinterpret_cast<const char*>(data), size), pos_(start)
    {
    }

    // The next start or end tag; false at the end of the data. Text, comments, processing
    // instructions, CDATA sections and the document type are passed over.
    bool Next(XmlTag& tag)
    {
        for (;;) {
            const std::size_t lt = text_.find('<', pos_);
            if (lt == std::string_view::npos) {
                pos_ = text_.size();
                return false;
            }
            pos_ = lt;
            if (Skip("<?", "?>", "processing instruction") || Skip("<!--", "-->", "comment") ||
                Skip("<![CDATA[", "]]>", "CDATA section"))
                continue;
            if (text_.compare(pos_, 2, "<!") == 0) {
                SkipDeclaration();
                continue;
            }
            ReadTag(tag);
            return true;
        }
    }

    // Attributes of the "<?xml ...?>" declaration at `at`, if there is one.
    static std::vector<XmlAttribute> Declaration(std::string_view text, std::size_t at)
    {
        std::vector<XmlAttribute> attributes;
        if (text.compare(at, 5, "<?xml") != 0)
            return attributes;
        const std::size_t end = text.find("?>", at);
        if (end == std::string_view::npos)
            return attributes;
        std::size_t p = at + 5;
        while (p < end) {
            while (p < end && IsSpace(static_cast<unsigned char>(text[p])))
                ++p;
            const std::size_t nameStart = p;
            while (p < end && text[p] != '=' && !IsSpace(static_cast<unsigned char>(text[p])))
                ++p;
            XmlAttribute a;
            a.name = text.substr(nameStart, p - nameStart);
            while (p < end && IsSpace(static_cast<unsigned char>(text[p])))
                ++p;
            if (p >= end || text[p] != '=')
                break;
            ++p;
            while (p < end && IsSpace(static_cast<unsigned char>(text[p])))
                ++p;
            if (p >= end || (text[p] != '"' && text[p] != '\''))
                break;
            const std::size_t close = text.find(text[p], p + 1);
            if (close == std::string_view::npos || close > end)
                break;
            a.valueOffset = p + 1;
            a.raw = text.substr(p + 1, close - p - 1);
            attributes.push_back(a);
            p = close + 1;
        }
        return attributes;
    }

private:
    bool Skip(std::string_view open, std::string_view close, const char* what)
    {
        if (text_.compare(pos_, open.size(), open) != 0)
            return false;
        const std::size_t end = text_.find(close, pos_ + open.size());
        if (end == std::string_view::npos)
            Fail(ReadStatus::Malformed, std::string(what) + " is not closed", pos_);
        pos_ = end + close.size();
        return true;
    }

    void SkipDeclaration()
    {
        int depth = 0;
        for (std::size_t p = pos_ + 2; p < text_.size(); ++p) {
            if (text_[p] == '[')
                ++depth;
            else if (text_[p] == ']')
                --depth;
            else if (text_[p] == '>' && depth <= 0) {
                pos_ = p + 1;
                return;
            }
        }
        Fail(ReadStatus::Malformed, "declaration \"<!\" is not closed", pos_);
    }

    bool AtEnd() const { return pos_ >= text_.size(); }
    unsigned char Peek() const { return static_cast<unsigned char>(text_[pos_]); }
    void SkipSpace()
    {
        while (!AtEnd() && IsSpace(Peek()))
            ++pos_;
    }
    std::string_view ReadName()
    {
        const std::size_t start = pos_;
        while (!AtEnd()) {
            const unsigned char c = Peek();
            if (IsSpace(c) || c == '=' || c == '/' || c == '>' || c == '<' || c == '"' || c == '\'')
                break;
            ++pos_;
        }
        return text_.substr(start, pos_ - start);
    }

    void ReadTag(XmlTag& tag)
    {
        tag = XmlTag();
        tag.offset = pos_;
        ++pos_; // "<"
        if (!AtEnd() && Peek() == '/') {
            tag.end = true;
            ++pos_;
        }
        tag.name = ReadName();
        if (tag.name.empty())
            Fail(ReadStatus::Malformed, "\"<\" is not followed by an element name", tag.offset);
        auto unclosed = [&] {
            Fail(ReadStatus::Malformed, std::string("tag <") + (tag.end ? "/" : "") + std::string(tag.name) + " is not closed",
                 tag.offset);
        };
        for (;;) {
            SkipSpace();
            if (AtEnd())
                unclosed();
            const unsigned char c = Peek();
            if (c == '>') {
                ++pos_;
                return;
            }
            if (c == '/' && !tag.end) {
                ++pos_;
                if (AtEnd())
                    unclosed();
                if (Peek() != '>')
                    Fail(ReadStatus::Malformed, "\"/\" in tag <" + std::string(tag.name) + "> is not followed by \">\"", pos_);
                ++pos_;
                tag.selfClosing = true;
                return;
            }
            if (tag.end)
                Fail(ReadStatus::Malformed, "closing tag </" + std::string(tag.name) + "> has more than a name", pos_);
            const std::size_t nameAt = pos_;
            XmlAttribute a;
            a.name = ReadName();
            if (a.name.empty()) {
                if (c == '<')
                    unclosed();
                Fail(ReadStatus::Malformed,
                     "unexpected \"" + std::string(1, char(c)) + "\" in tag <" + std::string(tag.name) + ">", nameAt);
            }
            SkipSpace();
            if (AtEnd())
                unclosed();
            if (Peek() != '=')
                Fail(ReadStatus::Malformed, "attribute " + std::string(a.name) + " has no value", pos_);
            ++pos_;
            SkipSpace();
            if (AtEnd())
                unclosed();
            const char quote = static_cast<char>(Peek());
            if (quote != '"' && quote != '\'')
                Fail(ReadStatus::Malformed, "value of attribute " + std::string(a.name) + " is not in quotes", pos_);
            const std::size_t close = text_.find(quote, pos_ + 1);
            if (close == std::string_view::npos)
                Fail(ReadStatus::Malformed, "value of attribute " + std::string(a.name) + " is not closed", pos_);
            a.valueOffset = pos_ + 1;
            a.raw = text_.substr(pos_ + 1, close - pos_ - 1);
            tag.attributes.push_back(a);
            pos_ = close + 1;
        }
    }

    std::string_view text_;
    std::size_t pos_;
};

class XmlPacketReader {
public:
    XmlPacketReader(const std::uint8_t* data, std::size_t size, std::size_t start, bool utf8)
        : scanner_(data, size, start), size_(size), utf8_(utf8)
    {
    }

    ReadResult Read()
    {
        struct Open {
            std::string_view name;
            std::size_t offset;
            Role role;
        };
        std::vector<Open> stack;
        bool rootSeen = false, rootClosed = false;
        XmlTag tag;
        while (scanner_.Next(tag)) {
            if (tag.end) {
                if (stack.empty())
                    Fail(ReadStatus::Malformed, "closing tag </" + std::string(tag.name) + "> has no opening tag", tag.offset);
                if (stack.back().name != tag.name)
                    Fail(ReadStatus::Malformed,
                         "closing tag </" + std::string(tag.name) + "> does not match <" + std::string(stack.back().name) +
                             "> at offset " + Num(stack.back().offset),
                         tag.offset);
                Close(stack.back().role, tag.offset);
                stack.pop_back();
                rootClosed = stack.empty();
                continue;
            }
            if (rootClosed)
                Fail(ReadStatus::Malformed, "element <" + std::string(tag.name) + "> follows the end of </DATAPACKET>", tag.offset);
            const Role parent = stack.empty() ? Role::Document : stack.back().role;
            const Role role = Start(parent, tag);
            rootSeen = true;
            if (tag.selfClosing) {
                Close(role, tag.offset);
                rootClosed = stack.empty();
            } else {
                stack.push_back({tag.name, tag.offset, role});
            }
        }
        if (!rootSeen)
            Fail(ReadStatus::NotATable, "the XML holds no <DATAPACKET> element", size_);
        if (!stack.empty())
            Fail(ReadStatus::Malformed, "<" + std::string(stack.back().name) + "> is never closed", stack.back().offset);

        ReadResult result;
        raw_.fieldCount = fields_.size(); // fixed once </METADATA> is passed, before any row
        result.table = Finish(std::move(fields_), std::move(raw_), log_);
        return result;
    }

private:
    enum class Role { Document, Packet, Metadata, Fields, Field, Params, RowData, Row, Other };

    Role Start(Role parent, const XmlTag& tag)
    {
        const std::string_view name = tag.name;
        if (name == "ROW" && parent != Role::RowData)
            Fail(ReadStatus::Malformed, "<ROW> outside <ROWDATA>", tag.offset);
        switch (parent) {
        case Role::Document:
            if (name != "DATAPACKET")
                Fail(ReadStatus::NotATable, "the XML starts with <" + std::string(name) + ">, not <DATAPACKET>", tag.offset);
            return Role::Packet;
        case Role::Packet:
            if (name == "METADATA") {
                if (metadataSeen_)
                    Fail(ReadStatus::Malformed, "second <METADATA>", tag.offset);
                metadataSeen_ = true;
                return Role::Metadata;
            }
            if (name == "ROWDATA") {
                if (!metadataDone_)
                    Fail(ReadStatus::Malformed, "<ROWDATA> before the end of <METADATA>", tag.offset);
                if (rowDataSeen_)
                    Fail(ReadStatus::Malformed, "second <ROWDATA>", tag.offset);
                rowDataSeen_ = true;
                return Role::RowData;
            }
            return Role::Other;
        case Role::Metadata:
            if (name == "FIELDS")
                return Role::Fields;
            if (name == "PARAMS") {
                ReadPacketParams(tag);
                return Role::Params;
            }
            return Role::Other;
        case Role::Fields:
            if (name == "FIELD") {
                ReadField(tag);
                return Role::Field;
            }
            return Role::Other;
        case Role::Field:
            if (name == "FIELDS")
                Fail(ReadStatus::Unsupported, "field with fields of its own (nested structures are not supported)", tag.offset);
            return Role::Other;
        case Role::RowData:
            if (name == "ROW") {
                ReadRow(tag);
                return Role::Row;
            }
            return Role::Other;
        case Role::Params:
        case Role::Row:
        case Role::Other:
            return Role::Other;
        }
        return Role::Other;
    }

    void Close(Role role, std::size_t offset)
    {
        if (role == Role::Metadata)
            metadataDone_ = true;
        if (role == Role::Packet && !metadataDone_)
            Fail(ReadStatus::Malformed, "<DATAPACKET> has no <METADATA>", offset);
    }

    // Entity and character references decoded. The result is UTF-8 in the UTF-8 form and code
    // page 932 in the plain form.
    std::string Decode(std::string_view raw, std::size_t offset) const
    {
        if (raw.find('&') == std::string_view::npos)
            return std::string(raw);
        std::string out;
        out.reserve(raw.size());
        for (std::size_t i = 0; i < raw.size();) {
            if (raw[i] != '&') {
                out += raw[i++];
                continue;
            }
            const std::size_t at = offset + i;
            const std::size_t semi = raw.find(';', i);
            if (semi == std::string_view::npos || semi - i > 12)
                Fail(ReadStatus::Malformed, "\"&\" does not start an entity or character reference", at);
            const std::string_view ref = raw.substr(i + 1, semi - i - 1);
            i = semi + 1;
            if (ref == "lt") out += '<';
            else if (ref == "gt") out += '>';
            else if (ref == "amp") out += '&';
            else if (ref == "quot") out += '"';
            else if (ref == "apos") out += '\'';
            else if (ref.size() >= 2 && ref[0] == '#')
                AppendCharacter(out, ref, at);
            else
                Fail(ReadStatus::Malformed, "unknown entity &" + std::string(ref) + ";", at);
        }
        return out;
    }

    void AppendCharacter(std::string& out, std::string_view ref, std::size_t at) const
    {
        const bool hex = ref[1] == 'x' || ref[1] == 'X';
        const std::string_view digits = ref.substr(hex ? 2 : 1);
        std::uint32_t cp = 0;
        bool ok = !digits.empty();
        for (char c : digits) {
            unsigned d;
            if (c >= '0' && c <= '9') d = unsigned(c - '0');
            else if (hex && c >= 'a' && c <= 'f') d = unsigned(c - 'a' + 10);
            else if (hex && c >= 'A' && c <= 'F') d = unsigned(c - 'A' + 10);
            else { ok = false; break; }
            cp = cp * (hex ? 16 : 10) + d;
            if (cp > 0x10FFFF) { ok = false; break; }
        }
        if (!ok || cp == 0 || (cp >= 0xD800 && cp <= 0xDFFF))
            Fail(ReadStatus::Malformed, "&" + std::string(ref) + "; is not a valid character reference", at);
        if (cp < 0x80 || utf8_) {
            AppendUtf8(out, cp);
            return;
        }
        std::string utf8;
        AppendUtf8(utf8, cp);
        const auto converted = cp932::TryFromUtf8(utf8);
        if (!converted)
            Fail(ReadStatus::Unsupported, "&" + std::string(ref) + "; is a character that code page 932 cannot hold", at);
        out += *converted;
    }

    // Decoded text in code page 932. `what` names the item for the error message.
    std::string Text(const XmlAttribute& a, const std::string& what) const
    {
        std::string decoded = Decode(a.raw, a.valueOffset);
        if (!utf8_ || IsAscii(decoded))
            return decoded;
        auto converted = cp932::TryFromUtf8(decoded);
        if (!converted)
            Fail(ReadStatus::Unsupported, what + " holds a character that code page 932 cannot hold", a.valueOffset);
        return *std::move(converted);
    }

    static std::optional<std::int64_t> ParseInt(std::string_view s, std::int64_t min, std::int64_t max)
    {
        std::size_t i = 0;
        bool negative = false;
        if (i < s.size() && (s[i] == '-' || s[i] == '+'))
            negative = s[i++] == '-';
        if (i == s.size())
            return std::nullopt;
        std::int64_t v = 0;
        for (; i < s.size(); ++i) {
            if (s[i] < '0' || s[i] > '9')
                return std::nullopt;
            v = v * 10 + (s[i] - '0');
            if (v > max + 1)
                return std::nullopt;
        }
        if (negative)
            v = -v;
        if (v < min || v > max)
            return std::nullopt;
        return v;
    }

    struct XmlType {
        std::string_view name;
        std::uint32_t word;
    };

    void ReadField(const XmlTag& tag)
    {
        const std::size_t index = fields_.size();
        if (index >= kMaxFields)
            Fail(ReadStatus::Unsupported, "more than " + Num(kMaxFields) + " fields", tag.offset);
        const XmlAttribute* attrname = tag.Find("attrname");
        if (!attrname) {
            if (tag.Find("tagname"))
                Fail(ReadStatus::Unsupported, "field " + Num(index + 1) + " keeps its values in child elements (tagname), which only nested structures do",
                     tag.offset);
            Fail(ReadStatus::Malformed, "<FIELD> number " + Num(index + 1) + " has no attrname", tag.offset);
        }
        FieldDef field;
        const std::string key = Decode(attrname->raw, attrname->valueOffset);
        if (const XmlAttribute* fieldname = tag.Find("fieldname"))
            field.name = Text(*fieldname, "fieldname of field " + Num(index + 1));
        else
            field.name = Text(*attrname, "attrname of field " + Num(index + 1));
        auto label = [&] { return FieldLabel(index, field.name); };

        const XmlAttribute* fieldtype = tag.Find("fieldtype");
        if (!fieldtype)
            Fail(ReadStatus::Malformed, label() + " has no fieldtype", tag.offset);
        const std::string type = Decode(fieldtype->raw, fieldtype->valueOffset);
        if (type == "nested")
            Fail(ReadStatus::Unsupported, label() + " is a nested table (not supported)", fieldtype->valueOffset);

        std::int32_t width = 0;
        if (const XmlAttribute* w = tag.Find("WIDTH")) {
            const auto v = ParseInt(Decode(w->raw, w->valueOffset), 0, 0x7FFFFFFF);
            if (!v)
                Fail(ReadStatus::Malformed, label() + " has the WIDTH \"" + std::string(w->raw) + "\", not a number", w->valueOffset);
            width = std::int32_t(*v);
        }

        static constexpr XmlType kTypes[] = {
            {"i1", 0x00010001}, {"i2", 0x00010002}, {"i4", 0x00010004}, {"i8", 0x00010008},
            {"ui1", 0x00020001}, {"ui2", 0x00020002}, {"ui4", 0x00020004}, {"ui8", 0x00020008},
            {"boolean", 0x00030002}, {"r8", 0x00040008}, {"r10", 0x0004000A}, {"fixed", 0x00050012},
            {"date", 0x00060004}, {"time", 0x00070004}, {"dateTime", 0x00080008}, {"string.uni", 0x004A0002},
            {"bin.hex", 0x004B0004}, {"SQLdateTime", 0x00110010}, {"fixedFMT", 0x00120012}, {"r4", 0x001B0004},
            {"SQLdateTimeOffset", 0x00240014},
        };
        if (type == "string") {
            field.kind = FieldKind::String;
            field.typeWord = width <= 253 ? kWordZString1 : kWordZString2;
            field.width = width;
        } else {
            field.kind = FieldKind::Other;
            for (const XmlType& t : kTypes)
                if (t.name == type)
                    field.typeWord = t.word;
            if (type == "i4")
                field.kind = FieldKind::Int32;
            else if (type == "i2")
                field.kind = FieldKind::Int16;
            field.width = width != 0 ? width : std::int32_t(SizeOf(field.typeWord));
        }
        keys_.push_back(key);
        fields_.push_back(std::move(field));
    }

    void ReadPacketParams(const XmlTag& tag)
    {
        const XmlAttribute* a = tag.Find("CHANGE_LOG");
        if (!a)
            return;
        log_.offset = a->valueOffset;
        log_.stride = 0;
        const std::string text = Decode(a->raw, a->valueOffset);
        std::size_t i = 0;
        while (i < text.size()) {
            if (IsSpace(static_cast<unsigned char>(text[i]))) {
                ++i;
                continue;
            }
            const std::size_t start = i;
            while (i < text.size() && !IsSpace(static_cast<unsigned char>(text[i])))
                ++i;
            const auto v = ParseInt(std::string_view(text).substr(start, i - start), 0, 0xFFFFFFFF);
            if (!v)
                Fail(ReadStatus::Malformed, "CHANGE_LOG holds something other than numbers", a->valueOffset);
            log_.entries.push_back(static_cast<std::uint32_t>(*v));
        }
    }

    void ReadRow(const XmlTag& tag)
    {
        const std::size_t row = raw_.status.size();
        const std::size_t n = fields_.size();
        if (std::uint64_t(row + 1) * std::max<std::size_t>(n, 1) > kMaxValues)
            Fail(ReadStatus::TooLarge,
                 "more than " + Num(kMaxValues) + " values (rows by fields), more than a table may hold", tag.offset);
        std::uint8_t status = 0;
        std::vector<Value> values(n);
        std::vector<bool> present(n, false);
        for (const XmlAttribute& a : tag.attributes) {
            if (a.name == "RowState") {
                const auto v = ParseInt(Decode(a.raw, a.valueOffset), 0, 255);
                if (!v)
                    Fail(ReadStatus::Malformed, "row " + Num(row + 1) + " has the RowState \"" + std::string(a.raw) + "\"",
                         a.valueOffset);
                status = static_cast<std::uint8_t>(*v);
                continue;
            }
            const auto key = std::find(keys_.begin(), keys_.end(), a.name);
            if (key == keys_.end())
                continue; // not a field of this table
            const std::size_t f = std::size_t(key - keys_.begin());
            const FieldDef& field = fields_[f];
            present[f] = true;
            auto label = [&] { return "row " + Num(row + 1) + " " + FieldLabel(f, field.name); };
            switch (field.kind) {
            case FieldKind::String:
                values[f] = Text(a, label());
                break;
            case FieldKind::Int32:
            case FieldKind::Int16: {
                const bool wide = field.kind == FieldKind::Int32;
                const std::string text = Decode(a.raw, a.valueOffset);
                const auto v = ParseInt(text, wide ? kInt32Min : kInt16Min, wide ? kInt32Max : kInt16Max);
                if (!v)
                    Fail(ReadStatus::Malformed,
                         label() + " holds \"" + text + "\", not an " + (wide ? "int32" : "int16"), a.valueOffset);
                values[f] = std::to_string(*v);
                break;
            }
            case FieldKind::Other:
                break;
            }
        }
        // An absent attribute is NULL; in a modified row the runtime reads it as "not changed".
        for (std::size_t f = 0; f < n; ++f) {
            std::uint8_t cell = kCellValue;
            if (!present[f]) {
                cell = (status & kRowModified) ? kCellNotChanged : kCellNull;
                raw_.anyNotChanged |= cell == kCellNotChanged;
            }
            raw_.cells.push_back(cell);
        }
        raw_.status.push_back(status);
        raw_.values.push_back(std::move(values));
    }

    XmlScanner scanner_;
    std::size_t size_;
    bool utf8_;
    bool metadataSeen_ = false, metadataDone_ = false, rowDataSeen_ = false;
    std::vector<FieldDef> fields_;
    std::vector<std::string> keys_; // the ROW attribute name of each field (attrname)
    RawRows raw_;
    ChangeLog log_;
};

bool EqualsIgnoreCase(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; };
               return lower(x) == lower(y);
           });
}

// The XML form starts with "<", after an optional UTF-8 byte order mark and white space.
// Returns the offset of that "<", or npos.
std::size_t XmlStart(const std::uint8_t* data, std::size_t size, bool& bom)
{
    std::size_t p = 0;
    bom = size >= 3 && data[0] == 0xEF && data[1] == 0xBB && data[2] == 0xBF;
    if (bom)
        p = 3;
    while (p < size && IsSpace(data[p]))
        ++p;
    return p < size && data[p] == '<' ? p : std::string_view::npos;
}

ReadResult ReadXml(const std::uint8_t* data, std::size_t size, std::size_t start, bool bom)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    bool utf8 = bom;
    for (const XmlAttribute& a : XmlScanner::Declaration(text, start))
        if (a.name == "encoding")
            utf8 = EqualsIgnoreCase(a.raw, "UTF-8") || EqualsIgnoreCase(a.raw, "UTF8");
    // Like the runtime, a file that claims UTF-8 but is not is read in the ANSI code page.
    if (utf8 && !IsUtf8(text.substr(start)))
        utf8 = false;
    return XmlPacketReader(data, size, start, utf8).Read();
}

// ---------------------------------------------------------------------------------------------
// Writer helpers

void Put16(std::vector<std::uint8_t>& out, std::uint32_t v)
{
    out.push_back(std::uint8_t(v & 0xFF));
    out.push_back(std::uint8_t((v >> 8) & 0xFF));
}

void Put32(std::vector<std::uint8_t>& out, std::uint32_t v)
{
    Put16(out, v & 0xFFFF);
    Put16(out, v >> 16);
}

void Patch16(std::vector<std::uint8_t>& out, std::size_t at, std::uint32_t v)
{
    out[at] = std::uint8_t(v & 0xFF);
    out[at + 1] = std::uint8_t((v >> 8) & 0xFF);
}

void Patch32(std::vector<std::uint8_t>& out, std::size_t at, std::uint32_t v)
{
    Patch16(out, at, v & 0xFFFF);
    Patch16(out, at + 2, v >> 16);
}

void PutBytes(std::vector<std::uint8_t>& out, std::string_view s) { out.insert(out.end(), s.begin(), s.end()); }

std::optional<std::int32_t> ParseInt32(std::string_view s)
{
    std::size_t i = 0;
    const bool negative = !s.empty() && s[0] == '-';
    if (negative)
        ++i;
    if (i == s.size() || s.size() - i > 10)
        return std::nullopt;
    std::int64_t v = 0;
    for (; i < s.size(); ++i) {
        if (s[i] < '0' || s[i] > '9')
            return std::nullopt;
        v = v * 10 + (s[i] - '0');
    }
    if (negative)
        v = -v;
    if (v < kInt32Min || v > kInt32Max)
        return std::nullopt;
    return static_cast<std::int32_t>(v);
}

} // namespace

// ---------------------------------------------------------------------------------------------

const char* StatusName(ReadStatus status) noexcept
{
    switch (status) {
    case ReadStatus::Ok: return "Ok";
    case ReadStatus::IoError: return "IoError";
    case ReadStatus::NotATable: return "NotATable";
    case ReadStatus::Truncated: return "Truncated";
    case ReadStatus::Malformed: return "Malformed";
    case ReadStatus::Unsupported: return "Unsupported";
    case ReadStatus::TooLarge: return "TooLarge";
    }
    return "?";
}

std::string ReadResult::Description() const
{
    if (status == ReadStatus::Ok)
        return "ok";
    if (status == ReadStatus::IoError)
        return reason;
    return reason + " at offset " + std::to_string(offset);
}

ReadResult ReadTable(const std::uint8_t* data, std::size_t size)
{
    try {
        if (size == 0)
            Fail(ReadStatus::NotATable, "the file is empty", 0);
        if (size >= 4) {
            const std::uint32_t magic = data[0] | (std::uint32_t(data[1]) << 8) | (std::uint32_t(data[2]) << 16) |
                                        (std::uint32_t(data[3]) << 24);
            if (magic == kMagic || magic == kOldMagic)
                return ReadBinary(data, size);
        }
        bool bom = false;
        const std::size_t xml = XmlStart(data, size, bom);
        if (xml == std::string_view::npos)
            Fail(ReadStatus::NotATable, "the file is neither a binary table (96 19 E0 BD) nor XML", 0);
        return ReadXml(data, size, xml, bom);
    } catch (const Failure& f) {
        ReadResult result;
        result.status = f.status;
        result.reason = f.reason;
        result.offset = f.offset;
        return result;
    } catch (const std::bad_alloc&) {
        ReadResult result;
        result.status = ReadStatus::TooLarge;
        result.reason = "not enough memory to hold the table";
        return result;
    }
}

namespace {

ReadResult IoFailure(ReadStatus status, std::string reason)
{
    ReadResult result;
    result.status = status;
    result.reason = std::move(reason);
    return result;
}

std::string SystemReason(int error) { return std::strerror(error); }

ReadResult TooLargeFile(std::uint64_t size)
{
    ReadResult result = IoFailure(ReadStatus::TooLarge, "the file is " + std::to_string(size) +
                                                            " bytes; a table file may take at most " +
                                                            std::to_string(kMaxFileSize) + " bytes");
    result.offset = kMaxFileSize;
    return result;
}

} // namespace

ReadResult ReadTableFile(const std::string& path)
{
    std::vector<std::uint8_t> bytes;
#ifndef _WIN32
    // O_NONBLOCK keeps a FIFO from blocking the open; it is refused below like any non-file.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0)
        return IoFailure(ReadStatus::IoError, "cannot open the file: " + SystemReason(errno));
    struct FdCloser {
        int fd;
        ~FdCloser() { ::close(fd); }
    } closer{fd};
    struct stat st {};
    if (::fstat(fd, &st) != 0)
        return IoFailure(ReadStatus::IoError, "cannot read the file's status: " + SystemReason(errno));
    if (S_ISDIR(st.st_mode))
        return IoFailure(ReadStatus::IoError, "a folder, not a file");
    if (!S_ISREG(st.st_mode))
        return IoFailure(ReadStatus::IoError, "not a regular file");
    const std::uint64_t size = static_cast<std::uint64_t>(st.st_size);
    if (size > kMaxFileSize)
        return TooLargeFile(size);
    bytes.resize(static_cast<std::size_t>(size));
    std::size_t got = 0;
    while (got < bytes.size()) {
        const ssize_t n = ::read(fd, bytes.data() + got, bytes.size() - got);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return IoFailure(ReadStatus::IoError, "reading failed: " + SystemReason(errno));
        if (n == 0)
            return IoFailure(ReadStatus::IoError, "the file became shorter while it was read");
        got += static_cast<std::size_t>(n);
    }
#else
    struct _stat64 st {};
    if (::_stat64(path.c_str(), &st) != 0)
        return IoFailure(ReadStatus::IoError, "cannot open the file: " + SystemReason(errno));
    if ((st.st_mode & _S_IFMT) == _S_IFDIR)
        return IoFailure(ReadStatus::IoError, "a folder, not a file");
    if ((st.st_mode & _S_IFMT) != _S_IFREG)
        return IoFailure(ReadStatus::IoError, "not a regular file");
    const std::uint64_t size = static_cast<std::uint64_t>(st.st_size);
    if (size > kMaxFileSize)
        return TooLargeFile(size);
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file)
        return IoFailure(ReadStatus::IoError, "cannot open the file: " + SystemReason(errno));
    bytes.resize(static_cast<std::size_t>(size));
    const std::size_t got = bytes.empty() ? 0 : std::fread(bytes.data(), 1, bytes.size(), file);
    const bool failed = got != bytes.size() || std::ferror(file);
    std::fclose(file);
    if (failed)
        return IoFailure(ReadStatus::IoError, "reading failed");
#endif
    return ReadTable(bytes.data(), bytes.size());
}

std::vector<std::uint8_t> WriteBinary(const Table& table)
{
    const std::size_t n = table.fields.size();
    if (n > 0xFFFF)
        throw std::invalid_argument("a table holds at most 65535 fields");
    if (table.rows.size() > 0xFFFFFFFFu)
        throw std::invalid_argument("too many rows");
    for (std::size_t f = 0; f < n; ++f) {
        const FieldDef& field = table.fields[f];
        if (field.name.empty() || field.name.size() > 31)
            throw std::invalid_argument(FieldLabel(f, field.name) + ": a field name takes 1 to 31 bytes");
        if (field.kind == FieldKind::String) {
            if (field.width < 1 || field.width > 0xFFFF)
                throw std::invalid_argument(FieldLabel(f, field.name) + ": a string field's width is 1 to 65535 bytes");
        } else if (field.kind != FieldKind::Int32) {
            throw std::invalid_argument(FieldLabel(f, field.name) + ": only string and int32 fields can be written");
        }
    }

    std::vector<std::uint8_t> out;
    Put32(out, kMagic);
    Put16(out, 1);
    Put16(out, 0);
    Put32(out, kHeaderSize);
    Put16(out, static_cast<std::uint32_t>(n));
    Put32(out, static_cast<std::uint32_t>(table.rows.size()));
    Put32(out, 0); // properties, set below
    Put16(out, 0); // data offset, set below

    for (const FieldDef& field : table.fields) {
        out.push_back(static_cast<std::uint8_t>(field.name.size()));
        PutBytes(out, field.name);
        if (field.kind == FieldKind::Int32) {
            Put32(out, kWordInt32);
            Put16(out, 0);
            Put16(out, 0);
        } else {
            Put32(out, field.width <= 253 ? kWordZString1 : kWordZString2);
            Put16(out, 0);
            Put16(out, 1);
            out.push_back(5);
            PutBytes(out, "WIDTH");
            Put32(out, kWordUint16);
            Put16(out, static_cast<std::uint32_t>(field.width));
        }
    }
    Put16(out, 1); // packet parameters: the Japanese locale
    out.push_back(4);
    PutBytes(out, "LCID");
    Put32(out, kWordInt32);
    Put32(out, 1041);

    const std::size_t dataOffset = out.size();
    if (dataOffset <= 0xFFFF) {
        Patch32(out, 18, 3);
        Patch16(out, 22, static_cast<std::uint32_t>(dataOffset));
    } else {
        Patch32(out, 18, 1);
    }

    const std::size_t bitmapBytes = (n + 3) / 4;
    for (std::size_t r = 0; r < table.rows.size(); ++r) {
        const std::vector<Value>& row = table.rows[r];
        if (row.size() != n)
            throw std::invalid_argument("row " + Num(r + 1) + " has " + Num(row.size()) + " values for " + Num(n) + " fields");
        out.push_back(0);
        const std::size_t bitmapAt = out.size();
        out.resize(out.size() + bitmapBytes, 0);
        for (std::size_t f = 0; f < n; ++f) {
            const FieldDef& field = table.fields[f];
            if (!row[f]) {
                out[bitmapAt + f / 4] = std::uint8_t(out[bitmapAt + f / 4] | (1u << ((f % 4) * 2)));
                continue;
            }
            const std::string& v = *row[f];
            if (field.kind == FieldKind::Int32) {
                const auto number = ParseInt32(v);
                if (!number)
                    throw std::invalid_argument("row " + Num(r + 1) + " " + FieldLabel(f, field.name) + ": \"" + v +
                                                "\" is not an int32");
                Put32(out, static_cast<std::uint32_t>(*number));
                continue;
            }
            if (v.size() > std::size_t(field.width))
                throw std::invalid_argument("row " + Num(r + 1) + " " + FieldLabel(f, field.name) + ": " + Num(v.size()) +
                                            " bytes exceed the width " + Num(std::uint64_t(field.width)));
            if (v.find('\0') != std::string::npos)
                throw std::invalid_argument("row " + Num(r + 1) + " " + FieldLabel(f, field.name) + ": a zero byte in a string");
            // The runtime writes "" as one zero byte, which readers take as an empty C string.
            const std::string_view stored = v.empty() ? std::string_view("\0", 1) : std::string_view(v);
            if (field.width <= 253)
                out.push_back(static_cast<std::uint8_t>(stored.size()));
            else
                Put16(out, static_cast<std::uint32_t>(stored.size()));
            PutBytes(out, stored);
        }
    }
    return out;
}

} // namespace hg::cds
