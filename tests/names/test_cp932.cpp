#include "cp932.h"

#include <gtest/gtest.h>

using namespace hg;

namespace {

struct SplitCase {
    const char* name;
    const char* utf8Path;
    const char* utf8Directory;
    const char* utf8FileName;
};

class SplitPathWindows : public testing::TestWithParam<SplitCase> {};

TEST_P(SplitPathWindows, SplitsOnlyAtRealSeparators)
{
    const SplitCase& c = GetParam();
    const std::string path = cp932::FromUtf8(c.utf8Path);
    const cp932::PathParts parts = cp932::SplitPathWindows(path);
    EXPECT_EQ(parts.directory, cp932::FromUtf8(c.utf8Directory));
    EXPECT_EQ(parts.fileName, cp932::FromUtf8(c.utf8FileName));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SplitPathWindows,
    testing::Values(SplitCase{"TrailByte5C_Hyo", "C:\\表\\a.txt", "C:\\表\\", "a.txt"},
                    SplitCase{"TrailByte5C_So", "C:\\ソフト", "C:\\", "ソフト"},
                    SplitCase{"EndsInTrailByte", "D:\\data\\表", "D:\\data\\", "表"},
                    SplitCase{"DriveOnly", "C:names.txt", "C:", "names.txt"},
                    SplitCase{"BareName", "names.txt", "", "names.txt"},
                    SplitCase{"TrailingSeparator", "C:\\out\\", "C:\\out\\", ""},
                    SplitCase{"ForwardSlashIsNoSeparator", "a/b.txt", "", "a/b.txt"}),
    [](const testing::TestParamInfo<SplitCase>& p) { return p.param.name; });

} // namespace

TEST(Cp932, SplitPathPosix_UsesSlashOnly)
{
    const std::string path = cp932::FromUtf8("/tmp/表\\x/a.txt");
    const auto parts = cp932::SplitPathPosix(path);
    EXPECT_EQ(parts.directory, cp932::FromUtf8("/tmp/表\\x/"));
    EXPECT_EQ(parts.fileName, "a.txt");
    EXPECT_TRUE(cp932::SplitPathPosix("a.txt").directory.empty());
}

TEST(Cp932, Convert_RoundTripsJapaneseAndRejectsWhatCp932Lacks)
{
    const std::string sjis = cp932::FromUtf8("山田　花子");
    EXPECT_EQ(sjis, "\x8E\x52\x93\x63\x81\x40\x89\xD4\x8E\x71");
    EXPECT_EQ(cp932::TryToUtf8(sjis), "山田　花子");
    EXPECT_FALSE(cp932::TryFromUtf8("\xF0\x9F\x98\x80").has_value()); // an emoji
    EXPECT_FALSE(cp932::TryToUtf8("\x81").has_value());               // a lone lead byte
    EXPECT_EQ(cp932::ToUtf8Lossy("a\x81"), "a\xEF\xBF\xBD");
}

TEST(Cp932, EqualsIgnoreAsciiCase_FoldsAsciiLettersOnly)
{
    EXPECT_TRUE(cp932::EqualsIgnoreAsciiCase("Seed1", "SEED1"));
    EXPECT_FALSE(cp932::EqualsIgnoreAsciiCase("SEED1", "SEED2"));
    // The trail byte 0x61 of ａ (82 61) is no letter "a" and must not be folded onto 0x41.
    EXPECT_FALSE(cp932::EqualsIgnoreAsciiCase("\x82\x61", "\x82\x41"));
    EXPECT_TRUE(cp932::EqualsIgnoreAsciiCase(cp932::FromUtf8("姓よみ"), cp932::FromUtf8("姓よみ")));
}
