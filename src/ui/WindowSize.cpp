#include "ui/WindowSize.h"

#include <algorithm>

namespace corvane {

qreal ScaleFor(QSize client) {
    return std::min(qreal(client.width()) / kDesignSize.width(),
                    qreal(client.height()) / kDesignSize.height());
}

QSize OpeningSize(QSize available, QSize remembered) {
    const QSize room = available - kFrameAllowance;
    QSize size;
    if (remembered.isEmpty()) {
        // Never larger than scale 1 by itself: only the user enlarges it.
        const qreal scale = std::min<qreal>(1, ScaleFor(room));
        size =
            QSize(int(kDesignSize.width() * scale + 0.5), int(kDesignSize.height() * scale + 0.5));
    } else {
        size = remembered.boundedTo(room);
    }
    return size.expandedTo(kMinimumSize);
}

}  // namespace corvane
