#include "settings/EventLog.h"

#include <sstream>
#include <string>
#include <vector>

#include "TempDir.h"

namespace corvane {
namespace {

using Lines = std::vector<std::string>;

class EventLogTest : public testing::TempDirTest {
protected:
    EventLog MakeLog() {
        EventLog log(dir.string(), [this] { return now; });
        log.screen = &screen;
        log.screenLogEnabled = true;
        return log;
    }
    Lines FileLines(const std::string& name) const {
        Lines lines;
        std::istringstream in(Slurp(PathOf(name)));
        for (std::string line; std::getline(in, line);) {
            lines.push_back(line);
        }
        return lines;
    }

    LocalTime now{2013, 5, 1, 14, 3, 7};
    ScreenLog screen;
};

TEST_F(EventLogTest, LineAndFileNameComeFromTheClock) {
    struct Case {
        LocalTime time;
        bool withTimestamp;
        const char* line;
        const char* file;
    };
    const std::vector<Case> cases = {
        {{2013, 5, 1, 14, 3, 7}, true, "[2013/05/01 14:03:07]-->Data[LINK=?!]", "20130501.log"},
        {{2026, 12, 31, 23, 59, 59}, true, "[2026/12/31 23:59:59]-->Data[LINK=?!]", "20261231.log"},
        {{999, 2, 3, 4, 5, 6}, true, "[0999/02/03 04:05:06]-->Data[LINK=?!]", "09990203.log"},
        {{2000, 1, 9, 0, 0, 0}, false, "  -->Data[LINK=?!]", "20000109.log"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        now = c.time;
        EventLog log = MakeLog();
        log.LogEvent(c.withTimestamp, true, "-->Data[%s]", "LINK=?!");
        EXPECT_EQ(log.DailyFileName(), PathOf(c.file));
        EXPECT_EQ(screen.lines.back(), c.line);
        EXPECT_EQ(FileLines(c.file), Lines{c.line});
    }
}

TEST_F(EventLogTest, DestinationsFollowTheFlags) {
    struct Case {
        bool screenEnabled, hasScreen, toFile, fileEnabled;
        std::size_t screenLines, fileLines;
    };
    const std::vector<Case> cases = {
        {true, true, true, true, 1, 1},  {false, true, true, true, 0, 1},
        {true, false, true, true, 0, 1}, {true, true, false, true, 1, 0},
        {true, true, true, false, 1, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(&c - cases.data());
        now.day = static_cast<int>(&c - cases.data()) + 1;  // a file of its own per case
        screen.lines.clear();
        EventLog log = MakeLog();
        log.screenLogEnabled = c.screenEnabled;
        log.screen = c.hasScreen ? &screen : nullptr;
        log.fileLogEnabled = c.fileEnabled;
        log.LogEvent(true, c.toFile, "line");
        EXPECT_EQ(screen.lines.size(), c.screenLines);
        EXPECT_EQ(FileLines(log.DailyFileName().substr(dir.string().size() + 1)).size(),
                  c.fileLines);
    }
    // A directory that cannot take the file costs the file line only.
    EventLog log(PathOf("missing/dir"), [this] { return now; });
    log.screen = &screen;
    log.screenLogEnabled = true;
    log.LogEvent(true, true, "still shown");
    EXPECT_EQ(screen.lines.back(), "[2013/05/05 14:03:07]still shown");
}

TEST_F(EventLogTest, RunsOfOneDayShareAFileAndMidnightStartsTheNext) {
    MakeLog().LogEvent(true, true, "run %d", 1);
    now.hour = 23;
    EventLog second = MakeLog();
    second.LogEvent(true, true, "run %d", 2);
    now = {2013, 5, 2, 0, 0, 1};
    second.LogEvent(true, true, "after midnight");
    EXPECT_EQ(FileLines("20130501.log"),
              (Lines{"[2013/05/01 14:03:07]run 1", "[2013/05/01 23:03:07]run 2"}));
    EXPECT_EQ(FileLines("20130502.log"), Lines{"[2013/05/02 00:00:01]after midnight"});
}

TEST_F(EventLogTest, ScreenListKeepsTheNewestThousandLines) {
    EventLog log = MakeLog();
    for (int i = 0; i < 1001; ++i) {
        log.LogEvent(false, false, "%d", i);
    }
    ASSERT_EQ(screen.lines.size(), ScreenLog::kMaxLines);
    EXPECT_EQ(screen.lines.front(), "  1");
    EXPECT_EQ(screen.lines.back(), "  1000");
}

TEST_F(EventLogTest, ToggleEmptiesTheListWhileTheFileGoesOn) {
    EventLog log = MakeLog();
    log.LogEvent(true, true, "a");
    log.ToggleScreenLog();
    EXPECT_TRUE(screen.lines.empty());
    log.LogEvent(true, true, "b");
    EXPECT_TRUE(screen.lines.empty());
    log.ToggleScreenLog();
    log.LogEvent(true, true, "c");
    EXPECT_EQ(screen.lines, std::deque<std::string>{"[2013/05/01 14:03:07]c"});
    EXPECT_EQ(FileLines("20130501.log").size(), 3u);
}

TEST_F(EventLogTest, OverlongMessagesAreCut) {
    EventLog log = MakeLog();
    const std::string fits(1023, 'a');
    log.LogEvent(false, true, "%s", fits.c_str());
    log.LogEvent(true, true, "%s", std::string(2000, 'b').c_str());
    log.LogEvent(false, true, "%s!", fits.c_str());
    EXPECT_EQ(FileLines("20130501.log"),
              (Lines{"  " + fits, "[2013/05/01 14:03:07]" + std::string(1023, 'b'), "  " + fits}));
}

}  // namespace
}  // namespace corvane
