#pragma once

#include "ui/SettingDialog.h"

class QComboBox;
class QLabel;
class QPushButton;

namespace corvane {

class ImageButton;

// "Setup Quad Multiviewer Card": resolution and layout of one quad card,
// each sent by its own "Apply", and only once the router has reported it.
class QuadDialog : public SettingDialog {
    Q_OBJECT
public:
    QuadDialog(Connection& connection, int slot, QWidget* parent = nullptr);

    void ApplyQuadResolution();
    void ApplyQuadLayout();
    // The checked layout button's number, 0 for none.
    int CheckedLayout() const;

    int slot;
    QLabel* titleLabel = nullptr;
    QComboBox* resolutionList = nullptr;
    ImageButton* layoutButtons[7] = {};
    QPushButton* resolutionApplyButton = nullptr;
    QPushButton* layoutApplyButton = nullptr;
};

}  // namespace corvane
