#include "transport/UdpLink.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <string>

#include "LinkTestSupport.h"

namespace corvane {
namespace {

using namespace corvane::testing;

class UdpLinkTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(router) << "no free loopback ports";
        ASSERT_TRUE(link.Create(router->port + 10)) << link.lastError;
        ASSERT_TRUE(link.Connect("127.0.0.1", router->port)) << link.lastError;
    }
    std::string Next() {
        char buffer[256];
        if (!Readable(link.Handle(), static_cast<int>(kPatience.count())))
            return "(nothing)";
        const int n = link.ReceiveFrom(buffer, sizeof buffer);
        return n < 0 ? "(error " + std::to_string(link.lastError) + ")" : std::string(buffer, n);
    }
    std::unique_ptr<LoopbackSocket> router = MakeRouter();
    UdpLink link;
};

TEST_F(UdpLinkTest, TalksToTheConnectedPeerOnly) {
    ASSERT_EQ(link.Write("NET=?!", 6), 6);
    std::string got;
    int from = 0;
    ASSERT_TRUE(router->Receive(got, &from));
    EXPECT_EQ(got, "NET=?!");
    EXPECT_EQ(from, router->port + 10);

    LoopbackSocket stranger;
    ASSERT_TRUE(stranger.SendTo(router->port + 10, "MON=09!"));
    ASSERT_TRUE(router->SendTo(router->port + 10, "MON=03!"));
    EXPECT_EQ(Next(), "MON=03!");
    char buffer[256];
    EXPECT_EQ(link.ReceiveFrom(buffer, sizeof buffer), 0);  // nothing waiting is no error
    EXPECT_EQ(link.lastError, 0);
}

TEST_F(UdpLinkTest, DatagramsLongerThanTheBufferFailAndAreConsumed) {
    for (int size : {256, 257}) {
        ASSERT_TRUE(router->SendTo(router->port + 10, std::string(size, 'L')));
        ASSERT_TRUE(router->SendTo(router->port + 10, "MON=01!"));
        EXPECT_EQ(Next(),
                  size <= 256 ? std::string(size, 'L') : "(error " + std::to_string(EMSGSIZE) + ")")
            << size;
        EXPECT_EQ(Next(), "MON=01!") << size;
    }
}

}  // namespace
}  // namespace corvane
