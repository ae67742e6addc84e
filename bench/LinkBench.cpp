// CPU cost of the main-thread work per line event: one transmit cycle, and framing plus parsing
// of one antenna report. Both run on the UI thread, so they must stay far below a millisecond.
#include <benchmark/benchmark.h>

#include <string>

#include "AntennaReport.h"
#include "ComDataPacket.h"
#include "PortDefaults.h"
#include "TransmitCycle.h"

namespace beamlink {
namespace {

void BM_TransmitCycleWithControlRecords(benchmark::State& state) {
    LinkState s;
    s.LinkActive = true;
    s.StatusFlag8 = s.StatusFlag4 = true;
    s.MoonAz = 43.2L;
    s.MoonEl = 1.01L;
    std::size_t bytes = 0;
    RecordWriter write = [&](const std::string& r) { bytes += r.size(); };
    for (auto _ : state) {
        s.ControlPending = s.StopPending = true;
        runTransmitCycle(s, true, write, nullptr);
    }
    benchmark::DoNotOptimize(bytes);
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_TransmitCycleWithControlRecords);

void BM_FrameAndParseReports(benchmark::State& state) {
    LinkState s;
    TComDataPacket packet;
    initFraming(packet);
    prepareFraming(packet);
    std::size_t shown = 0;
    packet.OnPacket = [&](const std::string& text) {
        shown += handleAntennaReport(s, text, '.').azimuth.size();
    };
    // Ten reports per chunk with line noise between them, as a chatty unit would send.
    std::string chunk;
    for (int i = 0; i < 10; ++i) {
        chunk += "\nA 123.4 45.6 9\r";
    }
    for (auto _ : state) {
        packet.HandleData(chunk);
    }
    benchmark::DoNotOptimize(shown);
    state.SetItemsProcessed(state.iterations() * 10);
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(chunk.size()));
}
BENCHMARK(BM_FrameAndParseReports);

// Text that never holds a start string: the framing buffer must stay bounded.
void BM_FramingBufferUnderGarbage(benchmark::State& state) {
    TComDataPacket packet;
    initFraming(packet);
    prepareFraming(packet);
    const std::string garbage(100, 'x');
    std::size_t largest = 0;
    for (auto _ : state) {
        packet.HandleData(garbage);
        largest = std::max(largest, packet.buffer().size());
    }
    state.counters["max_buffer_bytes"] = static_cast<double>(largest);
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(garbage.size()));
}
BENCHMARK(BM_FramingBufferUnderGarbage);

}  // namespace
}  // namespace beamlink
