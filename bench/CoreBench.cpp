// The core's hot paths: turning received bytes into model updates, and one
// send tick with a full queue.

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "BenchRatio.h"
#include "SimRouter.h"
#include "base/EventLog.h"
#include "protocol/Commands.h"
#include "protocol/RouterSession.h"
#include "settings/AppConfig.h"

namespace corvane::bench {
namespace {

class NullSink : public LogSink {
public:
    void AppendToLogList(const std::string& line) override { benchmark::DoNotOptimize(line); }
    void ClearLogList() override {}
};

class NullLink : public ByteSink {
public:
    int Write(const void* bytes, std::size_t length) override {
        benchmark::DoNotOptimize(bytes);
        return static_cast<int>(length);
    }
};

// A full LINK command routing one input to every output.
std::string AllOutputsTo(int input) {
    int map[kChannelTableSize];
    std::fill(std::begin(map), std::end(map), input);
    return BuildLinkCommand(map);
}

// What the router sends during a start-up poll, repeated to about 64 KB: the
// realistic mix of short status answers and long list answers.
const std::string& AnswerStream() {
    static const std::string stream = [] {
        sim::SimRouter router = sim::DefaultRouter();
        std::string once;
        for (const char* query : StartupQueries) {
            for (const std::string& answer : sim::HandleCommand(router, query))
                once += answer;
        }
        std::string all;
        while (all.size() < 64 * 1024)
            all += once;
        return all;
    }();
    return stream;
}

// Datagram-sized pieces, as the UDP path delivers them.
constexpr std::size_t kChunk = 256;

void FramingAndParsing(benchmark::State& state) {
    const std::string& stream = AnswerStream();
    NullSink sink;
    EventLog log(".");
    log.screen = &sink;
    log.screenLogEnabled = true;
    log.fileLogEnabled = false;
    RouterSession session(log);
    session.connectionStatus = kConnected;
    for (auto _ : state) {
        for (std::size_t at = 0; at < stream.size(); at += kChunk) {
            const std::size_t n = std::min(kChunk, stream.size() - at);
            session.FeedResponseBytes(stream.data() + at, static_cast<int>(n));
        }
        benchmark::DoNotOptimize(session.state);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * stream.size()));
}
BENCHMARK(FramingAndParsing);

// The least any framer must do: look at every byte for the terminator.
void MemchrScan(benchmark::State& state) {
    const std::string& stream = AnswerStream();
    for (auto _ : state) {
        std::size_t found = 0;
        const char* p = stream.data();
        const char* end = p + stream.size();
        while ((p = static_cast<const char*>(std::memchr(p, '!', end - p))) != nullptr) {
            ++found;
            ++p;
        }
        benchmark::DoNotOptimize(found);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * stream.size()));
}
BENCHMARK(MemchrScan);

constexpr int kQueueDepth = 1000;

// One tick that sends: the head leaves, is logged, and (to keep the queue
// full) a command goes back on the tail.
void SendTick(benchmark::State& state, bool logToFile) {
    const std::string directory =
        (std::filesystem::temp_directory_path() / "corvane-bench-log").string();
    std::filesystem::create_directories(directory);
    NullSink sink;
    EventLog log(directory);
    log.screen = &sink;
    log.screenLogEnabled = true;
    log.fileLogEnabled = logToFile;
    NullLink link;
    RouterSession session(log);
    session.refreshEnabled = false;
    session.OnLinkOpened(&link);
    session.SkipStartupPoll();
    session.ParseResponse("MON=03!");
    // Two commands in turn: the log folds a repeat of the same line.
    const std::string commands[2] = {AllOutputsTo(3), AllOutputsTo(4)};
    for (int i = 0; i < kQueueDepth; ++i)
        session.EnqueueCommand(commands[i % 2]);
    int next = 0;
    int sends = 0;
    for (auto _ : state) {
        session.sendCountdown = 0;
        session.OnSendTimer();
        session.EnqueueCommand(commands[next ^= 1]);
        // An answer now and then, or the session would take the router for
        // silent and stop sending; a fortieth of a parse is in the figure.
        if (++sends % 40 == 0)
            session.ParseResponse("MON=03!");
    }
    std::filesystem::remove_all(directory);
}
BENCHMARK_CAPTURE(SendTick, null_log, false);
BENCHMARK_CAPTURE(SendTick, file_log, true);

// The same queue step without pacing and logging: copy out the head, write
// it, put a command back.
void BareQueueStep(benchmark::State& state) {
    NullLink link;
    CommandQueue queue;
    const std::string command = AllOutputsTo(3);
    for (int i = 0; i < kQueueDepth; ++i)
        queue.push_back(command);
    char buffer[kMaxCommandLength + 1];
    for (auto _ : state) {
        const std::string& head = queue.front();
        std::memcpy(buffer, head.data(), head.size());
        buffer[head.size()] = '\0';
        link.Write(buffer, head.size());
        queue.pop_front();
        queue.push_back(command);
    }
}
BENCHMARK(BareQueueStep);

// A 15 MB config.ini (the keys behind a long hand-kept section): one load,
// against reading the same bytes once.
const std::string& LargeConfig() {
    static const std::string path = [] {
        const std::string file =
            (std::filesystem::temp_directory_path() / "corvane-bench-large.ini").string();
        std::ofstream out(file, std::ios::binary);
        out << "[NOTES]\n";
        for (int i = 0; out.tellp() < 15 << 20; ++i)
            out << "note" << i << "=" << std::string(60, 'n') << "\n";
        out << "[CHANNELNAME]\nInputChannel16=Camera\n[SETCOMMCONFIG]\nCommType=RS232\n";
        return file;
    }();
    return path;
}

void LoadLargeConfig(benchmark::State& state) {
    for (auto _ : state) {
        AppConfig config;
        RouterState model;
        LoadConfig(config, model, LargeConfig());
        benchmark::DoNotOptimize(config);
    }
}
BENCHMARK(LoadLargeConfig)->Unit(benchmark::kMillisecond);

void ReadLargeConfig(benchmark::State& state) {
    for (auto _ : state) {
        std::ifstream in(LargeConfig(), std::ios::binary);
        std::string text{std::istreambuf_iterator<char>(in), {}};
        benchmark::DoNotOptimize(text);
    }
}
BENCHMARK(ReadLargeConfig)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace corvane::bench

int main(int argc, char** argv) {
    using corvane::bench::Ratio;
    return corvane::bench::RunWithRatios(
        argc, argv,
        {Ratio{"FramingAndParsing", "MemchrScan"}, Ratio{"SendTick/null_log", "BareQueueStep"},
         Ratio{"SendTick/file_log", "BareQueueStep"}, Ratio{"LoadLargeConfig", "ReadLargeConfig"}});
}
