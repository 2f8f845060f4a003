#include "bridge/VideohubServer.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string_view>

#include "base/EventLog.h"
#include "base/TextFormat.h"
#include "bridge/BridgeText.h"

namespace corvane {

namespace {

constexpr const char* kRouting = "VIDEO OUTPUT ROUTING:";
constexpr const char* kLocks = "VIDEO OUTPUT LOCKS:";
constexpr const char* kInputLabels = "INPUT LABELS:";
constexpr const char* kOutputLabels = "OUTPUT LABELS:";
constexpr const char* kPreamble = "PROTOCOL PREAMBLE:";
constexpr const char* kDevice = "VIDEOHUB DEVICE:";

// A wire number: one to three digits (a '-' only where low..high has room
// for one).
bool ParseNumber(std::string_view text, int low, int high, int* out) {
    return ParseInt(text, low, high, out, 3);
}

// "<number> <rest>": the rest is everything after the first blank.
bool SplitLine(const std::string& line, std::string_view* number, std::string_view* rest) {
    const std::size_t space = line.find(' ');
    if (space == std::string::npos)
        return false;
    *number = std::string_view(line).substr(0, space);
    *rest = std::string_view(line).substr(space + 1);
    return true;
}

std::string_view TrimBlanks(std::string_view s) {
    return Trim(s, " \t");
}

// An output with no input is routed from the park source.
std::string WireRoute(int output, int input) {
    return std::to_string(output - 1) + " " +
           std::to_string((input == 0 ? kParkSource : input) - 1);
}

}  // namespace

VideohubServer::VideohubServer(RouterSession& session, AppConfig& config)
    : BridgeClients(session, "Videohub"), config(config) {}

int VideohubServer::AddClient(const std::string& peer) {
    Client* added = Admit(peer);
    if (added == nullptr)
        return 0;
    Client& client = *added;
    std::fill(std::begin(client.route), std::end(client.route), kUntold);

    if (RoutesKnown(session)) {
        std::copy(std::begin(session.state.routedInput), std::end(session.state.routedInput),
                  routes_);
        routesKnown_ = true;
    }
    Send(client, std::string(kPreamble) + "\nVersion: 2.7\n\n");
    Send(client, DeviceBlock());
    SendLabels(client, true, true);
    SendLabels(client, false, true);
    SendLocks(client, true);
    SendRoutes(client, true);
    Send(client, "END PRELUDE:\n\n");
    return client.id;
}

void VideohubServer::Feed(int id, const char* bytes, std::size_t count) {
    Client* found = Find(id);
    if (found == nullptr)
        return;
    Client& client = *found;
    bool answered = false;
    for (std::size_t i = 0; i < count && !client.drop; ++i) {
        const char c = bytes[i];
        if (c != '\n') {
            // Room for the line and a CR; beyond that only the fact is kept.
            if (client.partial.size() <= kMaxLine + 1)
                client.partial.push_back(c);
            continue;
        }
        std::string line;
        line.swap(client.partial);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.size() > kMaxLine) {
            client.badBlock = true;
            continue;
        }
        if (!line.empty()) {
            if (static_cast<int>(client.block.size()) < kMaxBlockLines)
                client.block.push_back(std::move(line));
            else
                client.badBlock = true;
            continue;
        }
        // An empty line ends a block; one with nothing before it is no block.
        if (!client.block.empty() || client.badBlock) {
            Answer(client);
            answered = true;
        }
        client.block.clear();
        client.badBlock = false;
    }
    // Bytes that end no block (one a second, say) do not count as heard.
    if (answered)
        client.heard = clock();
    // One save for every rename in this read: each is a replaced, synced file.
    SaveNames(client);
    Sync();
}

void VideohubServer::Answer(Client& client) {
    bool ok = false;
    if (!client.badBlock) {
        const std::string& header = client.block.front();
        if (header == "PING:")
            ok = client.block.size() == 1;
        else if (client.block.size() == 1)
            ok = Query(client, header);
        else if (header == kRouting)
            ok = Route(client);
        else if (header == kInputLabels || header == kOutputLabels)
            ok = Labels(client, header == kInputLabels);
        else if (header == kLocks)
            ok = Locks(client);
    }
    // A query has sent its ACK before the block it asked for.
    if (ok && client.block.size() == 1 && client.block.front() != "PING:")
        return;
    // A rename is saved once per read; its ACK may still turn into a NAK.
    if (ok && (client.block.front() == kInputLabels || client.block.front() == kOutputLabels))
        renameAnswers_.push_back(client.out.size());
    Send(client, ok ? "ACK\n\n" : "NAK\n\n");
}

bool VideohubServer::Query(Client& client, const std::string& header) {
    if (header != kDevice && header != kPreamble && header != kInputLabels &&
        header != kOutputLabels && header != kLocks && header != kRouting)
        return false;
    Send(client, "ACK\n\n");
    if (header == kPreamble) {
        Send(client, std::string(kPreamble) + "\nVersion: 2.7\n\n");
    } else if (header == kDevice) {
        Send(client, DeviceBlock());
    } else if (header == kInputLabels || header == kOutputLabels) {
        SendLabels(client, header == kInputLabels, true);
    } else if (header == kLocks) {
        SendLocks(client, true);
    } else {
        SendRoutes(client, true);
    }
    return true;
}

bool VideohubServer::Route(Client& client) {
    std::vector<RouteChange> changes;
    for (std::size_t i = 1; i < client.block.size(); ++i) {
        std::string_view out, in;
        int output = 0, input = 0;
        if (!SplitLine(client.block[i], &out, &in) ||
            !ParseNumber(out, 0, kChannelCount - 1, &output) ||
            !ParseNumber(TrimBlanks(in), -1, kParkSource - 1, &input))
            return false;
        // -1, no source on the protocol's other routing blocks, also unlinks.
        changes.push_back({output + 1, input + 1 == kParkSource ? 0 : input + 1});
    }
    return RequestBridgeRoutes(session, changes, client.id);
}

bool VideohubServer::Labels(Client& client, bool inputs) {
    std::string* names = inputs ? config.inputNames : config.outputNames;
    std::vector<std::pair<int, std::string>> changes;
    for (std::size_t i = 1; i < client.block.size(); ++i) {
        std::string_view port, label;
        int channel = 0;
        // The park source's name is not ours to change.
        if (!SplitLine(client.block[i], &port, &label) ||
            !ParseNumber(port, 0, kChannelCount - 1, &channel))
            return false;
        // Stored as config.ini will give it back.
        std::optional<std::string> name = NameFromUtf8(label, kMaxLabel);
        if (!name)
            return false;
        changes.emplace_back(channel + 1, std::move(*name));
    }
    if (renamedBlocks_ == 0) {
        std::copy(config.inputNames, config.inputNames + kChannelTableSize, namesBefore_[0]);
        std::copy(config.outputNames, config.outputNames + kChannelTableSize, namesBefore_[1]);
    }
    for (const auto& [channel, label] : changes)
        names[channel] = label;
    ++renamedBlocks_;
    return true;
}

void VideohubServer::SaveNames(Client& client) {
    if (renamedBlocks_ == 0)
        return;
    if (!SaveChannelNames(config, configPath)) {
        std::copy(namesBefore_[0], namesBefore_[0] + kChannelTableSize, config.inputNames);
        std::copy(namesBefore_[1], namesBefore_[1] + kChannelTableSize, config.outputNames);
        // The ACKs still wait in the buffer; the next Sync puts right what a
        // query in between may have shown.
        for (std::size_t at : renameAnswers_) {
            if (!client.drop && at + 5 <= client.out.size())
                client.out.replace(at, 5, "NAK\n\n");
        }
        session.log.LogEvent(true, true, "Videohub client %d: channel names not saved to %s",
                             client.id, configPath.c_str());
    } else {
        session.log.LogEvent(true, true, "Videohub client %d renamed channels (%d blocks)",
                             client.id, renamedBlocks_);
        if (changed)
            changed();
    }
    renamedBlocks_ = 0;
    renameAnswers_.clear();
}

bool VideohubServer::Locks(Client& client) {
    int owner[kChannelTableSize];
    std::copy(std::begin(session.routing.lockOwner), std::end(session.routing.lockOwner), owner);
    for (std::size_t i = 1; i < client.block.size(); ++i) {
        std::string_view out, what;
        int output = 0;
        if (!SplitLine(client.block[i], &out, &what) ||
            !ParseNumber(out, 0, kChannelCount - 1, &output))
            return false;
        what = TrimBlanks(what);
        LockRequest request = LockRequest::Force;
        if (what == "O")
            request = LockRequest::Own;
        else if (what == "U")
            request = LockRequest::Release;
        else if (what != "F")
            return false;
        if (!ApplyLockRequest(owner[output + 1], client.id, request))
            return false;
    }
    std::copy(std::begin(owner), std::end(owner), session.routing.lockOwner);
    if (changed)
        changed();
    return true;
}

void VideohubServer::Sync() {
    if (RoutesKnown(session)) {
        std::copy(std::begin(session.state.routedInput), std::end(session.state.routedInput),
                  routes_);
        routesKnown_ = true;
    }
    for (Client& client : clients) {
        SendLabels(client, true, false);
        SendLabels(client, false, false);
        SendLocks(client, false);
        SendRoutes(client, false);
    }
}

void VideohubServer::SendRoutes(Client& client, bool all) {
    // Until a router answer shows the routes, there is nothing true to say.
    if (!routesKnown_) {
        if (all)
            Send(client, std::string(kRouting) + "\n\n");
        return;
    }
    std::string text;
    for (int o = 1; o <= kChannelCount; ++o) {
        if (all || client.route[o] != routes_[o]) {
            text += WireRoute(o, routes_[o]) + "\n";
            client.route[o] = routes_[o];
        }
    }
    if (!text.empty())
        Send(client, std::string(kRouting) + "\n" + text + "\n");
}

char VideohubServer::LockFor(const Client& client, int output) const {
    const int owner = session.routing.lockOwner[output];
    return owner == 0 ? 'U' : owner == client.id ? 'O' : 'L';
}

void VideohubServer::SendLocks(Client& client, bool all) {
    std::string text;
    for (int o = 1; o <= kChannelCount; ++o) {
        const char lock = LockFor(client, o);
        if (all || client.lock[o] != lock) {
            text += std::to_string(o - 1) + " " + lock + "\n";
            client.lock[o] = lock;
        }
    }
    if (!text.empty())
        Send(client, std::string(kLocks) + "\n" + text + "\n");
}

void VideohubServer::SendLabels(Client& client, bool inputs, bool all) {
    const std::string* names = inputs ? config.inputNames : config.outputNames;
    std::string* told = inputs ? client.inputLabel : client.outputLabel;
    std::string text;
    for (int n = 1; n <= kChannelCount; ++n) {
        if (all || told[n] != names[n]) {
            text += std::to_string(n - 1) + " " + NameToUtf8(names[n]) + "\n";
            told[n] = names[n];
        }
    }
    if (inputs && all)
        text += std::to_string(kParkSource - 1) + " " + kParkSourceName + "\n";
    if (!text.empty())
        Send(client, std::string(inputs ? kInputLabels : kOutputLabels) + "\n" + text + "\n");
}

std::string VideohubServer::DeviceBlock() const {
    return std::string(kDevice) +
           "\nDevice present: true\nModel name: Corvane 16x16 Router\nFriendly name: " +
           NameToUtf8(friendlyName) + "\nUnique ID: " + UniqueId() +
           "\nVideo inputs: " + std::to_string(kParkSource) +
           "\nVideo processing units: 0\nVideo outputs: 16\n"
           "Video monitoring outputs: 0\nSerial ports: 0\n\n";
}

std::string VideohubServer::UniqueId() const {
    std::string hex;
    for (char c : session.state.routerMac) {
        if (std::isxdigit(static_cast<unsigned char>(c)))
            hex.push_back(static_cast<char>(std::toupper(static_cast<unsigned char>(c))));
    }
    if (hex.size() == 12)
        return hex;
    // No MAC yet: the same link settings give the same id (FNV-1a, 48 bits).
    const std::string link = config.useSerial
                                 ? "serial:" + config.comName
                                 : "udp:" + config.ipAddress + ":" + std::to_string(config.udpPort);
    std::uint64_t hash = 14695981039346656037ull;
    for (char c : link) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 1099511628211ull;
    }
    char text[16];
    std::snprintf(text, sizeof text, "%012llX",
                  static_cast<unsigned long long>(hash & 0xFFFFFFFFFFFFull));
    return text;
}

}  // namespace corvane
