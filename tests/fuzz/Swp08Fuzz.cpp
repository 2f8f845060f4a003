#include <cstddef>
#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "../support/SessionSupport.h"
#include "FuzzCheck.h"
#include "bridge/Swp08Server.h"
#include "settings/EventLog.h"

namespace {

using namespace corvane;

struct Messages {
    std::vector<std::string> good;  // their data
    int bad = 0;
    int acks = 0, naks = 0;  // outside messages
};

// The messages in a stream, found the simple way: a message starts at any
// DLE STX; inside, DLE DLE is one DLE, DLE ETX ends it, DLE STX starts it
// again, any other DLE pair makes it noise.
Messages Scan(const std::string& s) {
    Messages found;
    std::size_t at = 0;
    while (true) {
        const std::size_t start = s.find("\x10\x02", at);
        for (std::size_t i = at; i + 1 < (start == std::string::npos ? s.size() : start); ++i) {
            if (s[i] == 0x10 && (s[i + 1] == 0x06 || s[i + 1] == 0x15)) {
                ++(s[i + 1] == 0x06 ? found.acks : found.naks);
                ++i;
            }
        }
        if (start == std::string::npos)
            return found;
        std::string body;
        std::size_t i = start + 2;
        for (; i + 1 < s.size(); ++i) {
            if (s[i] != 0x10) {
                body.push_back(s[i]);
            } else if (s[i + 1] == 0x10) {
                body.push_back(s[++i]);
            } else {
                break;
            }
        }
        if (i + 1 >= s.size())
            return found;  // unfinished
        at = i + 2;
        if (s[i + 1] == 0x02) {
            at = i;  // starts afresh
        } else if (s[i + 1] == 0x03) {
            unsigned sum = 0;
            for (char c : body)
                sum += static_cast<unsigned char>(c);
            const bool ok = body.size() >= 3 && body.size() <= 257 && sum % 256 == 0 &&
                            static_cast<unsigned char>(body[body.size() - 2]) == body.size() - 2;
            if (ok)
                found.good.push_back(body.substr(0, body.size() - 2));
            else
                ++found.bad;
        }
    }
}

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
        const int command = Byte(m, 0), length = Byte(m, 2);
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
        else if (command == 0x64 && Byte(m, 1) == 0 && per > 0)
            e.answers[0x6A] += (17 + per - 1) / per;
        else if (command == 0x66 && Byte(m, 1) >> 4 == 0 && per > 0)
            e.answers[0x6B] += (16 + per - 1) / per;
        else if (command == 0x65 && Byte(m, 1) == 0 && per > 0 && m.size() >= 5 && number < 17)
            ++e.answers[0x6A];
        else if (command == 0x67 && Byte(m, 1) >> 4 == 0 && per > 0 && m.size() >= 5 &&
                 number < 16)
            ++e.answers[0x6B];
        else if (command == 0x02 && m.size() >= 5 && Destination(m) >= 0)
            e.connects.insert(Destination(m));
        else if ((command == 0x0C || command == 0x0E) && m.size() >= 5 && Destination(m) >= 0)
            e.protects.insert(Destination(m));
    }
    return e;
}

void Check(const std::string& sent, const std::string& out) {
    const Messages in = Scan(sent), answers = Scan(out);
    // Every message is acknowledged, well-formed or not, and all we send is well-formed.
    FUZZ_CHECK(answers.acks == int(in.good.size()) && answers.naks == in.bad && answers.bad == 0);
    const Expected expected = Expect(in.good);
    std::map<int, int> got;
    std::set<int> routed, protectedTold;
    for (const std::string& m : answers.good) {
        FUZZ_CHECK(m.size() <= Swp08Server::kMaxData);
        ++got[Byte(m, 0)];
        if (Byte(m, 0) == 0x03 || Byte(m, 0) == 0x04)
            routed.insert(Destination(m));
        if (Byte(m, 0) >= 0x0B && Byte(m, 0) <= 0x0F && m.size() >= 5)
            protectedTold.insert(Byte(m, 4));
    }
    for (const auto& [command, count] : expected.answers)  // tallies also refuse connects
        FUZZ_CHECK(command == 0x03 || command == 0x0B ? got[command] >= count
                                                      : got[command] == count);
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
    session.refresh = [&server] { server.Sync(); };

    // The first byte picks where the bytes are cut between two reads of one
    // client; the other gets them in one piece.
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    const int a = server.AddClient("a"), b = server.AddClient("b");
    const std::size_t split = size == 0 ? 0 : data[0] % (size + 1);
    server.Feed(a, bytes.data(), split);
    server.Feed(a, bytes.data() + split, size - split);
    server.Feed(b, bytes.data(), size);
    // Connects wait in one LINK command; the router takes all of it.
    FUZZ_CHECK(session.commandQueue.size() <= 1);
    if (!session.commandQueue.empty())
        session.ParseResponse(session.commandQueue.front().c_str());
    Check(bytes, server.Find(a)->out);
    Check(bytes, server.Find(b)->out);
    server.RemoveClient(a);
    server.RemoveClient(b);
    for (int o = 1; o <= kChannelCount; ++o)
        FUZZ_CHECK(session.routing.lockOwner[o] == 0);
    return 0;
}
