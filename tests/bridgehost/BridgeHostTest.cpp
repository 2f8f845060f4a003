// The Videohub server's sockets, driven on the test's thread: what the kernel
// adds to the protocol checked in tests/bridge (partial writes, closing).

#include "bridge/VideohubServer.h"
#include "bridgehost/BridgeHost.h"

#include "../support/LinkSupport.h"

namespace corvane::testing {
namespace {

class BridgeHostTest : public ::testing::Test, public SessionRig {
protected:
    BridgeHostTest() {
        server.clock = [this] { return now; };
        EXPECT_TRUE(host.Listen("127.0.0.1:0")) << host.error;
    }

    AppConfig config;
    VideohubServer server{session, config};
    BridgeHost host{server, log, "Videohub", VideohubServer::kMaxClients};
    VideohubServer::Clock::time_point now;
};

TEST_F(BridgeHostTest, ASlowReaderGetsEveryByteInOrder) {
    // What any client is sent: the dump, then the answer to each query.
    const int probe = server.AddClient("probe");
    std::string expected = std::exchange(server.Find(probe)->out, "");
    const std::string query = "INPUT LABELS:\n\n";
    server.Feed(probe, query.data(), query.size());
    const std::string answer = server.Find(probe)->out;
    server.RemoveClient(probe);
    std::string queries;
    for (int i = 0; i < 300; ++i) {
        queries += query;
        expected += answer;
    }

    // Small buffers at both ends, so that the host's writes are partial.
    Panel slow(host.port, 1024);
    host.OnAcceptReady();
    ASSERT_EQ(host.sockets.size(), 1u);
    const int fd = host.sockets[0].fd, small = 1024;
    setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &small, sizeof small);
    slow.Send(queries);
    ASSERT_TRUE(Readable(fd, 1000));
    host.OnReadable(fd);
    ASSERT_TRUE(host.WantsWrite(fd)) << "every write went whole: nothing was partial";
    // The panel takes 100 bytes at a time; the host writes when asked to, as
    // the window's and corvanectl serve's watches do.
    slow.serve = [&] {
        if (host.WantsWrite(fd))
            host.Flush();
    };
    slow.ReadUntil([&] { return slow.text.size() >= expected.size(); }, 100);
    EXPECT_TRUE(slow.text == expected) << slow.text.size() << " of " << expected.size() << " bytes";
}

TEST_F(BridgeHostTest, ANewcomerIsTurnedAwayForTenSecondsThenTheLongestSilentGivesWay) {
    std::vector<std::unique_ptr<Panel>> panels;
    for (int i = 0; i < VideohubServer::kMaxClients; ++i) {
        panels.push_back(std::make_unique<Panel>(host.port));
        host.OnAcceptReady();
        ASSERT_TRUE(panels.back()->ReadFor("END PRELUDE:\n\n")) << i;
    }
    const auto start = now;
    for (int seconds : {9, 10}) {
        now = start + std::chrono::seconds(seconds);
        Panel newcomer(host.port);
        host.OnAcceptReady();
        EXPECT_EQ(newcomer.ReadFor("END PRELUDE:\n\n"), seconds == 10) << seconds;
        EXPECT_EQ(newcomer.closedByServer, seconds == 9) << seconds;
    }
    Panel& first = *panels.front();  // silent as long as the others, and first
    EXPECT_TRUE(first.ReadUntil([&] { return first.closedByServer; }));
}

}  // namespace
}  // namespace corvane::testing
