#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>

#include "../support/SessionSupport.h"
#include "BridgeFuzz.h"
#include "FuzzCheck.h"
#include "base/EventLog.h"
#include "bridge/VideohubServer.h"

namespace {

using namespace corvane;

// Complete non-empty blocks in the bytes, counted the simple way.
int CompleteBlocks(const std::string& bytes) {
    int blocks = 0;
    bool inBlock = false;
    std::size_t start = 0;
    for (std::size_t end; (end = bytes.find('\n', start)) != std::string::npos; start = end + 1) {
        std::size_t length = end - start;
        if (length > 0 && bytes[end - 1] == '\r')
            --length;
        if (length == 0 && inBlock)
            ++blocks;
        inBlock = length > 0;
    }
    return blocks;
}

// ACK and NAK blocks among what a client was sent.
int Answers(const std::string& out) {
    int answers = 0;
    std::size_t start = 0;
    bool header = true;
    for (std::size_t end; (end = out.find('\n', start)) != std::string::npos; start = end + 1) {
        const std::string line = out.substr(start, end - start);
        if (header && (line == "ACK" || line == "NAK"))
            ++answers;
        header = line.empty();
    }
    return answers;
}

// Renames are saved for real, into a directory of this run's own.
std::string ConfigPath() {
    static const std::filesystem::path dir =
        std::filesystem::temp_directory_path() /
        ("corvane-vhfuzz-" + std::to_string(std::random_device{}()));
    std::filesystem::create_directories(dir);
    std::atexit([] {
        std::error_code ignored;
        std::filesystem::remove_all(dir, ignored);
    });
    return (dir / "config.ini").string();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > 1 << 20)
        return 0;
    static EventLog log(".", [] { return LocalTime{}; });
    log.fileLogEnabled = false;
    static const std::string configPath = ConfigPath();

    RouterSession session(log);
    const int none[kChannelTableSize] = {};
    ConnectPolled(session, nullptr, none);
    AppConfig config;
    VideohubServer server(session, config);
    server.configPath = configPath;

    const auto [a, b] = FeedTwoClients(server, data, size);
    const int blocks = CompleteBlocks(std::string(reinterpret_cast<const char*>(data), size));
    FUZZ_CHECK(Answers(server.Find(a)->out) == blocks && Answers(server.Find(b)->out) == blocks);
    FUZZ_CHECK(session.commandQueue.size() <= 1);
    for (const VideohubServer::Client& client : server.clients)
        FUZZ_CHECK(client.partial.size() <= VideohubServer::kMaxLine + 2 &&
                   client.block.size() <= std::size_t(VideohubServer::kMaxBlockLines));
    RemoveTwoClients(server, {a, b});
    return 0;
}
