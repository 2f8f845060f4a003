#pragma once

#include <atomic>
#include <cstddef>
#include <functional>
#include <string>
#include <thread>

#include "transport/Link.h"
#include "transport/ReceiveRing.h"

namespace corvane {

// What the watcher thread tells the owner. Called on the watcher thread: the
// owner only posts a wake-up to its own thread (MainDialog posts kSerialRxEvent,
// HeadlessLoop writes to its wake-up pipe).
// notify must never call Close (or Open) itself: Close joins the watcher, and
// the watcher is the thread running notify.
enum class SerialEvent {
    Received,  // bytes are waiting in the ring
    Overrun,   // the owner is not draining the ring fast enough; reading waits
    Hangup,    // the device went away; the watcher has ended
};

enum class StopBits { kOne, kTwo };
enum class Parity { kNone, kOdd, kEven };

// The RS232 link: opens a port raw at the given line format and has it to
// itself while open (no other program, and no second Corvane, gets it),
// writes on the owner's thread without waiting (Write returns what the port
// took, possibly a part or nothing), and runs a watcher thread that moves
// received bytes into the ring in batches of up to 2048.
class SerialLink : public Link {
public:
    SerialLink();
    ~SerialLink() override;  // closes the port and stops the watcher
    SerialLink(const SerialLink&) = delete;
    SerialLink& operator=(const SerialLink&) = delete;

    // kOk: open and watched. A port that could not be opened at all, or that
    // another program holds, also sets message (for a message box). Opening
    // an open link closes it first.
    LinkResult Open(const std::string& name, int speed, int dataBits, StopBits stopBits,
                    Parity parity);
    void Close() override;
    bool IsOpen() const override { return connected != 0; }
    int Write(const void* bytes, std::size_t length) override;

    // "COM3" names /dev/ttyS2 on POSIX systems; any other name is a device path.
    static std::string DevicePath(const std::string& portName);
    // n for "COMn" (any case, n >= 1), 0 for any other name.
    static int ComPortNumber(const std::string& portName);

    std::string portName;
    std::atomic<int> connected{0};
    // Set by the watcher when the device went away, before it sends Hangup;
    // cleared by Open and Close. Tells a stale Hangup from a fresh one.
    std::atomic<int> hungUp{0};
    ReceiveRing ring;
    std::function<void(SerialEvent)> notify;
    // Text for the owner to show when Open fails in a way the user must see
    // ("fail Port open"); empty otherwise.
    std::string message;

private:
    // Marks the port connected and starts ThreadWatchComm; on failure closes
    // the port. Returns what Open returns.
    LinkResult StartWatcher();
    void ThreadWatchComm();
    struct Impl;
    Impl* impl_;
    std::thread watcher_;
};

}  // namespace corvane
