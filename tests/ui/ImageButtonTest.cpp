#include <QWidget>
#include <QtTest>

#include "ui/ImageButton.h"

using namespace corvane;

class ImageButtonTest : public QObject {
    Q_OBJECT
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

    void shadeBounds_data() {
        QTest::addColumn<int>("type");
        QTest::addColumn<int>("granularity");
        QTest::newRow("diagonal") << 1 << 8;
        QTest::newRow("horizontal") << 2 << 8;
        QTest::newRow("horizontal, no noise") << 2 << 0;
        QTest::newRow("vertical") << 3 << 20;
        QTest::newRow("unknown type is noise") << 9 << 30;
    }
    // The ramps stay within their line plus or minus the noise amplitude.
    void shadeBounds() {
        QFETCH(int, type);
        QFETCH(int, granularity);
        ImageButton button;
        const int W = 93, H = 29, g = granularity, E = (255 - 2 * g) / 2;
        button.resize(W, H);
        button.SetShade(type, granularity, 10, 5, ColorFromRef(0x796B6B));
        int minimum = 255, maximum = 0;
        for (int y = 0; y < H; ++y) {
            for (int x = 0; x < W; ++x) {
                const int v = button.normalFace.PixelIndex(x, y);
                minimum = std::min(minimum, v);
                maximum = std::max(maximum, v);
                const int expected = type == 1   ? g + (y * E) / H + (E * (W - x)) / W
                                     : type == 2 ? g + (y * (255 - 2 * g)) / H
                                     : type == 3 ? g + ((W - x) * (255 - 2 * g)) / W
                                                 : 128;
                // rand() of 32767 gives one above the amplitude
                if (v < expected - g || v > expected + g + 1)
                    QFAIL(qPrintable(QStringLiteral("(%1,%2) = %3, expected %4")
                                         .arg(x)
                                         .arg(y)
                                         .arg(v)
                                         .arg(expected)));
            }
        }
        QVERIFY(maximum - minimum > (type == 9 ? g : 60));
    }

    // The palette runs from the dark to the light system colour through the
    // face colour, tinted; the hover face is lighter and drawn on hover.
    void paletteAndFaces() {
        QWidget parent;
        ImageButton button(QStringLiteral("Connect"), &parent);
        button.setGeometry(0, 0, 93, 29);
        const QPalette& pal = button.palette();
        const QColor shadow = pal.color(QPalette::Dark), tint(107, 107, 121);
        button.SetShade(2, 8, 10, 0, tint);
        QCOMPARE(button.normalFace.PaletteColor(0), shadow.rgb());
        QCOMPARE(button.normalFace.PaletteColor(128), pal.color(QPalette::Button).rgb());
        QCOMPARE(button.normalFace.PaletteColor(255), pal.color(QPalette::Light).rgb());
        button.SetShade(2, 8, 10, 50, tint);
        QCOMPARE(qBlue(button.normalFace.PaletteColor(0)), (tint.blue() + shadow.blue()) / 2);

        auto brightness = [](QRgb c) { return qRed(c) + qGreen(c) + qBlue(c); };
        int lighter = 0;
        for (int i = 0; i < 256; ++i) {
            const int n = brightness(button.normalFace.PaletteColor(i));
            const int h = brightness(button.hoverFace.PaletteColor(i));
            QVERIFY(h >= n);
            lighter += h > n;
        }
        QVERIFY(lighter > 200);
        const QPoint probe(6, 6);  // inside the face, clear of edge and caption
        QCOMPARE(button.RenderFace().pixel(probe), button.normalImage.pixel(probe));
        button.hover = true;
        QCOMPARE(button.RenderFace().pixel(probe), button.hoverImage.pixel(probe));
    }

    void radioGroupUnchecking() {
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
};

QTEST_MAIN(ImageButtonTest)
#include "ImageButtonTest.moc"
