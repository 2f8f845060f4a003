#include "settings/IniFile.h"

#include <climits>
#include <string>
#include <utility>
#include <vector>

#include "TempDir.h"

namespace corvane {
namespace {

using namespace std::string_literals;
class IniFileTest : public testing::TempDirTest {};

TEST_F(IniFileTest, ReadsStringsLikeThePlatformReader) {
    struct Case {
        std::string file, section, key;
        std::size_t bufferSize;
        std::string expected;  // the default is "dflt"
    };
    const std::string basic = "[Net]\nHost=alpha\n";
    const std::vector<Case> cases = {
        {basic, "NET", "hOST", 16, "alpha"},
        {"  [ Net ] \n Host = \t alpha beta \t\n", "Net", "Host", 16, "alpha beta"},
        {basic, "Other", "Host", 16, "dflt"},
        {"[Net]\nHost=   \n", "Net", "Host", 16, ""},  // empty is not missing
        {"[Net]\nHost=0123456789abcdefXYZ\n", "Net", "Host", 16, "0123456789abcde"},
        {basic, "Net", "Port", 3, "df"},  // the default is cut as well
        {basic, "Net", "Host", 0, ""},
        {"[Net]\nHost=one\nHost=two\n", "Net", "Host", 16, "one"},
        {"[Net]\nA=1\n[net]\nHost=two\n", "Net", "Host", 16, "dflt"},  // first section only
        {"[Net]\r\nHost=a=b\r\n", "Net", "Host", 16, "a=b"},
        {"[X]\rHost=x\r[Net]\rHost=mac\r", "Net", "Host", 16, "mac"},
        {"\xEF\xBB\xBF[Net]\nHost=alpha", "Net", "Host", 16, "alpha"},
        {"[Net]\nHost=al\0pha\n"s, "Net", "Host", 16, "al"},
        {"\x01\xFF]]==[[\n[Net]\nHost=\xE4\xA0\n\x80=\x82\n", "Net", "Host", 16, "\xE4\xA0"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        std::string path = Write("t.ini", c.file);
        EXPECT_EQ(ReadProfileString(c.section, c.key, "dflt", c.bufferSize, path), c.expected);
    }
    EXPECT_EQ(ReadProfileString("A", "b", "dflt", 16, PathOf("absent.ini")), "dflt");
    EXPECT_EQ(ReadProfileString("A", "b", "dflt", 16, dir.string()), "dflt");
}

TEST_F(IniFileTest, ReadsTheLeadingDecimalInteger) {
    const std::string path =
        Write("t.ini",
              "[G]\na=  -7  \nb=12abc\nc=abc\nd=0x10\ne=99999999999999999999999\n"
              "f=-99999999999999999999999\ng=\n");
    std::vector<int> got;
    for (const char* key : {"a", "b", "c", "d", "e", "f", "g", "absent"})
        got.push_back(ReadProfileInt("g", key, 99, path));
    got.push_back(ReadProfileInt("G", "a", 99, PathOf("absent.ini")));
    // An empty value counts as absent.
    EXPECT_EQ(got, (std::vector<int>{-7, 12, 0, 0, INT_MAX, INT_MIN, 99, 99, 99}));
}

TEST_F(IniFileTest, WritesInPlaceAndLeavesEveryOtherByte) {
    struct Case {
        std::string before, section, key, value, after;
    };
    const std::string lf = "; c\n[A]\nx = 1  \ny=2\n\n[B]\nx=3\n";
    const std::string crlf = "; c\r\n[A]\r\nx = 1  \r\ny=2\r\n\r\n[B]\r\nx=3\r\n";
    const std::vector<Case> cases = {
        {lf, "a", "X", "99", "; c\n[A]\nx = 99  \ny=2\n\n[B]\nx=3\n"},
        {crlf, "B", "x", "long value",
         "; c\r\n[A]\r\nx = 1  \r\ny=2\r\n\r\n[B]\r\nx=long value\r\n"},
        {crlf, "A", "z", "new", "; c\r\n[A]\r\nx = 1  \r\ny=2\r\nz=new\r\n\r\n[B]\r\nx=3\r\n"},
        {crlf, "C", "k", "v", crlf + "\r\n[C]\r\nk=v\r\n"},
        {"[A]\nx=1", "A", "y", "2", "[A]\nx=1\ny=2\n"},
        {"[A]\nx=1", "A", "x", "2", "[A]\nx=2"},
        {"[A]\nx=   \nx=2\n", "A", "x", "5", "[A]\nx=5\nx=2\n"},
        {"[A]\nx=1\n[a]\nx=2\n", "A", "x", "", "[A]\nx=\n[a]\nx=2\n"},
        {"[A]\nx=1\n", "A", "x", "a\nb\r\n[Z]\0c"s, "[A]\nx=a b  [Z] c\n"},  // no line injection
        {"", "A", "k", "v", testing::NewLines("[A]\nk=v\n")},                // a new file
        // Old Mac files end lines with a lone CR; they keep it.
        {"[S]\rp=5\r[X]\rp=6\r", "S", "p", "4321", "[S]\rp=4321\r[X]\rp=6\r"},
        {"[S]\rq=5\r[X]\rp=6\r", "S", "p", "7", "[S]\rq=5\rp=7\r[X]\rp=6\r"},
        {"[S]\rp=5\r", "T", "k", "v", "[S]\rp=5\r\r[T]\rk=v\r"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.before + " <- " + c.key);
        std::string path = Write("t.ini", c.before);
        ASSERT_TRUE(WriteProfileString(c.section, c.key, c.value, path));
        EXPECT_EQ(Slurp(path), c.after);
    }
    // Every write went through a temporary file that is gone again.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), {}), 1);
}

TEST_F(IniFileTest, RefusesWhatItCannotWriteAndKeepsTheFile) {
    const std::vector<std::pair<std::string, std::string>> names = {
        {"", "k"},    {"A", "  "},    {"A]B", "k"}, {"A\nB", "k"},
        {"A", "k=v"}, {"A", "k\0z"s}, {"A", "[B]"},
    };
    for (const auto& [section, key] : names) {
        SCOPED_TRACE(section + "/" + key);
        std::string path = Write("t.ini", "[A]\nx=1\n");
        EXPECT_FALSE(WriteProfileString(section, key, "v", path));
        EXPECT_EQ(Slurp(path), "[A]\nx=1\n");
    }
    EXPECT_FALSE(WriteProfileString("A", "k", "v", PathOf("no/such/dir/t.ini")));
    EXPECT_FALSE(WriteProfileString("A", "k", "v", dir.string()));
    // A batch with one bad key writes none of it.
    std::string path = Write("t.ini", "[A]\nx=1\n");
    EXPECT_FALSE(WriteProfileStrings("A", {{"x", "5"}, {"bad=key", "6"}}, path));
    EXPECT_EQ(Slurp(path), "[A]\nx=1\n");
}

// Lines of any length: a key written beside them reads back and nothing before
// it moves.
TEST_F(IniFileTest, WritesBesideMegabyteLines) {
    const std::string huge(1 << 20, 'x');
    for (const std::string& file : {"[A]\nhuge=" + huge + "\n", "[" + huge + "]\nk=v\n"}) {
        std::string path = Write("t.ini", file);
        ASSERT_TRUE(WriteProfileString("A", "k", "written", path));
        EXPECT_EQ(ReadProfileString("A", "k", "dflt", 16, path), "written");
        EXPECT_EQ(Slurp(path).compare(0, file.size(), file), 0);
    }
}

}  // namespace
}  // namespace corvane
