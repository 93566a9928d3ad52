#include "output.h"

#include "errors.h"
#include "fakewindow.h"
#include "run.h"
#include "tabletestutil.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/resource.h>
#include <unistd.h>

using namespace hg;
using namespace hg::test;

namespace {

std::string Sjis(const char* utf8) { return cp932::FromUtf8(utf8); }

std::string Hex(const std::string& bytes)
{
    static const char* digits = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : bytes) {
        if (!out.empty())
            out += ' ';
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out;
}

struct LayoutCase {
    int layout;
    const char* hex;
};

class WorkedExample : public testing::TestWithParam<LayoutCase> {};

TEST_P(WorkedExample, AppendNameLine_GivesTheBytesOfTheLayout)
{
    std::string line;
    AppendNameLine(line, GetParam().layout, Sjis("山田　花子"), Sjis("やまだ　はなこ"));
    EXPECT_EQ(Hex(line), GetParam().hex);
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, WorkedExample,
    testing::Values(
        LayoutCase{0, "27 8E 52 93 63 81 40 89 D4 8E 71 27 2C 27 82 E2 82 DC 82 BE 81 40 82 CD 82 C8 82 B1 27 0D 0A"},
        LayoutCase{1, "8E 52 93 63 81 40 89 D4 8E 71 09 82 E2 82 DC 82 BE 81 40 82 CD 82 C8 82 B1 0D 0A"},
        LayoutCase{2, "8E 52 93 63 81 40 89 D4 8E 71 0D 0A"},
        LayoutCase{3, "82 E2 82 DC 82 BE 81 40 82 CD 82 C8 82 B1 0D 0A"}));

class OutputTest : public testing::Test {
protected:
    void SetUp() override
    {
        dir_ = std::filesystem::temp_directory_path() /
               ("hg_out_" + std::string(testing::UnitTest::GetInstance()->current_test_info()->name()));
        std::filesystem::remove_all(dir_);
        std::filesystem::create_directories(dir_ / "exe");
        w.sei.Assign(Surnames(4));
        w.mei.Assign(GivenNames(3));
        w.exeDir = (dir_ / "exe").string() + "/";
        w.countText = "3";
    }
    void TearDown() override
    {
        std::filesystem::permissions(dir_, std::filesystem::perms::all);
        std::filesystem::remove_all(dir_);
    }
    std::string Read(const std::filesystem::path& p)
    {
        std::ifstream in(p, std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    void WriteFile(const std::filesystem::path& p, const std::string& text) { std::ofstream(p, std::ios::binary) << text; }
    std::string Path(const std::string& name) { return (dir_ / name).string(); }
    std::string ErrorOf()
    {
        try {
            ExecuteRun(w);
        } catch (const EHanagumoError& e) {
            return e.what();
        }
        return {};
    }

    TFakeRunWindow w;
    std::filesystem::path dir_;
};

TEST_F(OutputTest, NewFile_HoldsOneLinePerNameInTheOrderShown)
{
    w.destination = Path("names.txt");
    w.layout = 1;
    std::vector<std::string> shown;
    w.onPump = [&](TFakeRunWindow& win) { shown.push_back(win.kanji + "\t" + win.reading + "\r\n"); };
    ExecuteRun(w);
    shown.erase(shown.begin());
    shown.push_back(w.kanji + "\t" + w.reading + "\r\n");
    EXPECT_EQ(Read(dir_ / "names.txt"), shown[0] + shown[1] + shown[2]);
    EXPECT_EQ(w.questions, 0);
    EXPECT_TRUE(w.enabled[TRunControl::radKeisiki]);
}

TEST_F(OutputTest, BareName_IsCompletedWithTheExecutablesDirectory)
{
    w.destination = "bare.txt";
    ExecuteRun(w);
    EXPECT_EQ(w.destination, w.exeDir + "bare.txt");
    const std::string text = Read(dir_ / "exe" / "bare.txt");
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 3);
}

TEST_F(OutputTest, ExistingFile_OverwriteAppendOrCancel)
{
    WriteFile(dir_ / "a.txt", "old\r\n");
    w.destination = Path("a.txt");
    w.layout = 2;
    w.countText = "1";

    w.answer = 2;
    ExecuteRun(w);
    EXPECT_EQ(Read(dir_ / "a.txt"), "old\r\n");

    w.answer = 7;
    ExecuteRun(w);
    const std::string first = w.kanji;
    EXPECT_EQ(Read(dir_ / "a.txt"), "old\r\n" + first + "\r\n");

    w.answer = 6;
    ExecuteRun(w);
    EXPECT_EQ(Read(dir_ / "a.txt"), w.kanji + "\r\n");
    EXPECT_EQ(w.questions, 3);
}

TEST_F(OutputTest, AppendToLastLineWithoutLineEndContinuesIt)
{
    WriteFile(dir_ / "a.txt", "tail");
    w.destination = Path("a.txt");
    w.layout = 3;
    w.countText = "1";
    w.answer = 7;
    ExecuteRun(w);
    EXPECT_EQ(Read(dir_ / "a.txt"), "tail" + w.reading + "\r\n");
}

TEST_F(OutputTest, Messages_DirectoryCheckWinsOverMissingFileName)
{
    w.destination = Path("missing") + "/";
    ExecuteRun(w);
    w.destination = Path(""); // the folder exists, the name is empty
    ExecuteRun(w);
    EXPECT_EQ(w.messages, (std::vector<std::string>{Sjis("「出力先」の指定されたディレクトリは存在しません。"),
                                                    Sjis("「出力先」のファイル名が入力されていません。")}));
    EXPECT_EQ(w.pumps, 0);
    EXPECT_TRUE(w.enabled[TRunControl::btnKorokoro]);
}

TEST_F(OutputTest, DestinationThatIsADirectory_FailsToCreateWithAReason)
{
    std::filesystem::create_directories(dir_ / "sub");
    w.destination = Path("sub");
    const std::string error = ErrorOf();
    EXPECT_NE(error.find(w.destination), std::string::npos) << "the message names the file";
    EXPECT_NE(error.find(Sjis("同じ名前のディレクトリがあります")), std::string::npos);
    EXPECT_EQ(w.pumps, 0);
}

TEST_F(OutputTest, ReadOnlyFile_IsLeftUntouchedForOverwriteAndAppend)
{
    // Root may write anything; the check runs as an unprivileged user in a child process.
    WriteFile(dir_ / "ro.txt", "keep");
    std::filesystem::permissions(dir_ / "ro.txt", std::filesystem::perms::owner_read | std::filesystem::perms::others_read);
    std::filesystem::permissions(dir_, std::filesystem::perms::all);
    for (int answer : {6, 7}) {
        w.answer = answer;
        w.destination = Path("ro.txt");
        EXPECT_EXIT(
            {
                if (geteuid() == 0 && setuid(65534) != 0)
                    _exit(3);
                const std::string error = ErrorOf();
                _exit(error.find(Sjis("アクセスが拒否されました")) != std::string::npos && w.pumps == 0 ? 0 : 1);
            },
            testing::ExitedWithCode(0), "");
        EXPECT_EQ(Read(dir_ / "ro.txt"), "keep");
    }
}

TEST_F(OutputTest, FullDevice_ReportsTheWriteFailure)
{
    if (!std::filesystem::exists("/dev/full"))
        GTEST_SKIP() << "no /dev/full";
    w.destination = "/dev/full";
    w.answer = 6;
    const std::string error = ErrorOf();
    EXPECT_NE(error.find(Sjis("ディスクの空き領域が不足しています")), std::string::npos);
    EXPECT_FALSE(w.focusedGenerate) << "a failed close skips the focus step";
    EXPECT_TRUE(w.enabled[TRunControl::btnKorokoro]);
}

TEST_F(OutputTest, DiskFillingMidRun_KeepsTheWholeLinesThatReachedIt)
{
    // A file size limit stands in for a disk that fills: writes past it fail.
    w.destination = Path("limited.txt");
    w.countText = "100000";
    w.layout = 2;
    EXPECT_EXIT(
        {
            std::signal(SIGXFSZ, SIG_IGN);
            rlimit limit{};
            limit.rlim_cur = limit.rlim_max = 300000;
            setrlimit(RLIMIT_FSIZE, &limit);
            const std::string error = ErrorOf();
            _exit(error.empty() ? 1 : 0);
        },
        testing::ExitedWithCode(0), "");
    const std::string text = Read(dir_ / "limited.txt");
    ASSERT_FALSE(text.empty());
    EXPECT_LE(text.size(), 300000u);
    EXPECT_EQ(text.substr(text.size() - 2), "\r\n") << "no half line at the end";
}

TEST_F(OutputTest, DirectoryWithTrailByte5C_CreatesTheFileInIt)
{
    const std::string folder = Path("") + Sjis("表ソ");
    std::filesystem::create_directories(*cp932::TryToUtf8(folder));
    w.destination = folder + "/x.txt";
    ExecuteRun(w);
    EXPECT_TRUE(std::filesystem::exists(*cp932::TryToUtf8(w.destination)));
}

TEST_F(OutputTest, OverlongPath_FailsWithoutWritingAnything)
{
    w.destination = Path(std::string(MaxPathBytes(), 'a'));
    const std::string error = ErrorOf();
    EXPECT_NE(error.find(Sjis("パスが長すぎます")), std::string::npos);
    EXPECT_EQ(w.pumps, 0);
}

TEST_F(OutputTest, NoOutputMarker_TouchesNoFile)
{
    w.exeDir = Path("");
    ExecuteRun(w);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir_), {}), 1) << "only the exe folder";
    EXPECT_EQ(w.questions, 0);
    EXPECT_TRUE(w.messages.empty());
}

} // namespace
