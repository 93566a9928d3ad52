#include "run.h"

#include "errors.h"
#include "fakewindow.h"
#include "tabletestutil.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

using namespace hg;
using namespace hg::test;

namespace {

std::string Sjis(const char* utf8) { return cp932::FromUtf8(utf8); }
std::string Kanji(int s, int g) { return "S" + std::to_string(s) + Sjis("　") + "G" + std::to_string(g); }
std::string Reading(int s, int g) { return "Sy" + std::to_string(s) + Sjis("　") + "Gy" + std::to_string(g); }

class RunTest : public testing::Test {
protected:
    void SetUp() override
    {
        w.sei.Assign(Surnames(5));
        w.mei.Assign(GivenNames(3));
        dir_ = std::filesystem::temp_directory_path() /
               ("hg_run_" + std::string(testing::UnitTest::GetInstance()->current_test_info()->name()));
        std::filesystem::remove_all(dir_);
        std::filesystem::create_directories(dir_);
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }
    std::string FileText(const std::string& name)
    {
        std::ifstream in(dir_ / name, std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    std::string PathOf(const std::string& name) { return (dir_ / name).string(); }

    TFakeRunWindow w;
    std::filesystem::path dir_;
};

TEST_F(RunTest, Run_OneNameWithoutOutputShowsItCountsDownAndRestoresControls)
{
    std::vector<std::string> duringRun;
    bool inputsDisabled = false;
    w.onPump = [&](TFakeRunWindow& win) {
        duringRun.push_back(win.remainingText);
        inputsDisabled = !win.enabled[TRunControl::edtOutput] && !win.enabled[TRunControl::txtNinzu] &&
                         !win.enabled[TRunControl::btnKorokoro] && !win.enabled[TRunControl::btnOutput] &&
                         !win.enabled[TRunControl::radKeisiki];
    };
    ExecuteRun(w);
    EXPECT_EQ(duringRun, std::vector<std::string>{Sjis("残り 1名")});
    EXPECT_TRUE(inputsDisabled);
    EXPECT_EQ(w.kanji, Kanji(0, 0));
    EXPECT_EQ(w.reading, Reading(0, 0));
    EXPECT_EQ(w.remainingText, Sjis("残り 0名"));
    EXPECT_EQ(w.remaining, 0);
    EXPECT_EQ(*w.sei.FieldValue(Sjis("姓")), "S1") << "both tables advance once per name";
    EXPECT_EQ(*w.mei.FieldValue(Sjis("名")), "G1");
    EXPECT_TRUE(w.enabled[TRunControl::btnKorokoro] && w.enabled[TRunControl::edtOutput] &&
                w.enabled[TRunControl::txtNinzu] && w.enabled[TRunControl::btnOutput]);
    EXPECT_FALSE(w.enabled[TRunControl::radKeisiki]) << "no destination: the layout group stays disabled";
    EXPECT_TRUE(w.focusedGenerate);
}

TEST_F(RunTest, Run_ThreeNamesWrapAndTheNextRunContinues)
{
    w.countText = "3";
    w.sei.MoveForward(3); // record 3 of 5
    std::vector<std::string> shown;
    w.onPump = [&](TFakeRunWindow& win) { shown.push_back(win.kanji); };
    ExecuteRun(w);
    EXPECT_EQ(w.kanji, Kanji(4, 2));
    ExecuteRun(w);
    // Pumps come before each name: they see the previous name.
    // Each table uses its last record twice before it starts again.
    EXPECT_EQ(shown, (std::vector<std::string>{"", Kanji(3, 0), Kanji(4, 1), Kanji(4, 2), Kanji(0, 2), Kanji(1, 0)}));
    EXPECT_EQ(w.kanji, Kanji(2, 1));
}

TEST_F(RunTest, Run_StopAfter400Of1000KeepsExactlyThe400NamesProduced)
{
    w.countText = "1000";
    w.destination = PathOf("out.txt");
    w.layout = 2;
    w.onPump = [](TFakeRunWindow& win) {
        if (win.pumps == 401)
            RequestStop(win);
    };
    ExecuteRun(w);
    EXPECT_EQ(w.remainingText, Sjis("残り 600名"));
    EXPECT_EQ(w.remaining, 600);
    const std::string text = FileText("out.txt");
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 400);
    EXPECT_EQ(text.substr(text.size() - w.kanji.size() - 2), w.kanji + "\r\n") << "the monitor shows name 400";
    EXPECT_TRUE(w.enabled[TRunControl::btnKorokoro]);
    EXPECT_TRUE(w.enabled[TRunControl::radKeisiki]);

    // The next run starts where name 401 would have.
    TFakeRunWindow reference;
    reference.sei.Assign(Surnames(5));
    reference.mei.Assign(GivenNames(3));
    reference.countText = "401";
    ExecuteRun(reference);
    w.countText = "1";
    w.destination = NoOutputMarker();
    w.onPump = nullptr;
    ExecuteRun(w);
    EXPECT_EQ(w.kanji, reference.kanji);
}

TEST_F(RunTest, Run_StopClickedWhileIdleIsClearedByTheNextRun)
{
    RequestStop(w);
    EXPECT_EQ(w.stopFlag, 1);
    w.countText = "4";
    ExecuteRun(w);
    EXPECT_EQ(w.remaining, 0);
    EXPECT_EQ(w.stopFlag, 0);
}

TEST_F(RunTest, Run_EmptyCountChangesNothingButTheFocus)
{
    w.countText = "";
    w.remainingText = "before";
    ExecuteRun(w);
    EXPECT_EQ(w.remainingText, "before");
    EXPECT_EQ(w.pumps, 0);
    EXPECT_TRUE(w.focusedGenerate);
}

TEST_F(RunTest, Run_CountThatIsNoIntegerFailsBeforeChangingAnything)
{
    w.countText = "12a";
    w.stopFlag = 1;
    w.remaining = 7;
    try {
        ExecuteRun(w);
        FAIL();
    } catch (const EHanagumoError& e) {
        EXPECT_STREQ(e.what(), "'12a' is not a valid integer value");
    }
    EXPECT_EQ(w.stopFlag, 1);
    EXPECT_EQ(w.remaining, 7);
    EXPECT_TRUE(w.enabled[TRunControl::btnKorokoro]);
}

TEST_F(RunTest, Run_ReadingThatIsNoValueFailsAtThatNameAfterShowingItsKanji)
{
    cds::Table given = GivenNames(3);
    given.rows[1][1] = std::nullopt; // record 1 has no reading
    w.mei.Assign(given);
    w.countText = "5";
    w.destination = PathOf("out.txt");
    try {
        ExecuteRun(w);
        FAIL();
    } catch (const EHanagumoError& e) {
        EXPECT_STREQ(e.what(), "Could not convert variant of type (Null) into type (String)");
    }
    EXPECT_EQ(w.kanji, Kanji(1, 1)) << "the failing name's kanji line is shown";
    EXPECT_EQ(w.reading, Reading(0, 0)) << "over the previous name's reading";
    EXPECT_EQ(w.remaining, 4) << "the failing name is not counted";
    EXPECT_EQ(*w.mei.FieldValue(Sjis("名")), "G1") << "the tables do not advance";
    EXPECT_EQ(FileText("out.txt"), "'" + Kanji(0, 0) + "','" + Reading(0, 0) + "'\r\n");
    EXPECT_TRUE(w.enabled[TRunControl::btnKorokoro]);
    EXPECT_TRUE(w.focusedGenerate);
}

TEST_F(RunTest, Run_EmptyTableFailsAtTheFirstNameWithoutMovingEitherTable)
{
    w.sei.Assign(Surnames(0));
    w.countText = "2";
    EXPECT_THROW(ExecuteRun(w), EHanagumoError);
    EXPECT_EQ(w.remaining, 2);
    EXPECT_EQ(*w.mei.FieldValue(Sjis("名")), "G0");
}

TEST_F(RunTest, Run_GivenNameTableWithoutReadingFieldNamesTableAndField)
{
    cds::Table given = GivenNames(2);
    given.fields.pop_back();
    for (auto& row : given.rows)
        row.pop_back();
    w.mei.Assign(given);
    try {
        ExecuteRun(w);
        FAIL();
    } catch (const EHanagumoError& e) {
        EXPECT_EQ(e.what(), Sjis("tblMei: 項目 '名よみ' が見つかりません"));
    }
}

TEST_F(RunTest, Run_ClosingTheWindowMidRunEndsItWithTheLinesWrittenSoFar)
{
    w.countText = "10";
    w.destination = PathOf("out.txt");
    w.layout = 3;
    w.onPump = [](TFakeRunWindow& win) {
        if (win.pumps == 3)
            CloseNameTables(win.sei, win.mei);
    };
    try {
        ExecuteRun(w);
        FAIL();
    } catch (const EHanagumoError& e) {
        EXPECT_EQ(e.what(), Sjis("tblSei: 項目 '姓' が見つかりません"));
    }
    EXPECT_EQ(FileText("out.txt"), Reading(0, 0) + "\r\n" + Reading(1, 1) + "\r\n");
    EXPECT_EQ(w.remaining, 8);
}

TEST_F(RunTest, Run_CancelledQuestionAbandonsWithTheRequestedCountShown)
{
    std::ofstream(dir_ / "old.txt", std::ios::binary) << "keep";
    w.destination = PathOf("old.txt");
    w.countText = "9";
    w.answer = 2;
    w.kanji = "previous";
    ExecuteRun(w);
    EXPECT_EQ(w.questions, 1);
    EXPECT_EQ(w.remainingText, Sjis("残り 9名"));
    EXPECT_EQ(w.kanji, "previous");
    EXPECT_EQ(w.pumps, 0);
    EXPECT_EQ(FileText("old.txt"), "keep");
    EXPECT_TRUE(w.enabled[TRunControl::txtNinzu] && w.enabled[TRunControl::radKeisiki]);
}

struct IntCase {
    const char* text;
    std::optional<std::int32_t> value;
};

class StrToIntCases : public testing::TestWithParam<IntCase> {};

TEST_P(StrToIntCases, TryStrToInt_AcceptsSignedDecimalWithinThirtyTwoBits)
{
    EXPECT_EQ(TryStrToInt(GetParam().text), GetParam().value) << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(Cases, StrToIntCases,
                         testing::Values(IntCase{"59124873", 59124873}, IntCase{"0", 0}, IntCase{"00012", 12},
                                         IntCase{"  7", 7}, IntCase{"+5", 5}, IntCase{"-3", -3},
                                         IntCase{"2147483647", 2147483647}, IntCase{"-2147483648", INT32_MIN},
                                         IntCase{"2147483648", std::nullopt}, IntCase{"99999999999", std::nullopt},
                                         IntCase{"", std::nullopt}, IntCase{"-", std::nullopt},
                                         IntCase{"7 ", std::nullopt}, IntCase{"1.5", std::nullopt},
                                         IntCase{"$10", std::nullopt}));

} // namespace
