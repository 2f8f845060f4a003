#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "bridge/VideohubServer.h"
#include "protocol/Commands.h"
#include "settings/EventLog.h"

namespace corvane {
namespace {

class VideohubServerTest : public ::testing::Test {
protected:
    VideohubServerTest() {
        log.fileLogEnabled = false;
        log.screenLogEnabled = true;
        log.screen = &screen;
        session.connectionStatus = kConnected;
        session.pollIndex = kStartupQueryCount;
        session.linkAnswers = 1;
        for (int n = 1; n <= kChannelCount; ++n) {
            config.inputNames[n] = "In " + std::to_string(n);
            config.outputNames[n] = "Out " + std::to_string(n);
            session.state.routedInput[n] = n;
        }
        session.state.routedInput[16] = 0;
        dir = std::filesystem::temp_directory_path() /
              ("corvane-vh-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
               "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(dir);
        server.configPath = (dir / "config.ini").string();
        session.refresh = [this] { server.Sync(); };
    }
    ~VideohubServerTest() override { std::filesystem::remove_all(dir); }

    // A client whose dump has been read.
    int Join() {
        const int id = server.AddClient("127.0.0.1:1");
        Take(id);
        return id;
    }
    std::string Take(int id) {
        VideohubServer::Client* client = server.Find(id);
        return client ? std::exchange(client->out, "") : "";
    }
    std::string Feed(int id, const std::string& bytes) {
        server.Feed(id, bytes.data(), bytes.size());
        return Take(id);
    }
    // The router answers the queued LINK command with exactly that map.
    void RouterAnswers() {
        ASSERT_FALSE(session.commandQueue.empty());
        const std::string link = session.commandQueue.back();
        session.commandQueue.clear();
        session.ParseResponse(link.c_str());
    }
    std::vector<std::string> QueuedLinks() const {
        std::vector<std::string> links;
        for (const std::string& c : session.commandQueue)
            if (c.starts_with("LINK="))
                links.push_back(c);
        return links;
    }

    ScreenLog screen;
    EventLog log{".", [] { return LocalTime{}; }};
    RouterSession session{log};
    AppConfig config;
    VideohubServer server{session, config};
    std::filesystem::path dir;
};

TEST_F(VideohubServerTest, DumpHoldsEveryBlockInOrder) {
    session.state.routerMac = "00:1c:91:03:5e:2a";
    // Before any router answer the routing block is empty, never guessed.
    session.linkAnswers = 0;
    const std::string early = Take(server.AddClient("127.0.0.1:2"));
    EXPECT_NE(early.find("VIDEO OUTPUT ROUTING:\n\nEND PRELUDE:"), std::string::npos) << early;
    session.linkAnswers = 1;

    const int id = server.AddClient("127.0.0.1:1");
    const std::string dump = Take(id);
    const std::vector<std::string> parts = {
        "PROTOCOL PREAMBLE:\nVersion: 2.7\n\n",
        "VIDEOHUB DEVICE:\nDevice present: true\nModel name: Corvane 16x16 Router\n"
        "Friendly name: Corvane\nUnique ID: 001C91035E2A\nVideo inputs: 16\n",
        "INPUT LABELS:\n0 In 1\n1 In 2\n",
        "15 In 16\n\nOUTPUT LABELS:\n0 Out 1\n",
        "VIDEO OUTPUT LOCKS:\n0 U\n",
        "15 U\n\nVIDEO OUTPUT ROUTING:\n0 0\n1 1\n",
        "14 14\n15 -1\n\nEND PRELUDE:\n\n"};
    std::size_t at = 0;
    for (const std::string& part : parts) {
        const std::size_t found = dump.find(part, at);
        ASSERT_NE(found, std::string::npos) << part << "\nnot after " << at << " in\n" << dump;
        at = found + part.size();
    }
    EXPECT_EQ(at, dump.size());
}

TEST_F(VideohubServerTest, EveryBlockGetsOneAnswerAndBadOnesApplyNothing) {
    struct Case {
        const char* name;
        std::string bytes;
        std::string reply;
        bool queuesLink;
    };
    const std::string longLine = "INPUT LABELS:\n0 " + std::string(1100, 'x') + "\n\n";
    std::string longBlock = "VIDEO OUTPUT ROUTING:\n";
    for (int i = 0; i < 64; ++i)
        longBlock += "0 1\n";
    const Case cases[] = {
        {"ping", "PING:\n\n", "ACK\n\n", false},
        {"blank lines and CRLF", "\n\r\n\nPING:\r\n\r\n\n", "ACK\n\n", false},
        {"route", "VIDEO OUTPUT ROUTING:\n1 2\n\n", "ACK\n\n", true},
        {"unlink", "VIDEO OUTPUT ROUTING:\r\n3 -1\r\n\r\n", "ACK\n\n", true},
        {"two pings", "PING:\n\nPING:\n\n", "ACK\n\nACK\n\n", false},
        {"locks query", "VIDEO OUTPUT LOCKS:\n\n", "ACK\n\nVIDEO OUTPUT LOCKS:\n0 U\n", false},
        {"output 16", "VIDEO OUTPUT ROUTING:\n16 0\n\n", "NAK\n\n", false},
        {"input 16", "VIDEO OUTPUT ROUTING:\n0 16\n\n", "NAK\n\n", false},
        {"one bad line", "VIDEO OUTPUT ROUTING:\n0 1\n1 x\n\n", "NAK\n\n", false},
        {"no blank", "VIDEO OUTPUT ROUTING:\n01\n\n", "NAK\n\n", false},
        {"huge number", "VIDEO OUTPUT ROUTING:\n99999999999 1\n\n", "NAK\n\n", false},
        {"unknown block", "FROBNICATE:\n0 1\n\n", "NAK\n\n", false},
        {"unknown query", "MONITORING OUTPUT ROUTING:\n\n", "NAK\n\n", false},
        {"ping with data", "PING:\nhello\n\n", "NAK\n\n", false},
        {"line over 1 KB", longLine, "NAK\n\n", false},
        {"block over 64 lines", longBlock + "\n", "NAK\n\n", false},
        {"control byte in label", std::string("INPUT LABELS:\n0 a\0b\n\n", 21), "NAK\n\n", false},
        {"bad lock", "VIDEO OUTPUT LOCKS:\n0 X\n\n", "NAK\n\n", false},
        {"half a block", "VIDEO OUTPUT ROUTING:\n0 1\n", "", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        session.commandQueue.clear();
        const int id = Join();
        const std::string reply = Feed(id, c.bytes);
        EXPECT_EQ(reply.substr(0, c.reply.size()), c.reply);
        if (c.reply.find("LOCKS") == std::string::npos) {
            EXPECT_EQ(reply, c.reply);
        }
        EXPECT_EQ(QueuedLinks().size(), c.queuesLink ? 1u : 0u);
        server.RemoveClient(id);
        // A client gone mid-block has applied nothing.
        EXPECT_EQ(QueuedLinks().size(), c.queuesLink ? 1u : 0u);
    }
    EXPECT_EQ(config.inputNames[1], "In 1");
}

TEST_F(VideohubServerTest, RoutesGoThroughTheIntendedMapAndUpdatesFollowTheRouter) {
    const int a = Join(), b = Join();
    EXPECT_EQ(Feed(a, "VIDEO OUTPUT ROUTING:\n1 2\n4 -1\n\n"), "ACK\n\n");
    int map[kChannelTableSize];
    std::copy(std::begin(session.state.routedInput), std::end(session.state.routedInput), map);
    map[2] = 3;
    map[5] = 0;
    EXPECT_EQ(QueuedLinks(), std::vector<std::string>{BuildLinkCommand(map)});
    // ACK is not done: nobody hears of it before the router answers.
    EXPECT_EQ(Take(b), "");
    RouterAnswers();
    for (int id : {a, b})
        EXPECT_EQ(Take(id), "VIDEO OUTPUT ROUTING:\n1 2\n4 -1\n\n");

    // A click in the window reaches the clients the same way.
    session.LinkOutput(7, 1);
    RouterAnswers();
    for (int id : {a, b})
        EXPECT_EQ(Take(id), "VIDEO OUTPUT ROUTING:\n0 6\n\n");

    // No router: the request is refused, not promised.
    session.connectionStatus = kConnecting;
    EXPECT_EQ(Feed(a, "VIDEO OUTPUT ROUTING:\n0 0\n\n"), "NAK\n\n");
}

TEST_F(VideohubServerTest, BurstOfSingleLineBlocksIsSixteenAcksAndOneLink) {
    const int a = Join(), b = Join();
    // Half from each client, fed in pieces that cut lines apart.
    std::string burst[2];
    int map[kChannelTableSize] = {};
    for (int o = 0; o < kChannelCount; ++o) {
        burst[o / 8] +=
            "VIDEO OUTPUT ROUTING:\n" + std::to_string(o) + " " + std::to_string(15 - o) + "\n\n";
        map[o + 1] = 16 - o;
    }
    std::string acks;
    for (std::size_t i = 0; i < burst[0].size() || i < burst[1].size(); i += 7) {
        acks += Feed(a, burst[0].substr(std::min(i, burst[0].size()), 7));
        acks += Feed(b, burst[1].substr(std::min(i, burst[1].size()), 7));
    }
    std::string sixteenAcks;
    for (int i = 0; i < 16; ++i)
        sixteenAcks += "ACK\n\n";
    EXPECT_EQ(acks, sixteenAcks);
    EXPECT_EQ(QueuedLinks(), std::vector<std::string>{BuildLinkCommand(map)});
    RouterAnswers();
    EXPECT_EQ(Take(a).substr(0, 22), "VIDEO OUTPUT ROUTING:\n");
}

TEST_F(VideohubServerTest, LabelsRenameAtOnceAndAreSavedOrRefused) {
    int changes = 0;
    server.changed = [&] { ++changes; };
    const int a = Join(), b = Join();
    EXPECT_EQ(Feed(a, "INPUT LABELS:\n2 Camera Three\n15 A very long label indeed\n\n"),
              "ACK\n\nINPUT LABELS:\n2 Camera Three\n15 A very long lab\n\n");
    EXPECT_EQ(Take(b), "INPUT LABELS:\n2 Camera Three\n15 A very long lab\n\n");
    EXPECT_EQ(config.inputNames[3], "Camera Three");
    EXPECT_EQ(changes, 1);
    AppConfig reread;
    RouterState ignored;
    LoadConfig(reread, ignored, server.configPath);
    EXPECT_EQ(reread.inputNames[3], "Camera Three");
    EXPECT_EQ(reread.inputNames[16], config.inputNames[16]);

    server.configPath = (dir / "missing" / "config.ini").string();
    EXPECT_EQ(Feed(a, "OUTPUT LABELS:\n0 Projector\n\nPING:\n\nINPUT LABELS:\n1 Two\n\n"),
              "NAK\n\nACK\n\nNAK\n\n");
    EXPECT_EQ(config.inputNames[2], "In 2");
    EXPECT_EQ(config.outputNames[1], "Out 1");
    EXPECT_EQ(Take(b), "");
    EXPECT_NE(screen.lines.back().find("not saved"), std::string::npos);
}

TEST_F(VideohubServerTest, LocksAreProtectSeenAsOwnOrOthers) {
    const int a = Join(), b = Join();
    struct Step {
        int client;  // 0: the window protects output 3
        std::string bytes;
        std::string reply, toA, toB;
    };
    const Step steps[] = {
        {a, "VIDEO OUTPUT LOCKS:\n0 O\n\n", "ACK\n\n", "VIDEO OUTPUT LOCKS:\n0 O\n\n",
         "VIDEO OUTPUT LOCKS:\n0 L\n\n"},
        {b, "VIDEO OUTPUT ROUTING:\n0 5\n\n", "NAK\n\n", "", ""},
        {b, "VIDEO OUTPUT LOCKS:\n0 U\n\n", "NAK\n\n", "", ""},
        {b, "VIDEO OUTPUT LOCKS:\n1 O\n0 F\n\n", "ACK\n\n", "VIDEO OUTPUT LOCKS:\n0 U\n1 L\n\n",
         "VIDEO OUTPUT LOCKS:\n0 U\n1 O\n\n"},
        {0, "", "", "VIDEO OUTPUT LOCKS:\n2 L\n\n", "VIDEO OUTPUT LOCKS:\n2 L\n\n"},
        {a, "VIDEO OUTPUT LOCKS:\n2 F\n\n", "NAK\n\n", "", ""},
        {a, "VIDEO OUTPUT ROUTING:\n2 0\n\n", "NAK\n\n", "", ""},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.bytes);
        if (s.client == 0) {
            session.SetProtected(3, true);
            server.Sync();
        } else {
            server.Feed(s.client, s.bytes.data(), s.bytes.size());
        }
        EXPECT_EQ(Take(a), (s.client == a ? s.reply : "") + s.toA);
        EXPECT_EQ(Take(b), (s.client == b ? s.reply : "") + s.toB);
    }
    EXPECT_TRUE(QueuedLinks().empty());
    // The window cannot take a client's lock, and it ends with the client.
    session.SetProtected(2, true);
    EXPECT_EQ(session.routing.lockOwner[2], b);
    server.RemoveClient(b);
    EXPECT_EQ(Take(a), "VIDEO OUTPUT LOCKS:\n1 U\n\n");
}

TEST_F(VideohubServerTest, LimitsBoundClientsAndTheirBuffers) {
    std::vector<int> ids;
    for (int i = 0; i < VideohubServer::kMaxClients; ++i)
        ids.push_back(server.AddClient("127.0.0.1:1"));
    EXPECT_EQ(server.AddClient("127.0.0.1:17"), 0);
    EXPECT_NE(screen.lines.back().find("refused"), std::string::npos);
    // Ids are never reused, even after a client leaves.
    server.RemoveClient(ids[0]);
    EXPECT_GT(server.AddClient("127.0.0.1:18"), ids.back());

    // A client that never reads is dropped once its buffer would overflow.
    std::string many;
    for (int i = 0; i < 400; ++i)
        many += "INPUT LABELS:\n\n";
    for (int i = 0; i < 100 && !server.Find(ids[1])->drop; ++i)
        server.Feed(ids[1], many.data(), many.size());
    EXPECT_TRUE(server.Find(ids[1])->drop);
    EXPECT_LE(server.Find(ids[1])->out.size(), VideohubServer::kMaxOutput);
    EXPECT_FALSE(server.Find(ids[2])->drop);
}

}  // namespace
}  // namespace corvane
