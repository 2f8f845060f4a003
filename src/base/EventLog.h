#pragma once

#include <cstddef>
#include <deque>
#include <functional>
#include <string>

namespace corvane {

struct LocalTime {
    int year = 1970, month = 1, day = 1, hour = 0, minute = 0, second = 0;
};
LocalTime SystemLocalTime();

// The on-screen list. The GUI's list box implements it; ScreenLog below is the
// same rules without a display.
class LogSink {
public:
    virtual ~LogSink() = default;
    // Adds the line at the end, drops the oldest beyond kMaxLines, shows the end.
    virtual void AppendToLogList(const std::string& line) = 0;
    virtual void ClearLogList() = 0;
};

class ScreenLog : public LogSink {
public:
    static constexpr std::size_t kMaxLines = 1000;
    void AppendToLogList(const std::string& line) override;
    void ClearLogList() override;
    std::deque<std::string> lines;
};

// Every line exchanged with the router and every connection event goes to the
// screen list and to a daily file "YYYYMMDD.log" in the log directory.
// Repeats of a message within its second are counted rather than written, and
// the count follows as "last message repeated N times" before the next line,
// so that a flood cannot fill the disk.
class EventLog {
public:
    using Clock = std::function<LocalTime()>;
    explicit EventLog(std::string directory = ".", Clock clock = SystemLocalTime);

    // printf-style; a message over 1023 bytes is cut.
    void LogEvent(bool withTimestamp, bool toFile, const char* format, ...)
#if defined(__GNUC__)
        __attribute__((format(printf, 4, 5)))
#endif
        ;

    void MakeTimestamp();
    void AppendToLogFile(const std::string& line);
    std::string DailyFileName() const;  // full path of today's file

    // Ctrl+D: flips the screen log; switching it off empties the list.
    void ToggleScreenLog();
    // Writes the count of folded repeats, if any.
    void FlushRepeats();

    bool screenLogEnabled = false;
    bool fileLogEnabled = true;  // the command-line client may turn the file off
    // Called once, the first time a line could not be written whole to the
    // daily file (a full disk, no permission): the line is lost either way,
    // but whoever runs the program should know.
    std::function<void(const std::string& path)> fileFailed;
    std::string timestampText;
    LogSink* screen = nullptr;
    std::string directory;
    Clock clock;

private:
    std::string StampNow() const;
    // The last message written, and how often it came again within its second.
    std::string lastMessage_;
    std::string lastSecond_;
    bool lastStamped_ = false;
    bool lastToFile_ = false;
    bool holding_ = false;
    int repeats_ = 0;
    bool failureReported_ = false;
};

}  // namespace corvane
