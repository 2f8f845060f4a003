#include "settings/EventLog.h"

#include <sstream>
#include <string>
#include <vector>

#include "TempDir.h"

namespace corvane {
namespace {

using testing::TempDirTest;

std::vector<std::string> LinesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

class EventLogTest : public TempDirTest {
protected:
    EventLog MakeLog() {
        EventLog log(dir.string(), [this] { return now; });
        log.screen = &screen;
        log.screenLogEnabled = true;
        return log;
    }
    std::vector<std::string> FileLines(const std::string& name) const {
        return LinesOf(Slurp(PathOf(name)));
    }

    LocalTime now{2013, 5, 1, 14, 3, 7};
    ScreenLog screen;
};

TEST_F(EventLogTest, StampAndFileNameComeFromTheClock) {
    struct Case {
        LocalTime time;
        const char* stamp;
        const char* file;
    };
    const std::vector<Case> cases = {
        {{2013, 5, 1, 14, 3, 7}, "2013/05/01 14:03:07", "20130501.log"},
        {{2026, 12, 31, 23, 59, 59}, "2026/12/31 23:59:59", "20261231.log"},
        {{2000, 1, 9, 0, 0, 0}, "2000/01/09 00:00:00", "20000109.log"},
        {{999, 2, 3, 4, 5, 6}, "0999/02/03 04:05:06", "09990203.log"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.stamp);
        now = c.time;
        EventLog log = MakeLog();
        log.LogEvent(true, true, "-->Data[%s]", "LINK=?!");
        EXPECT_EQ(log.timestampText, c.stamp);
        EXPECT_EQ(log.DailyFileName(), PathOf(c.file));
        std::string line = std::string("[") + c.stamp + "]-->Data[LINK=?!]";
        EXPECT_EQ(screen.lines.back(), line);
        EXPECT_EQ(FileLines(c.file), std::vector<std::string>{line});
    }
}

TEST_F(EventLogTest, LineWithoutStampIsIndented) {
    EventLog log = MakeLog();
    log.LogEvent(false, true, "UDP Socket Create Port=%d OK", 3010);
    EXPECT_EQ(screen.lines.back(), "  UDP Socket Create Port=3010 OK");
    EXPECT_EQ(Slurp(PathOf("20130501.log")), "  UDP Socket Create Port=3010 OK\n");
    EXPECT_TRUE(log.timestampText.empty());
}

TEST_F(EventLogTest, DestinationsFollowTheFlags) {
    struct Case {
        bool screenEnabled, hasScreen, toFile, fileEnabled;
        std::size_t screenLines, fileLines;
    };
    const std::vector<Case> cases = {
        {true, true, true, true, 1, 1},  {false, true, true, true, 0, 1},
        {true, false, true, true, 0, 1}, {true, true, false, true, 1, 0},
        {true, true, true, false, 1, 0}, {false, false, false, false, 0, 0},
    };
    int day = 1;
    for (const Case& c : cases) {
        SCOPED_TRACE(day);
        now.day = day++;  // a file of its own per case
        screen.lines.clear();
        EventLog log = MakeLog();
        log.screenLogEnabled = c.screenEnabled;
        log.screen = c.hasScreen ? &screen : nullptr;
        log.fileLogEnabled = c.fileEnabled;
        log.LogEvent(true, c.toFile, "line");
        EXPECT_EQ(screen.lines.size(), c.screenLines);
        EXPECT_EQ(FileLines(std::filesystem::path(log.DailyFileName()).filename().string()).size(),
                  c.fileLines);
    }
}

TEST_F(EventLogTest, DailyFileFollowsTheDateAtWriteTime) {
    EventLog log = MakeLog();
    log.LogEvent(true, true, "before midnight");
    now = {2013, 5, 2, 0, 0, 1};
    log.LogEvent(true, true, "after midnight");
    EXPECT_EQ(FileLines("20130501.log"),
              std::vector<std::string>{"[2013/05/01 14:03:07]before midnight"});
    EXPECT_EQ(FileLines("20130502.log"),
              std::vector<std::string>{"[2013/05/02 00:00:01]after midnight"});
}

TEST_F(EventLogTest, TwoRunsOnOneDayAppendToTheSameFile) {
    {
        EventLog first = MakeLog();
        first.LogEvent(true, true, "run %d", 1);
    }
    now.hour = 18;
    {
        EventLog second = MakeLog();
        second.LogEvent(true, true, "run %d", 2);
    }
    EXPECT_EQ(FileLines("20130501.log"), (std::vector<std::string>{"[2013/05/01 14:03:07]run 1",
                                                                   "[2013/05/01 18:03:07]run 2"}));
}

TEST_F(EventLogTest, ScreenListKeepsTheNewestThousandLines) {
    EventLog log = MakeLog();
    log.fileLogEnabled = false;
    for (int i = 0; i < 1001; ++i) {
        log.LogEvent(false, false, "%d", i);
    }
    ASSERT_EQ(screen.lines.size(), ScreenLog::kMaxLines);
    EXPECT_EQ(screen.lines.front(), "  1");
    EXPECT_EQ(screen.lines.back(), "  1000");
    for (int i = 0; i < 50; ++i) {
        screen.AppendToLogList("more");
    }
    EXPECT_EQ(screen.lines.size(), ScreenLog::kMaxLines);
    EXPECT_EQ(screen.lines.front(), "  51");
}

TEST_F(EventLogTest, ToggleEmptiesTheListWhileTheFileGoesOn) {
    EventLog log = MakeLog();
    log.LogEvent(true, true, "a");
    log.LogEvent(true, true, "b");
    log.ToggleScreenLog();
    EXPECT_FALSE(log.screenLogEnabled);
    EXPECT_TRUE(screen.lines.empty());
    log.LogEvent(true, true, "c");
    EXPECT_TRUE(screen.lines.empty());
    log.ToggleScreenLog();
    EXPECT_TRUE(screen.lines.empty()) << "switching on restores nothing";
    log.LogEvent(true, true, "d");
    EXPECT_EQ(screen.lines, (std::deque<std::string>{"[2013/05/01 14:03:07]d"}));
    EXPECT_EQ(FileLines("20130501.log").size(), 4u);

    log.screen = nullptr;  // no list attached: the flag still flips
    log.ToggleScreenLog();
    EXPECT_FALSE(log.screenLogEnabled);
}

TEST_F(EventLogTest, OverlongMessagesAreCut) {
    EventLog log = MakeLog();
    const std::string fits(1023, 'a');
    const std::string tooLong(2000, 'b');
    log.LogEvent(false, true, "%s", fits.c_str());
    log.LogEvent(true, true, "%s", tooLong.c_str());
    log.LogEvent(false, true, "%s%s", fits.c_str(), "!");
    std::vector<std::string> lines = FileLines("20130501.log");
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], "  " + fits);
    EXPECT_EQ(lines[1], "[2013/05/01 14:03:07]" + std::string(1023, 'b'));
    EXPECT_EQ(lines[2], "  " + fits);
    EXPECT_EQ(screen.lines[1], lines[1]);
}

TEST_F(EventLogTest, UnwritableDirectoryIsSilent) {
    EventLog log(PathOf("missing/dir"), [this] { return now; });
    log.screen = &screen;
    log.screenLogEnabled = true;
    log.LogEvent(true, true, "still shown");
    EXPECT_EQ(screen.lines.size(), 1u);
    EXPECT_FALSE(std::filesystem::exists(PathOf("missing")));
}

TEST(EventLogClock, SystemTimeIsPlausible) {
    LocalTime t = SystemLocalTime();
    EXPECT_GE(t.year, 2020);
    EXPECT_GE(t.month, 1);
    EXPECT_LE(t.month, 12);
    EXPECT_GE(t.day, 1);
    EXPECT_LE(t.day, 31);
    EXPECT_LE(t.hour, 23);
    EventLog log;
    EXPECT_EQ(log.directory, ".");
    EXPECT_EQ(log.DailyFileName().size(), std::string("./YYYYMMDD.log").size());
}

}  // namespace
}  // namespace corvane
