#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>

#include "FuzzCheck.h"
#include "protocol/RouterSession.h"

namespace corvane {

// Two clients of a bridge server are sent the same bytes: the first in two
// reads, cut where the first byte says; the second in one. Their ids.
template <class Server>
std::pair<int, int> FeedTwoClients(Server& server, const std::uint8_t* data, std::size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    const int a = server.AddClient("a"), b = server.AddClient("b");
    server.Find(a)->out.clear();
    server.Find(b)->out.clear();
    const std::size_t split = size == 0 ? 0 : data[0] % (size + 1);
    server.Feed(a, bytes.data(), split);
    server.Feed(a, bytes.data() + split, size - split);
    server.Feed(b, bytes.data(), size);
    return {a, b};
}

// They leave, and none of their locks stays.
template <class Server>
void RemoveTwoClients(Server& server, std::pair<int, int> clients) {
    server.RemoveClient(clients.first);
    server.RemoveClient(clients.second);
    for (int o = 1; o <= kChannelCount; ++o)
        FUZZ_CHECK(server.session.routing.lockOwner[o] == 0);
}

}  // namespace corvane
