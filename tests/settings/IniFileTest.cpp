#include "settings/IniFile.h"

#include <climits>
#include <filesystem>
#include <string>
#include <vector>

#include "TempDir.h"

namespace corvane {
namespace {

using testing::TempDirTest;
using namespace std::string_literals;

class IniFileTest : public TempDirTest {};

struct ReadCase {
    const char* what;
    std::string file;
    const char* section;
    const char* key;
    const char* defaultValue;
    std::size_t bufferSize;
    std::string expected;
};

TEST_F(IniFileTest, ReadsStringsLikeThePlatformReader) {
    const std::string basic = "[Net]\nHost=alpha\n";
    const std::vector<ReadCase> cases = {
        {"exact match", basic, "Net", "Host", "d", 16, "alpha"},
        {"section case", basic, "NET", "Host", "d", 16, "alpha"},
        {"key case", basic, "Net", "hOST", "d", 16, "alpha"},
        {"blanks around value", "[Net]\nHost=  \t alpha beta \t\n", "Net", "Host", "d", 16,
         "alpha beta"},
        {"blanks around key and section", "  [ Net ]  \n  Host   = alpha\n", "Net", "Host", "d", 16,
         "alpha"},
        {"missing section", basic, "Other", "Host", "dflt", 16, "dflt"},
        {"missing key", basic, "Net", "Port", "dflt", 16, "dflt"},
        {"key of another section", "[A]\nx=1\n[B]\ny=2\n", "A", "y", "dflt", 16, "dflt"},
        {"empty value is not missing", "[Net]\nHost=   \n", "Net", "Host", "dflt", 16, ""},
        {"cut to buffer minus one", "[Net]\nHost=0123456789abcdefXYZ\n", "Net", "Host", "d", 16,
         "0123456789abcde"},
        {"exactly fits", "[Net]\nHost=0123456789abcde\n", "Net", "Host", "d", 16,
         "0123456789abcde"},
        {"buffer of one", basic, "Net", "Host", "d", 1, ""},
        {"buffer of zero", basic, "Net", "Host", "d", 0, ""},
        {"default cut too", basic, "Net", "Port", "0123456789abcdefXYZ", 16, "0123456789abcde"},
        {"default of a zero buffer", basic, "Net", "Port", "dflt", 0, ""},
        {"first duplicate key wins", "[Net]\nHost=one\nHost=two\n", "Net", "Host", "d", 16, "one"},
        {"only the first duplicate section", "[Net]\nA=1\n[net]\nHost=two\n", "Net", "Host", "d",
         16, "d"},
        {"line without equals", "[Net]\nHost\n", "Net", "Host", "dflt", 16, "dflt"},
        {"equals inside value", "[Net]\nHost=a=b\n", "Net", "Host", "d", 16, "a=b"},
        {"CRLF file", "[Net]\r\nHost=alpha\r\nPort=1\r\n", "Net", "Host", "d", 16, "alpha"},
        {"no final line break", "[Net]\nHost=alpha", "Net", "Host", "d", 16, "alpha"},
        {"entry before any section", "Host=x\n[Net]\n", "Net", "Host", "dflt", 16, "dflt"},
        {"unclosed header is no section", "[Net\nHost=x\n", "Net", "Host", "dflt", 16, "dflt"},
        {"byte order mark", "\xEF\xBB\xBF[Net]\nHost=alpha\n", "Net", "Host", "d", 16, "alpha"},
        {"NUL ends the value", "[Net]\nHost=al\0pha\n"s, "Net", "Host", "d", 16, "al"},
        {"high bytes kept", "[Net]\nHost=\xE4\xF6\xFC\xA0\n", "Net", "Host", "d", 16,
         "\xE4\xF6\xFC\xA0"},
        {"garbage around", "\x01\x02\xFF\xFE]]==[[\n[Net]\nHost=alpha\n\x80\x81=\x82\n", "Net",
         "Host", "d", 16, "alpha"},
    };
    for (const ReadCase& c : cases) {
        SCOPED_TRACE(c.what);
        std::string path = Write("t.ini", c.file);
        EXPECT_EQ(ReadProfileString(c.section, c.key, c.defaultValue, c.bufferSize, path),
                  c.expected);
    }
}

TEST_F(IniFileTest, MissingFileOrDirectoryGivesTheDefault) {
    EXPECT_EQ(ReadProfileString("A", "b", "dflt", 16, PathOf("absent.ini")), "dflt");
    EXPECT_EQ(ReadProfileInt("A", "b", -4, PathOf("absent.ini")), -4);
    EXPECT_EQ(ReadProfileString("A", "b", "dflt", 16, dir.string()), "dflt");
}

TEST_F(IniFileTest, ReadsTheLeadingDecimalInteger) {
    struct Case {
        std::string value;
        int expected;
    };
    const std::vector<Case> cases = {
        {"42", 42},
        {"  -7  ", -7},
        {"+5", 5},
        {"12abc", 12},
        {"abc", 0},
        {"- 5", 0},
        {"0x10", 0},
        {"007", 7},
        {"2147483647", INT_MAX},
        {"-2147483648", INT_MIN},
        {"99999999999999999999999", INT_MAX},
        {"-99999999999999999999999", INT_MIN},
        {"", 99},  // an empty value counts as absent
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.value);
        std::string path = Write("t.ini", "[G]\nN=" + c.value + "\n");
        EXPECT_EQ(ReadProfileInt("g", "n", 99, path), c.expected);
    }
    std::string path = Write("t.ini", "[G]\nOther=1\n");
    EXPECT_EQ(ReadProfileInt("G", "N", 99, path), 99);
}

struct WriteCase {
    const char* what;
    std::string before;
    const char* section;
    const char* key;
    std::string value;
    std::string after;
};

TEST_F(IniFileTest, WritesInPlaceAndLeavesEveryOtherByte) {
    const std::string lf = "; settings\n[A]\nx = 1  \ny=2\n\n[B]\nx=3\n";
    const std::string crlf = "; settings\r\n[A]\r\nx = 1  \r\ny=2\r\n\r\n[B]\r\nx=3\r\n";
    const std::vector<WriteCase> cases = {
        {"replace keeps spacing", lf, "A", "x", "99",
         "; settings\n[A]\nx = 99  \ny=2\n\n[B]\nx=3\n"},
        {"names match without case", lf, "b", "X", "7",
         "; settings\n[A]\nx = 1  \ny=2\n\n[B]\nx=7\n"},
        {"replace in CRLF file", crlf, "A", "y", "long value",
         "; settings\r\n[A]\r\nx = 1  \r\ny=long value\r\n\r\n[B]\r\nx=3\r\n"},
        {"new key ends its section", lf, "A", "z", "new",
         "; settings\n[A]\nx = 1  \ny=2\nz=new\n\n[B]\nx=3\n"},
        {"new key in CRLF file", crlf, "A", "z", "new",
         "; settings\r\n[A]\r\nx = 1  \r\ny=2\r\nz=new\r\n\r\n[B]\r\nx=3\r\n"},
        {"new section at the end", lf, "C", "k", "v",
         "; settings\n[A]\nx = 1  \ny=2\n\n[B]\nx=3\n\n[C]\nk=v\n"},
        {"new section in CRLF file", crlf, "C", "k", "v", crlf + "\r\n[C]\r\nk=v\r\n"},
        {"no final line break, new key", "[A]\nx=1", "A", "y", "2", "[A]\nx=1\ny=2\n"},
        {"no final line break, new section", "[A]\nx=1", "B", "y", "2", "[A]\nx=1\n\n[B]\ny=2\n"},
        {"no final line break, replace", "[A]\nx=1", "A", "x", "2", "[A]\nx=2"},
        {"header is the last line", "[A]", "A", "k", "v", "[A]\nk=v\n"},
        {"empty value replaced", "[A]\nx=   \ny=2\n", "A", "x", "5", "[A]\nx=5\ny=2\n"},
        {"value emptied", "[A]\nx=abc\n", "A", "x", "", "[A]\nx=\n"},
        {"first duplicate section", "[A]\nx=1\n[a]\nx=2\n", "A", "x", "9", "[A]\nx=9\n[a]\nx=2\n"},
        {"first duplicate key", "[A]\nx=1\nx=2\n", "A", "x", "9", "[A]\nx=9\nx=2\n"},
        {"line breaks in a value", "[A]\nx=1\n", "A", "x", "a\nb\r\n[Z]\0c"s,
         "[A]\nx=a b  [Z] c\n"},
        {"byte order mark kept", "\xEF\xBB\xBF[A]\nx=1\n", "A", "x", "2", "\xEF\xBB\xBF[A]\nx=2\n"},
        {"empty file", "", "A", "k", "v", "[A]\nk=v\n"},
    };
    for (const WriteCase& c : cases) {
        SCOPED_TRACE(c.what);
        std::string path = Write("t.ini", c.before);
        ASSERT_TRUE(WriteProfileString(c.section, c.key, c.value, path));
        EXPECT_EQ(Slurp(path), c.after);
    }
}

TEST_F(IniFileTest, CreatesTheFileAndReadsBackWhatItWrote) {
    std::string path = PathOf("new.ini");
    ASSERT_TRUE(WriteProfileString("S", "one", "1", path));
    ASSERT_TRUE(WriteProfileString("S", "two", "  padded  ", path));
    ASSERT_TRUE(WriteProfileString("T", "three", "3", path));
    ASSERT_TRUE(WriteProfileString("S", "one", "uno", path));
    EXPECT_EQ(Slurp(path), "[S]\none=uno\ntwo=  padded  \n\n[T]\nthree=3\n");
    EXPECT_EQ(ReadProfileString("S", "two", "", 64, path), "padded");
    EXPECT_EQ(ReadProfileInt("T", "three", 0, path), 3);
    // The replacement went through a temporary file that is gone again.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), {}), 1);
}

TEST_F(IniFileTest, RefusesWhatItCannotWriteAndKeepsTheFile) {
    const std::string before = "[A]\nx=1\n";
    struct Case {
        const char* what;
        std::string section;
        std::string key;
    };
    const std::vector<Case> cases = {
        {"empty section", "", "k"},         {"blank key", "A", "  "},
        {"bracket in section", "A]B", "k"}, {"line break in section", "A\nB", "k"},
        {"equals in key", "A", "k=v"},      {"line break in key", "A", "k\r\n[B]"},
        {"NUL in key", "A", "k\0z"s},       {"key looks like a header", "A", "[B]"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::string path = Write("t.ini", before);
        EXPECT_FALSE(WriteProfileString(c.section, c.key, "v", path));
        EXPECT_EQ(Slurp(path), before);
    }
    EXPECT_FALSE(WriteProfileString("A", "k", "v", PathOf("no/such/dir/t.ini")));
    EXPECT_FALSE(WriteProfileString("A", "k", "v", dir.string()));
}

TEST_F(IniFileTest, WritesThroughASymbolicLink) {
    std::string real = Write("real.ini", "[A]\nx=1\n");
    std::string link = PathOf("link.ini");
    std::error_code ec;
    std::filesystem::create_symlink("real.ini", link, ec);
    if (ec) {
        GTEST_SKIP() << "no symbolic links here";
    }
    ASSERT_TRUE(WriteProfileString("A", "x", "2", link));
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_EQ(Slurp(real), "[A]\nx=2\n");
}

TEST_F(IniFileTest, SurvivesHostileFiles) {
    std::string garbage;
    for (int i = 0; i < 70000; ++i) {
        garbage += static_cast<char>((i * 7919) % 256);
    }
    const std::string hugeLine(1 << 20, 'x');
    struct Case {
        const char* what;
        std::string content;
    };
    const std::vector<Case> cases = {
        {"binary garbage", garbage},
        {"NUL bytes", std::string(5000, '\0') + "\n[\0]\n=\0\n"s},
        {"one 1 MB line", hugeLine},
        {"1 MB value", "[A]\nhuge=" + hugeLine + "\n"},
        {"1 MB section name", "[" + hugeLine + "]\nk=v\n"},
        {"only separators", std::string(10000, '\n') + std::string(10000, '\r') + "===[]]["},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::string path = Write("t.ini", c.content);
        EXPECT_EQ(ReadProfileString("A", "k", "dflt", 16, path), "dflt");
        EXPECT_EQ(ReadProfileInt("A", "k", 5, path), 5);
        ASSERT_TRUE(WriteProfileString("A", "k", "written", path));
        EXPECT_EQ(ReadProfileString("A", "k", "dflt", 16, path), "written");
        // What was there before is still there, byte for byte.
        std::string after = Slurp(path);
        EXPECT_EQ(after.compare(0, c.content.size(), c.content), 0);
    }
    std::string path = Write("t.ini", "[A]\nhuge=" + hugeLine + "\n");
    EXPECT_EQ(ReadProfileString("A", "huge", "", 32, path), std::string(31, 'x'));
    EXPECT_EQ(ReadProfileString("A", "huge", "", hugeLine.size() + 1, path), hugeLine);
}

}  // namespace
}  // namespace corvane
