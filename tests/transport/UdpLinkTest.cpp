#include "transport/UdpLink.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <string>

#include "LinkTestSupport.h"

namespace corvane {
namespace {

using namespace corvane::testing;

TEST(UdpLink, TalksToThePeerOnlyAndFailsDatagramsLongerThanTheBuffer) {
    auto router = MakeRouter();
    ASSERT_TRUE(router) << "no free loopback ports";
    UdpLink link;
    ASSERT_TRUE(link.Create(router->port + 10)) << link.lastError;
    ASSERT_TRUE(link.Connect("127.0.0.1", router->port)) << link.lastError;
    auto next = [&] {
        char buffer[256];
        if (!Readable(link.Handle(), static_cast<int>(kPatience.count())))
            return std::string("(nothing)");
        const int n = link.ReceiveFrom(buffer, sizeof buffer);
        return n < 0 ? "(error " + std::to_string(link.lastError) + ")" : std::string(buffer, n);
    };
    ASSERT_EQ(link.Write("NET=?!", 6), 6);
    std::string got;
    int from = 0;
    ASSERT_TRUE(router->Receive(got, &from));
    EXPECT_EQ(got, "NET=?!");
    EXPECT_EQ(from, router->port + 10);

    LoopbackSocket stranger;
    ASSERT_TRUE(stranger.SendTo(router->port + 10, "MON=09!"));
    for (int size : {256, 257}) {  // a longer one is consumed, not left to block the next
        ASSERT_TRUE(router->SendTo(router->port + 10, std::string(size, 'L')));
        ASSERT_TRUE(router->SendTo(router->port + 10, "MON=01!"));
        EXPECT_EQ(next(), size <= 256 ? std::string(size, 'L')
                                      : "(error " + std::to_string(EMSGSIZE) + ")");
        EXPECT_EQ(next(), "MON=01!") << size;
    }
    char buffer[256];
    EXPECT_EQ(link.ReceiveFrom(buffer, sizeof buffer), 0);  // nothing waiting is no error
    EXPECT_EQ(link.lastError, 0);
}

}  // namespace
}  // namespace corvane
