#pragma once

#include <QEvent>

#include "layout/MatrixLayout.h"

namespace corvane {

// Events the main window receives: posted by itself for the links' wake-ups
// and sent by the matrix view. All inside Qt's user range.
inline constexpr QEvent::Type kSerialRxEvent = QEvent::Type(0x0401);
inline constexpr QEvent::Type kSerialHangupEvent = QEvent::Type(0x0402);
inline constexpr QEvent::Type kSerialOverrunEvent = QEvent::Type(0x0403);
inline constexpr QEvent::Type kUdpRxEvent = QEvent::Type(0x0BD0);
inline constexpr QEvent::Type kUdpCloseEvent = QEvent::Type(0x0BD3);
inline constexpr QEvent::Type kViewNotifyEvent = QEvent::Type(0x1788);

// Sent (synchronously) by the matrix view to its parent.
class ViewNotifyEvent : public QEvent {
public:
    ViewNotifyEvent(ViewHitKind kind, int index)
        : QEvent(kViewNotifyEvent), kind(kind), index(index) {}
    ViewHitKind kind;
    int index;
};

}  // namespace corvane
