#pragma once

#include <QImage>
#include <QRect>
#include <QWidget>

namespace corvane {

// The sixteen inputs as a 4 x 4 grid of toggle cells "01".."16". The owner
// writes selection and singleSelect, then calls update(); it reads selection
// when it needs the chosen inputs. The grid notifies nobody. By keyboard the
// arrows move a focus mark between the cells and Space toggles that cell.
class InputGrid : public QWidget {
    Q_OBJECT
public:
    explicit InputGrid(QWidget* parent = nullptr);

    // Cell index (0..15) under the point, -1 outside every cell.
    int HitTest(const QPoint& point) const;
    // What a click on the cell does.
    void Toggle(int cell);

    // 1 = clicking a cell clears every other one.
    int singleSelect = 0;
    // Entry i is input i + 1; 1 = selected.
    int selection[16] = {};

    QRect cellRects[16];
    int hotCell = -1;      // drawn pressed while the button is held on it
    int pressedCell = -1;  // where the left button went down
    int focusCell = 0;     // the cell the keyboard acts on, marked while the grid has the focus

    // Rows 0-29 the grey "off" lamp, rows 30-59 the green "on" lamp.
    static QImage IndicatorStrip();

    QImage backBuffer;  // at the screen's pixel ratio

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void LayoutGrid();
    void DrawGridCell(QPainter& painter, int i);

    QImage indicator;
};

}  // namespace corvane
