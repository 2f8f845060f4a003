#include <QtTest>

#include "ui/ColorLabel.h"

using namespace corvane;

namespace {

const QColor kBack(244, 244, 244);

// Bounding box of everything drawn in a colour other than the background,
// inside the one-pixel frame.
QRect Ink(ColorLabel& label) {
    const QImage image = label.grab().toImage();
    QRect box;
    for (int y = 1; y < image.height() - 1; ++y)
        for (int x = 1; x < image.width() - 1; ++x)
            if (QColor(image.pixel(x, y)) != kBack)
                box |= QRect(x, y, 1, 1);
    return box;
}

void Style(ColorLabel& label, Qt::Alignment alignment, int dx, int dy) {
    label.setAlignment(alignment);
    label.resize(160, 60);
    label.SetForeColor(QColor(79, 79, 79), false);
    label.SetBackColor(kBack, false);
    label.SetBold(true, false);
    label.textOffsetX = dx;
    label.textOffsetY = dy;
    label.SetFontFace(QStringLiteral("Tahoma"), 9, false);
}

}  // namespace

class ColorLabelTest : public QObject {
    Q_OBJECT
private slots:
    void offsets_data() {
        QTest::addColumn<int>("alignment");
        QTest::addColumn<int>("shiftX");  // in half pixels: centred text moves by half the offset
        QTest::addColumn<int>("shiftY");
        QTest::newRow("left, top") << int(Qt::AlignLeft | Qt::AlignTop) << 4 << 10;
        QTest::newRow("left, centred line") << int(Qt::AlignLeft | Qt::AlignVCenter) << 4 << 5;
        QTest::newRow("centred both ways") << int(Qt::AlignHCenter | Qt::AlignVCenter) << 2 << 5;
        QTest::newRow("right, top") << int(Qt::AlignRight | Qt::AlignTop) << 0 << 10;
    }

    // Offsets of 2 and 5 move only the left and top edges of the text rectangle.
    void offsets() {
        QFETCH(int, alignment);
        QFETCH(int, shiftX);
        QFETCH(int, shiftY);
        ColorLabel plain(QStringLiteral("Status : Hg"));
        ColorLabel shifted(QStringLiteral("Status : Hg"));
        Style(plain, Qt::Alignment(alignment), 0, 0);
        Style(shifted, Qt::Alignment(alignment), 2, 5);
        const QRect a = Ink(plain), b = Ink(shifted);
        QVERIFY(!a.isEmpty());
        QCOMPARE(b.size(), a.size());
        QVERIFY2(std::abs(2 * (b.left() - a.left()) - shiftX) <= 1,
                 qPrintable(QString::number(b.left() - a.left())));
        QVERIFY2(std::abs(2 * (b.top() - a.top()) - shiftY) <= 1,
                 qPrintable(QString::number(b.top() - a.top())));
    }
};

QTEST_MAIN(ColorLabelTest)
#include "ColorLabelTest.moc"
