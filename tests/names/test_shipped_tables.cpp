// The name tables that ship with the tool (data/SEI.cds, data/MEI.cds).
#include "cds.h"

#include "cp932.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <numeric>
#include <set>
#include <string>
#include <utility>
#include <vector>

#ifdef __linux__
#include <unistd.h>
#endif

using namespace hg;
using cds::FieldKind;

namespace {

constexpr std::uint64_t kLongestRun = 59124873;

std::string DataPath(const char* name) { return std::string(HG_DATA_DIR) + "/" + name; }

cds::Table Load(const char* name)
{
    cds::ReadResult r = cds::ReadTableFile(DataPath(name));
    EXPECT_TRUE(r) << name << ": " << r.Description();
    return std::move(r.table);
}

std::u32string CodePoints(const std::string& cp932Text)
{
    return cp932::Utf8CodePoints(cp932::TryToUtf8(cp932Text).value_or("\xEF\xBF\xBD"));
}

bool IsKanji(char32_t c)
{
    return (c >= 0x4E00 && c <= 0x9FFF) || (c >= 0x3400 && c <= 0x4DBF) || (c >= 0xF900 && c <= 0xFAFF) || c == U'々';
}
bool IsHiragana(char32_t c) { return c >= U'ぁ' && c <= U'ん'; }

struct Expected {
    const char* file;
    std::vector<const char*> names; // UTF-8
    std::vector<FieldKind> kinds;
    std::size_t maxKanji;
};

// Fields in order, no NULL, kanji names with hiragana readings of at most 7 characters, values
// within their widths, each (kanji, reading) pair once.
void ExpectNameTable(const cds::Table& t, const Expected& e)
{
    ASSERT_EQ(t.fields.size(), e.names.size()) << e.file;
    for (std::size_t f = 0; f < t.fields.size(); ++f) {
        EXPECT_EQ(t.fields[f].name, cp932::FromUtf8(e.names[f])) << e.file << " field " << f + 1;
        EXPECT_EQ(t.fields[f].kind, e.kinds[f]) << e.file << " field " << f + 1;
    }
    ASSERT_FALSE(t.rows.empty());
    std::set<std::pair<std::string, std::string>> pairs;
    int failures = 0;
    for (std::size_t r = 0; r < t.rows.size() && failures < 5; ++r) {
        const std::vector<cds::Value>& row = t.rows[r];
        const bool complete = std::all_of(row.begin(), row.end(), [](const cds::Value& v) { return v.has_value(); });
        if (!complete) {
            ADD_FAILURE() << e.file << " row " << r + 1 << " has a NULL";
            ++failures;
            continue;
        }
        const std::u32string kanji = CodePoints(*row[0]);
        const std::u32string reading = CodePoints(*row[1]);
        const bool ok = !kanji.empty() && kanji.size() <= e.maxKanji && kanji[0] != U'々' &&
                        std::all_of(kanji.begin(), kanji.end(), IsKanji) && !reading.empty() && reading.size() <= 7 &&
                        std::all_of(reading.begin(), reading.end(), IsHiragana) &&
                        row[0]->size() <= std::size_t(t.fields[0].width) && row[1]->size() <= std::size_t(t.fields[1].width) &&
                        pairs.emplace(*row[0], *row[1]).second;
        if (!ok) {
            ADD_FAILURE() << e.file << " row " << r + 1 << ": " << cp932::ToUtf8Lossy(*row[0]) << " / "
                          << cp932::ToUtf8Lossy(*row[1]) << " (bad characters, length or width, or a repeated pair)";
            ++failures;
        }
    }
}

TEST(ShippedTables, Sei_Read_HasItsFieldsAndKanjiSurnamesWithHiraganaReadings)
{
    const cds::Table sei = Load("SEI.cds");
    ExpectNameTable(sei, {"SEI.cds",
                          {"姓", "姓よみ", "SEED1", "SEED2", "SEED3"},
                          {FieldKind::String, FieldKind::String, FieldKind::Int32, FieldKind::Int32, FieldKind::Int32},
                          4});
    ASSERT_EQ(sei.fields.size(), 5u);
    EXPECT_EQ(sei.fields[0].width, 8);
    EXPECT_EQ(sei.fields[1].width, 14);
}

TEST(ShippedTables, Mei_Read_HasItsFieldsAndKanjiGivenNamesWithHiraganaReadings)
{
    const cds::Table mei = Load("MEI.cds");
    ExpectNameTable(mei, {"MEI.cds", {"名", "名よみ"}, {FieldKind::String, FieldKind::String}, 126});
    ASSERT_EQ(mei.fields.size(), 2u);
    EXPECT_GE(mei.fields[0].width, 8);
    EXPECT_EQ(mei.fields[1].width, 14);
}

TEST(ShippedTables, Counts_Read_NoPairRepeatsWithinTheLongestRun)
{
    // The tables advance together one record per name and use their last record twice per pass,
    // so the pair period is lcm(S + 1, G + 1).
    const std::uint64_t s = Load("SEI.cds").rows.size();
    const std::uint64_t g = Load("MEI.cds").rows.size();
    EXPECT_EQ(std::gcd(s + 1, g + 1), 1u) << "S = " << s << ", G = " << g;
    EXPECT_GE((s + 1) * (g + 1), kLongestRun) << "S = " << s << ", G = " << g;
}

std::vector<char> Bytes(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(ShippedTables, Files_Rebuild_FromIpadicGivesTheSameBytes)
{
    const std::filesystem::path ipadic = "/usr/share/mecab/dic/ipadic";
    if (!std::filesystem::exists(ipadic / "Noun.name.csv"))
        GTEST_SKIP() << "mecab-ipadic is not installed";
#ifdef __linux__
    // cdstool is built into the same folder as this test.
    const std::filesystem::path tool = std::filesystem::read_symlink("/proc/self/exe").parent_path() / "cdstool";
    if (!std::filesystem::exists(tool))
        GTEST_SKIP() << tool << " is not built";
    const std::filesystem::path out = std::filesystem::temp_directory_path() / ("hg_rebuild_" + std::to_string(::getpid()));
    std::filesystem::create_directories(out);
    const std::string command = "\"" + tool.string() + "\" ipadic \"" + ipadic.string() + "\" \"" + out.string() + "\" >/dev/null";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    EXPECT_TRUE(Bytes(out / "SEI.cds") == Bytes(DataPath("SEI.cds"))) << "SEI.cds differs from its rebuild";
    EXPECT_TRUE(Bytes(out / "MEI.cds") == Bytes(DataPath("MEI.cds"))) << "MEI.cds differs from its rebuild";
    std::filesystem::remove_all(out);
#else
    GTEST_SKIP() << "the rebuild check runs on Linux";
#endif
}

} // namespace
