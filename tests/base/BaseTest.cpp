#include <gtest/gtest.h>

#include <climits>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "../support/TempDir.h"
#include "base/EventLog.h"
#include "base/Listeners.h"
#include "base/TextFormat.h"

namespace corvane {
namespace {

TEST(Text, TrimCaseAndJson) {
    EXPECT_EQ(Trim(" \t\v\f\rname = x \r"), "name = x");
    EXPECT_EQ(Trim("\r x\t", " \t"), "\r x");  // only the blanks asked for
    EXPECT_EQ(Trim(" \t "), "");
    EXPECT_TRUE(EqualsNoCase("[Salvo]", "[SALVO]"));
    EXPECT_FALSE(EqualsNoCase("Outputs", "Output"));
    // Bytes past ASCII are never folded: Latin-1 names stay apart.
    EXPECT_FALSE(EqualsNoCase("\xC4", "\xE4"));
    EXPECT_EQ(AsciiLower("MON=?\xC4"), "mon=?\xC4");
    EXPECT_EQ(JsonString("a\"\\\x01\xE9"), "\"a\\\"\\\\\\u0001\\u00e9\"");
}

// The whole text, in range, of at most so many digits; a sign only where the
// range is negative.
TEST(Text, ParseIntTakesWholeNumbersInRangeOnly) {
    const std::nullopt_t no = std::nullopt;
    // clang-format off
    const std::tuple<const char*, int, int, std::size_t, std::optional<int>> cases[] = {{"16", 1, 16, 9, 16}, {"17", 1, 16, 9, no}, {"0", 1, 16, 9, no},
                          {"007", 0, 16, 3, 7}, {"0007", 0, 16, 3, no}, {"-1", -1, 16, 3, -1},
                          {"-1", 0, 16, 3, no}, {"-", -1, 16, 3, no}, {"+5", 0, 16, 9, no},
                          {" 5", 0, 16, 9, no}, {"5 ", 0, 16, 9, no}, {"5x", 0, 16, 9, no},
                          {"", 0, 16, 9, no}, {"2147483647", 0, INT_MAX, 10, INT_MAX},
                          {"99999999999", 0, INT_MAX, 18, no}, {"65535", 0, 65535, 5, 65535}};
    // clang-format on
    for (const auto& [text, low, high, digits, expected] : cases) {
        int value = -99;
        const bool ok = ParseInt(text, low, high, &value, digits);
        EXPECT_EQ(ok ? std::optional<int>(value) : std::nullopt, expected) << text;
        EXPECT_TRUE(ok || value == -99) << text;
    }
}

// The router's and the settings files' numbers: whatever leads, never more.
TEST(Text, LeadingIntReadsAsAtoiAndStrtolWithoutOverflow) {
    // clang-format off
    const std::tuple<const char*, int, int> cases[] = {{"  -7  ", 10, -7}, {"12abc", 10, 12}, {"abc", 10, 0}, {"0x10", 10, 0},
                          {"0x10", 16, 16}, {"1F!", 16, 31}, {"0x", 16, 0}, {"\t+3", 10, 3},
                          {"", 10, 0}, {"99999999999999999999999", 10, INT_MAX},
                          {"-99999999999999999999999", 10, INT_MIN}, {"-2147483648", 10, INT_MIN}};
    // clang-format on
    for (const auto& [text, base, value] : cases)
        EXPECT_EQ(LeadingInt(text, base), value) << text;
}

// The session's followers: called in the order they came; one that leaves
// during a call is not called again, one that comes is called from the next.
TEST(Listeners, CallInOrderAndSurviveChangesFromInsideACall) {
    Listeners<int> listeners;
    std::string calls;
    int b = 0, d = 0;
    listeners.Subscribe([&](int n) { calls += "a" + std::to_string(n); });
    b = listeners.Subscribe([&](int n) {
        calls += "b" + std::to_string(n);
        listeners.Unsubscribe(b);
        d = listeners.Subscribe([&](int m) { calls += "d" + std::to_string(m); });
    });
    const int c = listeners.Subscribe([&](int n) {
        calls += "c" + std::to_string(n);
        listeners.Unsubscribe(c);  // itself, after b left
    });
    listeners.Notify(1);
    listeners.Notify(2);
    listeners.Unsubscribe(d);
    listeners.Notify(3);
    EXPECT_EQ(calls, "a1b1c1a2d2a3");
    EXPECT_EQ(listeners.Count(), 1u);
}

class LogTest : public TempDirTest {
protected:
    EventLog MakeLog() {
        EventLog log(dir.string(), [this] { return now; });
        log.screen = &screen;
        log.screenLogEnabled = true;
        return log;
    }
    LocalTime now{2013, 5, 1, 14, 3, 7};
    ScreenLog screen;
};

// The daily file is named by the clock and takes the runs of one day; the
// list keeps the newest lines; the file gets what is meant for it, at most
// 1023 bytes of a message, with or without a list to show it; a file that
// cannot be written (a full disk) is said once, whatever follows.
TEST_F(LogTest, DailyFilesListAndCutMessagesAndAFailedFileIsSaidOnce) {
    now = {999, 2, 3, 4, 5, 6};
    MakeLog().LogEvent(true, true, "-->Data[%s]", "LINK=?!");
    now.hour = 23;
    EventLog log = MakeLog();
    log.LogEvent(true, true, "run %d", 2);
    EXPECT_EQ(log.DailyFileName(), PathOf("09990203.log"));
    now = {999, 2, 4, 0, 0, 1};
    log.LogEvent(true, true, "after midnight");
    EXPECT_EQ(Slurp(PathOf("09990203.log")),
              NewLines("[0999/02/03 04:05:06]-->Data[LINK=?!]\n[0999/02/03 23:05:06]run 2\n"));
    EXPECT_EQ(Slurp(PathOf("09990204.log")), NewLines("[0999/02/04 00:00:01]after midnight\n"));

    now = {2013, 5, 1, 14, 3, 7};
    screen.lines.clear();
    for (int i = 0; i < 1001; ++i)
        log.LogEvent(false, false, "%d", i);
    EXPECT_FALSE(std::filesystem::exists(log.DailyFileName()));
    ASSERT_EQ(screen.lines.size(), ScreenLog::kMaxLines);
    EXPECT_EQ(screen.lines.front() + screen.lines.back(), "  1  1000");
    log.screen = nullptr;
    const std::string fits(1023, 'a');
    log.LogEvent(false, true, "%s", fits.c_str());
    log.LogEvent(true, true, "%s", std::string(2000, 'b').c_str());
    log.LogEvent(false, true, "%s!", fits.c_str());
    log.fileLogEnabled = false;
    log.LogEvent(true, true, "not in the file");
    EXPECT_EQ(Slurp(PathOf("20130501.log")),
              NewLines("  " + fits + "\n[2013/05/01 14:03:07]" + std::string(1023, 'b') + "\n  " +
                       fits + "\n"));
#if !defined(_WIN32)
    now.day = 2;
    std::filesystem::create_symlink("/dev/full", PathOf("20130502.log"));
    std::vector<std::string> said;
    log.fileLogEnabled = true;
    log.screen = &screen;  // the list shows what the file could not take
    screen.lines.clear();
    log.fileFailed = [&](const std::string& path) { said.push_back(path); };
    for (const char* message : {"one", "two", "three"})
        log.LogEvent(true, true, "%s", message);
    EXPECT_EQ(said, std::vector<std::string>{PathOf("20130502.log")});
    EXPECT_EQ(screen.lines.size(), 3u);
#endif
}

// A flood of one message is one line per second and a count, on screen and on disk.
TEST_F(LogTest, FoldsRepeatsWithinTheirSecond) {
    EventLog log = MakeLog();
    const auto flood = [&](int n, const char* message) {
        for (int i = 0; i < n; ++i)
            log.LogEvent(true, true, "%s", message);
    };
    flood(3000, "UDP Socket Receive ERR=90");
    flood(1, "other");
    now.second = 8;
    flood(2, "other");  // a new second starts a new line
    log.FlushRepeats();
    const std::string expected =
        "[2013/05/01 14:03:07]UDP Socket Receive ERR=90\n"
        "[2013/05/01 14:03:07]last message repeated 2999 times\n"
        "[2013/05/01 14:03:07]other\n[2013/05/01 14:03:08]other\n"
        "[2013/05/01 14:03:08]last message repeated 1 times\n";
    EXPECT_EQ(Slurp(PathOf("20130501.log")), NewLines(expected));
    std::string shown;
    for (const std::string& line : screen.lines)
        shown += line + "\n";
    EXPECT_EQ(shown, expected);
}

}  // namespace
}  // namespace corvane
