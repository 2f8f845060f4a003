#include <QFontMetrics>
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
    void fontRules();
    void offsets_data();
    void offsets();
    void wrapping();
};

void ColorLabelTest::fontRules() {
    if (QGuiApplication::primaryScreen()->logicalDotsPerInchY() == 96) {
        QCOMPARE(PointSizeToHeight(9), -12);
        QCOMPARE(PointSizeToHeight(11), -15);  // rounded, not cut
        QCOMPARE(PointSizeToHeight(12), -16);
    }
    ColorLabel label(QStringLiteral("x"));
    QFont base(QStringLiteral("Sans"));
    base.setPixelSize(20);
    label.setFont(base);

    label.SetBold(true, false);
    label.SetFontFace(QStringLiteral("Tahoma"), 9, false);
    QCOMPARE(label.labelFont.family(), QStringLiteral("Tahoma"));
    QCOMPARE(label.labelFont.pixelSize(), -PointSizeToHeight(9));
    QVERIFY(label.labelFont.bold());

    // Bold rebuilds from the widget's font: the face and size chosen above go.
    label.SetBold(false, false);
    QCOMPARE(label.labelFont.pixelSize(), 20);
    QVERIFY(!label.labelFont.bold());

    label.SetFontFace(QString(40, QLatin1Char('F')), 12, false);
    QCOMPARE(label.labelFont.family().size(), 31);
    label.SetFontFace(QString(), 12, false);  // no face: the widget font's
    QCOMPARE(label.labelFont.family(), base.family());
    QCOMPARE(label.labelFont.pixelSize(), -PointSizeToHeight(12));
}

void ColorLabelTest::offsets_data() {
    QTest::addColumn<int>("alignment");
    QTest::addColumn<int>("shiftX");  // in half pixels: centred text moves by half the offset
    QTest::addColumn<int>("shiftY");
    QTest::newRow("left, top") << int(Qt::AlignLeft | Qt::AlignTop) << 4 << 10;
    QTest::newRow("left, centred line") << int(Qt::AlignLeft | Qt::AlignVCenter) << 4 << 5;
    QTest::newRow("centred both ways") << int(Qt::AlignHCenter | Qt::AlignVCenter) << 2 << 5;
    QTest::newRow("right, top") << int(Qt::AlignRight | Qt::AlignTop) << 0 << 10;
}

// Offsets of 2 and 5 move only the left and top edges of the text rectangle.
void ColorLabelTest::offsets() {
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

    const QImage image = shifted.grab().toImage();
    QCOMPARE(image.pixel(0, 0), qRgb(0, 0, 0));  // frame
    QCOMPARE(image.pixel(1, 1), kBack.rgb());    // background
}

void ColorLabelTest::wrapping() {
    const QString text = QStringLiteral("one two three four five six seven");
    ColorLabel wrapped(text), single(text);
    Style(wrapped, Qt::AlignLeft | Qt::AlignTop, 0, 0);
    Style(single, Qt::AlignLeft | Qt::AlignVCenter, 0, 0);
    wrapped.resize(70, 120);
    single.resize(70, 120);
    const int line = QFontMetrics(wrapped.labelFont).height();
    QVERIFY(Ink(wrapped).height() > 2 * line);  // broken at word boundaries
    QVERIFY(Ink(single).height() <= line);      // one line, cut at the edge
    QVERIFY(Ink(wrapped).top() < 8);            // starts at the top
    QVERIFY(Ink(single).top() > 40);            // vertically centred
}

QTEST_MAIN(ColorLabelTest)
#include "ColorLabelTest.moc"
