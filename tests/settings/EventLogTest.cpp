#include "settings/EventLog.h"

#include <string>

#include "TempDir.h"

namespace corvane {
namespace {

using testing::NewLines;

class EventLogTest : public testing::TempDirTest {
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

TEST_F(EventLogTest, DailyFileNamedByTheClockTakesRunsOfOneDay) {
    now = {999, 2, 3, 4, 5, 6};
    MakeLog().LogEvent(true, true, "-->Data[%s]", "LINK=?!");
    now.hour = 23;
    EventLog second = MakeLog();
    second.LogEvent(true, true, "run %d", 2);
    EXPECT_EQ(second.DailyFileName(), PathOf("09990203.log"));
    now = {999, 2, 4, 0, 0, 1};
    second.LogEvent(true, true, "after midnight");
    EXPECT_EQ(Slurp(PathOf("09990203.log")),
              NewLines("[0999/02/03 04:05:06]-->Data[LINK=?!]\n[0999/02/03 23:05:06]run 2\n"));
    EXPECT_EQ(Slurp(PathOf("09990204.log")), NewLines("[0999/02/04 00:00:01]after midnight\n"));
}

TEST_F(EventLogTest, ListKeepsTheNewestThousandAndToggleEmptiesIt) {
    EventLog log = MakeLog();
    for (int i = 0; i < 1001; ++i)
        log.LogEvent(false, false, "%d", i);
    EXPECT_FALSE(std::filesystem::exists(log.DailyFileName()));  // screen only
    ASSERT_EQ(screen.lines.size(), ScreenLog::kMaxLines);
    EXPECT_EQ(screen.lines.front(), "  1");
    EXPECT_EQ(screen.lines.back(), "  1000");

    // Off empties the list while the file goes on.
    log.ToggleScreenLog();
    EXPECT_TRUE(screen.lines.empty());
    log.LogEvent(true, true, "b");
    EXPECT_TRUE(screen.lines.empty());
    log.ToggleScreenLog();
    log.LogEvent(true, true, "c");
    EXPECT_EQ(screen.lines, std::deque<std::string>{"[2013/05/01 14:03:07]c"});
    log.screen = nullptr;  // no list to show it: the file still gets it
    log.LogEvent(true, true, "d");
    log.fileLogEnabled = false;
    log.LogEvent(true, true, "e");
    EXPECT_EQ(Slurp(PathOf("20130501.log")),
              NewLines("[2013/05/01 14:03:07]b\n[2013/05/01 14:03:07]c\n[2013/05/01 14:03:07]d\n"));
}

TEST_F(EventLogTest, OverlongMessagesAreCut) {
    EventLog log = MakeLog();
    const std::string fits(1023, 'a');
    log.LogEvent(false, true, "%s", fits.c_str());
    log.LogEvent(true, true, "%s", std::string(2000, 'b').c_str());
    log.LogEvent(false, true, "%s!", fits.c_str());
    EXPECT_EQ(Slurp(PathOf("20130501.log")),
              NewLines("  " + fits + "\n[2013/05/01 14:03:07]" + std::string(1023, 'b') + "\n  " +
                       fits + "\n"));
}

}  // namespace
}  // namespace corvane
