#include "transport/SerialLink.h"

#include <cctype>
#include <system_error>

namespace corvane {

int SerialLink::ComPortNumber(const std::string& portName) {
    if (portName.size() < 4 || portName.size() > 7)
        return 0;
    if (std::toupper(static_cast<unsigned char>(portName[0])) != 'C' ||
        std::toupper(static_cast<unsigned char>(portName[1])) != 'O' ||
        std::toupper(static_cast<unsigned char>(portName[2])) != 'M')
        return 0;
    int number = 0;
    for (std::size_t i = 3; i < portName.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(portName[i]);
        if (!std::isdigit(c))
            return 0;
        number = number * 10 + (c - '0');
    }
    return number;
}

LinkResult SerialLink::StartWatcher() {
    hungUp = 0;
    connected = 1;
    try {
        watcher_ = std::thread(&SerialLink::ThreadWatchComm, this);
    } catch (const std::system_error& e) {
        Close();
        lastError = e.code().value();
        return LinkResult::kFailed;
    }
    return LinkResult::kOk;
}

}  // namespace corvane
