// Placeholder until the benchmark lands.
#include <benchmark/benchmark.h>
BENCHMARK_MAIN();
