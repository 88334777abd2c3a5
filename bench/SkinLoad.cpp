#include "CZalvoDlg.h"

#include <QApplication>
#include <QImage>
#include <QPixmap>
#include <benchmark/benchmark.h>

namespace zalvo {

// What drawing the skin sharp costs at start-up: decoding the rendering picked for the screen's scale,
// against the 1x picture that every start decoded before.
namespace {

void loadRendering(benchmark::State& state, const char* name) {
    const QString path = QString::fromLatin1(name);
    for (auto _ : state) {
        // Not through QPixmap's own file cache: a start decodes the file afresh.
        const QPixmap rendering = QPixmap::fromImage(QImage(path));
        benchmark::DoNotOptimize(rendering.cacheKey());
    }
}

void showWindow(benchmark::State& state) {
    for (auto _ : state) {
        CZalvoDlg window;
        window.show();
        QApplication::processEvents();
    }
}

} // namespace

} // namespace zalvo

int main(int argc, char** argv) {
    using namespace zalvo;
    benchmark::Initialize(&argc, argv);
    qputenv("QT_QPA_PLATFORM", "offscreen");
    int qtArgc = 1;
    QApplication app(qtArgc, argv);
    const CZalvoDlg window; // initialises the embedded artwork
    for (const char* name : {":/skin.ppm", ":/skin@1.25x.ppm", ":/skin@1.5x.ppm", ":/skin@2x.ppm", ":/skin@3x.ppm"}) {
        benchmark::RegisterBenchmark(name, loadRendering, name)->Unit(benchmark::kMillisecond);
    }
    const QByteArray scale = qgetenv("QT_SCALE_FACTOR");
    benchmark::RegisterBenchmark(("window shown at scale " + (scale.isEmpty() ? QByteArray("1") : scale)).constData(),
                                 showWindow)
        ->Unit(benchmark::kMillisecond);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
