#include "cds.h"

#include "cp932.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#ifndef _WIN32
#include <sys/stat.h>
#endif

using namespace hg;
using cds::FieldKind;
using cds::ReadStatus;
using cds::Value;

namespace {

std::string Sjis(const char* utf8) { return cp932::FromUtf8(utf8); }

using Rows = std::vector<std::vector<Value>>;

// A hand-made binary packet, built field by field, little-endian.
struct Packet {
    std::vector<std::uint8_t> b;

    Packet& U8(unsigned v)
    {
        b.push_back(std::uint8_t(v));
        return *this;
    }
    Packet& U16(unsigned v) { return U8(v & 0xFF).U8((v >> 8) & 0xFF); }
    Packet& U32(std::uint32_t v) { return U16(v & 0xFFFF).U16(v >> 16); }
    Packet& Raw(std::string_view s)
    {
        b.insert(b.end(), s.begin(), s.end());
        return *this;
    }
    Packet& Name(std::string_view s) { return U8(unsigned(s.size())).Raw(s); }
    Packet& Header(unsigned columns, std::uint32_t rows)
    {
        return U32(0xBDE01996u).U16(1).U16(0).U32(24).U16(columns).U32(rows).U32(3).U16(0);
    }
    Packet& Field(std::string_view name, std::uint32_t word, unsigned params = 0)
    {
        return Name(name).U32(word).U16(0).U16(params);
    }
    Packet& Width(unsigned w) { return Name("WIDTH").U32(0x00020002).U16(w); }
    Packet& Str(std::string_view s) { return U8(unsigned(s.size())).Raw(s); }
    void Set16(std::size_t at, unsigned v)
    {
        b[at] = std::uint8_t(v);
        b[at + 1] = std::uint8_t(v >> 8);
    }
    void Set32(std::size_t at, std::uint32_t v)
    {
        Set16(at, v & 0xFFFF);
        Set16(at + 2, v >> 16);
    }
};

cds::ReadResult Read(const std::vector<std::uint8_t>& bytes) { return cds::ReadTable(bytes.data(), bytes.size()); }
cds::ReadResult Read(std::string_view text)
{
    return cds::ReadTable(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
}

cds::FieldDef Field(std::string name, FieldKind kind, std::int32_t width = 0)
{
    cds::FieldDef f;
    f.name = std::move(name);
    f.kind = kind;
    f.width = width;
    return f;
}

#define ASSERT_READ_OK(result) ASSERT_TRUE(result) << cds::StatusName((result).status) << ": " << (result).Description()

std::string FixturePath(const char* name) { return std::string(HG_FIXTURE_DIR) + "/" + name; }

// ---------------------------------------------------------------------------------------------
// Writer and reader together

TEST(CdsBinary, Write_SmallTable_GivesTheRuntimeLayoutByteForByte)
{
    cds::Table t;
    t.fields = {Field("A", FieldKind::String, 3), Field("N", FieldKind::Int32)};
    t.rows = {{std::string(), std::string("-1")}, {std::nullopt, std::nullopt}};
    const std::vector<std::uint8_t> expected = {
        0x96, 0x19, 0xE0, 0xBD, 1, 0, 0, 0, 24, 0, 0, 0, 2, 0, 2, 0, 0, 0, 3, 0, 0, 0, 71, 0, // header
        1, 'A', 0x01, 0x00, 0x49, 0x00, 0, 0, 1, 0,                                           // "A" string
        5, 'W', 'I', 'D', 'T', 'H', 0x02, 0x00, 0x02, 0x00, 3, 0,                             //   WIDTH 3
        1, 'N', 0x04, 0x00, 0x01, 0x00, 0, 0, 0, 0,                                           // "N" int32
        1, 0, 4, 'L', 'C', 'I', 'D', 0x04, 0x00, 0x01, 0x00, 0x11, 0x04, 0, 0,                // LCID 1041
        0, 0x00, 1, 0, 0xFF, 0xFF, 0xFF, 0xFF,                                                 // "" as 01 00, -1
        0, 0x05,                                                                               // both NULL
    };
    EXPECT_EQ(cds::WriteBinary(t), expected);
}

TEST(CdsBinary, RoundTrip_KeepsCp932TextEmptyNullAndInt32Extremes)
{
    cds::Table t;
    t.fields = {Field(Sjis("姓"), FieldKind::String, 8), Field(Sjis("姓よみ"), FieldKind::String, 14),
                Field("SEED1", FieldKind::Int32)};
    t.rows = {
        {Sjis("山田"), Sjis("やまだ"), std::string("0")},
        {Sjis("表ソ"), std::string(), std::string("-2147483648")}, // trail bytes 0x5C
        {std::string(), std::nullopt, std::string("2147483647")},
        {std::nullopt, Sjis("ななもじのよみ"), std::nullopt},
    };
    const cds::ReadResult r = Read(cds::WriteBinary(t));
    ASSERT_READ_OK(r);
    ASSERT_EQ(r.table.fields.size(), 3u);
    EXPECT_EQ(r.table.fields[0].name, Sjis("姓"));
    EXPECT_EQ(r.table.fields[1].width, 14);
    EXPECT_EQ(r.table.fields[2].kind, FieldKind::Int32);
    EXPECT_EQ(r.table.rows, t.rows);
}

TEST(CdsBinary, RoundTrip_ManyRowsAndAFieldWiderThan253)
{
    cds::Table t;
    t.fields = {Field("Wide", FieldKind::String, 300), Field("N", FieldKind::Int32), Field("Short", FieldKind::String, 2)};
    for (int i = 0; i < 5000; ++i)
        t.rows.push_back({std::string(std::size_t(i % 301), char('a' + i % 26)), std::to_string(i * 7919 - 20000000),
                          i % 3 ? Value(Sjis("名")) : std::nullopt});
    const cds::ReadResult r = Read(cds::WriteBinary(t));
    ASSERT_READ_OK(r);
    EXPECT_EQ(r.table.fields[0].typeWord, 0x00490002u) << "width 300 needs a 2-byte length prefix";
    EXPECT_EQ(r.table.fields[2].typeWord, 0x00490001u);
    EXPECT_EQ(r.table.rows, t.rows);
}

TEST(CdsBinary, Write_RejectsWhatItCannotWrite)
{
    struct Case {
        const char* name;
        std::function<void(cds::Table&)> spoil;
    };
    const Case cases[] = {
        {"int16 field", [](cds::Table& t) { t.fields[1].kind = FieldKind::Int16; }},
        {"other field", [](cds::Table& t) { t.fields[1].kind = FieldKind::Other; }},
        {"value longer than width", [](cds::Table& t) { t.rows[0][0] = "abcd"; }},
        {"zero byte in a string", [](cds::Table& t) { t.rows[0][0] = std::string("a\0b", 3); }},
        {"int32 text not a number", [](cds::Table& t) { t.rows[0][1] = "12a"; }},
        {"int32 out of range", [](cds::Table& t) { t.rows[0][1] = "2147483648"; }},
        {"row with too few values", [](cds::Table& t) { t.rows[0].pop_back(); }},
        {"empty field name", [](cds::Table& t) { t.fields[0].name.clear(); }},
        {"field name over 31 bytes", [](cds::Table& t) { t.fields[0].name = std::string(32, 'x'); }},
        {"string width 0", [](cds::Table& t) { t.fields[0].width = 0; }},
    };
    for (const Case& c : cases) {
        cds::Table t;
        t.fields = {Field("A", FieldKind::String, 3), Field("N", FieldKind::Int32)};
        t.rows = {{std::string("abc"), std::string("1")}};
        ASSERT_NO_THROW(cds::WriteBinary(t));
        c.spoil(t);
        EXPECT_THROW(cds::WriteBinary(t), std::invalid_argument) << c.name;
    }
}

// ---------------------------------------------------------------------------------------------
// Binary packets the writer does not make

TEST(CdsBinary, Read_Int16OtherTypesAndBothFormsOfEmptyString)
{
    Packet p;
    p.Header(5, 3)
        .Field("S", 0x00010002)
        .Field("D", 0x00040008)    // double: skipped
        .Field("B", 0x004B0004)    // varying bytes, 4-byte prefix: skipped
        .Field("Z", 0x00490001, 1) // string
        .Width(20)
        .Field("F", 0x00090004) // fixed-size string of 4 bytes
        .U16(0);
    p.U8(0).U8(0).U8(0).U16(0xFFFE).Raw("12345678").U32(3).Raw("xyz").U8(0).Raw(std::string_view("ab\0\0", 4));
    p.U8(0).U8(0x0C).U8(0).U16(0x7FFF).U32(0).U8(1).U8(0).Raw("abcd"); // D is NULL
    p.U8(0).U8(0).U8(0).U16(0x8000).Raw("12345678").U32(0).Str(std::string_view("x\0y", 3)).Raw(std::string_view("\0bcd", 4));
    const cds::ReadResult r = Read(p.b);
    ASSERT_READ_OK(r);
    std::vector<FieldKind> kinds;
    for (const cds::FieldDef& f : r.table.fields)
        kinds.push_back(f.kind);
    EXPECT_EQ(kinds, (std::vector<FieldKind>{FieldKind::Int16, FieldKind::Other, FieldKind::Other, FieldKind::String,
                                             FieldKind::String}));
    EXPECT_EQ(r.table.fields[3].width, 20);
    EXPECT_EQ(r.table.fields[4].width, 4);
    const Rows expected = {
        {"-2", std::nullopt, std::nullopt, "", "ab"},
        {"32767", std::nullopt, std::nullopt, "", "abcd"},
        {"-32768", std::nullopt, std::nullopt, "x", ""},
    };
    EXPECT_EQ(r.table.rows, expected);
}

TEST(CdsBinary, Read_FieldNameInCp932Utf8OrFieldnameParamGivesCp932)
{
    struct Case {
        const char* label;
        std::function<void(Packet&)> field;
        std::string expected;
    };
    auto unicode = [](std::u16string_view s) {
        std::string bytes;
        for (char16_t c : s) {
            bytes += char(c & 0xFF);
            bytes += char(c >> 8);
        }
        return bytes;
    };
    const Case cases[] = {
        {"code page 932", [](Packet& p) { p.Field("\x90\xA9", 0x00010004); }, Sjis("姓")},
        {"UTF-8", [](Packet& p) { p.Field("\xE5\xA7\x93\xE3\x82\x88\xE3\x81\xBF", 0x00010004); }, Sjis("姓よみ")},
        {"ASCII", [](Packet& p) { p.Field("SEED1", 0x00010004); }, "SEED1"},
        {"FIELDNAME in UTF-8 with its NUL",
         [](Packet& p) {
             p.Field("xF0", 0x00010004, 1).Name("FIELDNAME").U32(0x00490001).Str(std::string("\xE5\x90\x8D", 3) + '\0');
         },
         Sjis("名")},
        {"FIELDNAME in code page 932",
         [](Packet& p) { p.Field("Mei", 0x00010004, 1).Name("FIELDNAME").U32(0x00490002).U16(2).Raw("\x96\xBC"); },
         Sjis("名")},
        {"FIELDNAME in UTF-16",
         [&](Packet& p) {
             p.Field("Mei", 0x00010004, 1).Name("FIELDNAME").U32(0x004A0002).U16(6).Raw(unicode(u"名よみ"));
         },
         Sjis("名よみ")},
    };
    for (const Case& c : cases) {
        Packet p;
        p.Header(1, 0);
        c.field(p);
        p.U16(0);
        const cds::ReadResult r = Read(p.b);
        ASSERT_READ_OK(r) << c.label;
        EXPECT_EQ(r.table.fields.at(0).name, c.expected) << c.label;
    }
}

TEST(CdsBinary, Read_SkipsOriginalDeletedAndUnusedRowsKeepingStoredOrder)
{
    const unsigned statuses[] = {0x00, 0x01, 0x02, 0x04, 0x08, 0x20, 0x21, 0x0C, 0x40};
    Packet p;
    p.Header(1, std::size(statuses)).Field("A", 0x00490001, 1).Width(4).U16(0);
    int i = 0;
    for (unsigned status : statuses)
        p.U8(status).U8(0).Str("r" + std::to_string(i++));
    const cds::ReadResult r = Read(p.b);
    ASSERT_READ_OK(r);
    EXPECT_EQ(r.table.rows, (Rows{{"r0"}, {"r3"}, {"r4"}, {"r7"}, {"r8"}}));
}

TEST(CdsBinary, Read_NotChangedTakesTheValueOfTheReplacedVersionElseNull)
{
    // Row 1 was edited into row 2 and then into row 3; row 4 was inserted.
    Packet p;
    p.Header(2, 4).Field("A", 0x00490001, 1).Width(4).Field("B", 0x00490001, 1).Width(4);
    p.U16(1).Name("CHANGE_LOG").U32(0x00820004).U32(9);
    for (std::uint32_t v : {2u, 1u, 8u, 3u, 2u, 8u, 4u, 0u, 4u})
        p.U32(v);
    p.U8(0x01).U8(0x00).Str("a").Str("x");
    p.U8(0x09).U8(0x08).Str("b");       // B not changed
    p.U8(0x08).U8(0x0A);                // A and B not changed
    p.U8(0x04).U8(0x08).Str("new");     // B not changed, but nothing came before
    const cds::ReadResult r = Read(p.b);
    ASSERT_READ_OK(r);
    EXPECT_EQ(r.table.rows, (Rows{{"b", "x"}, {"new", std::nullopt}}));

    // Without a change log a "not changed" value has nothing to come from.
    Packet q;
    q.Header(1, 1).Field("A", 0x00490001).U16(0).U8(0x08).U8(0x02);
    const cds::ReadResult noLog = Read(q.b);
    ASSERT_READ_OK(noLog);
    EXPECT_EQ(noLog.table.rows, (Rows{{std::nullopt}}));

    // A change log whose chain runs in a circle is refused, not followed forever.
    Packet loop;
    loop.Header(1, 2).Field("A", 0x00490001).U16(1).Name("CHANGE_LOG").U32(0x00820004).U32(6);
    for (std::uint32_t v : {1u, 2u, 8u, 2u, 1u, 8u})
        loop.U32(v);
    loop.U8(0x08).U8(0x02).U8(0x01).U8(0x02);
    EXPECT_EQ(Read(loop.b).status, ReadStatus::Malformed);
}

// ---------------------------------------------------------------------------------------------
// XML

const Rows kXmlRows = {
    {Sjis("山田"), Sjis("やまだ"), "1", "-2", std::nullopt},
    {"<&>\"'", "", "-2147483648", std::nullopt, std::nullopt},
    {Sjis("表\\Aあ"), Sjis("ソ"), "4", "32767", std::nullopt},
};

void ExpectXmlFixtureTable(const cds::ReadResult& r)
{
    ASSERT_READ_OK(r);
    std::vector<std::string> names;
    for (const cds::FieldDef& f : r.table.fields)
        names.push_back(f.name);
    EXPECT_EQ(names, (std::vector<std::string>{Sjis("姓"), Sjis("姓よみ"), "No", "Small", "Price"}));
    EXPECT_EQ(r.table.fields[0].kind, FieldKind::String);
    EXPECT_EQ(r.table.fields[1].width, 14);
    EXPECT_EQ(r.table.fields[2].kind, FieldKind::Int32);
    EXPECT_EQ(r.table.fields[3].kind, FieldKind::Int16);
    EXPECT_EQ(r.table.fields[4].kind, FieldKind::Other);
    EXPECT_EQ(r.table.rows, kXmlRows);
}

TEST(CdsXml, ReadFile_PlainFormWithMangledNamesAndRawCp932)
{
    ExpectXmlFixtureTable(cds::ReadTableFile(FixturePath("plain_cp932.xml")));
}

TEST(CdsXml, ReadFile_Utf8FormWithAndWithoutByteOrderMark)
{
    ExpectXmlFixtureTable(cds::ReadTableFile(FixturePath("utf8.xml")));

    std::ifstream in(FixturePath("utf8.xml"), std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ExpectXmlFixtureTable(Read("\xEF\xBB\xBF" + text));
}

TEST(CdsXml, Read_DeclaredUtf8ThatIsNotUtf8IsReadAsCp932)
{
    const std::string text = "<?xml version=\"1.0\" encoding=\"UTF-8\"?><DATAPACKET><METADATA><FIELDS>"
                              "<FIELD attrname=\"A\" fieldtype=\"string\" WIDTH=\"8\"/></FIELDS></METADATA>"
                              "<ROWDATA><ROW A=\"" + Sjis("鈴木") + "\"/></ROWDATA></DATAPACKET>";
    const cds::ReadResult r = Read(text);
    ASSERT_READ_OK(r);
    EXPECT_EQ(r.table.rows, (Rows{{Sjis("鈴木")}}));
}

TEST(CdsXml, Read_AbsentValueInModifiedRowIsNotChanged)
{
    const std::string text = "<DATAPACKET><METADATA><FIELDS><FIELD attrname=\"A\" fieldtype=\"string\"/>"
                             "<FIELD attrname=\"B\" fieldtype=\"string\"/></FIELDS><PARAMS CHANGE_LOG=\"2 1 8\"/>"
                             "</METADATA><ROWDATA><ROW RowState=\"1\" A=\"a\" B=\"x\"/><ROW RowState=\"8\" A=\"b\"/>"
                             "<ROW RowState=\"4\" A=\"c\"/></ROWDATA></DATAPACKET>";
    const cds::ReadResult r = Read(text);
    ASSERT_READ_OK(r);
    EXPECT_EQ(r.table.rows, (Rows{{"b", "x"}, {"c", std::nullopt}}));
}

// ---------------------------------------------------------------------------------------------
// Broken input: every failure has its status and the exact offset.

struct BrokenCase {
    const char* name;
    std::vector<std::uint8_t> bytes;
    ReadStatus status;
    std::uint64_t offset;
};

void PrintTo(const BrokenCase& c, std::ostream* os) { *os << c.name; }

std::string CaseName(const testing::TestParamInfo<BrokenCase>& param) { return param.param.name; }

class CdsBroken : public testing::TestWithParam<BrokenCase> {};

TEST_P(CdsBroken, Read_ReportsStatusAndOffset)
{
    const BrokenCase& c = GetParam();
    const cds::ReadResult r = Read(c.bytes);
    EXPECT_EQ(cds::StatusName(r.status), std::string(cds::StatusName(c.status))) << r.Description();
    EXPECT_EQ(r.offset, c.offset) << r.Description();
    EXPECT_FALSE(r.reason.empty());
    EXPECT_TRUE(r.table.fields.empty() && r.table.rows.empty());
    EXPECT_NE(r.Description().find(" at offset " + std::to_string(c.offset)), std::string::npos) << r.Description();
}

// Field "A" (string, WIDTH 8) and "N" (int32), one row ("abc", 7). Offsets:
//   0 header, 24 "A" (26 type word, 34 WIDTH), 46 "N" (48 type word), 56 packet parameter count,
//   58 row: 58 status, 59 blank bits, 60 length of "abc", 61 its bytes, 64 N, 68 end.
std::vector<std::uint8_t> BasePacket()
{
    Packet p;
    p.Header(2, 1).Field("A", 0x00490001, 1).Width(8).Field("N", 0x00010004).U16(0);
    p.U8(0).U8(0).Str("abc").U32(7);
    return p.b;
}

BrokenCase Binary(const char* name, const std::function<void(Packet&)>& spoil, ReadStatus status, std::uint64_t offset)
{
    Packet p{BasePacket()};
    spoil(p);
    return {name, p.b, status, offset};
}

// 64 fields and 131073 rows: one row more than kMaxValues allows, all present in the file.
BrokenCase TooManyValues()
{
    Packet p;
    p.Header(64, 131073);
    for (int i = 0; i < 64; ++i)
        p.Field("F" + std::to_string(i), 0x00490001);
    p.U16(0);
    p.b.resize(p.b.size() + 131073u * 17u, 0xFF); // status and 16 bytes of blank bits per row
    return {"TooManyValues", p.b, ReadStatus::TooLarge, 14};
}

auto CutAt(std::size_t size) { return [size](Packet& p) { p.b.resize(size); }; }

std::vector<BrokenCase> BinaryCases()
{
    using S = ReadStatus;
    return {
        Binary("EmptyFile", CutAt(0), S::NotATable, 0),
        Binary("WrongMagic", [](Packet& p) { p.b[3] = 0xBE; }, S::NotATable, 0),
        Binary("CutInHeader", CutAt(10), S::Truncated, 8),
        Binary("CutInFieldTypeWord", CutAt(50), S::Truncated, 48),
        Binary("CutInPacketParameterCount", CutAt(57), S::Truncated, 56),
        Binary("CutInStringValue", CutAt(62), S::Truncated, 61),
        Binary("CutInInt32Value", CutAt(66), S::Truncated, 64),
        Binary("NameLengthZero", [](Packet& p) { p.b[24] = 0; }, S::Malformed, 24),
        Binary("RowCountPastTheEnd", [](Packet& p) { p.Set32(14, 1000); }, S::Truncated, 14),
        Binary("HugeColumnCount", [](Packet& p) { p.Set16(12, 0xFFFF); }, S::Truncated, 12),
        Binary("StringLengthPastTheEnd", [](Packet& p) { p.b[60] = 200; }, S::Truncated, 61),
        Binary("ParameterLengthPastTheEnd", [](Packet& p) { p.Set32(40, 0x00420004); }, S::Truncated, 48),
        Binary("CompositeFieldType", [](Packet& p) { p.Set32(26, 0x010C0002); }, S::Unsupported, 26),
        Binary("NestedTableFieldType", [](Packet& p) { p.Set32(26, 0x000E0001); }, S::Unsupported, 26),
        Binary("LengthPrefixOfThreeBytes", [](Packet& p) { p.Set32(26, 0x00490003); }, S::Malformed, 26),
        Binary("HeaderSizeBelow24", [](Packet& p) { p.Set32(8, 20); }, S::Malformed, 8),
        Binary("HeaderSizePastTheEnd", [](Packet& p) { p.Set32(8, 5000); }, S::Truncated, 8),
        Binary("NewerVersion", [](Packet& p) { p.Set16(4, 4); }, S::Unsupported, 4),
        Binary("BytesAfterTheLastRow", [](Packet& p) { p.U8(0); }, S::Malformed, 68),
        Binary("ChangeLogNamesMissingRecord",
               [](Packet& p) {
                   Packet tail;
                   tail.U16(1).Name("CHANGE_LOG").U32(0x00820004).U32(3).U32(1).U32(5).U32(8);
                   p.b.erase(p.b.begin() + 56, p.b.begin() + 58);
                   p.b.insert(p.b.begin() + 56, tail.b.begin(), tail.b.end());
               },
               S::Malformed, 56 + 2 + 11 + 4 + 4),
        TooManyValues(),
    };
}

INSTANTIATE_TEST_SUITE_P(Binary, CdsBroken, testing::ValuesIn(BinaryCases()),
                         CaseName);

// An XML case: `at` is the text at whose start the error is reported ("" for the end).
BrokenCase Xml(const char* name, const std::string& text, ReadStatus status, const std::string& at)
{
    const std::size_t offset = at.empty() ? text.size() : text.find(at);
    EXPECT_NE(offset, std::string::npos) << name;
    return {name, std::vector<std::uint8_t>(text.begin(), text.end()), status, offset};
}

std::string XmlWithRows(const std::string& rows, const std::string& prolog = "")
{
    return prolog + "<DATAPACKET Version=\"2.0\"><METADATA><FIELDS><FIELD attrname=\"A\" fieldtype=\"string\" WIDTH=\"8\"/>"
                    "<FIELD attrname=\"N\" fieldtype=\"i4\"/></FIELDS><PARAMS/></METADATA><ROWDATA>" +
           rows + "</ROWDATA></DATAPACKET>";
}

std::vector<BrokenCase> XmlCases()
{
    using S = ReadStatus;
    const std::string utf8 = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>  ";
    return {
        Xml("NoDatapacket", "<?xml version=\"1.0\" standalone=\"yes\"?>  ", S::NotATable, ""),
        Xml("OtherRoot", "<TABLE><ROW A=\"1\"/></TABLE>", S::NotATable, "<TABLE>"),
        Xml("NeitherBinaryNorXml", "TABLE", S::NotATable, "TABLE"),
        Xml("UnclosedElement", "<DATAPACKET><METADATA><FIELDS>", S::Malformed, "<FIELDS>"),
        Xml("TagCutOff", "<DATAPACKET Version=\"2.0\"", S::Malformed, "<DATAPACKET"),
        Xml("AttributeValueNotClosed", XmlWithRows("<ROW A=\"x/>"), S::Malformed, "\"x/>"),
        Xml("AttributeValueNotQuoted", XmlWithRows("<ROW A=x/>"), S::Malformed, "x/>"),
        Xml("MismatchedClosingTag", "<DATAPACKET><METADATA></DATAPACKET>", S::Malformed, "</DATAPACKET>"),
        Xml("CommentNotClosed", "<DATAPACKET><!-- <ROW/>", S::Malformed, "<!--"),
        Xml("UnknownEntity", XmlWithRows("<ROW A=\"x&nbsp;\"/>"), S::Malformed, "&nbsp;"),
        Xml("AmpersandWithoutReference", XmlWithRows("<ROW A=\"R&D\"/>"), S::Malformed, "&D"),
        Xml("SurrogateCharacterReference", XmlWithRows("<ROW A=\"&#xD800;\"/>"), S::Malformed, "&#xD800;"),
        Xml("CharacterReferenceOutsideCp932", XmlWithRows("<ROW A=\"&#x1F600;\"/>"), S::Unsupported, "&#x1F600;"),
        Xml("Utf8ValueOutsideCp932", XmlWithRows("<ROW A=\"\xF0\x9F\x98\x80\"/>", utf8), S::Unsupported, "\xF0\x9F\x98\x80"),
        Xml("Int32NotANumber", XmlWithRows("<ROW A=\"a\" N=\"12a\"/>"), S::Malformed, "12a"),
        Xml("Int32OutOfRange", XmlWithRows("<ROW N=\"2147483648\"/>"), S::Malformed, "2147483648"),
        Xml("RowStateNotANumber", XmlWithRows("<ROW RowState=\"x\"/>"), S::Malformed, "x\"/>"),
        Xml("RowDataBeforeMetadata", "<DATAPACKET><ROWDATA><ROW A=\"1\"/></ROWDATA><METADATA/></DATAPACKET>", S::Malformed,
            "<ROWDATA>"),
        Xml("RowOutsideRowData", "<DATAPACKET><ROW A=\"1\"/><METADATA/></DATAPACKET>", S::Malformed, "<ROW"),
        Xml("NoMetadata", "<DATAPACKET></DATAPACKET>", S::Malformed, "</DATAPACKET>"),
        Xml("ElementAfterDatapacket", XmlWithRows("") + "<ROW/>", S::Malformed, "<ROW/>"),
        Xml("FieldWithoutAttrname", "<DATAPACKET><METADATA><FIELDS><FIELD fieldtype=\"i4\"/>", S::Malformed, "<FIELD "),
        Xml("NestedField",
            "<DATAPACKET><METADATA><FIELDS><FIELD attrname=\"D\" fieldtype=\"nested\"><FIELDS/></FIELD></FIELDS>"
            "</METADATA></DATAPACKET>",
            S::Unsupported, "nested"),
    };
}

INSTANTIATE_TEST_SUITE_P(Xml, CdsBroken, testing::ValuesIn(XmlCases()),
                         CaseName);

// ---------------------------------------------------------------------------------------------
// Files

class CdsFile : public testing::Test {
protected:
    void SetUp() override
    {
        dir_ = std::filesystem::temp_directory_path() /
               ("hg_cds_" + std::string(testing::UnitTest::GetInstance()->current_test_info()->name()));
        std::filesystem::remove_all(dir_);
        std::filesystem::create_directories(dir_);
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }
    std::filesystem::path dir_;
};

TEST_F(CdsFile, ReadTableFile_RefusesWhatIsNotAReadableTableFile)
{
    EXPECT_EQ(cds::ReadTableFile((dir_ / "missing.cds").string()).status, ReadStatus::IoError);
    EXPECT_EQ(cds::ReadTableFile(dir_.string()).status, ReadStatus::IoError);

    const std::filesystem::path big = dir_ / "big.cds";
    std::ofstream(big, std::ios::binary).write(reinterpret_cast<const char*>(BasePacket().data()), 58);
    std::filesystem::resize_file(big, cds::kMaxFileSize + 1); // sparse: costs no disk space
    const cds::ReadResult tooLarge = cds::ReadTableFile(big.string());
    EXPECT_EQ(tooLarge.status, ReadStatus::TooLarge) << tooLarge.Description();

#ifndef _WIN32
    const std::filesystem::path fifo = dir_ / "fifo.cds";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(cds::ReadTableFile(fifo.string()).status, ReadStatus::IoError) << "a FIFO is refused, not waited on";
#endif
}

TEST_F(CdsFile, ReadTableFile_ReadsABinaryTableWithoutChangingIt)
{
    const std::filesystem::path file = dir_ / "t.cds";
    const std::vector<std::uint8_t> bytes = BasePacket();
    std::ofstream(file, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    const auto before = std::filesystem::last_write_time(file);
    const cds::ReadResult r = cds::ReadTableFile(file.string());
    ASSERT_READ_OK(r);
    EXPECT_EQ(r.table.rows, (Rows{{"abc", "7"}}));
    EXPECT_EQ(std::filesystem::last_write_time(file), before);
}

} // namespace
