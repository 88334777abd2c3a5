#include "CZalvoApp.h"

#include <benchmark/benchmark.h>

#include <cstdlib>

// The entry point of the benchmarks that need the window, headless: the offscreen platform and
// OpenAL Soft's silent device, unless told otherwise.
int main(int argc, char** argv) {
    setenv("ALSOFT_DRIVERS", "null", 0);
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    const zalvo::CZalvoApp app(argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
