#include <QtTest>
#include <utility>
#include <vector>

#include "ui/MatrixView.h"
#include "ui/Messages.h"

using namespace corvane;

namespace {

// Stands in for the main window: records what the view reports.
class Recorder : public QWidget {
public:
    std::vector<std::pair<int, int>> notices;

protected:
    bool event(QEvent* e) override {
        if (e->type() == kViewNotifyEvent) {
            const auto* notice = static_cast<ViewNotifyEvent*>(e);
            notices.emplace_back(notice->kind, notice->index);
            return true;
        }
        return QWidget::event(e);
    }
};

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

    void clicks() {
        state = RouterState();
        Recorder parent;
        auto* view = new MatrixView(state, config, &parent);
        view->setGeometry(0, 0, kViewWidth, kViewHeight);
        parent.resize(kViewWidth, kViewHeight);
        parent.show();
        QVERIFY(QTest::qWaitForWindowExposed(&parent));
        auto at = [&](int side, int channel) {
            return view->layout.cellRects[side][channel].center();
        };
        auto click = [&](QPoint p) { QTest::mouseClick(view, Qt::LeftButton, {}, p); };

        click(at(kInputSide, 7));
        QCOMPARE(view->selectedInput, 7);
        click(at(kInputSide, 7));
        QCOMPARE(view->selectedInput, 0);
        click(QPoint(100, 5));             // input slot header: nothing
        click(QPoint(100, 5 + 275 + 65));  // output slot 2
        click(at(kOutputSide, 9));

        // Press on one cell, release on another or on a gap: nothing.
        QTest::mousePress(view, Qt::LeftButton, {}, at(kInputSide, 3));
        QTest::mouseRelease(view, Qt::LeftButton, {}, at(kInputSide, 4));
        QTest::mousePress(view, Qt::LeftButton, {}, at(kOutputSide, 5));
        QTest::mouseRelease(view, Qt::LeftButton, {}, QPoint(300, 270));
        QTest::mousePress(view, Qt::LeftButton, {}, QPoint(20, 30));  // on no cell
        QTest::mouseRelease(view, Qt::LeftButton, {}, at(kInputSide, 4));
        QCOMPARE(view->pressedKind, 0);

        // A double click selects once: its second press is not a click.
        click(at(kInputSide, 5));
        const QPointF p(at(kInputSide, 5));
        QMouseEvent dbl(QEvent::MouseButtonDblClick, p, view->mapToGlobal(p), Qt::LeftButton,
                        Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(view, &dbl);
        QTest::mouseRelease(view, Qt::LeftButton, {}, at(kInputSide, 5));
        QCOMPARE(view->selectedInput, 5);

        const std::vector<std::pair<int, int>> expected = {{kInputCell, 7},
                                                           {kInputCell, 7},
                                                           {kOutputSlotHeader, 2},
                                                           {kOutputCell, 9},
                                                           {kInputCell, 5}};
        QCOMPARE(parent.notices, expected);
    }
};

QTEST_MAIN(MatrixViewTest)
#include "MatrixViewTest.moc"
