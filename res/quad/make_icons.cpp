// Draws the seven quad layout icons (72 x 72, 256 colours) into the current
// directory. Run once when the pictures change; the PNGs are committed.
//   g++ -std=c++20 -fPIC make_icons.cpp $(pkg-config --cflags --libs Qt6Gui) -o make_icons
//   QT_QPA_PLATFORM=offscreen ./make_icons
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>

namespace {

struct Tile {
    QRect rect;
    int input;  // 0..3 for "A".."D"
};

const QColor kTileColours[4] = {QColor(208, 64, 56), QColor(56, 160, 80), QColor(56, 104, 208),
                                QColor(224, 160, 32)};

QImage Draw(const std::initializer_list<Tile>& tiles) {
    QImage image(72, 72, QImage::Format_ARGB32);
    image.fill(QColor(32, 32, 40));
    QPainter p(&image);
    p.setRenderHint(QPainter::TextAntialiasing, false);
    for (const Tile& t : tiles) {
        const QRect inner = t.rect.adjusted(1, 1, -1, -1);
        p.fillRect(inner, kTileColours[t.input]);
        QFont font(QStringLiteral("DejaVu Sans"));
        font.setBold(true);
        font.setPixelSize(std::max(10, std::min(inner.width(), inner.height()) * 3 / 5));
        p.setFont(font);
        p.setPen(Qt::white);
        p.drawText(inner, Qt::AlignCenter, QString(QChar('A' + t.input)));
    }
    p.end();
    return image.convertToFormat(QImage::Format_Indexed8, Qt::ThresholdDither);
}

}  // namespace

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    const QRect full(0, 0, 72, 72);
    const QImage icons[7] = {
        Draw({{full, 0}}),
        Draw({{full, 1}}),
        Draw({{full, 2}}),
        Draw({{full, 3}}),
        Draw({{QRect(0, 0, 36, 36), 0},
              {QRect(36, 0, 36, 36), 1},
              {QRect(0, 36, 36, 36), 2},
              {QRect(36, 36, 36, 36), 3}}),
        Draw({{QRect(0, 0, 48, 72), 0},
              {QRect(48, 0, 24, 24), 1},
              {QRect(48, 24, 24, 24), 2},
              {QRect(48, 48, 24, 24), 3}}),
        Draw({{QRect(0, 0, 72, 48), 0},
              {QRect(0, 48, 24, 24), 1},
              {QRect(24, 48, 24, 24), 2},
              {QRect(48, 48, 24, 24), 3}}),
    };
    for (int i = 0; i < 7; ++i) {
        if (!icons[i].save(QStringLiteral("layout%1.png").arg(i + 1)))
            return 1;
    }
    return 0;
}
