// The benchmark cases, shared by the timed suite and the one-shot driver run under callgrind:
// the module answering a request from the in-memory feed, the host doing only its own part of
// that request, and the copy limit for the same bytes.
#ifndef QUORVEX_BENCH_CASES_H
#define QUORVEX_BENCH_CASES_H

#include "mxhost_driver.h"

#include <cstddef>
#include <string>
#include <vector>

namespace cases {

// Request codes benchmarked; the database number of each call is its code, which tells the
// in-memory feed what to serve.
constexpr int ATTACH = 1;
constexpr int QUOTES = 2;
constexpr int HISTORY = 3;
constexpr int BARS = 5;
constexpr int FUNDAMENTALS = 6;

// Routes the module's feed calls to the in-memory feed and builds its records.
void useMemoryFeed();

// What one case reads and writes: output rows, doubles per row, record bytes read per row.
struct Shape {
    size_t rows;
    size_t doublesPerRow;
    size_t recordBytesPerRow;
    size_t stringsPerRow;
};
Shape shapeOf(int request, size_t securities);

// The inputs of one call: code, database, count, symbols, qualifiers (as the request needs).
struct Inputs {
    std::vector<mxhost::ArrayPtr> owned;
    std::vector<const mxArray *> raw;
};
Inputs requestInputs(int request, size_t securities);

// One call of the module; its arrays are freed before returning. False when it raised.
bool runModule(const Inputs &inputs);

// The host's share of the same call, made by an entry point that creates what the request
// creates and nothing else: only the strings and their cells, or every array of the result.
// The texts are taken from the same records beforehand.
void prepareHostTexts(int request, size_t securities);
void runHostStrings(int request, size_t securities);
void runHostArrays(int request, size_t securities);

// The copy limit: memcpy of the record bytes the feed hands over, one record (or block) at a
// time, and memcpy of the output doubles into storage of the result's size.
struct LimitStorage {
    std::vector<double> source;
    std::vector<double> target;
};
LimitStorage limitStorage(int request, size_t securities);
void runLimit(int request, size_t securities, LimitStorage &storage);

} // namespace cases

#endif
