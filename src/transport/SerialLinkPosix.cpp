#ifndef _WIN32

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <system_error>

#include "transport/SerialLink.h"

namespace corvane {

namespace {

constexpr int kReadBatch = 2048;
// How long the watcher sleeps between looks at a full ring; Close wakes it early.
constexpr int kRoomPollMs = 10;
// Shown by ps and debuggers.
constexpr const char* kWatcherName = "serial-watch";

bool SpeedCode(int speed, speed_t& code) {
    struct Entry {
        int speed;
        speed_t code;
    };
    static const Entry kSpeeds[] = {
        {50, B50},           {75, B75},         {110, B110},       {134, B134},     {150, B150},
        {200, B200},         {300, B300},       {600, B600},       {1200, B1200},   {1800, B1800},
        {2400, B2400},       {4800, B4800},     {9600, B9600},     {19200, B19200}, {38400, B38400},
        {57600, B57600},     {115200, B115200}, {230400, B230400},
#ifdef B460800
        {460800, B460800},
#endif
#ifdef B500000
        {500000, B500000},
#endif
#ifdef B576000
        {576000, B576000},
#endif
#ifdef B921600
        {921600, B921600},
#endif
#ifdef B1000000
        {1000000, B1000000},
#endif
#ifdef B1152000
        {1152000, B1152000},
#endif
#ifdef B1500000
        {1500000, B1500000},
#endif
#ifdef B2000000
        {2000000, B2000000},
#endif
    };
    for (const Entry& e : kSpeeds) {
        if (e.speed == speed) {
            code = e.code;
            return true;
        }
    }
    return false;
}

bool CharacterSize(int dataBits, tcflag_t& flag) {
    switch (dataBits) {
        case 5:
            flag = CS5;
            return true;
        case 6:
            flag = CS6;
            return true;
        case 7:
            flag = CS7;
            return true;
        case 8:
            flag = CS8;
            return true;
        default:
            return false;
    }
}

bool MakePipe(int fds[2]) {
    if (pipe(fds) != 0)
        return false;
    for (int i = 0; i < 2; ++i) {
        fcntl(fds[i], F_SETFD, FD_CLOEXEC);
        fcntl(fds[i], F_SETFL, fcntl(fds[i], F_GETFL) | O_NONBLOCK);
    }
    return true;
}

void CloseFd(int& fd) {
    if (fd >= 0)
        close(fd);
    fd = -1;
}

}  // namespace

struct SerialLink::Impl {
    int fd = -1;
    int wakeRead = -1;
    int wakeWrite = -1;
    // Exclusive mode and the lock are this link's: close clears the mode and
    // drops unsent output. A port held by another program is left as it is.
    bool owned = false;

    void Wake() const {
        const char byte = 1;
        // A full pipe already wakes the watcher, so a failed write loses nothing.
        [[maybe_unused]] ssize_t n = write(wakeWrite, &byte, 1);
    }
};

std::string SerialLink::DevicePath(const std::string& portName) {
    const int number = ComPortNumber(portName);
    if (number >= 1)
        return "/dev/ttyS" + std::to_string(number - 1);
    return portName;
}

SerialLink::SerialLink() : impl_(new Impl) {}

SerialLink::~SerialLink() {
    Close();
    delete impl_;
}

LinkResult SerialLink::Open(const std::string& name, int speed, int dataBits, StopBits stopBits,
                            Parity parity) {
    Close();
    message.clear();
    lastError = 0;
    portName = name;

    Impl& p = *impl_;
    // Each failure below closes the port and keeps errno.
    auto fail = [&](LinkResult result) {
        lastError = result == LinkResult::kInvalidArgument ? EINVAL : errno;
        Close();
        if (result == LinkResult::kBusy)
            message = "fail Port open";
        return result;
    };
    p.fd = open(DevicePath(name).c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (p.fd < 0) {
        lastError = errno;
        message = "fail Port open";
        return lastError == EBUSY ? LinkResult::kBusy : LinkResult::kFailed;
    }
    // The port is ours alone while it is open. Exclusive mode keeps other
    // programs out (open fails with EBUSY), except one with root rights, so a
    // port already in that mode is refused here too; the lock keeps out a
    // second Corvane.
#ifdef TIOCGEXCL
    int held = 0;
    if (ioctl(p.fd, TIOCGEXCL, &held) == 0 && held != 0) {
        errno = EBUSY;
        return fail(LinkResult::kBusy);
    }
#endif
    if (ioctl(p.fd, TIOCEXCL) != 0)
        return fail(LinkResult::kFailed);
    if (flock(p.fd, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        ioctl(p.fd, TIOCNXCL);
        errno = error;
        return fail(error == EWOULDBLOCK ? LinkResult::kBusy : LinkResult::kFailed);
    }
    p.owned = true;

    speed_t speedCode;
    tcflag_t sizeFlag;
    if (!SpeedCode(speed, speedCode) || !CharacterSize(dataBits, sizeFlag) ||
        (stopBits != StopBits::kOne && stopBits != StopBits::kTwo) ||
        (parity != Parity::kNone && parity != Parity::kOdd && parity != Parity::kEven))
        return fail(LinkResult::kInvalidArgument);
    termios tio{};
    if (tcgetattr(p.fd, &tio) != 0)
        return fail(LinkResult::kFailed);
    cfmakeraw(&tio);
    // The user EDID frame is binary: no byte may be taken for flow control.
    tio.c_iflag &= ~(IXOFF | IXANY);
    tio.c_cflag &= ~(CSIZE | CSTOPB | PARENB | PARODD);
#ifdef CRTSCTS
    tio.c_cflag &= ~CRTSCTS;
#endif
    tio.c_cflag |= sizeFlag | CLOCAL | CREAD;
    if (stopBits == StopBits::kTwo)
        tio.c_cflag |= CSTOPB;
    if (parity != Parity::kNone)
        tio.c_cflag |= PARENB;
    if (parity == Parity::kOdd)
        tio.c_cflag |= PARODD;
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 0;
    if (cfsetispeed(&tio, speedCode) != 0 || cfsetospeed(&tio, speedCode) != 0 ||
        tcsetattr(p.fd, TCSANOW, &tio) != 0)
        return fail(LinkResult::kFailed);
    tcflush(p.fd, TCIOFLUSH);

    int wake[2];
    if (!MakePipe(wake))
        return fail(LinkResult::kFailed);
    p.wakeRead = wake[0];
    p.wakeWrite = wake[1];

    return StartWatcher();
}

void SerialLink::Close() {
    connected = 0;
    Impl& p = *impl_;
    if (watcher_.joinable()) {
        if (watcher_.get_id() == std::this_thread::get_id()) {
            // Called from notify against the rules: the watcher ends at its next
            // look at the flag, and the owner's next Open, Close or the destructor
            // joins it and closes the port.
            p.Wake();
            return;
        }
        p.Wake();
        watcher_.join();
    }
    CloseFd(p.wakeRead);
    CloseFd(p.wakeWrite);
    if (p.fd >= 0) {
        if (p.owned) {
            ioctl(p.fd, TIOCNXCL);
            // Unsent output would make close() wait for the line to drain.
            tcflush(p.fd, TCIOFLUSH);
        }
        p.owned = false;
        CloseFd(p.fd);
    }
    hungUp = 0;
}

int SerialLink::Write(const void* bytes, std::size_t length) {
    if (!connected || impl_->fd < 0)
        return 0;
    // Never waits: a device that stops reading must not hold the owner's
    // thread. What the terminal does not take now the caller offers again.
    ssize_t n;
    do {
        n = write(impl_->fd, bytes, length);
    } while (n < 0 && errno == EINTR);
    if (n < 0)
        lastError = errno;
    return n > 0 ? static_cast<int>(n) : 0;
}

void SerialLink::ThreadWatchComm() {
#ifdef __linux__
    pthread_setname_np(pthread_self(), kWatcherName);
#endif
    const int fd = impl_->fd;
    const int wake = impl_->wakeRead;
    auto tell = [this](SerialEvent event) {
        if (notify)
            notify(event);
    };
    // Waits until the owner has taken bytes out of the ring; false when closing.
    auto waitForRoom = [&] {
        while (connected) {
            if (ring.Free() > 0)
                return true;
            pollfd w{wake, POLLIN, 0};
            if (poll(&w, 1, kRoomPollMs) > 0)
                return false;
        }
        return false;
    };

    unsigned char batch[kReadBatch];
    while (connected) {
        pollfd fds[2] = {{fd, POLLIN, 0}, {wake, POLLIN, 0}};
        const int ready = poll(fds, 2, -1);
        if (ready < 0) {
            if (errno == EINTR)
                continue;
            break;
        }
        if (fds[1].revents != 0 || !connected)
            break;
        if (fds[0].revents == 0)
            continue;

        bool gone = (fds[0].revents & POLLNVAL) != 0;
        bool stored = false;   // bytes in the ring the owner has not been told of
        bool overrun = false;  // already reported for this burst
        bool closing = false;
        while (!gone) {
            int room = ring.Free();
            if (room == 0) {
                // Never drop bytes: let the owner drain, then carry on reading.
                if (stored)
                    tell(SerialEvent::Received);
                stored = false;
                if (!overrun)
                    tell(SerialEvent::Overrun);
                overrun = true;
                if (!waitForRoom()) {
                    closing = true;
                    break;
                }
                continue;
            }
            const ssize_t n = read(fd, batch, static_cast<std::size_t>(std::min(room, kReadBatch)));
            if (n > 0) {
                for (ssize_t i = 0; i < n; ++i)
                    ring.Put(batch[i]);
                stored = true;
                continue;
            }
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
                // Hang-up or error reported with nothing left to read: the device is gone.
                gone = (fds[0].revents & (POLLHUP | POLLERR)) != 0;
                break;
            }
            gone = true;  // end of file or EIO: the device went away
        }
        if (stored)
            tell(SerialEvent::Received);
        if (closing)
            break;
        if (gone) {
            connected = 0;
            hungUp = 1;
            tell(SerialEvent::Hangup);
            return;
        }
    }
}

}  // namespace corvane

#endif  // _WIN32
