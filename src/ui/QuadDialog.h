#pragma once

#include <QDialog>

class QComboBox;
class QLabel;
class QPushButton;

namespace corvane {

class Connection;
class ImageButton;

// "Setup Quad Multiviewer Card": resolution and layout of one quad card,
// each sent by its own "Apply".
class QuadDialog : public QDialog {
    Q_OBJECT
public:
    QuadDialog(Connection& connection, int slot, QWidget* parent = nullptr);

    void ApplyQuadResolution();
    void ApplyQuadLayout();

    Connection& connection;
    int slot;
    QLabel* titleLabel = nullptr;
    QComboBox* resolutionList = nullptr;
    ImageButton* layoutButtons[7] = {};
    QPushButton* resolutionApplyButton = nullptr;
    QPushButton* layoutApplyButton = nullptr;

protected:
    void keyPressEvent(QKeyEvent* e) override;
};

}  // namespace corvane
