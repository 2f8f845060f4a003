#include "base/EventLog.h"

#include <cstdarg>
#include <cstdio>
#include <ctime>
#include <utility>

#include "base/TextFormat.h"

namespace corvane {

namespace {

constexpr std::size_t kMessageBufferSize = 1024;

}  // namespace

LocalTime SystemLocalTime() {
    std::time_t now = std::time(nullptr);
    std::tm parts{};
#if defined(_WIN32)
    localtime_s(&parts, &now);
#else
    localtime_r(&now, &parts);
#endif
    LocalTime t;
    t.year = parts.tm_year + 1900;
    t.month = parts.tm_mon + 1;
    t.day = parts.tm_mday;
    t.hour = parts.tm_hour;
    t.minute = parts.tm_min;
    t.second = parts.tm_sec;
    return t;
}

void ScreenLog::AppendToLogList(const std::string& line) {
    lines.push_back(line);
    if (lines.size() > kMaxLines) {
        lines.pop_front();
    }
}

void ScreenLog::ClearLogList() {
    lines.clear();
}

EventLog::EventLog(std::string directory, Clock clock)
    : directory(std::move(directory)), clock(std::move(clock)) {}

void EventLog::LogEvent(bool withTimestamp, bool toFile, const char* format, ...) {
    char message[kMessageBufferSize];
    message[0] = '\0';
    if (format != nullptr) {
        va_list args;
        va_start(args, format);
        // vsnprintf cuts an over-long message instead of running past the buffer.
        int n = std::vsnprintf(message, sizeof message, format, args);
        va_end(args);
        if (n < 0) {
            message[0] = '\0';
        }
    }

    const std::string stamp = StampNow();
    if (holding_ && message == lastMessage_ && stamp == lastSecond_ &&
        withTimestamp == lastStamped_ && toFile == lastToFile_) {
        ++repeats_;
        return;
    }
    FlushRepeats();
    holding_ = true;
    lastMessage_ = message;
    lastSecond_ = stamp;
    lastStamped_ = withTimestamp;
    lastToFile_ = toFile;

    std::string line;
    if (withTimestamp) {
        timestampText = stamp;
        line = "[" + timestampText + "]" + message;
    } else {
        line = std::string("  ") + message;
    }

    if (screenLogEnabled && screen != nullptr) {
        screen->AppendToLogList(line);
    }
    if (toFile && fileLogEnabled) {
        AppendToLogFile(line);
    }
}

void EventLog::FlushRepeats() {
    if (repeats_ == 0) {
        return;
    }
    const std::string message = Format("last message repeated %d times", repeats_);
    repeats_ = 0;
    const std::string line = lastStamped_ ? "[" + lastSecond_ + "]" + message : "  " + message;
    if (screenLogEnabled && screen != nullptr) {
        screen->AppendToLogList(line);
    }
    if (lastToFile_ && fileLogEnabled) {
        AppendToLogFile(line);
    }
}

std::string EventLog::StampNow() const {
    LocalTime t = clock ? clock() : SystemLocalTime();
    return Format("%04d/%02d/%02d %02d:%02d:%02d", t.year, t.month, t.day, t.hour, t.minute,
                  t.second);
}

void EventLog::MakeTimestamp() {
    timestampText = StampNow();
}

std::string EventLog::DailyFileName() const {
    // The date is read afresh: a run that passes midnight starts the next day's file.
    LocalTime t = clock ? clock() : SystemLocalTime();
    std::string name = Format("%04d%02d%02d", t.year, t.month, t.day) + ".log";
    if (directory.empty()) {
        return name;
    }
    char last = directory.back();
    if (last == '/' || last == '\\') {
        return directory + name;
    }
    return directory + "/" + name;
}

void EventLog::AppendToLogFile(const std::string& line) {
    // Opened and closed for every line so that each line is on disk when we return.
    const std::string path = DailyFileName();
    std::FILE* file = std::fopen(path.c_str(), "a");
    bool written = file != nullptr;
    if (file != nullptr) {
        written = std::fwrite(line.data(), 1, line.size(), file) == line.size();
        written = std::fputc('\n', file) != EOF && written;
        // A full disk shows only when the buffer is flushed.
        written = std::fclose(file) == 0 && written;
    }
    if (!written && !failureReported_ && fileFailed) {
        failureReported_ = true;
        fileFailed(path);
    }
}

void EventLog::ToggleScreenLog() {
    screenLogEnabled = !screenLogEnabled;
    if (!screenLogEnabled && screen != nullptr) {
        screen->ClearLogList();
    }
}

}  // namespace corvane
