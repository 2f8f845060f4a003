#include "bridge/Swp08Server.h"

#include <algorithm>
#include <vector>

#include "bridge/BridgeText.h"

namespace corvane {

using namespace swp08;

namespace {

// Name lengths by the requests' length code.
constexpr int kNameLengths[] = {4, 8, 12};

// Every command we send, then every one we answer, as routers list them:
// clients send only what they find here.
constexpr std::uint8_t kImplemented[] = {
    kCrosspointTally,    kCrosspointConnected,   kDualStatus,
    kProtectTally,       kProtectConnected,      kProtectDisconnected,
    kTallyDump,          kImplementation,        kSourceNames,
    kDestNames,          kCrosspointInterrogate, kCrosspointConnect,
    kDualStatusRequest,  kProtectInterrogate,    kProtectConnect,
    kProtectDisconnect,  kTallyDumpRequest,      kImplementationRequest,
    kSourceNamesRequest, kSourceNameRequest,     kDestNamesRequest,
    kDestNameRequest};

std::string Bytes(std::initializer_list<int> bytes) {
    std::string data;
    for (int b : bytes)
        data.push_back(static_cast<char>(b));
    return data;
}

// The multiplier byte: destination DIV 128 in bits 4-6, source (or protect
// device) DIV 128 in bits 0-2.
int Multiplier(int destination, int source) {
    return (destination / 128 & 7) << 4 | (source / 128 & 7);
}

}  // namespace

Swp08Server::Swp08Server(RouterSession& session, AppConfig& config)
    : BridgeClients(session, "SW-P-08"), config(config) {
    std::fill(std::begin(toldRoutes_), std::end(toldRoutes_), kUntold);
    if (RoutesKnown(session))
        std::copy(std::begin(session.state.routedInput), std::end(session.state.routedInput),
                  toldRoutes_);
    std::copy(std::begin(session.routing.lockOwner), std::end(session.routing.lockOwner),
              toldOwners_);
}

int Swp08Server::AddClient(const std::string& peer) {
    // What the others have not been told yet is not news to the newcomer.
    Sync();
    Client* client = Admit(peer);
    if (client == nullptr)
        return 0;
    std::fill(std::begin(client->asked), std::end(client->asked), kNoRoute);
    return client->id;
}

void Swp08Server::Feed(int id, const char* bytes, std::size_t count) {
    Client* found = Find(id);
    if (found == nullptr)
        return;
    Client& client = *found;
    for (std::size_t i = 0; i < count && !client.drop; ++i) {
        const Swp08Reader::Result got = client.reader.Push(bytes[i]);
        if (got == Swp08Reader::kBad) {
            Send(client, kSwpNak);
        } else if (got == Swp08Reader::kMessage) {
            // Acknowledged before it is acted on, whatever it asks.
            Send(client, kSwpAck);
            client.heard = clock();
            Handle(client, client.reader.message);
        }
    }
    Sync();
}

void Swp08Server::Handle(Client& client, std::string_view m) {
    // Older clients (Companion's module among them, for years) ask for all
    // names with the length code alone, meaning matrix 0.
    std::string full;
    const std::uint8_t first = static_cast<std::uint8_t>(m[0]);
    if (m.size() == 2 && (first == kSourceNamesRequest || first == kDestNamesRequest)) {
        full = {m[0], '\0', m[1]};
        m = full;
    }
    auto at = [&m](std::size_t i) { return static_cast<std::uint8_t>(m[i]); };
    const std::uint8_t command = at(0);
    // Our router is matrix 0 level 0; destination names belong to a matrix.
    const bool ours = m.size() >= 2 && at(1) == 0;
    const bool ourMatrix = m.size() >= 2 && at(1) >> 4 == 0;
    // Crosspoint and protect messages: multiplier, destination MOD 128, and
    // source or device MOD 128.
    const int output = m.size() >= 4 ? (at(2) >> 4 & 7) * 128 + at(3) + 1 : 0;
    const int other = m.size() >= 5 ? (at(2) & 7) * 128 + at(4) : 0;
    const bool outputOk = output >= 1 && output <= kChannelCount;
    // Name requests: length code, then for one name its number, high byte first.
    const bool lengthOk = m.size() >= 3 && at(2) < std::size(kNameLengths);
    const int number = m.size() >= 5 ? at(3) << 8 | at(4) : -1;

    switch (command) {
        case kCrosspointInterrogate:
            if (ours && outputOk && RoutesKnown(session))
                SendMessage(client, Crosspoint(kCrosspointTally, output));
            break;
        case kCrosspointConnect:
            if (ours && outputOk && m.size() >= 5)
                Connect(client, output, other);
            break;
        case kTallyDumpRequest:
            if (ours && RoutesKnown(session)) {
                std::string dump = Bytes({kTallyDump, 0, kChannelCount, 0});
                for (int o = 1; o <= kChannelCount; ++o)
                    dump.push_back(static_cast<char>(Source(o)));
                SendMessage(client, dump);
            }
            break;
        case kProtectInterrogate:
            if (ours && outputOk)
                SendMessage(client, ProtectState(kProtectTally, output));
            break;
        case kProtectConnect:
        case kProtectDisconnect:
            if (ours && outputOk && m.size() >= 5)
                Protect(client, output, other, command == kProtectConnect);
            break;
        case kDualStatusRequest:
            // One controller, always the active master; there is no idle one to
            // report as faulty.
            SendMessage(client, Bytes({kDualStatus, 0, 0}));
            break;
        case kImplementationRequest: {
            // Clients read the list from the fourth byte on; the two before it
            // are left 0.
            std::string list = Bytes({kImplementation, 0, 0});
            list.append(std::begin(kImplemented), std::end(kImplemented));
            SendMessage(client, list);
            break;
        }
        case kSourceNamesRequest:
            if (ours && lengthOk)
                SendNames(client, true, at(1), at(2), 0, kParkSource);
            break;
        case kDestNamesRequest:
            if (ourMatrix && lengthOk)
                SendNames(client, false, at(1), at(2), 0, kChannelCount);
            break;
        case kSourceNameRequest:
            if (ours && lengthOk && number >= 0 && number < kParkSource)
                SendNames(client, true, at(1), at(2), number, 1);
            break;
        case kDestNameRequest:
            if (ourMatrix && lengthOk && number >= 0 && number < kChannelCount)
                SendNames(client, false, at(1), at(2), number, 1);
            break;
        default:  // not ours to answer: acknowledged only
            break;
    }
}

void Swp08Server::Connect(Client& client, int output, int source) {
    // The park source takes the output off air.
    const int input = source + 1 == kParkSource ? 0 : source + 1;
    if (source + 1 <= kParkSource && RequestBridgeRoutes(session, {{output, input}}, client.id)) {
        client.asked[output] = input;
        return;
    }
    // Refused: the client is told what stays, when that is known.
    if (RoutesKnown(session))
        SendMessage(client, Crosspoint(kCrosspointTally, output));
}

void Swp08Server::Protect(Client& client, int output, int device, bool on) {
    int& owner = session.routing.lockOwner[output];
    const bool done = on ? ApplyLockRequest(owner, client.id, LockRequest::Own)
                         // A client's protect is lifted by any other, as a
                         // Videohub client forces a lock open.
                         : ApplyLockRequest(owner, client.id, LockRequest::Release) ||
                               ApplyLockRequest(owner, client.id, LockRequest::Force);
    if (done && on)
        client.device = device;
    // Told at once: a later request in the same read may undo it.
    if (TellOwner(output)) {
        if (changed)
            changed();
        return;
    }
    SendMessage(client, ProtectState(!done ? kProtectTally
                                     : on  ? kProtectConnected
                                           : kProtectDisconnected,
                                     output));
}

void Swp08Server::SendNames(Client& client, bool sources, int address, int lengthCode, int first,
                            int count) {
    const int length = kNameLengths[lengthCode];
    // Command, address, length code, first number (2 bytes) and count lead.
    const int perMessage = (static_cast<int>(kMaxData) - 6) / length;
    for (int at = first; at < first + count; at += perMessage) {
        const int n = std::min(perMessage, first + count - at);
        std::string data = Bytes(
            {sources ? kSourceNames : kDestNames, address, lengthCode, at >> 8, at & 0xFF, n});
        for (int i = at; i < at + n; ++i) {
            std::string name = !sources               ? config.outputNames[i + 1]
                               : i + 1 == kParkSource ? std::string(kParkSourceName)
                                                      : config.inputNames[i + 1];
            data += Swp08Name(name, static_cast<std::size_t>(length));
        }
        SendMessage(client, data);
    }
}

int Swp08Server::Source(int output) const {
    const int input = session.state.routedInput[output];
    return (input == 0 ? kParkSource : input) - 1;
}

std::string Swp08Server::Crosspoint(std::uint8_t command, int output) const {
    const int source = Source(output);
    const int destination = output - 1;
    return Bytes({command, 0, Multiplier(destination, source), destination % 128, source % 128});
}

std::string Swp08Server::ProtectState(std::uint8_t command, int output) {
    const int owner = session.routing.lockOwner[output];
    const Client* holder = owner >= kFirstClient ? Find(owner) : nullptr;
    const int device = holder != nullptr ? holder->device : 0;
    const int state = owner == 0           ? kNotProtected
                      : owner == kOperator ? kOverrideProtected
                                           : kProtected;
    const int destination = output - 1;
    return Bytes(
        {command, 0, state, Multiplier(destination, device), destination % 128, device % 128});
}

void Swp08Server::SendMessage(Client& client, std::string_view data) {
    Send(client, Swp08Frame(data));
}

void Swp08Server::Broadcast(std::string_view data) {
    const std::string wire = Swp08Frame(data);
    for (Client& client : clients)
        Send(client, wire);
}

bool Swp08Server::TellOwner(int output) {
    const int owner = session.routing.lockOwner[output];
    if (toldOwners_[output] == owner)
        return false;
    toldOwners_[output] = owner;
    Broadcast(ProtectState(owner == 0 ? kProtectDisconnected : kProtectConnected, output));
    return true;
}

void Swp08Server::Sync() {
    const bool known = RoutesKnown(session);
    for (int o = 1; o <= kChannelCount; ++o) {
        bool told = false;
        const int now = session.state.routedInput[o];
        if (known && toldRoutes_[o] != now) {
            toldRoutes_[o] = now;
            Broadcast(Crosspoint(kCrosspointConnected, o));
            told = true;
        }
        // A connect the router has answered gets its CONNECTED even when it
        // changed nothing; one it did not take gets the tally of what stays.
        for (Client& client : clients) {
            if (!known || client.asked[o] == kNoRoute || session.routing.pending[o] != kNoRoute)
                continue;
            if (!told)
                SendMessage(client, Crosspoint(client.asked[o] == now ? kCrosspointConnected
                                                                      : kCrosspointTally,
                                               o));
            client.asked[o] = kNoRoute;
        }
        TellOwner(o);
    }
}

}  // namespace corvane
