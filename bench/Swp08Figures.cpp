// SW-P-08 figures against the simulated router on 127.0.0.1, through the
// same server, host and loop corvanectl serve runs, with a control system of
// our own on loopback TCP:
//   connect to CONNECTED: a crosspoint connect until the CONNECTED that
//   confirms it reaches the client, in ms and ticks, mean and p95 (floor: the
//   LINK command waits for the next 50 ms tick, then the router's answer);
//   LINK commands per burst of 1, 16 and 256 connects sent at once (floor:
//   one, everything within one tick), and ticks until the router confirmed
//   the last of them.
//
//   swp08_figures [--runs N]

#include <filesystem>
#include <string>

#include "BridgeFigures.h"
#include "bridge/Swp08Server.h"

namespace corvane::bench {
namespace {

// Matrix 0, level 0, numbers under 128: no multiplier.
std::string Crosspoint(std::uint8_t command, int output, int input) {
    return Swp08Frame(
        std::string{char(command), 0, 0, static_cast<char>(output), static_cast<char>(input)});
}
std::string Connect(int output, int input) {
    return Crosspoint(swp08::kCrosspointConnect, output, input);
}
std::string Connected(int output, int input) {
    return Crosspoint(swp08::kCrosspointConnected, output, input);
}

int Run(int argc, char** argv) {
    const int runs = std::max(1, Argument(argc, argv, "--runs", 20));
    auto simulator = StartSimulator();
    if (!simulator)
        return 1;
    BridgeRig<Swp08Server> rig(std::filesystem::temp_directory_path().string(), "SW-P-08");
    if (!rig.Start(*simulator))
        return 1;
    Panel client(rig.host.port);
    if (!client.ok) {
        std::fprintf(stderr, "no connection\n");
        return 1;
    }
    if (!rig.PrintRequestToUpdate(client, runs, "connect to CONNECTED", Connect, Connected) ||
        !rig.PrintBursts(client, *simulator, runs, Connect, std::string(kSwpAck)))
        return 1;
    rig.host.Close();
    rig.connection.Disconnect();
    simulator->Stop();
    return 0;
}

}  // namespace
}  // namespace corvane::bench

int main(int argc, char** argv) {
    return corvane::bench::Run(argc, argv);
}
