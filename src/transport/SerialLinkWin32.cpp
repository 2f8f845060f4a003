// The RS232 link on Windows: overlapped I/O on a COM port and a watcher
// thread that waits for received characters.
#ifdef _WIN32

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <system_error>

#include "transport/SerialLink.h"

namespace corvane {

namespace {

constexpr DWORD kDriverQueueSize = 4192;
constexpr int kBatchSize = 2048;
// A full ring is re-checked this often while the owner drains it.
constexpr DWORD kRoomWaitMs = 5;
// How often a watcher with nothing to do looks at the driver's queue itself.
constexpr DWORD kRecheckMs = 100;
// A live port may see a wait aborted now and then (Wine does it after an
// open); a port whose waits are aborted again and again with nothing
// received has gone away (a hung-up line, a USB adapter pulled out).
constexpr int kAbortedWaitsMeanGone = 5;
// Without handshake lines a stalled port would otherwise hold a write, and so
// the owner's thread, for ever.
constexpr DWORD kWriteTimeoutMs = 1000;
// The longest a Write waits on the owner's thread.
constexpr DWORD kWriteStepMs = 5;
constexpr DWORD kPurgeAll = PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR;

bool ResetOverlapped(OVERLAPPED& overlapped) {
    if (overlapped.hEvent != nullptr)
        CloseHandle(overlapped.hEvent);
    overlapped = OVERLAPPED{};
    overlapped.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    return overlapped.hEvent != nullptr;
}

void ReleaseOverlapped(OVERLAPPED& overlapped) {
    if (overlapped.hEvent != nullptr)
        CloseHandle(overlapped.hEvent);
    overlapped = OVERLAPPED{};
}

}  // namespace

struct SerialLink::Impl {
    HANDLE port = INVALID_HANDLE_VALUE;
    OVERLAPPED readOverlapped{};
    OVERLAPPED writeOverlapped{};
    OVERLAPPED waitOverlapped{};  // the watcher's WaitCommEvent
    HANDLE stopEvent = nullptr;   // set by Close; ends every wait of the watcher
    std::atomic<bool> deviceLost{false};

    // What the driver has queued, at most maximum bytes, without waiting; 0
    // when nothing is (deviceLost tells a port that went away).
    int Read(void* buffer, int maximum);
};

int SerialLink::Impl::Read(void* buffer, int maximum) {
    if (port == INVALID_HANDLE_VALUE || maximum <= 0)
        return 0;
    DWORD errors = 0;
    COMSTAT status{};
    if (!ClearCommError(port, &errors, &status)) {
        deviceLost = true;  // the handle no longer names a device
        return 0;
    }
    if (status.cbInQue == 0)
        return 0;
    DWORD got = 0;
    if (ReadFile(port, buffer, static_cast<DWORD>(maximum), &got, &readOverlapped)) {
        return static_cast<int>(got);
    }
    if (GetLastError() != ERROR_IO_PENDING) {
        if (!ClearCommError(port, &errors, nullptr))
            deviceLost = true;
        return 0;
    }
    if (!GetOverlappedResult(port, &readOverlapped, &got, TRUE)) {
        if (!ClearCommError(port, &errors, nullptr))
            deviceLost = true;
    }
    return static_cast<int>(got);
}

SerialLink::SerialLink() : impl_(new Impl) {}

SerialLink::~SerialLink() {
    Close();
    if (impl_->stopEvent != nullptr)
        CloseHandle(impl_->stopEvent);
    delete impl_;
}

std::string SerialLink::DevicePath(const std::string& portName) {
    // "\\.\COMn" reaches every port, COM10 and above included.
    if (ComPortNumber(portName) >= 1)
        return "\\\\.\\" + portName;
    return portName;
}

LinkResult SerialLink::Open(const std::string& name, int speed, int dataBits, StopBits stopBits,
                            Parity parity) {
    Close();  // never two watchers on one link
    message.clear();
    lastError = 0;
    Impl& d = *impl_;
    d.deviceLost = false;
    // Each failure below closes the port and keeps GetLastError.
    auto fail = [&](LinkResult result) {
        lastError =
            result == LinkResult::kInvalidArgument ? ERROR_INVALID_PARAMETER : GetLastError();
        Close();
        return result;
    };
    if (!ResetOverlapped(d.readOverlapped) || !ResetOverlapped(d.writeOverlapped) ||
        !ResetOverlapped(d.waitOverlapped)) {
        return fail(LinkResult::kFailed);
    }
    if (d.stopEvent == nullptr)
        d.stopEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (d.stopEvent == nullptr)
        return fail(LinkResult::kFailed);
    ResetEvent(d.stopEvent);

    portName = name;
    // Not shared: a port another program has open is refused with access denied.
    d.port = CreateFileA(DevicePath(name).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OVERLAPPED, nullptr);
    if (d.port == INVALID_HANDLE_VALUE) {
        lastError = static_cast<int>(GetLastError());
        message = "fail Port open";
        return lastError == ERROR_ACCESS_DENIED ? LinkResult::kBusy : LinkResult::kFailed;
    }
    // A zero or negative speed (a damaged config.ini) would divide by zero below.
    if (speed <= 0 || (stopBits != StopBits::kOne && stopBits != StopBits::kTwo) ||
        (parity != Parity::kNone && parity != Parity::kOdd && parity != Parity::kEven))
        return fail(LinkResult::kInvalidArgument);

    // Checked here rather than in the watcher, so that a port which could
    // never report a character fails to open instead of staying silent.
    if (!SetCommMask(d.port, EV_RXCHAR)) {
        message = "Error while creating ThreadWatchComm, " + portName;
        return fail(LinkResult::kFailed);
    }
    SetupComm(d.port, kDriverQueueSize, kDriverQueueSize);
    PurgeComm(d.port, kPurgeAll);

    COMMTIMEOUTS timeouts{};
    timeouts.ReadIntervalTimeout = MAXDWORD;  // a read returns at once with what is there
    timeouts.ReadTotalTimeoutMultiplier = 0;
    timeouts.ReadTotalTimeoutConstant = 0;
    timeouts.WriteTotalTimeoutMultiplier = 19200 / static_cast<DWORD>(speed);
    timeouts.WriteTotalTimeoutConstant = kWriteTimeoutMs;
    SetCommTimeouts(d.port, &timeouts);

    DCB state{};
    state.DCBlength = sizeof state;
    if (!GetCommState(d.port, &state))
        return fail(LinkResult::kFailed);
    state.BaudRate = static_cast<DWORD>(speed);
    state.ByteSize = static_cast<BYTE>(dataBits);
    state.Parity = parity == Parity::kOdd    ? ODDPARITY
                   : parity == Parity::kEven ? EVENPARITY
                                             : NOPARITY;
    state.StopBits = stopBits == StopBits::kTwo ? TWOSTOPBITS : ONESTOPBIT;
    if (!SetCommState(d.port, &state))
        return fail(GetLastError() == ERROR_INVALID_PARAMETER ? LinkResult::kInvalidArgument
                                                              : LinkResult::kFailed);

    return StartWatcher();
}

void SerialLink::Close() {
    Impl& d = *impl_;
    connected.store(0);
    if (d.stopEvent != nullptr)
        SetEvent(d.stopEvent);
    if (d.port != INVALID_HANDLE_VALUE)
        SetCommMask(d.port, 0);  // wakes WaitCommEvent
    if (watcher_.joinable()) {
        // notify must only post; a Close from the watcher itself leaves the
        // join and the handles to the owner's next Close.
        if (watcher_.get_id() == std::this_thread::get_id())
            return;
        watcher_.join();
    }
    if (d.port != INVALID_HANDLE_VALUE) {
        PurgeComm(d.port, kPurgeAll);
        CloseHandle(d.port);
        d.port = INVALID_HANDLE_VALUE;
    }
    ReleaseOverlapped(d.readOverlapped);
    ReleaseOverlapped(d.writeOverlapped);
    ReleaseOverlapped(d.waitOverlapped);
    hungUp.store(0);
}

int SerialLink::Write(const void* bytes, std::size_t length) {
    Impl& d = *impl_;
    if (connected.load() == 0 || d.port == INVALID_HANDLE_VALUE || length == 0)
        return 0;
    if (length > MAXDWORD)
        length = MAXDWORD;
    DWORD written = 0;
    DWORD errors = 0;
    if (WriteFile(d.port, bytes, static_cast<DWORD>(length), &written, &d.writeOverlapped)) {
        return static_cast<int>(written);
    }
    if (GetLastError() != ERROR_IO_PENDING) {
        lastError = static_cast<int>(GetLastError());
        ClearCommError(d.port, &errors, nullptr);
        return 0;
    }
    // A few milliseconds at most: what has not gone by then is cancelled and
    // offered again by the caller, so a port that stops taking bytes never
    // holds the owner's thread. The cancelled write reports what it sent.
    if (WaitForSingleObject(d.writeOverlapped.hEvent, kWriteStepMs) != WAIT_OBJECT_0)
        CancelIoEx(d.port, &d.writeOverlapped);
    if (!GetOverlappedResult(d.port, &d.writeOverlapped, &written, TRUE)) {
        ClearCommError(d.port, &errors, nullptr);
    }
    return static_cast<int>(written);
}

void SerialLink::ThreadWatchComm() {
    Impl& d = *impl_;
    std::uint8_t batch[kBatchSize];
    bool overrun = false;
    bool lost = false;
    int emptyWakeups = 0;
    int abortedWaits = 0;  // in a row, with nothing received in between

    auto notifyOwner = [this](SerialEvent event) {
        if (notify)
            notify(event);
    };
    // Stores every byte of a batch. When the ring is full the owner is woken
    // and the watcher waits for room, so nothing received is ever dropped.
    // False when Close asked the watcher to stop meanwhile.
    auto store = [&](int count) {
        for (int i = 0; i < count; ++i) {
            int waits = 0;
            while (ring.Put(batch[i]) == 0) {
                if (!overrun) {
                    overrun = true;
                    notifyOwner(SerialEvent::Overrun);
                }
                if (waits++ % 20 == 0)
                    notifyOwner(SerialEvent::Received);
                if (WaitForSingleObject(d.stopEvent, kRoomWaitMs) == WAIT_OBJECT_0)
                    return false;
                if (connected.load() == 0)
                    return false;
            }
        }
        return true;
    };

    // Drains first and waits afterwards: bytes that arrived before the wait was
    // issued would not wake it.
    while (connected.load() != 0) {
        bool received = false;
        for (;;) {
            const int count = d.Read(batch, kBatchSize);
            if (count <= 0)
                break;
            if (!store(count))
                return;
            received = true;
        }
        if (d.deviceLost) {
            lost = connected.load() != 0;
            break;
        }
        if (received) {
            overrun = false;
            emptyWakeups = 0;
            abortedWaits = 0;
            notifyOwner(SerialEvent::Received);
        } else if (++emptyWakeups > 3) {
            // A wait that keeps returning without data must not become a spin.
            if (WaitForSingleObject(d.stopEvent, 10) == WAIT_OBJECT_0)
                break;
        }

        DWORD mask = 0;
        ResetEvent(d.waitOverlapped.hEvent);
        if (WaitCommEvent(d.port, &mask, &d.waitOverlapped))
            continue;
        const DWORD waitError = GetLastError();
        if (waitError == ERROR_OPERATION_ABORTED) {
            if (++abortedWaits >= kAbortedWaitsMeanGone) {
                lost = connected.load() != 0;
                break;
            }
            continue;
        }
        if (waitError != ERROR_IO_PENDING) {
            lost = connected.load() != 0;
            break;
        }
        // Bytes that slip in between the drain and the wait may not wake it on
        // every driver, so the queue is looked at again now and then.
        HANDLE handles[2] = {d.waitOverlapped.hEvent, d.stopEvent};
        DWORD which = WAIT_TIMEOUT;
        for (;;) {
            which = WaitForMultipleObjects(2, handles, FALSE, kRecheckMs);
            if (which != WAIT_TIMEOUT)
                break;
            DWORD errors = 0;
            COMSTAT status{};
            if (!ClearCommError(d.port, &errors, &status) || status.cbInQue > 0)
                break;  // bytes are queued, or the device is gone: go and look
        }
        if (which != WAIT_OBJECT_0) {
            // The OVERLAPPED must not be reused or freed while the wait is pending.
            DWORD unused = 0;
            CancelIo(d.port);
            GetOverlappedResult(d.port, &d.waitOverlapped, &unused, TRUE);
            if (which == WAIT_TIMEOUT)
                continue;  // the drain notices a device that went away
            break;         // Close
        }
        DWORD unused = 0;
        if (GetOverlappedResult(d.port, &d.waitOverlapped, &unused, FALSE)) {
            abortedWaits = 0;
        } else if (GetLastError() != ERROR_OPERATION_ABORTED ||
                   ++abortedWaits >= kAbortedWaitsMeanGone) {
            lost = connected.load() != 0;
            break;
        }
    }
    if (lost) {
        connected.store(0);
        hungUp.store(1);
        notifyOwner(SerialEvent::Hangup);
    }
}

}  // namespace corvane

#endif  // _WIN32
