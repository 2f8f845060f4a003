#pragma once

#include <QEvent>

namespace corvane {

// Events the main window receives; the numbers are the router program's
// window message numbers, all inside Qt's user range.
inline constexpr QEvent::Type kSerialRxEvent = QEvent::Type(0x0401);
inline constexpr QEvent::Type kSerialHangupEvent = QEvent::Type(0x0402);
inline constexpr QEvent::Type kSerialOverrunEvent = QEvent::Type(0x0403);
inline constexpr QEvent::Type kUdpRxEvent = QEvent::Type(0x0BD0);
inline constexpr QEvent::Type kUdpCloseEvent = QEvent::Type(0x0BD3);
inline constexpr QEvent::Type kViewNotifyEvent = QEvent::Type(0x1788);

// What a click in the matrix view hit.
enum ViewNotifyKind : int {
    kOutputSlotHeader = 0,
    kInputCell = 1,
    kOutputCell = 2,
    kOutputProtect = 3,  // right-click on an output cell
};

// Sent (synchronously) by the matrix view to its parent.
class ViewNotifyEvent : public QEvent {
public:
    ViewNotifyEvent(int kind, int index) : QEvent(kViewNotifyEvent), kind(kind), index(index) {}
    int kind;
    int index;
};

}  // namespace corvane
