#include <chrono>
#include <optional>
#include <vector>

#include <gtest/gtest.h>

#include "../support/SessionSupport.h"
#include "../support/TempDir.h"
#include "bridge/VideohubServer.h"

namespace corvane {
namespace {

// A server over a connected session whose routes the router has shown (output
// n fed by input n, output 16 by none), two clients, and a clock of the test's.
class VideohubServerTest : public ::testing::Test, public SessionRig {
protected:
    VideohubServerTest() {
        LoadConfig(config, session.state, configFile);  // none there: the names are the keys
        int map[kChannelTableSize] = {};
        for (int n = 1; n <= kChannelCount; ++n)
            map[n] = n % kChannelCount;
        ConnectPolled(session, nullptr, map);
        server.configPath = configFile;
        server.clock = [this] { return now; };
        a = Join();
        b = Join();
    }

    int Join() {  // a client whose dump has been read
        const int id = server.AddClient("127.0.0.1:1");
        Take(id);
        return id;
    }
    std::string Take(int id) { return std::exchange(server.Find(id)->out, ""); }
    std::string Feed(int id, const std::string& bytes) {
        server.Feed(id, bytes.data(), bytes.size());
        return Take(id);
    }
    // One client sends, and what each of the two is told.
    void Expect(int from, std::string bytes, std::string toA, std::string toB) {
        server.Feed(from, bytes.data(), bytes.size());
        EXPECT_EQ(Take(a), toA) << bytes;
        EXPECT_EQ(Take(b), toB) << bytes;
    }
    // The router answers the queued LINK command with exactly that map.
    void RouterAnswers() {
        session.ParseResponse(session.commandQueue.at(0).c_str());
        session.commandQueue.clear();
    }

    TempDir dir;
    const std::string configFile = dir.PathOf("config.ini");
    const std::string ack = "ACK\n\n", nak = "NAK\n\n", routing = "VIDEO OUTPUT ROUTING:\n";
    AppConfig config;
    VideohubServer server{session, config};
    VideohubServer::Clock::time_point now;
    int a = 0, b = 0;  // two clients, their dumps read
};

TEST_F(VideohubServerTest, DumpHoldsEveryBlockInOrder) {
    session.state.routerMac = "00:1c:91:03:5e:2a";
    // Names are Latin-1, the wire UTF-8.
    config.inputNames[2] = "Kamera \374ber";
    server.friendlyName = "Regie S\374d";
    // Before any router answer the routing block is empty, never guessed.
    session.linkAnswers = 0;
    VideohubServer fresh{session, config};
    const std::string early = fresh.Find(fresh.AddClient("127.0.0.1:2"))->out;
    EXPECT_NE(early.find("VIDEO OUTPUT ROUTING:\n\nEND PRELUDE:"), std::string::npos) << early;
    const std::string dump = Take(server.AddClient("127.0.0.1:1"));
    std::size_t at = 0;
    for (const char* part :
         {"PROTOCOL PREAMBLE:\nVersion: 2.7\n\n",
          "VIDEOHUB DEVICE:\nDevice present: true\nModel name: Corvane 16x16 Router\n"
          "Friendly name: Regie S\303\274d\nUnique ID: 001C91035E2A\nVideo inputs: 17\n",
          "INPUT LABELS:\n0 InputChannel01\n1 Kamera \303\274ber\n",
          // The park source after the inputs feeds every output with no input.
          "15 InputChannel16\n16 No Link\n\nOUTPUT LABELS:\n0 OutputChannel01\n",
          "VIDEO OUTPUT LOCKS:\n0 U\n", "15 U\n\nVIDEO OUTPUT ROUTING:\n0 0\n1 1\n",
          "14 14\n15 16\n\nEND PRELUDE:\n\n"}) {
        const std::size_t found = dump.find(part, at);
        ASSERT_NE(found, std::string::npos) << part << "\nnot after " << at << " in\n" << dump;
        at = found + std::string(part).size();
    }
    EXPECT_EQ(at, dump.size());
}

TEST_F(VideohubServerTest, EveryBlockGetsOneAnswerAndHostileClientsAreBounded) {
    std::string longBlock = routing;
    for (int i = 0; i < 64; ++i)
        longBlock += "0 1\n";
    // bytes, reply, a LINK; 16 is the park source
    // clang-format off
    std::vector<std::tuple<std::string, std::string, bool>> cases = {
        {"PING:\n\n", ack, false}, {"\n\r\n\nPING:\r\n\r\n\n", ack, false},
        {"PING:\n\nPING:\n\n", ack + ack, false},
        {"VIDEO OUTPUT ROUTING:\r\n3 -1\r\n\r\n", ack, true}, {routing + "0 16\n\n", ack, true},
        {routing + "1 2\n\n", ack, true}, {routing + "0 1\n", "", false},  // half a block
        {"PROTOCOL PREAMBLE:\n\n", ack + "PROTOCOL PREAMBLE:\nVersion: 2.7\n\n", false}};
    // clang-format on
    for (const std::string& bad : std::initializer_list<std::string>{
             routing + "16 0\n\n", routing + "0 17\n\n", routing + "0 1\n1 x\n\n",
             "INPUT LABELS:\n16 x\n\n",  // the park source keeps its name
             routing + "01\n\n", routing + "99999999999 1\n\n", "FROBNICATE:\n0 1\n\n",
             "MONITORING OUTPUT ROUTING:\n\n", "PING:\nhello\n\n", "VIDEO OUTPUT LOCKS:\n0 X\n\n",
             "INPUT LABELS:\n0 " + std::string(1100, 'x') + "\n\n",  // a line over 1 KB
             longBlock + "\n",                                       // over 64 lines
             std::string("INPUT LABELS:\n0 a\0b\n\n", 21)})          // a control byte
        cases.emplace_back(bad, nak, false);
    for (const auto& [bytes, reply, link] : cases) {
        session.commandQueue.clear();
        const int id = Join();
        EXPECT_EQ(Feed(id, bytes), reply) << bytes;
        server.RemoveClient(id);  // one gone mid-block has applied nothing
        EXPECT_EQ(session.commandQueue.size(), link ? 1u : 0u) << bytes;
    }
    EXPECT_EQ(config.inputNames[1], "InputChannel01");
    // Ids name lock owners: never reused, even after a client leaves.
    server.RemoveClient(b);
    EXPECT_GT(server.AddClient("127.0.0.1:1"), b);
    // A client that never reads is dropped once its buffer would overflow.
    for (int i = 0; i < 10000 && !server.Find(a)->drop; ++i)
        server.Feed(a, "INPUT LABELS:\n\n", 15);
    EXPECT_TRUE(server.Find(a)->drop);
    EXPECT_LE(server.Find(a)->out.size(), VideohubServer::kMaxOutput);
}

TEST_F(VideohubServerTest, WhenAllPlacesAreTakenTheLongestSilentGivesWayAfterTenSeconds) {
    // a and b only read: while there is room, nobody is dropped however long.
    now += std::chrono::hours(1);
    std::vector<int> ids;
    while (ids.size() < VideohubServer::kMaxClients - 2)
        ids.push_back(Join());
    const auto full = now;
    // For nine seconds one sends a byte a second and never ends its line, one
    // an empty line a second, the others ping; b pings once, at 1 s.
    for (int second = 1; second <= 9; ++second) {
        now = full + std::chrono::seconds(second);
        Feed(ids[0], "P");
        Feed(ids[1], "\n");
        for (std::size_t i = 2; i < ids.size(); ++i)
            EXPECT_EQ(Feed(ids[i], "PING:\n\n"), ack);
        if (second == 1)
            Feed(b, "PING:\n\n");
    }
    // a, silent for an hour, gives way at once; nobody else has been silent for 10 s.
    EXPECT_NE(server.AddClient("127.0.0.1:17"), 0);
    EXPECT_EQ(server.AddClient("127.0.0.1:18"), 0);
    // At 10 s: bytes that end no block and empty lines count for nothing.
    now = full + std::chrono::seconds(10);
    EXPECT_TRUE(server.AddClient("127.0.0.1:19") && server.AddClient("127.0.0.1:20"));
    EXPECT_EQ(server.AddClient("127.0.0.1:21"), 0);
    std::vector<int> dropped;
    for (const VideohubServer::Client& c : server.clients) {
        if (c.drop)
            dropped.push_back(c.id);
    }
    EXPECT_EQ(dropped, (std::vector<int>{a, ids[0], ids[1]}));
}

TEST_F(VideohubServerTest, RoutesGoThroughTheIntendedMapAndUpdatesFollowTheRouter) {
    // Single-line blocks, half from each client, fed in pieces that cut lines
    // apart: sixteen ACKs and one LINK command, and nothing else till it is answered.
    std::string burst[2], acks, sixteenAcks, update = routing;
    for (int o = 0; o < kChannelCount; ++o) {
        const std::string line = std::to_string(o) + " " + std::to_string(15 - o) + "\n";
        burst[o / 8] += routing + line + "\n";
        update += line;
        sixteenAcks += ack;
    }
    for (std::size_t i = 0; i < burst[0].size() || i < burst[1].size(); i += 7) {
        acks += Feed(a, burst[0].substr(std::min(i, burst[0].size()), 7));
        acks += Feed(b, burst[1].substr(std::min(i, burst[1].size()), 7));
    }
    EXPECT_EQ(acks, sixteenAcks);
    EXPECT_EQ(session.commandQueue.size(), 1u);
    RouterAnswers();  // the update shows what the LINK command asked
    EXPECT_TRUE(Take(a) == update + "\n" && Take(b) == update + "\n");
    // A block of several lines is one request, the park source (16) and -1
    // take an output off air and show as 16, and a click in the window goes
    // into the same LINK command.
    Expect(a, routing + "1 2\n4 16\n5 -1\n\n", ack, "");
    session.LinkOutput(7, 1);
    EXPECT_EQ(session.commandQueue.size(), 1u);
    RouterAnswers();
    const std::string changed = routing + "0 6\n1 2\n4 16\n5 16\n\n";
    Expect(a, "", changed, changed);
    // No router: the request is refused, not promised.
    session.connectionStatus = kConnecting;
    EXPECT_EQ(Feed(a, routing + "0 0\n\n"), nak);
}

TEST_F(VideohubServerTest, LabelsAndLocksReachEveryClient) {
    // Labels: UTF-8 on the wire, Latin-1 in config.ini, cut to 15 characters;
    // a label config.ini cannot hold is refused whole.
    int changes = 0;
    server.changed = [&] { ++changes; };
    auto utf8 = [](const std::string& latin1) {
        std::string out;
        for (unsigned char c : latin1)
            out += c < 0x80 ? std::string(1, char(c))
                            : std::string{char(0xC0 | c >> 6), char(0x80 | (c & 0x3F))};
        return out;
    };
    const std::string uber = "Kamera \374ber",
                      umlauts = "\304\326\334\344\366\374\337\351\350\352\353\340\341\342\347\361";
    const std::pair<std::string, std::optional<std::string>> labels[] = {
        {"A very long la bel indeed ", "A very long la"},
        {"  " + utf8(umlauts), umlauts.substr(0, 15)},                 // 32 bytes on the wire
        {utf8(uber) + " \xE2\x86\x92 " + utf8("\351"), std::nullopt},  // an arrow
        {"Cam \xF0\x9F\x98\x80", std::nullopt},                        // an emoji
        {uber, std::nullopt},                                          // Latin-1 is not UTF-8
        {"A very long label \xE2\x86\x92", std::nullopt},              // beyond the cut too
        {"\xE0\x80\xAF", std::nullopt},                                // "/" spelt long
        {"\xED\xA0\x80", std::nullopt},                                // a surrogate
        {"Cam \xE2\x86", std::nullopt},                                // a character cut short
        {"a\xC2\x85.", std::nullopt},                                  // a control character
        {utf8(uber), uber}};
    for (const auto& [sent, stored] : labels) {
        const std::string before = config.inputNames[3];
        const std::string told = "INPUT LABELS:\n2 " + utf8(stored.value_or("")) + "\n\n";
        Expect(a, "INPUT LABELS:\n2 " + sent + "\n\n", stored ? ack + told : nak,
               stored ? told : "");
        EXPECT_EQ(config.inputNames[3], stored.value_or(before)) << sent;
    }
    EXPECT_EQ(changes, 3);
    // What config.ini holds comes back to clients as it went in.
    const std::string saved = dir.Read("config.ini");
    EXPECT_NE(saved.find("InputChannel03=" + uber), std::string::npos) << saved;
    LoadConfig(config, session.state, server.configPath);
    const std::string dump = server.Find(server.AddClient("127.0.0.1:3"))->out;
    EXPECT_NE(dump.find("\n2 " + utf8(uber) + "\n"), std::string::npos) << dump;
    // Not saved: the names are put back and the ACKs become NAKs.
    server.configPath = dir.PathOf("no-such-dir/config.ini");
    Expect(a, "OUTPUT LABELS:\n0 P\n\nPING:\n\nINPUT LABELS:\n1 T\n\n", nak + ack + nak, "");
    EXPECT_EQ(config.inputNames[2] + "|" + config.outputNames[1], "InputChannel02|OutputChannel01");
    EXPECT_NE(screen.lines.back().find("not saved"), std::string::npos);

    // Locks are the window's protect, told as O to their owner and L to others.
    const std::string locks = "VIDEO OUTPUT LOCKS:\n";
    session.SetProtected(3, true);  // the window's protect: locked to every client
    Expect(a, "", locks + "2 L\n\n", locks + "2 L\n\n");
    Expect(a, locks + "0 O\n\n", ack + locks + "0 O\n\n", locks + "0 L\n\n");
    Expect(b, routing + "0 5\n\n", "", nak);
    Expect(b, locks + "0 U\n\n", "", nak);
    Expect(b, locks + "0 O\n\n", "", nak);  // nor take it over
    Expect(b, locks + "1 O\n0 F\n\n", locks + "0 U\n1 L\n\n", ack + locks + "0 U\n1 O\n\n");
    Expect(a, locks + "2 F\n\n", nak, "");
    Expect(a, routing + "2 0\n\n", nak, "");
    // The window cannot take a client's lock, and it ends with the client.
    session.SetProtected(2, true);
    EXPECT_EQ(session.routing.lockOwner[2], b);
    server.RemoveClient(b);
    EXPECT_EQ(Take(a), locks + "1 U\n\n");
}

}  // namespace
}  // namespace corvane
