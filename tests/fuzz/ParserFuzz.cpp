#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>

#include "FuzzCheck.h"
#include "protocol/Commands.h"
#include "protocol/ResponseParser.h"
#include "protocol/RouterSession.h"
#include "settings/EventLog.h"

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

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > 1 << 20)
        return 0;
    static EventLog log(".", [] { return LocalTime{}; });
    log.fileLogEnabled = false;

    // The bytes arrive in two reads split where the input says, with a timer
    // tick in between, the way the links deliver them.
    RouterSession session(log);
    session.connectionStatus = kConnecting;
    const std::size_t split = size == 0 ? 0 : data[0] % (size + 1);
    session.FeedResponseBytes(data, static_cast<int>(split));
    session.OnSendTimer();
    session.FeedResponseBytes(data + split, static_cast<int>(size - split));
    session.OnSendTimer();

    CheckTables(session.state);
    FUZZ_CHECK(Within(session.framer.responseLength, 0, 255));
    const bool answered = std::find(data, data + size, '!') != data + size;
    FUZZ_CHECK(session.connectionStatus == (answered ? kConnected : kConnecting));
    // Whatever the model holds, a click yields a well-formed full map.
    FUZZ_CHECK(LinkOutputCommand(session.state, size % 17, 1 + size % 16).size() == 101);

    // The same bytes as one text, longer than any framed response can be.
    const std::string text(reinterpret_cast<const char*>(data), size);
    RouterState direct;
    ApplyResponse(direct, text.c_str());
    CheckTables(direct);
    return 0;
}
