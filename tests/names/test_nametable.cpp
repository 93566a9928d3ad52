#include "nametable.h"

#include "errors.h"
#include "tabletestutil.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

using namespace hg;
using namespace hg::test;

namespace {

// Record numbers used by successive names: the name's record, then AdvanceNameTables.
std::vector<int> RecordsUsed(int n, int k, int names)
{
    TNameTable sei("tblSei");
    TNameTable mei("tblMei");
    sei.Assign(Surnames(n));
    mei.Assign(GivenNames(1));
    sei.GoFirst();
    sei.MoveForward(k);
    std::vector<int> used;
    for (int i = 0; i < names; ++i) {
        used.push_back(std::stoi(std::string(sei.FieldValue("\x90\xA9").value()).substr(1)));
        AdvanceNameTables(sei, mei);
    }
    return used;
}

struct WrapCase {
    int n, k;
    std::vector<int> expected;
};

class NameTableWrap : public testing::TestWithParam<WrapCase> {};

TEST_P(NameTableWrap, Advance_UsesLastRecordTwiceAtEveryWrap)
{
    const WrapCase& c = GetParam();
    EXPECT_EQ(RecordsUsed(c.n, c.k, int(c.expected.size())), c.expected);
}

INSTANTIATE_TEST_SUITE_P(Cases, NameTableWrap,
                         testing::Values(WrapCase{5, 0, {0, 1, 2, 3, 4, 4, 0, 1}},
                                         WrapCase{5, 2, {2, 3, 4, 4, 0, 1, 2, 3, 4, 4, 0}},
                                         WrapCase{5, 4, {4, 4, 0, 1, 2, 3, 4, 4, 0}},
                                         WrapCase{1, 0, {0, 0, 0, 0}}));

TEST(NameTable, Advance_ThreeAndTwoRecordsRepeatAfterTwelveNames)
{
    TNameTable sei("tblSei");
    TNameTable mei("tblMei");
    sei.Assign(Surnames(3));
    mei.Assign(GivenNames(2));
    std::vector<std::string> pairs;
    for (int i = 0; i < 13; ++i) {
        pairs.push_back(std::string(*sei.FieldValue(cp932::FromUtf8("姓"))) + std::string(*mei.FieldValue(cp932::FromUtf8("名"))));
        AdvanceNameTables(sei, mei);
    }
    const std::vector<std::string> expected = {"S0G0", "S1G1", "S2G1", "S2G0", "S0G1", "S1G1",
                                               "S2G0", "S2G1", "S0G1", "S1G0", "S2G1", "S2G1", "S0G0"};
    EXPECT_EQ(pairs, expected);
}

TEST(NameTable, MoveForward_SetsEndOnlyWhenSteppingFromTheLastRecord)
{
    TNameTable table("tblSei");
    table.Assign(Surnames(3));
    table.GoFirst();
    table.MoveForward(2);
    EXPECT_FALSE(table.AtEnd()) << "reaching the last record does not set the end flag";
    table.MoveForward(0);
    EXPECT_FALSE(table.AtEnd());
    table.MoveForward(5);
    EXPECT_TRUE(table.AtEnd());
    EXPECT_EQ(*table.FieldValue(cp932::FromUtf8("姓")), "S2");
    table.GoFirst();
    EXPECT_FALSE(table.AtEnd());
    table.MoveForward(10);
    EXPECT_EQ(*table.FieldValue(cp932::FromUtf8("姓")), "S2") << "an overlong move stops on the last record";
}

TEST(NameTable, GoFirst_OnEmptyTableSetsEndAndReadsNoValue)
{
    TNameTable table("tblSei");
    table.Assign(Surnames(0));
    table.GoFirst();
    EXPECT_TRUE(table.AtEnd());
    EXPECT_EQ(table.Count(), 0);
    EXPECT_FALSE(table.FieldValue(cp932::FromUtf8("姓")).has_value());
}

TEST(NameTable, FieldValue_IgnoresCaseTakesFirstMatchAndKeepsNullApartFromEmpty)
{
    cds::Table data;
    data.fields = {StringField("Kana"), StringField("KANA"), StringField("Empty")};
    data.rows = {{std::string("first"), std::string("second"), std::string()}, {std::nullopt, std::string("x"), std::nullopt}};
    TNameTable table("tblMei");
    table.Assign(data);
    EXPECT_EQ(table.FieldValue("kana"), "first");
    EXPECT_EQ(table.FieldValue("EMPTY"), "");
    table.GoNext();
    EXPECT_FALSE(table.FieldValue("Kana").has_value());
    EXPECT_FALSE(table.FieldValue("empty").has_value());
}

TEST(NameTable, FieldValue_UnknownFieldAndClosedTableGiveFieldNotFound)
{
    TNameTable mei("tblMei");
    cds::Table data = GivenNames(2);
    data.fields.pop_back(); // no "名よみ"
    data.rows = {{std::string("a")}};
    mei.Assign(data);
    try {
        (void)mei.FieldValue(cp932::FromUtf8("名よみ"));
        FAIL() << "expected the field-not-found error";
    } catch (const EHanagumoError& e) {
        EXPECT_EQ(e.what(), cp932::FromUtf8("tblMei: 項目 '名よみ' が見つかりません"));
    }
    TNameTable sei("tblSei");
    sei.Assign(Surnames(1));
    sei.Close();
    sei.Close(); // closing a closed table does nothing
    try {
        (void)sei.FieldValue(cp932::FromUtf8("姓"));
        FAIL() << "expected the field-not-found error";
    } catch (const EHanagumoError& e) {
        EXPECT_EQ(e.what(), cp932::FromUtf8("tblSei: 項目 '姓' が見つかりません"));
    }
}

class LoadNameTablesTest : public testing::Test {
protected:
    void SetUp() override
    {
        dir_ = std::filesystem::temp_directory_path() /
               ("hg_load_" + std::string(testing::UnitTest::GetInstance()->current_test_info()->name()));
        std::filesystem::remove_all(dir_);
        std::filesystem::create_directories(dir_);
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }
    void Write(const char* name, const cds::Table& table)
    {
        const std::vector<std::uint8_t> bytes = cds::WriteBinary(table);
        std::ofstream(dir_ / name, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    }
    std::string Dir() const { return dir_.string() + "/"; }
    std::filesystem::path dir_;
};

TEST_F(LoadNameTablesTest, Load_PlacesEachTableOnItsDrawSurnameFirst)
{
    Write("SEI.cds", Surnames(5));
    Write("MEI.cds", GivenNames(3));
    const auto before = std::filesystem::last_write_time(dir_ / "SEI.cds");
    TNameTable sei("tblSei"), mei("tblMei");
    TScriptedRandom random({4, 1});
    LoadNameTables(sei, mei, Dir(), random);
    EXPECT_EQ(random.seeded, 1);
    EXPECT_EQ(random.asked, (std::vector<std::int32_t>{5, 3}));
    EXPECT_EQ(*sei.FieldValue(cp932::FromUtf8("姓")), "S4");
    EXPECT_FALSE(sei.AtEnd());
    EXPECT_EQ(*mei.FieldValue(cp932::FromUtf8("名")), "G1");
    EXPECT_EQ(std::filesystem::last_write_time(dir_ / "SEI.cds"), before) << "loading never writes a table";
}

TEST_F(LoadNameTablesTest, Load_EmptyTableKeepsItsEndFlag)
{
    Write("SEI.cds", Surnames(0));
    Write("MEI.cds", GivenNames(1));
    TNameTable sei("tblSei"), mei("tblMei");
    TScriptedRandom random({});
    LoadNameTables(sei, mei, Dir(), random);
    EXPECT_TRUE(sei.AtEnd());
    EXPECT_TRUE(sei.Active());
}

TEST_F(LoadNameTablesTest, Load_MissingOrBrokenSurnameFileStopsBeforeTheRest)
{
    Write("MEI.cds", GivenNames(3));
    TNameTable sei("tblSei"), mei("tblMei");
    TScriptedRandom random({});
    EXPECT_THROW(LoadNameTables(sei, mei, Dir(), random), EHanagumoError);
    EXPECT_FALSE(mei.Active()) << "the given-name table is not loaded after the surname table failed";
    EXPECT_EQ(random.seeded, 0);

    std::ofstream(dir_ / "SEI.cds", std::ios::binary) << "not a table";
    EXPECT_THROW(LoadNameTables(sei, mei, Dir(), random), EHanagumoError);
    EXPECT_FALSE(sei.Active());
}

} // namespace

namespace {

TEST_F(LoadNameTablesTest, Load_TableTruncatedAtEveryByteFailsAndLeavesTheTableClosed)
{
    cds::Table data = Surnames(3);
    data.rows[1][1] = std::nullopt;
    const std::vector<std::uint8_t> bytes = cds::WriteBinary(data);
    TNameTable table("tblSei");
    for (std::size_t length = 0; length < bytes.size(); ++length) {
        std::ofstream(dir_ / "SEI.cds", std::ios::binary | std::ios::trunc)
            .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(length));
        EXPECT_THROW(table.Load(Dir() + "SEI.cds"), EHanagumoError) << "cut after " << length << " bytes";
        EXPECT_FALSE(table.Active());
    }
    Write("SEI.cds", data);
    table.Load(Dir() + "SEI.cds");
    EXPECT_EQ(table.Count(), 3);
}

} // namespace
