// The .chm reader: the parsers on hand-made bytes, then the reader on the built help file and on
// small compiled fixtures.
#include "chmfile.h"
#include "cp932.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>

namespace hg::help::chm {
namespace {

std::string LE16(std::uint16_t v) { return {char(v & 0xFF), char(v >> 8)}; }
std::string LE32(std::uint32_t v) { return LE16(std::uint16_t(v & 0xFFFF)) + LE16(std::uint16_t(v >> 16)); }
std::string SystemEntry(std::uint16_t code, const std::string& data)
{
    return LE16(code) + LE16(std::uint16_t(data.size())) + data;
}
std::string Z(const char* text) { return std::string(text) + '\0'; }

TEST(ChmParseSystem, ReadsTheEntriesAndSkipsUnknownOnes)
{
    const std::string bytes = LE32(3) + SystemEntry(9, Z("HHA Version 4.74.8702")) + SystemEntry(4, LE32(0x411) + LE32(0))
                              + SystemEntry(2, Z("index.htm")) + SystemEntry(3, Z("Title")) + SystemEntry(0, Z("toc.hhc"))
                              + SystemEntry(1, Z("idx.hhk")) + SystemEntry(7, LE32(0));
    const auto info = ParseSystem(bytes);
    ASSERT_TRUE(info);
    EXPECT_EQ(info->defaultTopic, "index.htm");
    EXPECT_EQ(info->title, "Title");
    EXPECT_EQ(info->contentsFile, "toc.hhc");
    EXPECT_EQ(info->indexFile, "idx.hhk");
    EXPECT_EQ(info->lcid, 0x411u);
}

TEST(ChmParseSystem, RejectsTruncatedBytes)
{
    const std::string whole = LE32(3) + SystemEntry(2, Z("index.htm"));
    EXPECT_FALSE(ParseSystem(""));
    EXPECT_FALSE(ParseSystem(whole.substr(0, 3)));
    EXPECT_FALSE(ParseSystem(whole.substr(0, whole.size() - 1))); // entry runs past the end
    EXPECT_FALSE(ParseSystem(whole + "\x02"));                   // half an entry header
    EXPECT_TRUE(ParseSystem(LE32(3)));
}

TEST(ChmParseContextMap, PairsNumbersWithStoredTopics)
{
    const std::string strings = std::string("\0", 1) + Z("/build/help/a.htm") + Z("b.htm");
    const std::string ivb = LE32(32) + LE32(100) + LE32(1) + LE32(200) + LE32(19) + LE32(300) + LE32(999) // outside
                            + LE32(400) + LE32(0);                                                        // empty
    const auto map = ParseContextMap(ivb, strings);
    EXPECT_EQ(map, (std::map<std::uint32_t, std::string>{{100, "/build/help/a.htm"}, {200, "b.htm"}}));
}

TEST(ChmParseContextMap, CountBeyondTheDataIsCut)
{
    const std::string strings = Z("a.htm");
    EXPECT_EQ(ParseContextMap(LE32(800) + LE32(7) + LE32(0) + LE32(8), strings).size(), 1u);
    EXPECT_TRUE(ParseContextMap("\x08", strings).empty());
}

TEST(ChmParseTextPopups, SplitsEntriesAtTopicLines)
{
    const std::string text = "; a comment before the first topic\r\n"
                             ".topic 2010\r\n"
                             "\r\n"
                             "First line.\r\n"
                             "Second line.\r\n"
                             "\r\n"
                             ".TOPIC 0x20\n"
                             "Hex.\n"
                             ".topics 5\n"
                             ".topic IDH_SYMBOL\n"
                             "Skipped: symbols are not compiled in.\n"
                             ".topic 7 trailing words\n"
                             "Seven.";
    const auto popups = ParseTextPopups(text);
    EXPECT_EQ(popups, (std::map<std::uint32_t, std::string>{
                          {2010, "First line.\nSecond line."}, {32, "Hex.\n.topics 5"}, {7, "Seven."}}));
}

TEST(ChmParseSitemap, ReadsNamesLocalsAndDepth)
{
    const std::string hhc = R"(<HTML><BODY>
<OBJECT type="text/site properties"><param name="ImageType" value="Folder"></OBJECT>
<UL>
  <LI><OBJECT type="text/sitemap"><param name="Name" value="Top &amp; more"><param name="Local" value="index.htm"></OBJECT>
  <LI><object TYPE='text/sitemap'><PARAM NAME=name VALUE="Heading"></object>
  <UL>
    <!-- <LI><OBJECT type="text/sitemap"><param name="Name" value="commented"></OBJECT> -->
    <LI><OBJECT type="text/sitemap"><param name="Name" value="Child"><param name="Local" value="sub\child.htm#part"></OBJECT>
  </UL>
  <LI><OBJECT type="text/sitemap"><param name="Local" value="nameless.htm"></OBJECT>
  <LI><OBJECT type="text/sitemap"><param name="Name" value="Last"><param name="Local" value="last.htm"></OBJECT>
</UL></BODY></HTML>)";
    const auto entries = ParseSitemap(hhc);
    ASSERT_EQ(entries.size(), 4u);
    EXPECT_EQ(entries[0].name, "Top & more");
    EXPECT_EQ(entries[0].local, "index.htm");
    EXPECT_EQ(entries[0].level, 0);
    EXPECT_EQ(entries[1].name, "Heading");
    EXPECT_EQ(entries[1].local, "");
    EXPECT_EQ(entries[2].name, "Child");
    EXPECT_EQ(entries[2].local, "sub\\child.htm#part");
    EXPECT_EQ(entries[2].level, 1);
    EXPECT_EQ(entries[3].name, "Last");
    EXPECT_EQ(entries[3].level, 0);
}

TEST(ChmLocations, SplitAndNormalize)
{
    struct Split {
        const char* text;
        const char* file;
        const char* topic;
    } const splits[] = {
        {"C:\\Tools\\X.chm", "C:\\Tools\\X.chm", ""},
        {"C:\\Tools\\X.chm::/cshelp.txt", "C:\\Tools\\X.chm", "/cshelp.txt"},
        {"/opt/X.chm::/dir/page.htm>main", "/opt/X.chm", "/dir/page.htm"},
        {"/opt/X.chm>main", "/opt/X.chm", ""},
    };
    for (const auto& s : splits) {
        SCOPED_TRACE(s.text);
        const HelpLocation location = SplitHelpLocation(s.text);
        EXPECT_EQ(location.file, s.file);
        EXPECT_EQ(location.topic, s.topic);
    }

    struct Path {
        std::string in, out;
    } const paths[] = {
        {"index.htm", "/index.htm"},
        {"/a/./b/../c.htm#frag", "/a/c.htm"},
        {"sub\\child.htm?x=1", "/sub/child.htm"},
        {"../../up.htm", "/up.htm"},
        {"", "/"},
        {cp932::FromUtf8("/表/ソフト.htm"), cp932::FromUtf8("/表/ソフト.htm")}, // trail bytes 0x5C stay
    };
    for (const auto& p : paths) {
        SCOPED_TRACE(p.in);
        EXPECT_EQ(NormalizeObjectPath(p.in), p.out);
    }
}

TEST(ChmDetectCharset, MetaFirstThenLanguageThenBytes)
{
    struct Case {
        std::string page;
        std::uint32_t lcid;
        Charset expected;
    } const cases[] = {
        {R"(<meta http-equiv="Content-Type" content="text/html; charset=Shift_JIS">)", 0x409, Charset::Cp932},
        {R"(<META CHARSET="UTF-8">)", 0x411, Charset::Utf8},
        {"<meta charset='windows-31j'>", 0, Charset::Cp932},
        {"<p>no meta</p>", 0x411, Charset::Cp932},
        {"<p>no meta</p>", 0x409, Charset::Utf8},
        {"<p>caf\xC3\xA9</p>", 0, Charset::Utf8},
        {"<p>caf\xE9</p>", 0x409, Charset::Latin1},
        {"<meta charset=koi8-r><p>\x82\xA0</p>", 0x411, Charset::Cp932}, // unknown name: the language decides
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.page);
        EXPECT_EQ(DetectCharset(c.page, c.lcid), c.expected);
    }
}

TEST(ChmFileOpen, MissingOrDamagedFileGivesNothing)
{
    EXPECT_EQ(ChmFile::Open("/nonexistent/dir/X.chm"), nullptr);
    const std::string damaged = testing::TempDir() + "damaged.chm";
    {
        std::ofstream out(damaged, std::ios::binary);
        out << "ITSF not really a compiled help file" << std::string(200, '\x01');
    }
    EXPECT_EQ(ChmFile::Open(damaged), nullptr);
    std::remove(damaged.c_str());
}

#ifdef HG_HELP_FILE
TEST(ChmShippedHelp, DefaultTopicContextsPopupsAndContents)
{
    const auto file = ChmFile::Open(HG_HELP_FILE);
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(file->System().lcid, 0x411u);
    EXPECT_EQ(file->System().title, cp932::FromUtf8("ころころ帳 ヘルプ"));
    EXPECT_EQ(file->DefaultTopic(), "/index.htm");

    struct Context {
        std::uint32_t id;
        const char* topic;
    } const contexts[] = {{1000, "/index.htm"}, {1010, "/ninzu.htm"}, {1020, "/output.htm"}, {1030, "/keisiki.htm"},
                          {1040, "/uwagaki.htm"}, {1050, "/run.htm"}, {1060, "/tables.htm"}, {1070, "/about.htm"}};
    for (const auto& c : contexts) {
        SCOPED_TRACE(c.id);
        EXPECT_EQ(file->TopicForContext(c.id), c.topic);
    }
    EXPECT_FALSE(file->TopicForContext(2010)); // a popup number, no topic

    EXPECT_EQ(file->PopupText("/cshelp.txt", 2010), cp932::FromUtf8("出力する人数を 1～59124873 の範囲で入力します。"));
    EXPECT_TRUE(file->PopupText("cshelp.txt", 2060));
    EXPECT_FALSE(file->PopupText("/cshelp.txt", 1));
    EXPECT_FALSE(file->PopupText("/missing.txt", 2010));

    const auto contents = file->Contents();
    ASSERT_FALSE(contents.empty());
    EXPECT_EQ(contents.front().local, "index.htm");
    bool nested = false;
    for (const auto& entry : contents) {
        EXPECT_TRUE(entry.local.empty() || file->ResolveTopic(entry.local)) << entry.local;
        nested = nested || entry.level == 1;
    }
    EXPECT_TRUE(nested);
    EXPECT_TRUE(file->Read("/images/hanagumo32.png"));
}
#endif

#ifdef HG_CHM_FIXTURES
TEST(ChmDefaultTopic, FallsBackToTheProjectFileThenTheFirstPage)
{
    const auto fromProject = ChmFile::Open(HG_CHM_FIXTURES "/hhpdefault.chm");
    ASSERT_NE(fromProject, nullptr);
    EXPECT_TRUE(fromProject->System().defaultTopic.empty());
    EXPECT_EQ(fromProject->DefaultTopic(), "/second.htm");

    const auto firstPage = ChmFile::Open(HG_CHM_FIXTURES "/firstpage.chm");
    ASSERT_NE(firstPage, nullptr);
    EXPECT_EQ(firstPage->DefaultTopic(), "/only.htm");
}
#endif

} // namespace
} // namespace hg::help::chm
