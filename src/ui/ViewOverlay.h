#pragma once

#include <QString>
#include <QWidget>

#include "protocol/RouterState.h"

namespace corvane {

class MatrixView;

// How a notice or a state caption reads at a glance.
enum NoticeKind : int { kNoticeInfo = 0, kNoticeGood, kNoticeWarning, kNoticeRefusal };

// What the window shows over the matrix view, beside the router data: built
// by the main window from the session, drawn by ViewOverlay.
struct ViewMarks {
    QString caption;  // why the view is not live ("Not connected"); "" while it is
    int captionKind = kNoticeInfo;
    bool dim = false;  // the view is not live
    bool takeMode = false;
    QString notice;  // the latest thing that happened or was refused; "" for none
    int noticeKind = kNoticeInfo;
    bool fed[kChannelTableSize] = {};  // outputs the selected input feeds
    // A signal lost a moment ago: the input, and the outputs it feeds.
    bool lost[2][kChannelTableSize] = {};
    bool operator==(const ViewMarks&) const = default;
};

// A see-through layer over the matrix view, in its own coordinates: a veil
// while the view is not live, a frame in take mode, frames around the outputs
// the selected input feeds and around a dark input and its outputs, and the
// status line in the band between the input and the output slots. Clicks and
// tooltips go through to the view.
class ViewOverlay : public QWidget {
    Q_OBJECT
public:
    explicit ViewOverlay(MatrixView& view);

    // Repaints only when something shown changed.
    void SetMarks(const ViewMarks& shown);

    ViewMarks marks;
    // The status line's area, in the view's layout coordinates.
    QRect StatusBand() const;

protected:
    bool eventFilter(QObject* watched, QEvent* e) override;
    void paintEvent(QPaintEvent* e) override;

private:
    MatrixView& view;
};

}  // namespace corvane
