#pragma once

#include <QListWidget>

#include "base/EventLog.h"

namespace corvane {

// The on-screen event log: newest line at the bottom, at most 1000 lines.
class LogList : public QListWidget, public LogSink {
    Q_OBJECT
public:
    explicit LogList(QWidget* parent = nullptr);
    void AppendToLogList(const std::string& line) override;
    void ClearLogList() override;

protected:
    // With the keyboard's focus the list is framed in the highlight colour.
    void paintEvent(QPaintEvent* e) override;
    void focusInEvent(QFocusEvent* e) override;
    void focusOutEvent(QFocusEvent* e) override;
};

}  // namespace corvane
