#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "SimRouter.h"

namespace corvane::sim {

enum class Fault {
    None,
    Garbage,   // every answer is replaced by random bytes
    Oversize,  // every answer is padded past 256 bytes
    Drop,      // after the first answer the pty is hung up / UDP goes quiet
};

struct SimOptions {
    bool serial = false;                    // a pseudo-terminal instead of UDP
    std::string bindAddress = "127.0.0.1";  // loopback unless asked otherwise
    int udpPort = 0;                        // 0 = any free port
    int delayMs = 0;                        // before each answer leaves
    bool silent = false;                    // record commands, never answer (until "silent 0")
    Fault fault = Fault::None;
    std::string transcriptPath;  // every command with its time; empty = none
    int panelPort = -1;          // front panel lines over UDP on 127.0.0.1; 0 = any, -1 = none
    int churnMs = 0;             // a random change this often; 0 = never
    unsigned seed = 1;           // for the changes, so that a run can be repeated
    bool verbose = false;        // print each change and UDP panel line on stdout
};

bool ParseFault(const std::string& name, Fault* fault);

struct TranscriptEntry {
    std::chrono::system_clock::time_point time;
    std::string command;
};

// The simulated router on its own thread: it reads commands from a UDP socket
// or a pty master, answers them and records them.
class RouterSim {
public:
    explicit RouterSim(SimOptions options, SimRouter router = DefaultRouter());
    ~RouterSim();
    RouterSim(const RouterSim&) = delete;
    RouterSim& operator=(const RouterSim&) = delete;

    // Opens the socket or pty and starts serving. False with a reason on failure.
    bool Start(std::string* error);
    void Stop();

    int port = 0;         // the bound UDP port, once started
    std::string ptyPath;  // the pty's slave device, once started
    int panelPort = 0;    // the front panel's UDP port, once started with one

    // One front-panel line (see PanelLine) and its answer.
    std::string Panel(std::string_view line);
    // One random change, as the thread makes every churnMs; returns its panel line.
    std::string Churn();

    SimRouter Router() const;
    void SetRouter(const SimRouter& router);  // the whole state, whether silent too
    std::vector<TranscriptEntry> Transcript() const;
    std::vector<std::string> Commands() const;
    std::size_t CommandCount() const;

    void SetSilent(bool silent);  // as the panel's "silent 1" / "silent 0"
    // Raw bytes to the client after delayMs (pty, or the last UDP sender).
    void Inject(const std::string& bytes, int delayMs = 0);
    // Hangs up the pty (closes the master) or stops answering over UDP.
    void DropLink();
    bool LinkDropped() const { return dropped_; }

private:
    struct Outgoing {
        std::chrono::steady_clock::time_point due;
        std::string bytes;
        bool dropAfter = false;
    };

    void Run();
    void Receive();
    void ReceivePanel();
    void OnCommand(std::string_view command);
    void Flush();
    void Transmit(const std::string& bytes);
    void CloseLink();
    std::string Garble(std::size_t seed) const;

    SimOptions options_;
    mutable std::mutex mutex_;  // guards router_, transcript_, outbox_, peer_, random_
    SimRouter router_;
    std::minstd_rand random_;
    std::vector<TranscriptEntry> transcript_;
    std::vector<Outgoing> outbox_;
    std::vector<std::uint8_t> peer_;  // sockaddr of the last UDP sender
    CommandFramer framer_;

    std::atomic<bool> dropped_{false};
    std::atomic<bool> stop_{false};
    std::atomic<bool> dropRequested_{false};
    bool droppedFirst_ = false;
    int ioFd_ = -1;     // UDP socket or pty master
    int slaveFd_ = -1;  // held open so the master never sees a hang-up by itself
    int panelFd_ = -1;
    int wakeRead_ = -1;  // self-pipe: Stop, Inject and DropLink wake the thread
    int wakeWrite_ = -1;
    std::thread thread_;
};

}  // namespace corvane::sim
