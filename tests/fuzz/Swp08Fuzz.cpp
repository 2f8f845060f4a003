#include <cstddef>
#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "../support/SessionSupport.h"
#include "../support/Swp08Wire.h"
#include "BridgeFuzz.h"
#include "FuzzCheck.h"
#include "base/EventLog.h"
#include "bridge/Swp08Server.h"

namespace {

using namespace corvane;

int Byte(const std::string& m, std::size_t i) {
    return i < m.size() ? static_cast<unsigned char>(m[i]) : -1;
}

// The destination a crosspoint or protect message names, -1 if not ours.
int Destination(const std::string& m) {
    if (m.size() < 4 || m[1] != 0)
        return -1;
    const int d = (Byte(m, 2) >> 4 & 7) * 128 + Byte(m, 3);
    return d < kChannelCount ? d : -1;
}

struct Expected {
    std::map<int, int> answers;  // answer command -> how many
    std::set<int> connects, protects;
};

Expected Expect(const std::vector<std::string>& requests) {
    Expected e;
    for (const std::string& m : requests) {
        const int command = Byte(m, 0);
        // All names asked with the length code alone mean matrix 0.
        const bool bare = m.size() == 2 && (command == 0x64 || command == 0x66);
        const int length = Byte(m, bare ? 1 : 2);
        const int per = length >= 0 && length < 3 ? 122 / (4 * (length + 1)) : 0;
        const int number = Byte(m, 3) * 256 + Byte(m, 4);
        if (command == 0x01 && Destination(m) >= 0)
            ++e.answers[0x03];
        else if (command == 0x0A && Destination(m) >= 0)
            ++e.answers[0x0B];
        else if (command == 0x08 || command == 0x61)
            ++e.answers[command + 1];
        else if (command == 0x15 && Byte(m, 1) == 0)
            ++e.answers[0x16];
        else if (command == 0x64 && (bare || Byte(m, 1) == 0) && per > 0)
            e.answers[0x6A] += (17 + per - 1) / per;
        else if (command == 0x66 && (bare || Byte(m, 1) >> 4 == 0) && per > 0)
            e.answers[0x6B] += (16 + per - 1) / per;
        else if (command == 0x65 && Byte(m, 1) == 0 && per > 0 && m.size() >= 5 && number < 17)
            ++e.answers[0x6A];
        else if (command == 0x67 && Byte(m, 1) >> 4 == 0 && per > 0 && m.size() >= 5 && number < 16)
            ++e.answers[0x6B];
        else if (command == 0x02 && m.size() >= 5 && Destination(m) >= 0)
            e.connects.insert(Destination(m));
        else if ((command == 0x0C || command == 0x0E) && m.size() >= 5 && Destination(m) >= 0)
            e.protects.insert(Destination(m));
    }
    return e;
}

void Check(const std::string& sent, const std::string& out) {
    std::vector<std::string> requests;
    int bad = 0;
    for (const std::string& item : Swp08Items(sent)) {
        if (item == "bad")
            ++bad;
        else if (item != "ACK" && item != "NAK")
            requests.push_back(Hex(item));
    }
    // Every message is acknowledged or refused, and all we send is well-formed.
    std::map<std::string, int> got;
    std::set<int> routed, protectedTold;
    for (const std::string& item : Swp08Items(out)) {
        const bool message = item != "ACK" && item != "NAK" && item != "bad";
        ++got[message ? item.substr(0, 2) : item];
        const std::string m = message ? Hex(item) : "";
        FUZZ_CHECK(item != "bad" && m.size() <= Swp08Server::kMaxData);
        if (Byte(m, 0) == 0x03 || Byte(m, 0) == 0x04)
            routed.insert(Destination(m));
        if (Byte(m, 0) >= 0x0B && Byte(m, 0) <= 0x0F && m.size() >= 5)
            protectedTold.insert(Byte(m, 4));
    }
    FUZZ_CHECK(got["ACK"] == int(requests.size()) && got["NAK"] == bad);
    const Expected expected = Expect(requests);
    for (const auto& [command, count] : expected.answers) {  // tallies also refuse connects
        const int n = got[ToHex(std::string(1, char(command)))];
        FUZZ_CHECK(command == 0x03 || command == 0x0B ? n >= count : n == count);
    }
    for (int d : expected.connects)
        FUZZ_CHECK(routed.count(d) == 1);
    for (int d : expected.protects)
        FUZZ_CHECK(protectedTold.count(d) == 1);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > 4096)  // more would outgrow what a client may have waiting
        return 0;
    static EventLog log(".", [] { return LocalTime{}; });
    log.fileLogEnabled = false;

    RouterSession session(log);
    int map[kChannelTableSize] = {};
    for (int o = 1; o <= kChannelCount; ++o)
        map[o] = o % 3 == 0 ? 0 : o;
    ConnectPolled(session, nullptr, map);
    AppConfig config;
    Swp08Server server(session, config);

    const auto [a, b] = FeedTwoClients(server, data, size);
    // Connects wait in one LINK command; the router takes all of it.
    FUZZ_CHECK(session.commandQueue.size() <= 1);
    if (!session.commandQueue.empty())
        session.ParseResponse(session.commandQueue.front().c_str());
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    Check(bytes, server.Find(a)->out);
    Check(bytes, server.Find(b)->out);
    RemoveTwoClients(server, {a, b});
    return 0;
}
