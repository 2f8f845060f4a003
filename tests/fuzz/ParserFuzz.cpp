#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>

#include "../support/ModelText.h"
#include "FuzzCheck.h"
#include "SimRouter.h"
#include "base/EventLog.h"
#include "protocol/Commands.h"
#include "protocol/ResponseParser.h"
#include "protocol/RouterSession.h"

namespace {

using namespace corvane;

bool Within(int value, int low, int high) {
    return value >= low && value <= high;
}

void CheckTables(const RouterState& s) {
    for (int n = 0; n < kChannelTableSize; ++n)
        FUZZ_CHECK(Within(s.routedInput[n], 0, kChannelCount) && Within(s.outputPlugged[n], 0, 1));
    for (int n = 0; n < kSlotTableSize; ++n)
        FUZZ_CHECK(Within(s.quadResolution[n], 0, kResolutionCount) &&
                   Within(s.quadLayout[n], 0, 7));
    FUZZ_CHECK(Within(s.generatorResolution, 0, kResolutionCount));
    FUZZ_CHECK(Within(s.generatorPattern, 0, kPatternCount));
    FUZZ_CHECK(Within(s.monitoringChannel, 0, kChannelCount));
    FUZZ_CHECK(Within(s.webLock, 0, 1) && Within(s.dataLock, 0, 1) && Within(s.keyLock, 0, 1));
}

// The input's bytes in turn, 0 once they run out.
struct Bytes {
    int Next(int modulo) { return at < size ? data[at++] % modulo : 0; }
    const std::uint8_t* data;
    std::size_t size;
    std::size_t at = 0;
};

// A router state drawn from the input, as the simulator would hold it.
sim::SimRouter DrawRouter(Bytes& in) {
    static const int kInputs[] = {0,         kSingleDviInput, kDualDviInput, kHdmiInput,
                                  kSdiInput, kFiber1Input,    kFiber2Input};
    static const int kOutputs[] = {0,          kSingleDviOutput, kDualDviOutput, kHdmiOutput,
                                   kSdiOutput, kFiber1Output,    kFiber2Output,  kQuadMultiViewer};
    static const char* const kSignals[] = {"Signal OFF", "1920x1080p@60Hz", "1280x720p@50Hz",
                                           "1600x1200@60Hz"};
    static const char* const kModes[] = {"DEF", "AUTO", "USER", "OUT"};
    static const int kBauds[] = {9600, 19200, 38400, 57600, 115200};
    sim::SimRouter r;
    for (int s = 1; s <= kSlotCount; ++s) {
        r.inputCard[s] = kInputs[in.Next(7)];
        r.outputCard[s] = kOutputs[in.Next(8)];
        if (r.outputCard[s] == kQuadMultiViewer) {
            r.quadResolution[s] = 1 + in.Next(kResolutionCount);
            r.quadLayout[s] = 1 + in.Next(7);
        }
    }
    for (int c = 1; c <= kChannelCount; ++c) {
        r.route[c] = in.Next(kChannelCount + 1);
        r.inputSignal[c] = kSignals[in.Next(4)];
        r.outputPlugged[c] = in.Next(2) == 1;
        r.edidMode[c] = kModes[in.Next(4)];
        r.edidCopyOutput[c] = 1 + in.Next(kChannelCount);
    }
    r.generatorResolution = 1 + in.Next(kResolutionCount);
    r.generatorPattern = 1 + in.Next(kPatternCount);
    r.monitoringChannel = in.Next(kChannelCount + 1);
    r.webLock = in.Next(2) == 1;
    r.dataLock = in.Next(2) == 1;
    r.keyLock = in.Next(2) == 1;
    r.baudRate = kBauds[in.Next(5)];
    r.ip = "10.0." + std::to_string(in.Next(256)) + "." + std::to_string(in.Next(256));
    r.port = std::to_string(1 + in.Next(251) * 255 + in.Next(255));
    return r;
}

// Bytes as the links deliver them: two reads split at cut, with a timer tick
// after each.
void FeedInTwoReads(RouterSession& session, const std::string& bytes, std::size_t cut) {
    session.connectionStatus = kConnecting;
    session.FeedResponseBytes(bytes.data(), static_cast<int>(cut));
    session.OnSendTimer();
    session.FeedResponseBytes(bytes.data() + cut, static_cast<int>(bytes.size() - cut));
    session.OnSendTimer();
}

// The model after a start-up poll of that router holds what the router does.
void CheckPollAgainstTheRouter(sim::SimRouter router, EventLog& log, std::size_t cut) {
    std::string stream;
    for (const char* query : StartupQueries)
        for (const std::string& answer : sim::HandleCommand(router, query))
            stream += answer;
    RouterSession session(log);
    FeedInTwoReads(session, stream, cut % (stream.size() + 1));

    FUZZ_CHECK(testing::ModelText(session.state) ==
               testing::ModelText(testing::PolledModel(router)));
    FUZZ_CHECK(session.connectionStatus == kConnected);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > 1 << 20)
        return 0;
    static EventLog log(".", [] { return LocalTime{}; });
    log.fileLogEnabled = false;

    Bytes in{data, size};
    CheckPollAgainstTheRouter(DrawRouter(in), log, size == 0 ? 0 : data[size - 1] * 37u);

    // The bytes themselves, split where their first one says.
    const std::string text(reinterpret_cast<const char*>(data), size);
    RouterSession session(log);
    FeedInTwoReads(session, text, size == 0 ? 0 : data[0] % (size + 1));

    CheckTables(session.state);
    FUZZ_CHECK(Within(session.framer.responseLength, 0, 255));
    const bool answered = std::find(data, data + size, '!') != data + size;
    FUZZ_CHECK(session.connectionStatus == (answered ? kConnected : kConnecting));
    // Whatever the model holds, it yields a well-formed full map.
    FUZZ_CHECK(BuildLinkCommand(session.state.routedInput).size() == 101);

    // The same bytes as one text, longer than any framed response can be.
    RouterState direct;
    ApplyResponse(direct, text.c_str());
    CheckTables(direct);
    return 0;
}
