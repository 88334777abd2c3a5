#include "CZalvoDlg.h"
#include "SkinView.h"

#include <QApplication>
#include <QImage>
#include <benchmark/benchmark.h>

#include <string>

namespace zalvo {

// What drawing the skin sharp costs at each paint: decoding the rendering picked for the screen's scale,
// against the 1x picture.
namespace {

void loadRendering(benchmark::State& state, double scale) {
    for (auto _ : state) {
        const QImage rendering = SkinView::rendering(scale);
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
    for (const double scale : {1.0, 1.25, 1.5, 2.0, 3.0}) {
        benchmark::RegisterBenchmark(("skin at " + std::to_string(scale).substr(0, 4) + "x").c_str(), loadRendering,
                                     scale)
            ->Unit(benchmark::kMillisecond);
    }
    const QByteArray scale = qgetenv("QT_SCALE_FACTOR");
    benchmark::RegisterBenchmark(("window shown at scale " + (scale.isEmpty() ? QByteArray("1") : scale)).constData(),
                                 showWindow)
        ->Unit(benchmark::kMillisecond);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
