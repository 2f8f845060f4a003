// Run at a fractional and an integer scale (QT_SCALE_FACTOR, set by ctest):
// the owner-drawn controls paint at the screen's pixel ratio, not at 1x
// scaled up.
#include <QtTest>
#include <cmath>

#include "ui/ImageButton.h"
#include "ui/InputGrid.h"
#include "ui/MatrixView.h"

using namespace corvane;

class HiDpiTest : public QObject {
    Q_OBJECT

private slots:
    void buffersAtPixelRatio() {
        RouterState state;
        AppConfig config;
        MatrixView view(state, config);
        view.resize(707, 535);
        InputGrid grid;
        grid.resize(300, 120);
        ImageButton button(QStringLiteral("Connect"));
        button.resize(93, 29);
        button.SetShade(2, 8, 10, 5, ColorFromRef(0x796B6B));
        for (QWidget* w : {static_cast<QWidget*>(&view), static_cast<QWidget*>(&grid),
                           static_cast<QWidget*>(&button)})
            w->show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        const qreal ratio = view.devicePixelRatioF();
        QVERIFY2(ratio > 1.0, "run with QT_SCALE_FACTOR above 1");

        view.PaintBuffer();
        grid.repaint();
        const QImage face = button.RenderFace();
        const std::pair<const QImage*, QSize> images[] = {{&view.backBuffer, view.size()},
                                                          {&grid.backBuffer, grid.size()},
                                                          {&face, button.size()}};
        for (const auto& [image, logical] : images) {
            QCOMPARE(image->devicePixelRatio(), ratio);
            QCOMPARE(image->width(), int(std::lround(logical.width() * ratio)));
            QCOMPARE(image->height(), int(std::lround(logical.height() * ratio)));
        }
    }
};

QTEST_MAIN(HiDpiTest)
#include "HiDpiTest.moc"
