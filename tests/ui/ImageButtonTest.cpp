#include <QSignalSpy>
#include <QWidget>
#include <QtTest>

#include "ui/ImageButton.h"

using namespace corvane;

namespace {

int Brightness(QRgb c) {
    return qRed(c) + qGreen(c) + qBlue(c);
}

}  // namespace

class ImageButtonTest : public QObject {
    Q_OBJECT
private slots:
    void dibGeometry_data();
    void dibGeometry();
    void dibPixelsAndPalette();
    void shadeBounds_data();
    void shadeBounds();
    void paletteAndFaces();
    void iconPlacement_data();
    void iconPlacement();
    void radioGroupUnchecking();
    void checkBoxClicks();
};

void ImageButtonTest::dibGeometry_data() {
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("requestedBits");
    QTest::addColumn<int>("bits");
    QTest::addColumn<int>("stride");
    QTest::addColumn<int>("paletteSize");
    QTest::newRow("0 bits -> 1") << 10 << 0 << 1 << 4 << 2;
    QTest::newRow("3 bits -> 4") << 9 << 3 << 4 << 8 << 16;
    QTest::newRow("8 bits, odd width padded") << 5 << 8 << 8 << 8 << 256;
    QTest::newRow("9 bits -> 24") << 3 << 9 << 24 << 12 << 0;
}

void ImageButtonTest::dibGeometry() {
    QFETCH(int, width);
    QFETCH(int, requestedBits);
    QFETCH(int, bits);
    QFETCH(int, stride);
    QFETCH(int, paletteSize);
    PaletteDib dib;
    QVERIFY(dib.Create(width, 3, requestedBits));
    QCOMPARE(dib.bitCount, bits);
    QCOMPARE(dib.stride, stride);
    QCOMPARE(dib.paletteSize, paletteSize);
    QCOMPARE(int(dib.block.size()), 40 + 4 * paletteSize + 3 * stride);
    const std::uint8_t* h = dib.block.data();
    QCOMPARE(int(h[0]), 40);
    QCOMPARE(int(h[4]), width);
    QCOMPARE(int(h[14]), bits);
    QCOMPARE(dib.Bits(), dib.block.data() + 40 + 4 * paletteSize);
    QVERIFY(!PaletteDib().Create(0, 5, 8));
}

void ImageButtonTest::dibPixelsAndPalette() {
    PaletteDib dib;
    QVERIFY(dib.Create(4, 3, 8));
    dib.Clear(7);
    dib.SetPixelIndex(1, 0, 200);  // the top row is stored last
    QCOMPARE(int(dib.Bits()[2 * dib.stride + 1]), 200);
    dib.SetPixelIndex(4, 0, 1);   // outside: ignored
    dib.SetPixelIndex(-1, 0, 1);  // outside: ignored
    QCOMPARE(dib.PixelIndex(3, 0), 7);

    dib.SetPaletteIndex(256 + 10, 200, 100, 50);  // index taken modulo 256
    QCOMPARE(dib.PaletteColor(10), qRgb(200, 100, 50));
    QCOMPARE(int(dib.block[40 + 40]), 50);     // stored blue first
    dib.BlendPalette(QColor(0, 0, 250), 150);  // above 100 acts as 100
    QCOMPARE(dib.PaletteColor(10), qRgb(0, 0, 250));
    dib.SetPaletteIndex(12, 100, 100, 100);
    dib.BlendPalette(QColor(200, 0, 100), 25);
    QCOMPARE(dib.PaletteColor(12), qRgb(125, 75, 100));

    PaletteDib copy;
    copy.Clone(dib);
    QCOMPARE(copy.block, dib.block);
    QCOMPARE(copy.ToImage().pixel(1, 0), copy.PaletteColor(200));
}

void ImageButtonTest::shadeBounds_data() {
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("granularity");
    QTest::newRow("diagonal") << 1 << 8;
    QTest::newRow("horizontal") << 2 << 8;
    QTest::newRow("horizontal, no noise") << 2 << 0;
    QTest::newRow("vertical") << 3 << 20;
    QTest::newRow("horizontal bump") << 4 << 8;
    QTest::newRow("vertical bump") << 5 << 8;
    QTest::newRow("soft bump") << 6 << 8;
    QTest::newRow("hard bump") << 7 << 8;
    QTest::newRow("metal") << 8 << 8;
    QTest::newRow("unknown type is noise") << 9 << 30;
}

// The linear shades stay within their formula plus or minus the noise; the
// others at least show a shape.
void ImageButtonTest::shadeBounds() {
    QFETCH(int, type);
    QFETCH(int, granularity);
    ImageButton button;
    const int W = 93, H = 29, g = granularity;
    button.resize(W, H);
    button.SetShade(type, granularity, 10, 5, ColorFromRef(0x796B6B));
    const PaletteDib& face = button.normalFace;
    int minimum = 255, maximum = 0;
    for (int y = 0; y < H; ++y) {
        for (int x = 0; x < W; ++x) {
            const int v = face.PixelIndex(x, y);
            minimum = std::min(minimum, v);
            maximum = std::max(maximum, v);
            const int E = (255 - 2 * g) / 2;
            const int expected = type == 1   ? g + (y * E) / H + (E * (W - x)) / W
                                 : type == 2 ? g + (y * (255 - 2 * g)) / H
                                 : type == 3 ? g + ((W - x) * (255 - 2 * g)) / W
                                 : type == 9 ? 128
                                             : -1;
            // rand() of 32767 gives one above the amplitude
            if (expected >= 0 && (v < expected - g || v > expected + g + 1))
                QFAIL(qPrintable(QStringLiteral("(%1,%2) = %3, expected %4")
                                     .arg(x)
                                     .arg(y)
                                     .arg(v)
                                     .arg(expected)));
        }
    }
    if (g == 0)
        QCOMPARE(face.PixelIndex(50, 0), 0);  // no noise at all
    QVERIFY(maximum - minimum > (type == 9 ? g : 60));
}

void ImageButtonTest::paletteAndFaces() {
    QWidget parent;
    ImageButton button(QStringLiteral("Connect"), &parent);
    button.setGeometry(0, 0, 93, 29);
    const QPalette& pal = button.palette();
    const QColor shadow = pal.color(QPalette::Dark), face = pal.color(QPalette::Button),
                 light = pal.color(QPalette::Light), tint(107, 107, 121);
    button.SetShade(2, 8, 10, 0, tint);
    QCOMPARE(button.normalFace.PaletteColor(0), shadow.rgb());
    QCOMPARE(button.normalFace.PaletteColor(128), face.rgb());
    QCOMPARE(button.normalFace.PaletteColor(255), light.rgb());
    button.SetShade(2, 8, 10, 50, tint);
    QCOMPARE(qBlue(button.normalFace.PaletteColor(0)), (tint.blue() + shadow.blue()) / 2);

    // Hover: same pixels, every palette entry at least as light, the whole lighter.
    int lighter = 0;
    for (int i = 0; i < 256; ++i) {
        const int n = Brightness(button.normalFace.PaletteColor(i));
        const int h = Brightness(button.hoverFace.PaletteColor(i));
        QVERIFY(h >= n);
        lighter += h > n;
    }
    QVERIFY(lighter > 200);
    QCOMPARE(button.pressedFace.block, button.hoverFace.block);
    QCOMPARE(button.disabledFace.block, button.normalFace.block);

    const QPoint probe(6, 6);  // inside the face, clear of edge and caption
    QCOMPARE(button.RenderFace().pixel(probe), button.normalImage.pixel(probe));
    button.hover = true;
    QCOMPARE(button.RenderFace().pixel(probe), button.hoverImage.pixel(probe));
    button.hover = false;
    button.setDown(true);  // the pressed face is drawn one pixel in
    QCOMPARE(button.RenderFace().pixel(probe), button.pressedImage.pixel(probe - QPoint(1, 1)));
    button.setDown(false);
    button.setEnabled(false);
    QCOMPARE(button.RenderFace().pixel(probe), button.disabledImage.pixel(probe));
}

void ImageButtonTest::iconPlacement_data() {
    QTest::addColumn<int>("alignment");
    QTest::addColumn<QRect>("expected");
    // A 30 x 20 icon on a 100 x 60 button.
    QTest::newRow("left") << 256 << QRect(0, 20, 30, 20);
    QTest::newRow("right") << 512 << QRect(70, 20, 30, 20);
    QTest::newRow("centred above the caption") << 768 << QRect(35, 20, 30, 20);
    QTest::newRow("unknown means centred") << 5 << QRect(35, 20, 30, 20);
}

void ImageButtonTest::iconPlacement() {
    QFETCH(int, alignment);
    QFETCH(QRect, expected);
    ImageButton button(QStringLiteral("Quad"));
    button.resize(100, 60);
    QPixmap main(30, 20), hover(30, 20);
    main.fill(Qt::red);
    hover.fill(Qt::blue);
    QVERIFY(button.SetIcon(main, alignment, QPixmap(), hover));
    QCOMPARE(button.iconRect, expected);
    const QPoint inIcon = expected.topLeft() + QPoint(3, 3);
    QCOMPARE(button.RenderFace().pixel(inIcon), qRgb(255, 0, 0));
    button.hover = true;
    QCOMPARE(button.RenderFace().pixel(inIcon), qRgb(0, 0, 255));
    button.hover = false;
    // No down icon given: the main one, moved down by one while pushed.
    const QPoint belowIcon(expected.left() + 5, expected.bottom() + 1);
    QVERIFY(button.RenderFace().pixel(belowIcon) != qRgb(255, 0, 0));
    button.setDown(true);
    QCOMPARE(button.RenderFace().pixel(belowIcon), qRgb(255, 0, 0));
}

void ImageButtonTest::radioGroupUnchecking() {
    QWidget parent;
    parent.resize(300, 100);
    ImageButton* buttons[4];
    for (int i = 0; i < 4; ++i) {
        buttons[i] = new ImageButton(QString(), &parent);
        buttons[i]->setGeometry(60 * i, 0, 50, 30);
        buttons[i]->SetButtonStyle(ImageButton::kRadioMode, true);
    }
    buttons[3]->group = 1;  // another group
    buttons[0]->SetCheck(true);
    buttons[3]->SetCheck(true);
    QCoreApplication::processEvents();
    buttons[1]->SetCheck(true);
    QVERIFY(buttons[0]->GetCheck());  // unchecked by a posted event, not at once
    QCoreApplication::processEvents();
    QVERIFY(!buttons[0]->GetCheck());
    QVERIFY(buttons[1]->GetCheck());
    QVERIFY(buttons[3]->GetCheck());

    parent.show();
    QVERIFY(QTest::qWaitForWindowExposed(&parent));
    QTest::mouseClick(buttons[2], Qt::LeftButton);
    QVERIFY(buttons[2]->GetCheck());
    QTRY_VERIFY(!buttons[1]->GetCheck());
    QTest::mouseClick(buttons[2], Qt::LeftButton);  // a checked radio stays checked
    QVERIFY(buttons[2]->GetCheck());
}

void ImageButtonTest::checkBoxClicks() {
    QWidget parent;
    parent.resize(200, 100);
    auto* box = new ImageButton(QStringLiteral("All Link"), &parent);
    box->setGeometry(10, 10, 80, 30);
    box->SetButtonStyle(ImageButton::kCheckBoxMode, false);
    QVERIFY(!box->border);
    parent.show();
    QVERIFY(QTest::qWaitForWindowExposed(&parent));
    QSignalSpy clicked(box, &QPushButton::clicked);
    QTest::mouseClick(box, Qt::LeftButton);
    QVERIFY(box->GetCheck());
    // The second click of a double click counts as one more click.
    QTest::mouseClick(box, Qt::LeftButton);
    QMouseEvent dbl(QEvent::MouseButtonDblClick, QPointF(5, 5), box->mapToGlobal(QPointF(5, 5)),
                    Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(box, &dbl);
    QTest::mouseRelease(box, Qt::LeftButton, {}, QPoint(5, 5));
    QVERIFY(box->GetCheck());
    // Pressed on the button, released outside: no toggle, no click.
    const int before = clicked.count();
    QTest::mousePress(box, Qt::LeftButton, {}, QPoint(5, 5));
    QTest::mouseRelease(box, Qt::LeftButton, {}, QPoint(150, 60));
    QVERIFY(box->GetCheck());
    QCOMPARE(clicked.count(), before);
    box->setFocus();
    QTest::keyClick(box, Qt::Key_Space);
    QVERIFY(!box->GetCheck());

    ImageButton push;  // a push button has no check state
    push.SetCheck(true);
    QVERIFY(!push.GetCheck());
}

QTEST_MAIN(ImageButtonTest)
#include "ImageButtonTest.moc"
