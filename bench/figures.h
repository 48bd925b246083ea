// Registration of the measured figures, and the settings they all share.
#pragma once

#include <benchmark/benchmark.h>

// Real time, since the engine's rasterizer threads do much of the work; the median of five
// runs, as other processes share the cores.
inline benchmark::internal::Benchmark* figure(benchmark::internal::Benchmark* b) {
    return b->UseRealTime()->Repetitions(5)->ReportAggregatesOnly(true);
}

void register_frame_figures();
void register_present_figures();
void register_png_figures();
void register_message_figures();
