#include <QtTest>

#include "ui/MatrixView.h"

using namespace corvane;

namespace {

constexpr int kViewWidth = 707;  // as in the main window
constexpr int kViewHeight = 535;

bool Reddish(QRgb c) {
    return qRed(c) > qGreen(c) + 60 && qRed(c) > qBlue(c) + 60;
}

}  // namespace

class MatrixViewTest : public QObject {
    Q_OBJECT

    RouterState state;
    AppConfig config;

private slots:
    void indicators_data() {
        QTest::addColumn<int>("side");
        QTest::addColumn<QString>("signal");
        QTest::addColumn<int>("plugged");
        QTest::addColumn<int>("card");
        QTest::addColumn<bool>("on");
        QTest::newRow("input with a signal") << 0 << "1920x1080p@60Hz" << 0 << 0 << true;
        QTest::newRow("input Signal OFF") << 0 << "Signal OFF" << 0 << 0 << false;
        QTest::newRow("input Signal OFF inside the text")
            << 0 << "x Signal OFF y" << 0 << 0 << false;
        QTest::newRow("input without text") << 0 << "" << 0 << 0 << false;
        QTest::newRow("output plugged") << 1 << "" << 1 << 0x0B << true;
        QTest::newRow("output unplugged") << 1 << "" << 0 << 0x0B << false;
        QTest::newRow("output plugged 2 is not 1") << 1 << "" << 2 << 0x0B << false;
        QTest::newRow("output on a 1-fiber card") << 1 << "" << 0 << 0x19 << true;
        QTest::newRow("output on a 2-fiber card") << 1 << "" << 0 << 0x1B << true;
        QTest::newRow("output on a quad card") << 1 << "" << 0 << 0x21 << true;
        QTest::newRow("output on an SDI card") << 1 << "" << 0 << 0x13 << false;
    }

    // The lamp of channel 6 (slot 2) as rendered into the back buffer.
    void indicators() {
        QFETCH(int, side);
        QFETCH(QString, signal);
        QFETCH(int, plugged);
        QFETCH(int, card);
        QFETCH(bool, on);
        state = RouterState();
        state.inputStatusText[6] = signal.toStdString();
        state.outputPlugged[6] = plugged;
        state.outputCardType[2] = card;
        MatrixView view(state, config);
        view.resize(kViewWidth, kViewHeight);
        view.PaintBuffer();
        const QRect cell = view.layout.cellRects[side][6];
        QCOMPARE(view.backBuffer.pixel(cell.left() + 13, cell.top() + 7),
                 on ? qRgb(0, 255, 0) : qRgb(128, 128, 128));
    }

    void cellColours() {
        state = RouterState();
        config = AppConfig();
        for (int c = 1; c <= 16; ++c)
            config.inputNames[c] = "In" + std::to_string(c);
        state.routedInput[1] = 0;
        state.routedInput[2] = 5;
        MatrixView view(state, config);
        view.resize(kViewWidth, kViewHeight);
        view.selectedInput = 3;
        view.PaintBuffer();
        const QImage& img = view.backBuffer;

        // The selected input's name bar is dark (and the cell moved by one pixel).
        const QRect c2 = view.layout.cellRects[kInputSide][2],
                    c3 = view.layout.cellRects[kInputSide][3];
        QCOMPARE(img.pixel(c3.right() - 1, c3.top() + 3), qRgb(16, 34, 80));
        QCOMPARE(img.pixel(c2.right() - 2, c2.top() + 2), qRgb(217, 217, 217));  // not selected

        // "No Link" is red; a routed output shows the input's name in dark grey.
        auto countReddish = [&](int output) {
            const QRect c = view.layout.cellRects[kOutputSide][output];
            int n = 0;
            for (int y = c.top() + 28; y < c.bottom(); ++y)
                for (int x = c.left() + 27; x < c.right(); ++x)
                    n += Reddish(img.pixel(x, y));
            return n;
        };
        QVERIFY(countReddish(1) > 10);
        QCOMPARE(countReddish(2), 0);
    }
};

QTEST_MAIN(MatrixViewTest)
#include "MatrixViewTest.moc"
