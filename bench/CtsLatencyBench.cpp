// Time from a CTS rise at the beam unit to the position record arriving back at it, through the
// real serial component (RFC 2217 client, watcher thread, main-thread hand-over) over loopback.
// At 9600 baud the record itself takes about 17 ms on a real line; the program's share should
// be a small fraction of that.
#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <chrono>
#include <string>

#include "BeamSim.h"
#include "ComPort.h"

namespace beamlink {
namespace {

void BM_CtsRiseToPositionRecord(benchmark::State& state) {
    sim::BeamSim unit;
    TComPort port;
    port.setPort(unit.url());
    bool linkActive = false;
    port.OnCTSChange = [&](bool on) {
        if (on && linkActive) {
            port.WriteStr("67 4320 101 12 \r");
        }
    };
    port.Open();
    linkActive = true;
    if (!unit.waitForClient(5000)) {
        state.SkipWithError("no client");
        return;
    }
    for (auto _ : state) {
        unit.setCts(false);
        auto start = std::chrono::steady_clock::now();
        unit.setCts(true);
        std::string got;
        while (got.find('\r') == std::string::npos) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
            got += unit.takeReceived();
            if (std::chrono::steady_clock::now() - start > std::chrono::seconds(5)) {
                state.SkipWithError("no record within 5 s");
                return;
            }
        }
        auto elapsed = std::chrono::steady_clock::now() - start;
        state.SetIterationTime(std::chrono::duration<double>(elapsed).count());
    }
    port.Close();
}
BENCHMARK(BM_CtsRiseToPositionRecord)
    ->UseManualTime()
    ->Unit(benchmark::kMicrosecond)
    ->Iterations(500);

}  // namespace
}  // namespace beamlink

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
