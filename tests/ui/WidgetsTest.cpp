#include <QLabel>
#include <QPainter>
#include <QWidget>
#include <QtTest>
#include <algorithm>
#include <cmath>
#include <functional>

#include "layout/MatrixLayout.h"
#include "ui/AboutDialog.h"
#include "ui/Fonts.h"
#include "ui/ImageButton.h"
#include "ui/InputGrid.h"
#include "ui/MatrixView.h"

using namespace corvane;

namespace {

double Luminance(QRgb rgb) {  // WCAG 2
    auto lin = [](int v) {
        const double c = v / 255.0;
        return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * lin(qRed(rgb)) + 0.7152 * lin(qGreen(rgb)) + 0.0722 * lin(qBlue(rgb));
}

}  // namespace

class WidgetsTest : public QObject {
    Q_OBJECT

    RouterState state;
    AppConfig config;

private slots:
    // Writes outside the bitmap or the palette must not land in memory.
    void dibBounds() {
        QVERIFY(!PaletteDib().Create(0, 5, 8));
        PaletteDib dib;
        QVERIFY(dib.Create(5, 3, 8));  // rows padded to 8 bytes
        dib.Clear(7);
        dib.SetPixelIndex(1, 0, 200);  // the top row is stored last
        QCOMPARE(int(dib.Bits()[2 * dib.stride + 1]), 200);
        for (const QPoint& p : {QPoint(5, 0), QPoint(-1, 0), QPoint(0, 3), QPoint(0, -1)})
            dib.SetPixelIndex(p.x(), p.y(), 1);
        QCOMPARE(dib.PixelIndex(4, 0), 7);
        QCOMPARE(dib.PixelIndex(5, 0), -1);
        dib.SetPaletteIndex(256 + 10, 200, 100, 50);  // index taken modulo 256
        QCOMPARE(dib.PaletteColor(10), qRgb(200, 100, 50));
        QCOMPARE(dib.PaletteColor(256), QRgb(0));
    }

    // The lamp of channel 6 (slot 2) in the back buffer: an input's shows a
    // signal, an output's a plugged display, or is on where the card cannot
    // tell (fiber, quad); until the router has said, it is an empty frame.
    void indicators() {
        auto lampIs = [&](int side, Lamp lamp) {
            MatrixView view(state, config);
            view.resize(707, 535);  // as in the main window
            view.PaintBuffer();
            const QRect cell = ToQRect(view.layout.cellRects[side][6]);
            const QRgb inside[] = {qRgb(128, 128, 128), qRgb(0, 255, 0), qRgb(102, 153, 255)};
            return (side == kInputSide ? InputLamp(state, 6) : OutputLamp(state, 6)) == lamp &&
                   view.backBuffer.pixel(cell.left() + 13, cell.top() + 7) == inside[lamp];
        };
        for (const auto& [signal, known, lamp] : {std::tuple{"1920x1080p@60Hz", true, kLampOn},
                                                  {"x Signal OFF y", true, kLampOff},
                                                  {"", true, kLampOff},
                                                  {"1920x1080p@60Hz", false, kLampUnknown}}) {
            state = RouterState();
            state.inputStatusText[6] = signal;
            state.known.inputSignal[6] = known;
            QVERIFY2(lampIs(kInputSide, lamp), signal);
        }
        // plugged: -1 not read; cards: whether the slots were read.
        for (const auto& [plugged, card, cards, lamp] : {std::tuple{1, 0x0B, true, kLampOn},
                                                         {0, 0x0B, true, kLampOff},
                                                         {2, 0x0B, true, kLampOff},  // only 1
                                                         {0, 0x19, true, kLampOn},
                                                         {0, 0x1B, true, kLampOn},
                                                         {-1, 0x21, true, kLampOn},
                                                         {0, 0x13, true, kLampOff},
                                                         {-1, 0x13, true, kLampUnknown},
                                                         {0, 0x21, false, kLampOff},
                                                         {-1, 0x21, false, kLampUnknown}}) {
            state = RouterState();
            state.outputPlugged[6] = std::max(plugged, 0);
            state.known.outputPlug[6] = plugged >= 0;
            state.outputCardType[2] = card;
            state.known.cards[2] = cards;
            QVERIFY2(lampIs(kOutputSide, lamp), qPrintable(QString::number(card, 16)));
        }
    }

    // "No Link" is red, an unread map "?"; the pending italic reads at 4.5:1; a long name ends in
    // "…" inside its bar, clear of the lock mark.
    void cellTexts() {
        state = RouterState();
        config = AppConfig();
        for (int c = 1; c <= 16; ++c)
            config.inputNames[c] = config.outputNames[c] = "In" + std::to_string(c);
        config.inputNames[9] = config.outputNames[4] = "A very long name for a bar";
        state.routedInput[2] = 5;
        RoutingMap routing;
        routing.pending[3] = 12;
        routing.lockOwner[4] = kOperator;
        MatrixView view(state, config);
        view.routing = &routing;
        view.resize(707, 535);
        view.selectedInput = 3;
        const QImage& img = view.backBuffer;
        auto cell = [&](int side, int c) { return ToQRect(view.layout.cellRects[side][c]); };
        auto countReddish = [&](int output) {
            const QRect c = cell(kOutputSide, output);
            int n = 0;
            for (int y = c.top() + 28; y < c.bottom(); ++y)
                for (int x = c.left() + 27; x < c.right(); ++x)
                    n += qRed(img.pixel(x, y)) >
                         60 + std::max(qGreen(img.pixel(x, y)), qBlue(img.pixel(x, y)));
            return n;
        };
        view.PaintBuffer();
        QCOMPARE(countReddish(1), 0);  // not read yet
        state.known.routes = true;
        view.PaintBuffer();
        QVERIFY(countReddish(1) > 10);
        QCOMPARE(countReddish(2), 0);

        double darkest = 1;
        const QRect pending = cell(kOutputSide, 3).adjusted(27, 28, -2, -2);
        for (int y = pending.top(); y <= pending.bottom(); ++y)
            for (int x = pending.left(); x <= pending.right(); ++x)
                darkest = std::min(darkest, Luminance(img.pixel(x, y)));
        QVERIFY(1.05 / (darkest + 0.05) * (Luminance(qRgb(236, 240, 223)) + 0.05) / 1.05 >= 4.5);

        // Name ink is bluish; the lock mark is red.
        for (const auto& [side, c, clearRight] :
             {std::tuple{kInputSide, 9, 1}, {kOutputSide, 4, 13}}) {
            const QRect bar = cell(side, c).adjusted(26, 1, -1, -21);
            int first = bar.right(), last = bar.left();
            for (int x = bar.left(); x <= bar.right(); ++x)
                for (int y = bar.top(); y <= bar.bottom(); ++y)
                    if (qBlue(img.pixel(x, y)) - qRed(img.pixel(x, y)) > 15)
                        first = std::min(first, x), last = std::max(last, x);
            QVERIFY2(first > bar.left() + 1 && last < bar.right() - clearRight,
                     side ? "out" : "in");
        }
    }

    // Kept layouts draw exactly what QPainter::drawText draws, the first time
    // and from the cache: centred, left and right, wider than the box
    // (clipped), blanks at either end, 8-bit letters, bold and italic faces,
    // at the screen's pixel ratio (ctest runs this case at 1.5 and 2 too).
    void textLayoutsDrawAsDrawText() {
        LoadTahoma();
        const int centre = Qt::AlignHCenter;
        const qreal ratio = qApp->devicePixelRatio();
        for (const auto& [latin1, pixels, bold, italic, align, width] :
             {std::tuple{"      1920x1080p@60Hz", 10, false, false, centre, 142},
              {" A very long camera name here", 12, true, false, centre, 142},
              {"07", 16, true, false, centre, 24},
              {"  IN SLOT 1   HDMI Input", 10, true, false, int(Qt::AlignLeft), 662},
              {" Cam 7    ", 10, false, false, int(Qt::AlignRight), 142},
              {"Take: Cam \xe9t\xe9", 10, false, true, centre, 142}}) {
            QFont font = TahomaFont(pixels, bold);
            font.setItalic(italic);
            const QString text = QString::fromLatin1(latin1);
            const int flags = align | Qt::AlignVCenter | Qt::TextSingleLine;
            const QRect box(5, 4, width, 20);
            TextLayoutCache cache;
            QImage images[3];  // drawText, then the cache twice
            for (QImage& image : images) {
                image = QImage(QSize(width + 10, 28) * ratio, QImage::Format_RGB32);
                image.setDevicePixelRatio(ratio);
                image.fill(qRgb(236, 240, 223));
                QPainter painter(&image);
                painter.setFont(font);
                painter.setPen(QColor(64, 64, 64));
                if (&image == images)
                    painter.drawText(box, flags, text);
                else
                    cache.Draw(painter, box, flags, text);
            }
            QVERIFY2(images[1] == images[0] && images[2] == images[0], latin1);
        }
    }

    // A view that has painted before paints what a new view paints: its
    // kept text layouts follow the font (a name in a bold bar, the same text
    // as a plain or italic route). Asked for a cell, it paints all of that
    // cell (pressed or not) and nothing else, even where the model changed
    // too; an exposed rectangle gets every part it crosses.
    void repaintsStayTrue() {
        using Change = std::function<void(MatrixView&, RoutingMap&)>;
        const Change route = [this](MatrixView&, RoutingMap&) { state.routedInput[2] = 3; };
        struct Case {
            const char* what;
            Change change;
            int side, channel;  // the cell repainted alone; 0 = the whole view, -1 = an exposure
            bool confined;      // the change is all in what is repainted
        };
        const Case cases[] = {
            {"route to a name drawn bold", route, kOutputSide, 0, true},
            {"pending route in italics", [](MatrixView&, RoutingMap& r) { r.pending[2] = 3; },
             kOutputSide, 0, true},
            {"renamed input",
             [this](MatrixView&, RoutingMap&) { config.inputNames[3] = "Camera 3"; }, kInputSide, 0,
             true},
            {"route, that cell alone", route, kOutputSide, 2, true},
            {"pressed cell released", [](MatrixView& v, RoutingMap&) { v.pressed = ViewHit(); },
             kOutputSide, 5, true},
            {"two signals lost, one cell",
             [this](MatrixView&, RoutingMap&) {
                 state.inputStatusText[6] = state.inputStatusText[7] = "Signal OFF";
             },
             kInputSide, 6, false},
            {"buffer lost, part exposed",
             [](MatrixView& v, RoutingMap&) { v.backBuffer.fill(Qt::black); }, kInputSide, -1,
             false}};
        for (const Case& c : cases) {
            state = RouterState();
            state.known.routes = true;
            std::fill_n(state.known.inputSignal, kChannelTableSize, true);
            config = AppConfig();
            for (int n = 1; n <= kChannelCount; ++n) {
                config.inputNames[n] = "Input " + std::to_string(n);
                state.inputStatusText[n] = "1920x1080p@60Hz";
                state.routedInput[n] = n == 2 || n == 5 ? 0 : n == 4 ? 3 : 1;
            }
            RoutingMap routing;
            auto paint = [&](MatrixView& view, const QRegion& dirty) {
                view.routing = &routing;
                view.resize(707, 535);
                view.PaintBuffer(dirty);
                return view.backBuffer.copy();
            };
            MatrixView view(state, config), fresh(state, config);
            view.pressed = {kOutputCell, 5};
            paint(view, QRegion());
            c.change(view, routing);
            const QImage before = view.backBuffer.copy();  // a model change alone paints nothing
            const QRect area = c.channel > 0   ? view.CellArea(c.side, c.channel)
                               : c.channel < 0 ? QRect(150, 40, 100, 60)  // across four cells
                                               : view.rect();
            const QImage after = paint(view, c.channel ? QRegion(area) : QRegion());
            fresh.pressed = view.pressed;
            const QImage truth = paint(fresh, QRegion());
            QVERIFY2(after != before && (!c.confined || after == truth), c.what);
            // In the area as a new view paints it, elsewhere as before.
            const qreal ratio = after.devicePixelRatio();
            for (int y = 0; y < after.height() && !c.confined; ++y)
                for (int x = 0; x < after.width(); ++x) {
                    const bool inside = area.contains(QPoint(int(x / ratio), int(y / ratio)));
                    QVERIFY2(after.pixel(x, y) == (inside ? truth : before).pixel(x, y), c.what);
                }
        }
    }

    // A disabled caption reads at 4.5:1 or better against its face, on the
    // window shade, the diagonal one and a dark face: its darkest (lightest)
    // ink against the face's median.
    void disabledCaptionContrast() {
        for (const auto& [shade, face] :
             {std::pair{2, QColor()}, {1, QColor()}, {2, QColor(40, 40, 48)}}) {
            ImageButton button(QStringLiteral("Connect"));
            if (face.isValid()) {
                QPalette pal = button.palette();
                pal.setColor(QPalette::Button, face);
                pal.setColor(QPalette::Light, face.lighter(130));
                pal.setColor(QPalette::Dark, face.darker(130));
                button.setPalette(pal);
            }
            button.resize(93, 29);
            button.SetShade(shade, 8, 10, 5, ColorFromRef(0x796B6B));
            button.SetTextFont(TahomaFont(11, true));
            button.setEnabled(false);
            const QImage image = button.RenderFace();
            QList<double> band;
            for (int y = 10; y < 19; ++y)
                for (int x = 20; x < 73; ++x)
                    band.append(Luminance(image.pixel(x, y)));
            std::sort(band.begin(), band.end());
            const double median = band[band.size() / 2];
            const double ink = median > 0.2 ? band.first() : band.last();
            const double contrast = (std::max(ink, median) + 0.05) / (std::min(ink, median) + 0.05);
            QVERIFY2(contrast >= 4.5,
                     qPrintable(QString::asprintf("shade %d%s, %.2f:1", shade,
                                                  face.isValid() ? " dark" : "", contrast)));
        }
    }

    // The owner-drawn controls paint at the screen's pixel ratio, not at 1x
    // scaled up; ctest runs this case again at 1.5 and 2 (QT_SCALE_FACTOR).
    void buffersAtPixelRatio() {
        MatrixView view(state, config);
        view.resize(707, 535);
        InputGrid grid;
        grid.resize(300, 120);
        ImageButton button(QStringLiteral("Connect"));
        button.resize(93, 29);
        button.SetShade(2, 8, 10, 5, ColorFromRef(0x796B6B));
        for (QWidget* w : std::initializer_list<QWidget*>{&view, &grid, &button})
            w->show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        const qreal ratio = qEnvironmentVariable("QT_SCALE_FACTOR", "1").toDouble();
        view.PaintBuffer();
        grid.repaint();
        const QImage face = button.RenderFace();
        const std::pair<const QImage*, QSize> images[] = {{&view.backBuffer, view.size()},
                                                          {&grid.backBuffer, grid.size()},
                                                          {&face, button.size()}};
        for (const auto& [image, logical] : images)
            QVERIFY(image->devicePixelRatio() == ratio && image->size() == logical * ratio);
    }

    // Every line of the About box shows whole.
    void aboutLinesFit() {
        AboutDialog about;
        for (const QLabel* label : about.findChildren<QLabel*>())
            QVERIFY2(label->size().expandedTo(label->sizeHint()) == label->size(),
                     qPrintable(label->text()));
    }
};

QTEST_MAIN(WidgetsTest)
#include "WidgetsTest.moc"
