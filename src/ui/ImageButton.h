#pragma once

#include <QColor>
#include <QEvent>
#include <QFont>
#include <QImage>
#include <QPixmap>
#include <QPushButton>
#include <QRect>
#include <cstdint>
#include <vector>

class QPainter;

namespace corvane {

// Posted to the other members of a radio group when one of them is checked.
inline constexpr QEvent::Type kButtonUncheckEvent = QEvent::Type(0x0500);

// A colour written 0x00BBGGRR (red in the low byte), as the button and dialog
// tables give colours.
inline QColor ColorFromRef(unsigned ref) {
    return QColor(int(ref & 0xFF), int((ref >> 8) & 0xFF), int((ref >> 16) & 0xFF));
}

// One device-independent bitmap kept in a single block laid out as a packed
// DIB: 40-byte header, colour table (blue, green, red, 0), pixel rows stored
// bottom-up with rows padded to 4 bytes.
class PaletteDib {
public:
    static constexpr int kHeaderSize = 40;

    // Frees any previous block; depth is normalised to 1, 4, 8 or 24 bits.
    bool Create(int width, int height, int bits);
    bool IsValid() const { return !block.empty(); }
    std::uint8_t* Bits();
    const std::uint8_t* Bits() const;

    void SetPaletteIndex(int index, int red, int green, int blue);
    QRgb PaletteColor(int index) const;  // 0 when out of the table
    // x, y count from the top-left; ignored outside the bitmap.
    void SetPixelIndex(int x, int y, int value);
    int PixelIndex(int x, int y) const;  // -1 outside
    // Every table entry moves toward colour by percentage (clamped to 100).
    void BlendPalette(QColor colour, int percentage);
    void Clear(int value);
    void Clone(const PaletteDib& source);

    // 8-bit bitmaps only; a null image otherwise.
    QImage ToImage() const;
    void Draw(QPainter& painter, int x, int y) const;

    int width = 0;
    int height = 0;
    int bitCount = 0;
    int stride = 0;       // bytes per stored row
    int paletteSize = 0;  // 2, 16, 256, or 0 for 24 bits
    std::vector<std::uint8_t> block;
};

// Owner-drawn push, check-box and radio button with generated shaded faces.
// The check state belongs to the button (SetCheck/GetCheck), not to Qt's
// checkable machinery.
class ImageButton : public QPushButton {
    Q_OBJECT
public:
    enum Mode { kPushMode = 0, kCheckBoxMode = 2, kRadioMode = 4 };
    enum IconAlignment { kIconLeft = 256, kIconRight = 512, kIconCentred = 768 };
    enum TextFormat { kTextLeft = 36, kTextCentred = 37, kTextRight = 38 };

    explicit ImageButton(const QString& text = QString(), QWidget* parent = nullptr);

    // What the window style gives a subclassed button: check-box and radio
    // buttons that are not push-like lose their border, push buttons shift
    // their contents when pressed.
    void SetButtonStyle(int mode, bool pushLike = false, bool flatStyle = false,
                        int format = kTextCentred);

    // Builds the four faces once for the current size: shade type 1..8 (other
    // values: plain noise), noise amplitude 0..255, hover lightening and tint
    // toward colour, both in percent.
    void SetShade(int type, int granularity, int highlight, int coloring, QColor colour);
    // A null down or hover icon means the main icon is used in that state.
    bool SetIcon(const QPixmap& iconImage, int alignment = kIconCentred,
                 const QPixmap& downIconImage = QPixmap(),
                 const QPixmap& hoverIconImage = QPixmap());
    bool SetTextFont(const QFont& textFont);

    // Checks or unchecks; push buttons stay unchecked. Checking a radio
    // button posts kButtonUncheckEvent to the rest of its group.
    void SetCheck(bool check);
    bool GetCheck() const { return checked; }

    // Renders the current look into an image of the button's size.
    QImage RenderFace();

    PaletteDib normalFace, pressedFace, disabledFace, hoverFace;
    QImage normalImage, pressedImage, disabledImage, hoverImage;  // built by SetShade
    QPixmap icon, downIcon, hoverIcon;
    QRect iconRect;
    int iconAlignment = kIconCentred;
    int textFormat = kTextCentred;
    QColor textColour;
    int margin = 0;
    // The caption is drawn at this scale of its font; faces and edges follow
    // the button's size (the faces are built again when it changes).
    qreal scale = 1;
    bool border = true;
    bool flat = false;
    bool pushOffset = true;
    int mode = kPushMode;
    // Radio buttons with the same parent and the same group number form a group.
    int group = 0;
    bool checked = false;
    bool hover = false;
    bool tracking = false;
    std::uint32_t randomState = 1;  // the noise generator, so faces repeat

protected:
    bool event(QEvent* e) override;
    void paintEvent(QPaintEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void focusOutEvent(QFocusEvent* e) override;
    void enterEvent(QEnterEvent* e) override;
    void leaveEvent(QEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;

private:
    int Random();
    void Paint(QPainter& painter);
    void DrawCaption(QPainter& painter, const QRect& area, int flags);
    // The last SetShade's arguments, to build the faces again at a new size.
    struct Shade {
        bool set = false;
        int type = 0, granularity = 0, highlight = 0, coloring = 0;
        QColor colour;
    } shade;
};

}  // namespace corvane
