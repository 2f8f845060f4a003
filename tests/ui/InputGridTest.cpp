#include <QMouseEvent>
#include <QtTest>

#include "ui/InputGrid.h"

using corvane::InputGrid;

// A click is a list of cells; "d5" is a double click on cell 5 (1-based).
using Clicks = QStringList;
using Marks = QList<int>;  // 1-based inputs

class InputGridTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<InputGrid> grid;

    QPoint Centre(int input) const { return grid->cellRects[input - 1].center(); }

    void Send(QEvent::Type type, const QPoint& at) {
        const Qt::MouseButtons held =
            type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton;
        QMouseEvent event(type, at, grid->mapToGlobal(at), Qt::LeftButton, held, Qt::NoModifier);
        QCoreApplication::sendEvent(grid.get(), &event);
    }

    Marks Selected() const {
        Marks marks;
        for (int i = 0; i < 16; ++i) {
            if (grid->selection[i])
                marks << i + 1;
        }
        return marks;
    }

private slots:
    void init() {
        grid = std::make_unique<InputGrid>();
        // The size it gets over the EDID dialog's placeholder.
        grid->resize(355, 184);
        grid->show();
        QVERIFY(QTest::qWaitForWindowExposed(grid.get()));
    }
    void cleanup() { grid.reset(); }

    void layout_data() {
        QTest::addColumn<QSize>("size");
        QTest::addColumn<QRect>("first");
        QTest::addColumn<QRect>("last");
        QTest::newRow("dialog placeholder")
            << QSize(355, 184) << QRect(15, 15, 73, 31) << QRect(264, 138, 73, 31);
        QTest::newRow("square 200")
            << QSize(200, 200) << QRect(15, 15, 35, 35) << QRect(150, 150, 35, 35);
    }
    void layout() {
        QFETCH(QSize, size);
        QFETCH(QRect, first);
        QFETCH(QRect, last);
        grid->resize(size);
        QCOMPARE(grid->cellRects[0], first);
        QCOMPARE(grid->cellRects[15], last);
        // Inputs 1-4 are the top row; the gaps between cells hit nothing.
        QCOMPARE(grid->HitTest(grid->cellRects[3].center()), 3);
        QCOMPARE(grid->HitTest(grid->cellRects[4].center()), 4);
        QCOMPARE(grid->HitTest(QPoint(first.right() + 5, first.top() + 2)), -1);
        QCOMPARE(grid->HitTest(QPoint(2, 2)), -1);
    }

    void clicks_data() {
        QTest::addColumn<int>("singleSelect");
        QTest::addColumn<Marks>("preset");
        QTest::addColumn<Clicks>("clicks");
        QTest::addColumn<Marks>("expected");
        QTest::newRow("multiple toggles") << 0 << Marks{} << Clicks{"3", "7", "3"} << Marks{7};
        QTest::newRow("multiple keeps preset")
            << 0 << Marks{1, 16} << Clicks{"8"} << Marks{1, 8, 16};
        QTest::newRow("single replaces") << 1 << Marks{2} << Clicks{"5"} << Marks{5};
        QTest::newRow("single deselects") << 1 << Marks{2} << Clicks{"5", "5"} << Marks{};
        QTest::newRow("single clears preset when unmarking")
            << 1 << Marks{3, 9} << Clicks{"3"} << Marks{};
        QTest::newRow("single without click keeps preset")
            << 1 << Marks{3, 9} << Clicks{} << Marks{3, 9};
        QTest::newRow("double click toggles once") << 0 << Marks{} << Clicks{"d6"} << Marks{6};
        QTest::newRow("double click on marked cell") << 0 << Marks{6} << Clicks{"d6"} << Marks{};
    }
    void clicks() {
        QFETCH(int, singleSelect);
        QFETCH(Marks, preset);
        QFETCH(Clicks, clicks);
        QFETCH(Marks, expected);
        for (int input : preset)
            grid->selection[input - 1] = 1;
        grid->singleSelect = singleSelect;
        for (const QString& click : clicks) {
            const bool twice = click.startsWith('d');
            const QPoint at = Centre(click.mid(twice ? 1 : 0).toInt());
            Send(QEvent::MouseButtonPress, at);
            Send(QEvent::MouseButtonRelease, at);
            if (twice) {
                // What Qt delivers for the second press of a double click.
                Send(QEvent::MouseButtonPress, at);
                Send(QEvent::MouseButtonDblClick, at);
                Send(QEvent::MouseButtonRelease, at);
            }
        }
        QCOMPARE(Selected(), expected);
        QCOMPARE(grid->pressedCell, -1);
        QCOMPARE(grid->hotCell, -1);
    }

    // Press, move off, back on, off again, release: the cell looks down only
    // while the pointer is over it, and a release elsewhere toggles nothing.
    void pressMoveRelease() {
        const QPoint on = Centre(6);
        const QPoint offOtherCell = Centre(7);
        Send(QEvent::MouseButtonPress, on);
        QCOMPARE(grid->pressedCell, 5);
        QCOMPARE(grid->hotCell, 5);
        Send(QEvent::MouseMove, offOtherCell);
        QCOMPARE(grid->hotCell, -1);
        Send(QEvent::MouseMove, on);
        QCOMPARE(grid->hotCell, 5);
        Send(QEvent::MouseMove, offOtherCell);
        Send(QEvent::MouseButtonRelease, offOtherCell);
        QCOMPARE(Selected(), Marks{});
        QCOMPARE(grid->pressedCell, -1);

        // Pressing in the margin arms nothing.
        Send(QEvent::MouseButtonPress, QPoint(3, 3));
        QCOMPARE(grid->pressedCell, -1);
        Send(QEvent::MouseMove, on);
        QCOMPARE(grid->hotCell, -1);
        Send(QEvent::MouseButtonRelease, on);
        QCOMPARE(Selected(), Marks{});
    }

    // The indicator turns green for a selected or held cell, grey otherwise.
    void paintsIndicator() {
        grid->selection[0] = 1;
        const QImage shot = grid->grab().toImage();
        const QRect selected = grid->cellRects[0].translated(1, 1);
        const QRect idle = grid->cellRects[1];
        // Interior of the lamp, below the glint.
        QCOMPARE(shot.pixelColor(selected.left() + 1 + 4, selected.top() + 10), QColor(0, 255, 0));
        QCOMPARE(shot.pixelColor(idle.left() + 1 + 4, idle.top() + 10), QColor(128, 128, 128));
        QCOMPARE(shot.pixelColor(2, 2), QColor(133, 133, 139));
    }
};

QTEST_MAIN(InputGridTest)
#include "InputGridTest.moc"
