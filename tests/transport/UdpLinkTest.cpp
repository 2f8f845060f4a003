#include "transport/UdpLink.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <string>

#include "PosixTestSupport.h"
#include "UdpTestSupport.h"

namespace corvane {
namespace {

using namespace corvane::testing;

// Waits for the link's socket to become readable (or report an error).
bool Readable(const UdpLink& link) {
    pollfd p{link.Handle(), POLLIN, 0};
    return poll(&p, 1, 10000) > 0;
}

class UdpLinkTest : public ::testing::Test {
protected:
    void SetUp() override {
        router = MakeRouter();
        ASSERT_TRUE(router) << "no free loopback ports";
        ASSERT_TRUE(link.Create(router->port + 10)) << link.lastError;
        ASSERT_TRUE(link.Connect("127.0.0.1", router->port)) << link.lastError;
    }
    std::unique_ptr<LoopbackSocket> router;
    UdpLink link;
};

TEST_F(UdpLinkTest, ExchangesDatagramsWithTheConnectedPeerOnly) {
    ASSERT_EQ(link.Write("NET=?!", 6), 6);
    std::string got;
    int from = 0;
    ASSERT_TRUE(router->Receive(got, &from));
    EXPECT_EQ(got, "NET=?!");
    EXPECT_EQ(from, router->port + 10);

    // A stranger's datagram never reaches the program; the router's does.
    LoopbackSocket stranger;
    ASSERT_TRUE(stranger.SendTo(router->port + 10, "MON=09!"));
    ASSERT_TRUE(router->SendTo(router->port + 10, "MON=03!"));
    ASSERT_TRUE(Readable(link));
    char buffer[256];
    ASSERT_EQ(link.ReceiveFrom(buffer, sizeof buffer), 7);
    EXPECT_EQ(std::string(buffer, 7), "MON=03!");
    // Nothing else is waiting: a read finds nothing and is no error.
    EXPECT_EQ(link.ReceiveFrom(buffer, sizeof buffer), 0);
    EXPECT_EQ(link.lastError, 0);
}

struct SizeCase {
    int bytes;
    bool fits;
};

class UdpDatagramSize : public UdpLinkTest, public ::testing::WithParamInterface<SizeCase> {};

TEST_P(UdpDatagramSize, LongerThanTheBufferIsAnError) {
    const SizeCase& c = GetParam();
    ASSERT_TRUE(router->SendTo(router->port + 10, std::string(c.bytes, 'L')));
    ASSERT_TRUE(router->SendTo(router->port + 10, "MON=01!"));
    ASSERT_TRUE(Readable(link));
    char buffer[256];
    const int n = link.ReceiveFrom(buffer, sizeof buffer);
    if (c.fits) {
        EXPECT_EQ(n, c.bytes);
    } else {
        EXPECT_EQ(n, -1);
        EXPECT_EQ(link.lastError, EMSGSIZE);
    }
    // Either way that datagram is gone and the next one is read whole.
    ASSERT_TRUE(Readable(link));
    ASSERT_EQ(link.ReceiveFrom(buffer, sizeof buffer), 7);
    EXPECT_EQ(std::string(buffer, 7), "MON=01!");
}

INSTANTIATE_TEST_SUITE_P(Sizes, UdpDatagramSize,
                         ::testing::Values(SizeCase{1, true}, SizeCase{255, true},
                                           SizeCase{256, true}, SizeCase{257, false},
                                           SizeCase{1400, false}));

TEST(UdpLinkErrors, RouterPortNotListeningIsRefused) {
    const int port = UnusedPort();
    ASSERT_GT(port, 0);
    UdpLink link;
    ASSERT_TRUE(link.Create(port + 10));
    ASSERT_TRUE(link.Connect("127.0.0.1", port));
    ASSERT_EQ(link.Write("NET=?!", 6), 6);
    ASSERT_TRUE(Readable(link));
    char buffer[256];
    EXPECT_EQ(link.ReceiveFrom(buffer, sizeof buffer), -1);
    EXPECT_EQ(link.lastError, ECONNREFUSED);
}

TEST(UdpLinkErrors, AddressesOtherThanDottedIpv4AreInvalid) {
    LoopbackSocket router;
    for (const char* address : {"", "localhost", "::1", "256.0.0.1", "127.0.0.1 ", "1.2.3"}) {
        UdpLink link;
        ASSERT_TRUE(link.Create(0));
        EXPECT_FALSE(link.Connect(address, router.port)) << '"' << address << '"';
        EXPECT_EQ(link.lastError, EINVAL) << '"' << address << '"';
    }
}

TEST(UdpLinkErrors, PortsOutsideTheRangeAreInvalid) {
    for (int port : {-1, 65536, 70000}) {
        UdpLink link;
        EXPECT_FALSE(link.Create(port)) << port;
        EXPECT_EQ(link.lastError, EINVAL) << port;
        EXPECT_EQ(link.Handle(), -1);
        ASSERT_TRUE(link.Create(0));
        EXPECT_FALSE(link.Connect("127.0.0.1", port)) << port;
        EXPECT_EQ(link.lastError, EINVAL) << port;
    }
}

TEST(UdpLinkErrors, LocalPortInUseFailsWithTheSystemCode) {
    LoopbackSocket holder;
    UdpLink link;
    EXPECT_FALSE(link.Create(holder.port));
    EXPECT_EQ(link.lastError, EADDRINUSE);
    EXPECT_EQ(link.Write("A!", 2), 0);
    char buffer[8];
    EXPECT_EQ(link.ReceiveFrom(buffer, sizeof buffer), -1);
}

}  // namespace
}  // namespace corvane
