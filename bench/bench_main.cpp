// The timed suite: for every case, the module's call, the host's own share of it and the copy
// limit of the same bytes, registered side by side so that one run gives all three.
#include "cases.h"

#include <benchmark/benchmark.h>

#include <string>

namespace {

struct Case {
    const char *name;
    int request;
    size_t securities;
};

constexpr Case CASES[] = {
    {"attach", cases::ATTACH, 1},
    {"quotes", cases::QUOTES, 100},
    {"quotes", cases::QUOTES, 1000},
    {"quotes", cases::QUOTES, 10000},
    {"quotes", cases::QUOTES, 100000},
    {"fundamentals", cases::FUNDAMENTALS, 100},
    {"fundamentals", cases::FUNDAMENTALS, 1000},
    {"fundamentals", cases::FUNDAMENTALS, 10000},
    {"fundamentals", cases::FUNDAMENTALS, 100000},
    {"history", cases::HISTORY, 1},
    {"bars", cases::BARS, 1},
};

void setCounters(benchmark::State &state, const Case &c) {
    cases::Shape shape = cases::shapeOf(c.request, c.securities);
    state.counters["rows"] = static_cast<double>(shape.rows);
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * shape.rows));
}

void moduleCase(benchmark::State &state, Case c) {
    cases::useMemoryFeed();
    cases::Inputs inputs = cases::requestInputs(c.request, c.securities);
    if (!cases::runModule(inputs)) {
        state.SkipWithError("the module raised");
        return;
    }
    for (auto _ : state) {
        cases::runModule(inputs);
    }
    setCounters(state, c);
}

void hostStringsCase(benchmark::State &state, Case c) {
    cases::prepareHostTexts(c.request, c.securities);
    for (auto _ : state) {
        cases::runHostStrings(c.request, c.securities);
    }
    setCounters(state, c);
}

void hostArraysCase(benchmark::State &state, Case c) {
    cases::runHostArrays(c.request, c.securities);
    for (auto _ : state) {
        cases::runHostArrays(c.request, c.securities);
    }
    setCounters(state, c);
}

void limitCase(benchmark::State &state, Case c) {
    cases::LimitStorage storage = cases::limitStorage(c.request, c.securities);
    cases::runLimit(c.request, c.securities, storage);
    for (auto _ : state) {
        cases::runLimit(c.request, c.securities, storage);
    }
    setCounters(state, c);
}

void registerCases() {
    for (const Case &c : CASES) {
        std::string suffix = "/" + std::to_string(c.securities);
        std::string base = std::string(c.name) + "/";
        benchmark::RegisterBenchmark((base + "module" + suffix).c_str(), moduleCase, c)
            ->Unit(benchmark::kMicrosecond);
        benchmark::RegisterBenchmark((base + "host" + suffix).c_str(), hostArraysCase, c)
            ->Unit(benchmark::kMicrosecond);
        if (c.request == cases::QUOTES || c.request == cases::FUNDAMENTALS) {
            benchmark::RegisterBenchmark((base + "strings" + suffix).c_str(), hostStringsCase, c)
                ->Unit(benchmark::kMicrosecond);
        }
        benchmark::RegisterBenchmark((base + "limit" + suffix).c_str(), limitCase, c)
            ->Unit(benchmark::kMicrosecond);
    }
}

} // namespace

int main(int argc, char **argv) {
    registerCases();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
