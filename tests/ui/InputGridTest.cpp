#include <QMouseEvent>
#include <QtTest>

#include "ui/InputGrid.h"

using corvane::InputGrid;
using Marks = QList<int>;  // 1-based inputs

class InputGridTest : public QObject {
    Q_OBJECT

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
        grid->resize(355, 184);  // its size over the EDID dialog's placeholder
    }
    void cleanup() { grid.reset(); }

    // Clicks are cell numbers; "d6" is a double click on cell 6.
    void clicks_data() {
        QTest::addColumn<int>("singleSelect");
        QTest::addColumn<Marks>("preset");
        QTest::addColumn<QStringList>("clicks");
        QTest::addColumn<Marks>("expected");
        QTest::newRow("multiple toggles") << 0 << Marks{} << QStringList{"3", "7", "3"} << Marks{7};
        QTest::newRow("multiple keeps preset")
            << 0 << Marks{1, 16} << QStringList{"8"} << Marks{1, 8, 16};
        QTest::newRow("single replaces") << 1 << Marks{2} << QStringList{"5"} << Marks{5};
        QTest::newRow("single deselects") << 1 << Marks{2} << QStringList{"5", "5"} << Marks{};
        QTest::newRow("single, unmarking clears the rest")
            << 1 << Marks{3, 9} << QStringList{"3"} << Marks{};
        QTest::newRow("single alone keeps preset")
            << 1 << Marks{3, 9} << QStringList{} << Marks{3, 9};
        QTest::newRow("double click toggles once") << 0 << Marks{} << QStringList{"d6"} << Marks{6};
        QTest::newRow("the gap hits nothing") << 0 << Marks{} << QStringList{"0"} << Marks{};
    }
    void clicks() {
        QFETCH(int, singleSelect);
        QFETCH(Marks, preset);
        QFETCH(QStringList, clicks);
        for (int input : preset)
            grid->selection[input - 1] = 1;
        grid->singleSelect = singleSelect;
        for (const QString& click : clicks) {
            const bool twice = click.startsWith('d');
            const int cell = click.mid(twice ? 1 : 0).toInt();
            // Cell "0" is the gap right of cell 1.
            const QPoint at =
                cell ? Centre(cell) : Centre(1) + QPoint(grid->cellRects[0].width() / 2 + 5, 0);
            Send(QEvent::MouseButtonPress, at);
            Send(QEvent::MouseButtonRelease, at);
            if (twice) {
                // How Qt delivers the second press of a double click.
                Send(QEvent::MouseButtonPress, at);
                Send(QEvent::MouseButtonDblClick, at);
                Send(QEvent::MouseButtonRelease, at);
            }
        }
        QTEST(Selected(), "expected");
        QCOMPARE(grid->pressedCell, -1);
    }

    // The cell looks down only while the pointer is over it; a release
    // elsewhere toggles nothing.
    void pressMoveRelease() {
        Send(QEvent::MouseButtonPress, Centre(6));
        QCOMPARE(grid->hotCell, 5);
        Send(QEvent::MouseMove, Centre(7));
        QCOMPARE(grid->hotCell, -1);
        Send(QEvent::MouseMove, Centre(6));
        QCOMPARE(grid->hotCell, 5);
        Send(QEvent::MouseMove, Centre(7));
        Send(QEvent::MouseButtonRelease, Centre(7));
        QCOMPARE(Selected(), Marks{});
        QCOMPARE(grid->pressedCell, -1);
    }

    // Green lamp for a selected cell, grey for the others.
    void paintsIndicator() {
        grid->selection[0] = 1;
        const QImage shot = grid->grab().toImage();
        const QRect down = grid->cellRects[0].translated(1, 1);
        const QRect up = grid->cellRects[1];
        QCOMPARE(shot.pixelColor(down.left() + 5, down.top() + 10), QColor(0, 255, 0));
        QCOMPARE(shot.pixelColor(up.left() + 5, up.top() + 10), QColor(128, 128, 128));
        QCOMPARE(shot.pixelColor(2, 2), QColor(133, 133, 139));
    }
};

QTEST_MAIN(InputGridTest)
#include "InputGridTest.moc"
