#include "transport/SerialLink.h"

#include <system_error>

#include "base/TextFormat.h"

namespace corvane {

int SerialLink::ComPortNumber(const std::string& portName) {
    if (portName.size() < 4 || portName.size() > 7)
        return 0;
    int number = 0;
    if (!EqualsNoCase(std::string_view(portName).substr(0, 3), "COM") ||
        !ParseInt(std::string_view(portName).substr(3), 0, 9999, &number, 4))
        return 0;
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
