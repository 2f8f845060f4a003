#pragma once

// The program's model as text, every field of it, so that a comparison shows
// the field that differs; and, for the targets that link the simulated
// router, the model a start-up poll of that router must leave.

#include <sstream>
#include <string>

#include "protocol/RouterState.h"

namespace corvane::testing {

inline std::string ModelText(const RouterState& s) {
    std::ostringstream o;
    for (int n = 0; n < kChannelTableSize; ++n)
        o << n << ':' << s.routedInput[n] << ',' << s.outputPlugged[n] << ",["
          << s.inputStatusText[n] << "],[" << s.inputEdidMode[n] << "]\n";
    for (int n = 0; n < kSlotTableSize; ++n)
        o << 's' << n << ':' << s.inputCardType[n] << ',' << s.outputCardType[n] << ','
          << s.quadResolution[n] << ',' << s.quadLayout[n] << '\n';
    o << s.generatorResolution << ',' << s.generatorPattern << ',' << s.monitoringChannel << ','
      << s.webLock << s.dataLock << s.keyLock << ',' << s.routerBaudRate << ",[" << s.routerIp
      << "],[" << s.routerSubnetMask << "],[" << s.routerGateway << "],[" << s.routerMac << "],["
      << s.routerPort << ']';
    return o.str();
}

}  // namespace corvane::testing

#if __has_include("SimRouter.h")
#include "SimRouter.h"

namespace corvane::testing {

// A three-letter EDID mode is reported with a dot after it.
inline RouterState PolledModel(const sim::SimRouter& r) {
    RouterState s;
    for (int n = 1; n <= kChannelCount; ++n) {
        s.routedInput[n] = r.route[n];
        s.outputPlugged[n] = r.outputPlugged[n];
        s.inputStatusText[n] = r.inputSignal[n];
        s.inputEdidMode[n] = r.edidMode[n].size() == 3 ? r.edidMode[n] + "." : r.edidMode[n];
    }
    for (int n = 1; n <= kSlotCount; ++n) {
        s.inputCardType[n] = r.inputCard[n];
        s.outputCardType[n] = r.outputCard[n];
        s.quadResolution[n] = r.quadResolution[n];
        s.quadLayout[n] = r.quadLayout[n];
    }
    s.generatorResolution = r.generatorResolution;
    s.generatorPattern = r.generatorPattern;
    s.monitoringChannel = r.monitoringChannel;
    s.webLock = r.webLock;
    s.dataLock = r.dataLock;
    s.keyLock = r.keyLock;
    s.routerBaudRate = r.baudRate;
    s.routerIp = r.ip;
    s.routerSubnetMask = r.subnetMask;
    s.routerGateway = r.gateway;
    s.routerMac = r.mac;
    s.routerPort = r.port;
    return s;
}

}  // namespace corvane::testing
#endif
