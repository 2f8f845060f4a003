// The main window's drawing work, offscreen: rebuilding the status panels
// after an answer, and a full repaint of the matrix view.

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <fstream>
#include <string>

#include "BenchRatio.h"
#include "FigureSupport.h"
#include "SimRouter.h"
#include "protocol/Commands.h"
#include "ui/Fonts.h"
#include "ui/ImageButton.h"
#include "ui/MainDialog.h"
#include "ui/MatrixView.h"

namespace corvane::bench {
namespace {

// A window that has seen a whole start-up poll: every slot, route, lamp and
// panel has something to draw.
MainDialog& Window() {
    static MainDialog* window = [] {
        auto* w = new MainDialog;
        sim::SimRouter router = sim::DefaultRouter();
        w->session.connectionStatus = kConnected;
        for (const char* query : StartupQueries) {
            for (const std::string& answer : sim::HandleCommand(router, query))
                w->session.FeedResponseBytes(answer.data(), static_cast<int>(answer.size()));
        }
        w->show();
        QApplication::processEvents();
        return w;
    }();
    return *window;
}

// The call made after every parsed answer; the repaints it asks for are
// merged by the event loop.
void RefreshStatusPanels(benchmark::State& state) {
    MainDialog& window = Window();
    for (auto _ : state)
        window.RefreshStatusPanels();
    QApplication::processEvents();
}
BENCHMARK(RefreshStatusPanels);

// The same with the repaint it causes: one answer arriving on its own.
void RefreshAndRepaint(benchmark::State& state) {
    MainDialog& window = Window();
    for (auto _ : state) {
        window.RefreshStatusPanels();
        QApplication::processEvents();
    }
}
BENCHMARK(RefreshAndRepaint);

// The panel texts alone, without touching a widget.
void BuildPanelTexts(benchmark::State& state) {
    MainDialog& window = Window();
    for (auto _ : state) {
        StatusPanelTexts texts = BuildStatusPanelTexts(window.config, window.session.state,
                                                       window.session.connectionStatus);
        benchmark::DoNotOptimize(texts);
    }
}
BENCHMARK(BuildPanelTexts);

// Into an image at the view's pixel ratio, as the window's backing store is:
// at 1x, a view painted at 2x would be scaled down on the way, which the
// screen never does.
void MatrixViewRepaint(benchmark::State& state) {
    MatrixView& view = *Window().matrixView;
    const qreal ratio = view.devicePixelRatioF();
    QImage image((QSizeF(view.size()) * ratio).toSize(), QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(ratio);
    for (auto _ : state) {
        view.render(&image);
        benchmark::DoNotOptimize(image.constBits());
    }
    state.counters["pixels"] = image.width() * image.height();
}
BENCHMARK(MatrixViewRepaint);

// The owner-drawn controls paint at the screen's pixel ratio: these two run
// once at scale 1 and once with QT_SCALE_FACTOR=2 (bench/figures.sh), and
// report the ratio they painted at.
void MatrixViewPaint(benchmark::State& state) {
    MatrixView& view = *Window().matrixView;
    for (auto _ : state) {
        view.PaintBuffer();
        benchmark::DoNotOptimize(view.backBuffer.constBits());
    }
    state.counters["ratio"] = view.backBuffer.devicePixelRatio();
    state.counters["pixels"] = view.backBuffer.width() * view.backBuffer.height();
}
BENCHMARK(MatrixViewPaint);

// One output cell drawn again, as for an answer that changes that cell alone.
void MatrixViewCellPaint(benchmark::State& state) {
    MatrixView& view = *Window().matrixView;
    const QRegion cell = view.CellArea(kOutputSide, 6);
    for (auto _ : state) {
        view.PaintBuffer(cell);
        benchmark::DoNotOptimize(view.backBuffer.constBits());
    }
    state.counters["ratio"] = view.backBuffer.devicePixelRatio();
}
BENCHMARK(MatrixViewCellPaint);

void ButtonPaint(benchmark::State& state) {
    ImageButton& button = *Window().connectButton;
    qreal ratio = 1;
    for (auto _ : state) {
        const QImage face = button.RenderFace();
        ratio = face.devicePixelRatio();
        benchmark::DoNotOptimize(face.constBits());
    }
    state.counters["ratio"] = ratio;
}
BENCHMARK(ButtonPaint);

// The least a repaint of that area costs: one fill, at the same pixel ratio.
void SingleFill(benchmark::State& state) {
    MatrixView& view = *Window().matrixView;
    const qreal ratio = view.devicePixelRatioF();
    QImage image((QSizeF(view.size()) * ratio).toSize(), QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(ratio);
    for (auto _ : state) {
        QPainter painter(&image);
        painter.fillRect(QRect(QPoint(0, 0), view.size()), QColor(0xD4, 0xD0, 0xC8));
        painter.end();
        benchmark::DoNotOptimize(image.constBits());
    }
}
BENCHMARK(SingleFill);

}  // namespace
}  // namespace corvane::bench

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", BENCH_PLATFORM);
    // The window reads config.ini from the working directory: give it one
    // that names only the loopback address. Nothing here connects anyway.
    const corvane::bench::ScratchDirectory directory("corvane-gui-bench");
    std::ofstream("config.ini") << "[SETCOMMCONFIG]\nIpAddress=127.0.0.1\nUDPPort=3000\n"
                                   "CommType=UDP\n";
    QApplication app(argc, argv);
    corvane::LoadTahoma();  // the faces the program draws with
    using corvane::bench::Ratio;
    return corvane::bench::RunWithRatios(
        argc, argv,
        {Ratio{"RefreshStatusPanels", "BuildPanelTexts"},
         Ratio{"RefreshAndRepaint", "BuildPanelTexts"}, Ratio{"MatrixViewRepaint", "SingleFill"}});
}
