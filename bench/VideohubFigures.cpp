// Videohub figures against the simulated router on 127.0.0.1, through the
// same server, host and loop corvanectl serve runs, with a panel of our own on
// loopback TCP:
//   block to update: a panel's one-line routing block until the status update
//   confirming it reaches the panel, in ms and ticks (floor: the LINK command
//   waits for the next 50 ms tick, then the router's answer);
//   front panel to Videohub update: a change on the router's front panel
//   until the panel has the status update that shows it;
//   LINK commands per burst of 1, 16 and 256 single-line routing blocks sent
//   at once (floor: one, everything within one tick), and ticks until the
//   router confirmed the last of them.
//
//   videohub_figures [--runs N]

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "BridgeFigures.h"
#include "bridge/VideohubServer.h"

namespace corvane::bench {
namespace {

std::string Block(int output, int input) {
    return "VIDEO OUTPUT ROUTING:\n" + std::to_string(output) + " " + std::to_string(input) +
           "\n\n";
}

int Run(int argc, char** argv) {
    const int runs = std::max(1, Argument(argc, argv, "--runs", 20));
    auto simulator = StartSimulator();
    if (!simulator)
        return 1;
    const std::string directory =
        (std::filesystem::temp_directory_path() / "corvane-vh-figures").string();
    std::filesystem::create_directories(directory);

    BridgeRig<VideohubServer> rig(directory, "Videohub");
    rig.server.configPath = directory + "/config.ini";
    if (!rig.Start(*simulator))
        return 1;
    Panel panel(rig.host.port);
    if (!panel.ok || !rig.loop.RunUntil([&] { return panel.Has("END PRELUDE:\n\n"); }, 30s)) {
        std::fprintf(stderr, "no connection\n");
        return 1;
    }

    if (!rig.PrintRequestToUpdate(panel, runs, "block to update", Block, [](int output, int input) {
            return "ACK\n\n" + Block(output, input);
        }))
        return 1;

    // A change on the router's front panel, at any moment of the refresh
    // cycle, until the panel has the status update that shows it.
    std::vector<double> panelMs;
    for (int run = 0; run < runs; ++run) {
        sim::SimRouter router = simulator->Router();
        const int output = FrontPanelChange(router, run);
        const std::string update = Block(output - 1, router.route[output] - 1);
        panel.text.clear();
        const Clock::time_point start = Clock::now();
        simulator->SetRouter(router);
        if (!rig.loop.RunUntil([&] { return panel.Has(update); }, 5s)) {
            std::fprintf(stderr, "run %d: front-panel change not seen\n", run);
            return 1;
        }
        panelMs.push_back(Ms(Clock::now() - start));
        rig.loop.RunUntil([] { return false; }, std::chrono::milliseconds(11 + (run * 37) % 300));
    }
    PrintSpread("front panel to Videohub update", panelMs, "ms   ");

    if (!rig.PrintBursts(panel, *simulator, runs, Block, "ACK\n\n"))
        return 1;

    rig.host.Close();
    rig.connection.Disconnect();
    simulator->Stop();
    std::filesystem::remove_all(directory);
    return 0;
}

}  // namespace
}  // namespace corvane::bench

int main(int argc, char** argv) {
    return corvane::bench::Run(argc, argv);
}
