#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "../support/SessionSupport.h"
#include "../support/Swp08Wire.h"
#include "base/EventLog.h"
#include "bridge/BridgeText.h"
#include "bridge/Swp08Server.h"
#include "bridge/VideohubServer.h"

namespace corvane {
namespace {

TEST(Swp08Frame, CountChecksumAndStuffingOnTheWire) {
    // By hand: a DLE in the data, as the count (16 bytes of data) and as the
    // checksum goes twice.
    const std::string zeros = "00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00";
    const std::pair<std::string, std::string> frames[] = {
        {"01 00 00 05", "10 02 01 00 00 05 04 F6 10 03"},
        {"02 00 00 03 10", "10 02 02 00 00 03 10 10 05 E6 10 03"},
        {"03 00 00 0F D9", "10 02 03 00 00 0F D9 05 10 10 10 03"},
        {zeros, "10 02 " + zeros + " 10 10 F0 10 03"},
        // As Companion's module sends its first requests.
        {"61", "10 02 61 01 9E 10 03"},
        {"64 00 01", "10 02 64 00 01 03 98 10 03"}};
    for (const auto& [data, wire] : frames)
        EXPECT_EQ(ToHex(Swp08Frame(Hex(data))), wire);
}

TEST(Swp08Frame, NamesTooLongKeepTheirNumber) {
    const std::tuple<std::string, std::size_t, std::string> names[] = {
        {"Cam 1", 8, "Cam 1   "},
        {"InputChannel01", 8, "InputC01"},
        {"InputChannel16", 12, "InputChann16"},
        {"OutputChannel07", 4, "Ou07"},
        {"No Link", 4, "No L"},
        {"Camera 2 left", 8, "Camera 2"},
        {"Studio 12345", 4, "Stud"},
        {"", 4, "    "}};
    for (const auto& [name, length, shown] : names)
        EXPECT_EQ(Swp08Name(name, length), shown) << name;
}

// A server over a connected session whose routes the router has shown
// (output n fed by input n, output 16 by none), two clients, names of the test's.
class Swp08ServerTest : public ::testing::Test {
protected:
    Swp08ServerTest() {
        log.fileLogEnabled = false;
        for (int n = 1; n <= kChannelCount; ++n) {
            config.inputNames[n] = "Cam " + std::to_string(n);
            config.outputNames[n] = "Monitor " + std::to_string(n);
            map[n] = n < kChannelCount ? kChannelCount + 1 - n : 0;
        }
        config.inputNames[3] = "Studio Camera 3";
        ConnectPolled(session, nullptr, map);
        server.clock = [this] { return now; };
        a = server.AddClient("127.0.0.1:1");
        b = server.AddClient("127.0.0.1:2");
    }

    std::vector<std::string> Take(int id) {
        return Swp08Items(std::exchange(server.Find(id)->out, ""));
    }
    // One client sends these messages; what each of the two is sent.
    void Expect(int from, const std::vector<std::string>& sent,
                const std::vector<std::string>& toFrom, const std::vector<std::string>& toOther) {
        std::string bytes;
        for (const std::string& data : sent)
            bytes += Swp08Frame(Hex(data));
        server.Feed(from, bytes.data(), bytes.size());
        EXPECT_EQ(Take(from), toFrom) << bytes.size();
        EXPECT_EQ(Take(from == a ? b : a), toOther) << bytes.size();
    }
    // The router answers the queued LINK command with exactly that map.
    void RouterAnswers() {
        ASSERT_EQ(session.commandQueue.size(), 1u);
        session.ParseResponse(session.commandQueue.at(0).c_str());
        session.commandQueue.clear();
    }

    EventLog log{".", [] { return LocalTime{}; }};
    RouterSession session{log};
    AppConfig config;
    Swp08Server server{session, config};
    int map[kChannelTableSize] = {};
    Swp08Server::Clock::time_point now;
    int a = 0, b = 0;
};

TEST_F(Swp08ServerTest, EveryMessageIsAckedAndAnswered) {
    // Names padded to the length asked for, as many to a message as fit in
    // 128 bytes; 17 sources, the park source last.
    auto names = [this](bool sources, int first, int count, std::size_t length) {
        std::string text;
        for (int n = first + 1; n <= first + count; ++n) {
            std::string name = !sources           ? config.outputNames[n]
                               : n == kParkSource ? std::string(kParkSourceName)
                                                  : config.inputNames[n];
            text += " " + ToHex(Swp08Name(name, length));
        }
        return text;
    };
    const std::string list =
        "62 00 00 03 04 09 0B 0D 0F 16 62 6A 6B 01 02 08 0A 0C 0E 15 61 64 65 66 67";
    const std::pair<std::string, std::vector<std::string>> cases[] = {
        {"01 00 00 00", {"ACK", "03 00 00 00 0F"}},
        {"01 00 00 0F", {"ACK", "03 00 00 0F 10"}},  // no input: the park source
        {"15 00", {"ACK", "16 00 10 00 0F 0E 0D 0C 0B 0A 09 08 07 06 05 04 03 02 01 10"}},
        {"08", {"ACK", "09 00 00"}},
        {"61", {"ACK", list}},
        {"0A 00 00 04 07", {"ACK", "0B 00 00 00 04 00"}},
        {"64 00 00", {"ACK", "6A 00 00 00 00 11" + names(true, 0, 17, 4)}},
        {"64 00 01",
         {"ACK", "6A 00 01 00 00 0F" + names(true, 0, 15, 8),
          "6A 00 01 00 0F 02" + names(true, 15, 2, 8)}},
        {"64 00 02",
         {"ACK", "6A 00 02 00 00 0A" + names(true, 0, 10, 12),
          "6A 00 02 00 0A 07" + names(true, 10, 7, 12)}},
        {"66 00 01",
         {"ACK", "6B 00 01 00 00 0F" + names(false, 0, 15, 8),
          "6B 00 01 00 0F 01" + names(false, 15, 1, 8)}},
        {"65 00 01 00 10", {"ACK", "6A 00 01 00 10 01 " + ToHex("No Link ")}},
        {"65 00 00 00 02", {"ACK", "6A 00 00 00 02 01 " + ToHex("Stu3")}},
        {"67 00 02 00 0B", {"ACK", "6B 00 02 00 0B 01 " + ToHex("Monitor 12  ")}},
        // The length code alone, as older clients ask: matrix 0.
        {"64 01",
         {"ACK", "6A 00 01 00 00 0F" + names(true, 0, 15, 8),
          "6A 00 01 00 0F 02" + names(true, 15, 2, 8)}},
        {"66 02",
         {"ACK", "6B 00 02 00 00 0A" + names(false, 0, 10, 12),
          "6B 00 02 00 0A 06" + names(false, 10, 6, 12)}},
        // Another matrix or level, a destination or source we do not have, a
        // length code we do not know, a command we do not serve: ACK only.
        {"01 10 00 00", {"ACK"}},
        {"01 01 00 00", {"ACK"}},
        {"01 00 00 10", {"ACK"}},
        {"01 00 10 00", {"ACK"}},
        {"15 01", {"ACK"}},
        {"64 10 00", {"ACK"}},
        {"65 00 01 00 11", {"ACK"}},
        {"66 00 03", {"ACK"}},
        {"0C 02 00 00 01", {"ACK"}},
        {"7F 01 02", {"ACK"}},
        {"01", {"ACK"}}};
    for (const auto& [request, answer] : cases)
        Expect(a, {request}, answer, {});
    EXPECT_TRUE(session.commandQueue.empty());
}

TEST_F(Swp08ServerTest, ConnectsGoThroughTheIntendedMapAndEveryClientSeesTheRouter) {
    // A salvo of 16 connects in one read: 16 ACKs, one LINK command, and
    // nothing more until the router answers; then CONNECTED to both clients.
    std::vector<std::string> salvo, acks, connected;
    for (int d = 0; d < kChannelCount; ++d) {
        const std::string tail = ToHex(std::string{char(d), char(d)});
        salvo.push_back("02 00 00 " + tail);
        acks.push_back("ACK");
        connected.push_back("04 00 00 " + tail);
    }
    Expect(a, salvo, acks, {});
    RouterAnswers();
    EXPECT_EQ(Take(a), connected);
    EXPECT_EQ(Take(b), connected);
    // The park source takes an output off air; a connect that changes nothing
    // still gets its CONNECTED, to the one who asked, once the router answered.
    Expect(a, {"02 00 00 00 10", "02 00 00 01 01"}, {"ACK", "ACK"}, {});
    RouterAnswers();
    EXPECT_EQ(session.state.routedInput[1], 0);
    EXPECT_EQ(Take(a), (std::vector<std::string>{"04 00 00 00 10", "04 00 00 01 01"}));
    EXPECT_EQ(Take(b), (std::vector<std::string>{"04 00 00 00 10"}));
    // A change made elsewhere, once the router's answer shows it, reaches all.
    int front[kChannelTableSize] = {};
    std::copy(std::begin(session.state.routedInput), std::end(session.state.routedInput), front);
    front[5] = 9;
    session.ParseResponse(BuildLinkCommand(front).c_str());
    Expect(a, {}, {"04 00 00 04 08"}, {"04 00 00 04 08"});
    // A connect the router cannot confirm or a protected output refuses is
    // answered with what stays, and nothing goes out.
    session.SetProtected(7, true);
    server.Sync();
    Take(a), Take(b);
    Expect(b, {"02 00 00 06 00"}, {"ACK", "03 00 00 06 06"}, {});
    session.answering = false;
    Expect(b, {"02 00 00 02 00"}, {"ACK", "03 00 00 02 02"}, {});
    EXPECT_TRUE(session.commandQueue.empty());
}

TEST_F(Swp08ServerTest, ProtectIsACLientLockAndTheWindowsProtectHoldsAgainstAll) {
    const std::vector<std::string> protectedByA = {"0D 00 01 00 00 05"},
                                   released = {"0F 00 00 00 00 00"};
    Expect(a, {"0C 00 00 00 05"}, {"ACK", protectedByA[0]}, protectedByA);
    Expect(b, {"0A 00 00 00 09"}, {"ACK", "0B 00 01 00 00 05"}, {});
    Expect(b, {"02 00 00 00 03"}, {"ACK", "03 00 00 00 0F"}, {});   // locked against b
    Expect(a, {"0C 00 00 00 05"}, {"ACK", protectedByA[0]}, {});    // again: its own
    Expect(b, {"0E 00 00 00 09"}, {"ACK", released[0]}, released);  // b forces it open
    Expect(b, {"0E 00 00 00 09"}, {"ACK", released[0]}, {});        // free already
    // The window's protect: override-protected to every client, lifted by none.
    session.SetProtected(2, true);
    server.Sync();
    EXPECT_EQ(Take(a), (std::vector<std::string>{"0D 00 02 00 01 00"}));
    Take(b);
    Expect(a, {"0E 00 00 01 05", "0C 00 00 01 05"},
           {"ACK", "0B 00 02 00 01 00", "ACK", "0B 00 02 00 01 00"}, {});
    // A client's protect ends with it, and a Videohub client on the same
    // session never shares its number.
    Expect(a, {"0C 00 00 02 05"}, {"ACK", "0D 00 01 00 02 05"}, {"0D 00 01 00 02 05"});
    VideohubServer videohub{session, config};
    const int panel = videohub.AddClient("127.0.0.1:3");
    EXPECT_GT(panel, b);
    videohub.RemoveClient(panel);
    EXPECT_EQ(session.routing.lockOwner[3], a);
    server.RemoveClient(a);
    EXPECT_EQ(Take(b), (std::vector<std::string>{"0F 00 00 00 02 00"}));
}

TEST_F(Swp08ServerTest, WhenAllPlacesAreTakenOnlyAWellFormedMessageKeepsOne) {
    while (server.clients.size() < Swp08Server::kMaxClients)
        server.AddClient("127.0.0.1:3");
    now += Swp08Server::kIdleGrace;
    Expect(a, {"08"}, {"ACK", "09 00 00"}, {});
    const std::string noise = Hex("10 06 41 10 02 08 01 F8 10 03");  // a checksum off
    server.Feed(b, noise.data(), noise.size());
    EXPECT_EQ(Take(b), (std::vector<std::string>{"NAK"}));
    EXPECT_NE(server.AddClient("127.0.0.1:4"), 0);
    EXPECT_TRUE(server.Find(b)->drop && !server.Find(a)->drop);
}

}  // namespace
}  // namespace corvane
