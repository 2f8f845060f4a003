#pragma once

#include <QDialog>

namespace corvane {

// "About Corvane": the program's name, version and one line on what it does.
class AboutDialog : public QDialog {
    Q_OBJECT
public:
    explicit AboutDialog(QWidget* parent = nullptr);
};

}  // namespace corvane
