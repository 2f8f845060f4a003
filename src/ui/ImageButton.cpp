#include "ui/ImageButton.h"

#include <QCoreApplication>
#include <QIcon>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOption>
#include <algorithm>
#include <cmath>
#include <cstring>

namespace corvane {

namespace {

void PutU16(std::uint8_t* at, unsigned value) {
    at[0] = std::uint8_t(value);
    at[1] = std::uint8_t(value >> 8);
}

void PutU32(std::uint8_t* at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i)
        at[i] = std::uint8_t(value >> (8 * i));
}

// The system button colours the faces and edges are built from.
struct ButtonColours {
    QColor shadow, face, highlight, lightEdge, darkShadow, text, grayText;
};

ButtonColours ColoursOf(const QWidget& widget) {
    const QPalette& p = widget.palette();
    return {p.color(QPalette::Dark),
            p.color(QPalette::Button),
            p.color(QPalette::Light),
            p.color(QPalette::Midlight),
            p.color(QPalette::Shadow),
            p.color(QPalette::ButtonText),
            p.color(QPalette::Disabled, QPalette::WindowText)};
}

// WCAG 2 relative luminance and contrast ratio.
double Luminance(QRgb rgb) {
    auto channel = [](int value) {
        const double c = value / 255.0;
        return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * channel(qRed(rgb)) + 0.7152 * channel(qGreen(rgb)) +
           0.0722 * channel(qBlue(rgb));
}

double Contrast(double a, double b) {
    return (std::max(a, b) + 0.05) / (std::min(a, b) + 0.05);
}

// A disabled caption must stay readable: the system's grey text is about
// 1.5:1 on a button face. Keeps its hue, darkened (or, on a dark face,
// lightened) until it reaches 4.5:1 against every face pixel of the middle
// half of the button, where the caption sits.
QColor ReadableCaption(const QImage& face, QColor plainFace, QColor preferred) {
    double darkest = Luminance(plainFace.rgb()), lightest = darkest;
    if (!face.isNull()) {
        const QImage rgb = face.convertToFormat(QImage::Format_RGB32);
        for (int y = rgb.height() / 4; y < rgb.height() * 3 / 4; ++y) {
            const QRgb* row = reinterpret_cast<const QRgb*>(rgb.constScanLine(y));
            for (int x = 0; x < rgb.width(); ++x) {
                const double l = Luminance(row[x]);
                darkest = std::min(darkest, l);
                lightest = std::max(lightest, l);
            }
        }
    }
    constexpr double kWanted = 4.5;
    // Dark text is held against the darkest face pixel, light against the lightest.
    const bool darken = Contrast(darkest, 0.0) >= Contrast(lightest, 1.0);
    QColor colour = preferred;
    for (int step = 0; step < 64; ++step) {
        const double l = Luminance(colour.rgb());
        if (darken ? l <= darkest && Contrast(darkest, l) >= kWanted
                   : l >= lightest && Contrast(lightest, l) >= kWanted)
            return colour;
        colour = darken ? colour.darker(110) : colour.lighter(110);
        if (darken && colour.value() == 0)
            break;
    }
    return darken ? QColor(Qt::black) : QColor(Qt::white);
}

void Frame(QPainter& painter, const QRect& r, QColor topLeft, QColor bottomRight) {
    if (r.width() < 2 || r.height() < 2)
        return;
    painter.fillRect(QRect(r.left(), r.top(), r.width() - 1, 1), topLeft);
    painter.fillRect(QRect(r.left(), r.top(), 1, r.height() - 1), topLeft);
    painter.fillRect(QRect(r.right(), r.top(), 1, r.height()), bottomRight);
    painter.fillRect(QRect(r.left(), r.bottom(), r.width(), 1), bottomRight);
}

// Two-pixel 3-D edge: raised for an idle button, sunken for a pushed one.
void DrawEdge(QPainter& painter, const QRect& r, const ButtonColours& c, bool sunken) {
    if (sunken) {
        Frame(painter, r, c.shadow, c.highlight);
        Frame(painter, r.adjusted(1, 1, -1, -1), c.darkShadow, c.lightEdge);
    } else {
        Frame(painter, r, c.lightEdge, c.darkShadow);
        Frame(painter, r.adjusted(1, 1, -1, -1), c.highlight, c.shadow);
    }
}

int BumpCurve(int t) {
    return (t - 127) * (t - 127) * (t - 127) / 16384;
}

}  // namespace

bool PaletteDib::Create(int w, int h, int bits) {
    block.clear();
    width = height = bitCount = stride = paletteSize = 0;
    bits = bits <= 1 ? 1 : bits <= 4 ? 4 : bits <= 8 ? 8 : 24;
    // Faces are window-sized; anything beyond this is a caller's mistake.
    if (w <= 0 || h <= 0 || w > 16384 || h > 16384)
        return false;
    const int rowBytes = ((w * bits + 31) / 32) * 4;
    const int entries = bits == 1 ? 2 : bits == 4 ? 16 : bits == 8 ? 256 : 0;
    block.assign(std::size_t(kHeaderSize) + 4 * std::size_t(entries) + std::size_t(rowBytes) * h,
                 0);
    width = w;
    height = h;
    bitCount = bits;
    stride = rowBytes;
    paletteSize = entries;
    std::uint8_t* header = block.data();
    PutU32(header + 0, kHeaderSize);
    PutU32(header + 4, std::uint32_t(w));
    PutU32(header + 8, std::uint32_t(h));
    PutU16(header + 12, 1);
    PutU16(header + 14, unsigned(bits));
    PutU32(header + 16, 0);
    PutU32(header + 20, std::uint32_t(rowBytes * h));
    return true;
}

std::uint8_t* PaletteDib::Bits() {
    return IsValid() ? block.data() + kHeaderSize + 4 * paletteSize : nullptr;
}

const std::uint8_t* PaletteDib::Bits() const {
    return IsValid() ? block.data() + kHeaderSize + 4 * paletteSize : nullptr;
}

void PaletteDib::SetPaletteIndex(int index, int red, int green, int blue) {
    index &= 0xFF;
    if (!IsValid() || index >= paletteSize)
        return;
    std::uint8_t* entry = block.data() + kHeaderSize + 4 * index;
    entry[0] = std::uint8_t(blue);
    entry[1] = std::uint8_t(green);
    entry[2] = std::uint8_t(red);
    entry[3] = 0;
}

QRgb PaletteDib::PaletteColor(int index) const {
    if (!IsValid() || index < 0 || index >= paletteSize)
        return 0;
    const std::uint8_t* entry = block.data() + kHeaderSize + 4 * index;
    return qRgb(entry[2], entry[1], entry[0]);
}

void PaletteDib::SetPixelIndex(int x, int y, int value) {
    if (!IsValid() || x < 0 || y < 0 || x >= width || y >= height || x >= stride)
        return;
    Bits()[std::size_t(height - 1 - y) * stride + x] = std::uint8_t(value);
}

int PaletteDib::PixelIndex(int x, int y) const {
    if (!IsValid() || x < 0 || y < 0 || x >= width || y >= height || x >= stride)
        return -1;
    return Bits()[std::size_t(height - 1 - y) * stride + x];
}

void PaletteDib::BlendPalette(QColor colour, int percentage) {
    const int p = std::clamp(percentage, 0, 100);
    const int target[3] = {colour.blue(), colour.green(), colour.red()};
    for (int i = 0; i < paletteSize; ++i) {
        std::uint8_t* entry = block.data() + kHeaderSize + 4 * i;
        for (int c = 0; c < 3; ++c)
            entry[c] = std::uint8_t((target[c] * p + entry[c] * (100 - p)) / 100);
    }
}

void PaletteDib::Clear(int value) {
    if (IsValid())
        std::memset(Bits(), value & 0xFF, std::size_t(stride) * height);
}

void PaletteDib::Clone(const PaletteDib& source) {
    if (!Create(source.width, source.height, source.bitCount))
        return;
    block = source.block;
}

QImage PaletteDib::ToImage() const {
    if (!IsValid() || bitCount != 8)
        return QImage();
    QImage image(width, height, QImage::Format_Indexed8);
    QList<QRgb> table(paletteSize);
    for (int i = 0; i < paletteSize; ++i)
        table[i] = PaletteColor(i);
    image.setColorTable(table);
    for (int y = 0; y < height; ++y)
        std::memcpy(image.scanLine(y), Bits() + std::size_t(height - 1 - y) * stride, width);
    return image;
}

void PaletteDib::Draw(QPainter& painter, int x, int y) const {
    if (IsValid())
        painter.drawImage(x, y, ToImage());
}

ImageButton::ImageButton(const QString& text, QWidget* parent) : QPushButton(text, parent) {
    textColour = ColoursOf(*this).text;
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAutoDefault(false);
}

void ImageButton::SetButtonStyle(int newMode, bool pushLike, bool flatStyle, int format) {
    pushOffset = pushLike;
    flat = flatStyle;
    textFormat = format;
    mode = newMode == kCheckBoxMode || newMode == kRadioMode ? newMode : kPushMode;
    if (mode == kPushMode)
        pushOffset = true;
    border = mode == kPushMode || pushLike;
    if (mode == kPushMode)
        checked = false;
    update();
}

int ImageButton::Random() {
    // The C runtime's generator: 0..32767.
    randomState = randomState * 214013u + 2531011u;
    return int((randomState >> 16) & 0x7FFF);
}

void ImageButton::SetShade(int type, int granularity, int highlight, int coloring, QColor colour) {
    shade = {true, type, granularity, highlight, coloring, colour};
    const int W = width(), H = height();
    const ButtonColours sys = ColoursOf(*this);
    normalFace.Create(W, H, 8);
    pressedFace = PaletteDib();
    disabledFace = PaletteDib();
    hoverFace = PaletteDib();
    normalImage = pressedImage = disabledImage = hoverImage = QImage();
    if (!normalFace.IsValid())
        return;

    auto ramp = [](int start, int end, int i, int steps) {
        return (start * steps + i * (end - start)) / steps;
    };
    for (int i = 0; i <= 128; ++i)
        normalFace.SetPaletteIndex(i, ramp(sys.shadow.red(), sys.face.red(), i, 128),
                                   ramp(sys.shadow.green(), sys.face.green(), i, 128),
                                   ramp(sys.shadow.blue(), sys.face.blue(), i, 128));
    for (int i = 0; i <= 127; ++i)
        normalFace.SetPaletteIndex(128 + i, ramp(sys.face.red(), sys.highlight.red(), i, 127),
                                   ramp(sys.face.green(), sys.highlight.green(), i, 127),
                                   ramp(sys.face.blue(), sys.highlight.blue(), i, 127));
    normalFace.BlendPalette(colour, coloring);

    const int g = std::clamp(granularity, 0, 255);
    const int N = std::max(2 * g, 1);
    const int B = std::max(32767 / N, 1);
    auto noise = [&] { return Random() / B - g; };
    auto put = [&](int x, int y, int value) { normalFace.SetPixelIndex(x, y, value); };

    switch (type) {
        case 1: {
            const int E = (255 - 2 * g) / 2;
            for (int y = 0; y < H; ++y)
                for (int x = 0; x < W; ++x)
                    put(x, y, g + (y * E) / H + (E * (W - x)) / W + noise());
            break;
        }
        case 2:
            for (int y = 0; y < H; ++y)
                for (int x = 0; x < W; ++x)
                    put(x, y, g + (y * (255 - 2 * g)) / H + noise());
            break;
        case 3:
            for (int y = 0; y < H; ++y)
                for (int x = 0; x < W; ++x)
                    put(x, y, g + ((W - x) * (255 - 2 * g)) / W + noise());
            break;
        case 4:
        case 7: {
            const int factor = type == 4 ? 128 - g : (64 - g) * 2;
            for (int y = 0; y < H; ++y) {
                const int t = (255 * y) / H;
                for (int x = 0; x < W; ++x)
                    put(x, y, BumpCurve(t) * factor / 128 + 128 + noise());
            }
            if (type == 4)
                break;
            // Rounded bevel: a band of up to F pixels at each side whose width
            // follows an ellipse across the button's height.
            const int F = std::min(16, W / 6);
            if (F <= 0)
                break;
            for (int y = 0; y < H; ++y) {
                const double v = (2.0 * y + 1 - H) / H;
                const int band = int(F * std::sqrt(std::max(0.0, 1.0 - v * v)) + 0.5);
                for (int k = 0; k < band; ++k) {
                    put(k, y, g + (k * (128 - g)) / band + noise());
                    put(W - 1 - k, y, (255 - g) - (k * (127 - g)) / band + noise());
                }
            }
            break;
        }
        case 5:
            for (int x = 0; x < W; ++x) {
                const int t = (255 * (W - x)) / W;
                for (int y = 0; y < H; ++y)
                    put(x, y, (128 - g) * BumpCurve(t) / 128 + 128 + noise());
            }
            break;
        case 6:
            for (int y = 0; y < H; ++y) {
                const int ty = (255 * y) / H;
                for (int x = 0; x < W; ++x) {
                    const int tx = (255 * (W - x)) / W;
                    int value = (BumpCurve(ty) + BumpCurve(tx)) * (128 - g) / 128 + 128;
                    value = std::clamp(value, std::min(g, 255 - g), std::max(g, 255 - g));
                    put(x, y, value + noise());
                }
            }
            break;
        case 8: {
            normalFace.Clear(0);
            const int reach = std::max(std::min(W, H) / 2, 1);
            for (int s = 0; s < 200; ++s) {
                const int x0 = Random() % W, y0 = Random() % H;
                const int length = Random() % reach;
                const int value = Random() / 819;
                for (int k = 0; k < length; ++k)
                    put(x0 + k, y0 + k, value);
            }
            const int A = ((255 - g) - g - 40) / 2;
            for (int y = 0; y < H; ++y)
                for (int x = 0; x < W; ++x)
                    put(x, y,
                        normalFace.PixelIndex(x, y) + g + (y * A) / H + (A * (W - x)) / W +
                            Random() / B);
            break;
        }
        default:
            for (int y = 0; y < H; ++y)
                for (int x = 0; x < W; ++x)
                    put(x, y, 128 + noise());
            break;
    }

    disabledFace.Clone(normalFace);
    hoverFace.Clone(normalFace);
    hoverFace.BlendPalette(sys.highlight, highlight);
    pressedFace.Clone(hoverFace);
    normalImage = normalFace.ToImage();
    disabledImage = disabledFace.ToImage();
    hoverImage = hoverFace.ToImage();
    pressedImage = pressedFace.ToImage();
    update();
}

bool ImageButton::SetIcon(const QPixmap& iconImage, int alignment, const QPixmap& downIconImage,
                          const QPixmap& hoverIconImage) {
    icon = downIcon = hoverIcon = QPixmap();
    iconRect = QRect();
    if (iconImage.isNull())
        return false;
    icon = iconImage;
    const int hotX = icon.width() / 2, hotY = icon.height() / 2;
    const int iconW = 2 * hotX, iconH = 2 * hotY;
    const int dy = std::max(0, height() / 2 - hotY);
    int dx;
    if (alignment == kIconLeft) {
        dx = margin;
    } else if (alignment == kIconRight) {
        dx = width() - iconW - margin;
    } else {
        alignment = kIconCentred;
        dx = std::max(0, width() / 2 - hotX);
    }
    iconAlignment = alignment;
    iconRect = QRect(dx, dy, iconW, iconH);
    downIcon = downIconImage.isNull() ? icon : downIconImage;
    hoverIcon = hoverIconImage.isNull() ? icon : hoverIconImage;
    update();
    return true;
}

bool ImageButton::SetTextFont(const QFont& textFont) {
    setFont(textFont);
    update();
    return true;
}

void ImageButton::SetCheck(bool check) {
    checked = check && mode != kPushMode;
    if (mode == kRadioMode && checked && parentWidget()) {
        const auto siblings =
            parentWidget()->findChildren<ImageButton*>(Qt::FindDirectChildrenOnly);
        for (ImageButton* other : siblings) {
            if (other != this && other->mode == kRadioMode && other->group == group)
                QCoreApplication::postEvent(other, new QEvent(kButtonUncheckEvent));
        }
    }
    update();
}

bool ImageButton::event(QEvent* e) {
    if (e->type() == kButtonUncheckEvent) {
        if (checked) {
            checked = false;
            update();
        }
        return true;
    }
    return QPushButton::event(e);
}

QImage ImageButton::RenderFace() {
    // At the screen's pixel ratio: edges and caption are sharp, the shaded
    // faces (built at one pixel per unit) are scaled up.
    const qreal ratio = devicePixelRatioF();
    QImage image((QSizeF(size()) * ratio).toSize(), QImage::Format_RGB32);
    image.setDevicePixelRatio(ratio);
    image.fill(ColoursOf(*this).face);
    QPainter painter(&image);
    Paint(painter);
    if (hasFocus() && isEnabled()) {
        // The keyboard's mark: a dotted frame inside the edge, in the caption's colour.
        painter.setPen(QPen(textColour, 1, Qt::DotLine));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(rect().adjusted(3, 3, -4, -4));
    }
    return image;
}

void ImageButton::paintEvent(QPaintEvent*) {
    // One blit of a face rendered off-screen, so the button never flickers.
    const QImage face = RenderFace();
    QPainter painter(this);
    painter.drawImage(0, 0, face);
}

void ImageButton::Paint(QPainter& painter) {
    const ButtonColours sys = ColoursOf(*this);
    const QRect item = rect();
    painter.setFont(font());

    QRect caption = item.adjusted(margin + 2, 0, -(margin + 2), 0);
    if (!icon.isNull()) {
        if (iconAlignment == kIconLeft)
            caption.setLeft(caption.left() + iconRect.width());
        else if (iconAlignment == kIconRight)
            caption.setRight(caption.right() - iconRect.width());
        else
            caption = QRect(QPoint(caption.left(), iconRect.bottom() + 1),
                            QPoint(caption.right(), item.bottom() - (margin + 1)));
    }
    Qt::Alignment align = Qt::AlignVCenter;
    align |= textFormat == kTextLeft    ? Qt::AlignLeft
             : textFormat == kTextRight ? Qt::AlignRight
                                        : Qt::AlignHCenter;
    const int flags = int(align) | Qt::TextSingleLine;

    if (!isEnabled()) {
        if (!disabledImage.isNull())
            painter.drawImage(0, 0, disabledImage);
        else
            painter.fillRect(item, sys.face);
        if (!icon.isNull()) {
            QStyleOption option;
            option.initFrom(this);
            painter.drawPixmap(iconRect.topLeft(),
                               style()->generatedIconPixmap(QIcon::Disabled, icon, &option));
        }
        if (border && !flat)
            DrawEdge(painter, item, sys, false);
        painter.setPen(sys.highlight);
        DrawCaption(painter, caption, flags);
        painter.setPen(ReadableCaption(disabledImage, sys.face, sys.grayText));
        DrawCaption(painter, caption.translated(-1, -1), flags);
        return;
    }

    if (isDown() || checked) {
        const QPoint at = border ? QPoint(1, 1) : QPoint(0, 0);
        if (!pressedImage.isNull())
            painter.drawImage(at, pressedImage);
        else
            painter.fillRect(item, sys.face);
        const QPoint shift = pushOffset ? QPoint(1, 1) : QPoint(0, 0);
        if (!downIcon.isNull())
            painter.drawPixmap(iconRect.topLeft() + shift, downIcon);
        if (border) {
            if (flat)
                Frame(painter, item, sys.shadow, sys.highlight);
            else
                DrawEdge(painter, item, sys, true);
        }
        painter.setPen(textColour);
        DrawCaption(painter, caption.translated(shift), flags);
        return;
    }

    const QImage& face = hover && !hoverImage.isNull() ? hoverImage : normalImage;
    if (!face.isNull())
        painter.drawImage(0, 0, face);
    else
        painter.fillRect(item, sys.face);
    const QPixmap& shown = hover ? hoverIcon : icon;
    if (!shown.isNull())
        painter.drawPixmap(iconRect.topLeft(), shown);
    if (border && (hover || !flat)) {
        if (isDefault()) {
            DrawEdge(painter, item, sys, true);
            DrawEdge(painter, item.adjusted(1, 1, -1, -1), sys, false);
        } else if (flat) {
            Frame(painter, item, sys.highlight, sys.shadow);
        } else {
            DrawEdge(painter, item, sys, false);
        }
    }
    painter.setPen(textColour);
    DrawCaption(painter, caption, flags);
}

void ImageButton::DrawCaption(QPainter& painter, const QRect& area, int flags) {
    if (scale == 1) {
        painter.drawText(area, flags, text());
        return;
    }
    // The font at its layout size under the painter's scale: the glyphs are
    // drawn at the scaled size, so the caption keeps its proportions. Its
    // side margins scale too, so it has the room it has at scale 1.
    const qreal grow = (margin + 2) * (1 / scale - 1);
    painter.save();
    painter.scale(scale, scale);
    painter.drawText(QRectF(area.x() / scale - grow, area.y() / scale,
                            area.width() / scale + 2 * grow, area.height() / scale),
                     flags, text());
    painter.restore();
}

void ImageButton::resizeEvent(QResizeEvent* e) {
    QPushButton::resizeEvent(e);
    if (shade.set && (normalFace.width != width() || normalFace.height != height()))
        SetShade(shade.type, shade.granularity, shade.highlight, shade.coloring, shade.colour);
}

void ImageButton::mousePressEvent(QMouseEvent* e) {
    if (hover) {
        hover = false;
        update();
    }
    QPushButton::mousePressEvent(e);
    if (e->button() == Qt::LeftButton)
        tracking = true;
}

void ImageButton::mouseReleaseEvent(QMouseEvent* e) {
    if (e->button() == Qt::LeftButton) {
        if (tracking && hitButton(e->position().toPoint())) {
            if (mode == kCheckBoxMode)
                SetCheck(!checked);
            else if (mode == kRadioMode)
                SetCheck(true);
        }
        tracking = false;
    }
    QPushButton::mouseReleaseEvent(e);
}

void ImageButton::mouseDoubleClickEvent(QMouseEvent* e) {
    // A double click acts as a second click.
    mousePressEvent(e);
}

void ImageButton::mouseMoveEvent(QMouseEvent* e) {
    if (!(tracking && (e->buttons() & Qt::LeftButton)) && !hover &&
        rect().contains(e->position().toPoint())) {
        hover = true;
        update();
    }
    QPushButton::mouseMoveEvent(e);
}

void ImageButton::enterEvent(QEnterEvent* e) {
    if (!tracking) {
        hover = true;
        update();
    }
    QPushButton::enterEvent(e);
}

void ImageButton::leaveEvent(QEvent* e) {
    hover = false;
    update();
    QPushButton::leaveEvent(e);
}

void ImageButton::keyPressEvent(QKeyEvent* e) {
    if (e->key() == Qt::Key_Space && !e->isAutoRepeat()) {
        if (mode == kCheckBoxMode)
            SetCheck(!checked);
        else if (mode == kRadioMode)
            SetCheck(true);
    }
    QPushButton::keyPressEvent(e);
}

void ImageButton::focusOutEvent(QFocusEvent* e) {
    tracking = false;
    QPushButton::focusOutEvent(e);
}

}  // namespace corvane
