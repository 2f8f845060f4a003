#include "ui/QuadDialog.h"

#include <algorithm>

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>

#include "protocol/Commands.h"
#include "transport/Connection.h"
#include "ui/DialogUnits.h"
#include "ui/Fonts.h"
#include "ui/ImageButton.h"

// The icons live in a static library: pull their resource object in.
static void InitQuadResources() {
    Q_INIT_RESOURCE(quad);
}

namespace corvane {

namespace {

struct LayoutEntry {
    const char* caption;
    int captionX, captionY, captionHeight;
    int buttonX, buttonY;
};

// Layouts 1..7 in number order.
const LayoutEntry kQuadLayouts[7] = {
    {"Input 1 Full Window", 17, 121, 18, 14, 139},
    {"Input 2 Full Window", 73, 121, 18, 72, 139},
    {"Input 3 Full Window", 131, 121, 18, 130, 139},
    {"Input 4 Full Window", 191, 121, 18, 188, 139},
    {"Divide 4 Window", 16, 200, 24, 14, 225},
    {"Divide 1+3 Horizontal Window", 73, 199, 24, 72, 225},
    {"Divide 1+3 Vertical Window", 131, 198, 24, 130, 225},
};

constexpr unsigned kShadeTint = 0x796B6B;

constexpr const char* kResolutionGroup = "Resolution";
constexpr const char* kLayoutGroup = "Layout";

}  // namespace

QuadDialog::QuadDialog(Connection& connection, int slot, QWidget* parent)
    : SettingDialog(connection, QStringLiteral("Setup Quad Multiviewer Card"), 256, 335, parent),
      slot(slot) {
    InitQuadResources();
    const RouterState& state = connection.session.state;

    titleLabel = new QLabel(QStringLiteral("Slot %1 Quad Multiviewer Card").arg(slot), this);
    titleLabel->setGeometry(DluRect(7, 7, 134, 19));
    titleLabel->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);

    auto* resolutionBox = new QGroupBox(QStringLiteral("Resolution"), this);
    resolutionBox->setGeometry(DluRect(7, 31, 242, 60));
    // A drop-down list: typed text that is none of the rows would show one
    // resolution and send another.
    resolutionList = new QComboBox(this);
    resolutionList->setGeometry(DluRect(19, 57, 161, 13));
    resolutionList->setItemDelegate(new LineDelegate(resolutionList));
    resolutionList->setMaxVisibleItems(std::max(1, DluY(150 - 13) / kLinePitch));
    resolutionApplyButton = new QPushButton(QStringLiteral("Apply"), this);
    resolutionApplyButton->setGeometry(DluRect(189, 57, 50, 12));
    resolutionApplyButton->setAutoDefault(false);
    resolutionApplyButton->setToolTip(QStringLiteral("Sends the chosen resolution to this card"));

    auto* layoutBox = new QGroupBox(QStringLiteral("Layout"), this);
    layoutBox->setGeometry(DluRect(7, 96, 242, 232));
    for (int i = 0; i < 7; ++i) {
        const LayoutEntry& e = kQuadLayouts[i];
        auto* caption = new QLabel(QString::fromLatin1(e.caption), this);
        caption->setGeometry(DluRect(e.captionX, e.captionY, 50, e.captionHeight));
        caption->setWordWrap(true);
        caption->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        layoutButtons[i] = new ImageButton(QString(), this);
        layoutButtons[i]->setGeometry(DluRect(e.buttonX, e.buttonY, 57, 54));
        layoutButtons[i]->SetButtonStyle(ImageButton::kRadioMode, true, false,
                                         ImageButton::kTextLeft);
        layoutButtons[i]->group = 1;
        layoutButtons[i]->setToolTip(
            QString::fromLatin1(e.caption) +
            QStringLiteral(" (Space checks it; the Apply below sends it)"));
    }
    layoutApplyButton = new QPushButton(QStringLiteral("Apply"), this);
    layoutApplyButton->setGeometry(DluRect(41, 299, 172, 18));
    layoutApplyButton->setAutoDefault(false);
    layoutApplyButton->setToolTip(QStringLiteral("Sends the checked layout to this card"));
    CreateStatusLine(QRect(12, 318, 232, 9));

    // What the router has not reported shows as nothing chosen.
    const bool validSlot = slot >= 1 && slot <= kSlotCount;
    for (int r = 1; r <= kResolutionCount; ++r)
        resolutionList->addItem(QString::fromLatin1(ResolutionNames[r]));
    resolutionList->setCurrentIndex(
        validSlot && state.known.quadResolution[slot] ? state.quadResolution[slot] - 1 : -1);
    const int layout = validSlot && state.known.quadLayout[slot] ? state.quadLayout[slot] : 0;
    if (layout >= 1 && layout <= 7)
        layoutButtons[layout - 1]->SetCheck(true);
    for (int i = 0; i < 7; ++i) {
        layoutButtons[i]->SetShade(i < 6 ? 2 : 1, 8, 10, 5, ColorFromRef(kShadeTint));
        layoutButtons[i]->SetIcon(QPixmap(QStringLiteral(":/quad/layout%1.png").arg(i + 1)),
                                  ImageButton::kIconCentred);
    }

    Track(QString::fromLatin1(kResolutionGroup),
          [this] { return QString::number(resolutionList->currentIndex()); });
    Track(QString::fromLatin1(kLayoutGroup), [this] { return QString::number(CheckedLayout()); });

    connect(resolutionApplyButton, &QPushButton::clicked, this, &QuadDialog::ApplyQuadResolution);
    connect(layoutApplyButton, &QPushButton::clicked, this, &QuadDialog::ApplyQuadLayout);
}

int QuadDialog::CheckedLayout() const {
    int layout = 0;
    for (int i = 0; i < 7; ++i) {
        if (layoutButtons[i]->GetCheck())
            layout = i + 1;
    }
    return layout;
}

void QuadDialog::ApplyQuadResolution() {
    const bool validSlot = slot >= 1 && slot <= kSlotCount;
    if (!Reported(validSlot && connection.session.state.known.quadResolution[slot],
                  "the card's resolution"))
        return;
    // Resolution 0 does not exist: without a row there is nothing to set.
    const int resolution = resolutionList->currentIndex() + 1;
    if (resolution < 1)
        return Say(QStringLiteral("Choose a resolution first; nothing sent."));
    if (Send({QuadResolutionCommand(slot, resolution)}))
        MarkSaved(QString::fromLatin1(kResolutionGroup));
}

void QuadDialog::ApplyQuadLayout() {
    const bool validSlot = slot >= 1 && slot <= kSlotCount;
    if (!Reported(validSlot && connection.session.state.known.quadLayout[slot],
                  "the card's layout"))
        return;
    // With no button checked the card would be set to a layout nobody chose.
    const int layout = CheckedLayout();
    if (layout < 1)
        return Say(QStringLiteral("Choose a layout first; nothing sent."));
    if (Send({QuadLayoutCommand(slot, layout)}))
        MarkSaved(QString::fromLatin1(kLayoutGroup));
}

}  // namespace corvane
