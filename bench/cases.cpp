#include "cases.h"

#include "feed_link.h"
#include "feed_link_testing.h"
#include "field_readers.h"
#include "memory_feed.h"
#include "pcqw32_layout.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>

namespace cases {

namespace {

// Rows of the history the in-memory feed serves; every bar series has BAR_ROWS.
constexpr size_t HISTORY_ROWS = memfeed::HISTORY_BLOCKS * HISTORY_BLOCK_RECORDS;

struct TextSpan {
    size_t offset;
    size_t room;
};

// The text fields of each snapshot record, as the module reads them.
constexpr TextSpan QUOTE_TEXTS[] = {
    {QUOTE_SYMBOL_OFFSET, QUOTE_SYMBOL_ROOM},
    {QUOTE_PRIMARY_EXCHANGE_OFFSET, QUOTE_EXCHANGE_ROOM},
    {QUOTE_LAST_GROUP_OFFSET + QUOTE_GROUP_EXCHANGE_AT, QUOTE_EXCHANGE_ROOM},
    {QUOTE_OPEN_GROUP_OFFSET + QUOTE_GROUP_EXCHANGE_AT, QUOTE_EXCHANGE_ROOM},
    {QUOTE_HIGH_GROUP_OFFSET + QUOTE_GROUP_EXCHANGE_AT, QUOTE_EXCHANGE_ROOM},
    {QUOTE_LOW_GROUP_OFFSET + QUOTE_GROUP_EXCHANGE_AT, QUOTE_EXCHANGE_ROOM},
    {QUOTE_YESTERDAY_GROUP_OFFSET + QUOTE_GROUP_EXCHANGE_AT, QUOTE_EXCHANGE_ROOM},
    {QUOTE_BID_GROUP_OFFSET + QUOTE_GROUP_EXCHANGE_AT, QUOTE_EXCHANGE_ROOM},
    {QUOTE_ASK_GROUP_OFFSET + QUOTE_GROUP_EXCHANGE_AT, QUOTE_EXCHANGE_ROOM}};
constexpr TextSpan FUNDAMENTALS_TEXTS[] = {
    {FUNDAMENTALS_NAME_OFFSET, FUNDAMENTALS_NAME_ROOM},
    {FUNDAMENTALS_BASE_ITEM_OFFSET, FUNDAMENTALS_BASE_ITEM_ROOM},
    {FUNDAMENTALS_CUSIP_OFFSET, FUNDAMENTALS_CUSIP_ROOM}};

constexpr size_t QUOTE_FIELDS = 45;
constexpr size_t FUNDAMENTALS_FIELDS = 24;

// Texts of the pool's records, POOL_RECORDS rows of stringsPerRow each.
std::vector<std::string> hostTexts;
int hostTextsRequest = 0;
int hostRequest = 0;
size_t hostSecurities = 0;

const char *hostText(size_t security, size_t t, size_t perRow) {
    return hostTexts[(security % memfeed::POOL_RECORDS) * perRow + t].c_str();
}

void createStrings(mxArray **cells, size_t cellCount, size_t rows) {
    for (size_t i = 0; i < rows; ++i) {
        for (size_t t = 0; t < cellCount; ++t) {
            mxSetCell(cells[t], i, mxCreateString(hostText(i, t, cellCount)));
        }
    }
}

std::vector<std::string> fieldNames(size_t count) {
    std::vector<std::string> names;
    for (size_t f = 0; f < count; ++f) {
        char name[16];
        std::snprintf(name, sizeof name, "Field%02zu", f);
        names.emplace_back(name);
    }
    return names;
}

// The structure assembled as the module assembles it: created last, field by field.
void assemble(mxArray **plhs, mxArray **arrays, size_t count) {
    static std::vector<std::string> names = fieldNames(QUOTE_FIELDS);
    const char *pointers[QUOTE_FIELDS];
    for (size_t f = 0; f < count; ++f) {
        pointers[f] = names[f].c_str();
    }
    mxArray *result = mxCreateStructMatrix(1, 1, static_cast<int>(count), pointers);
    for (size_t f = 0; f < count; ++f) {
        mxSetField(result, 0, pointers[f], arrays[f]);
    }
    plhs[0] = result;
}

void hostStringsEntry(int, mxArray *plhs[], int, const mxArray *[]) {
    const size_t cellCount = hostRequest == QUOTES ? 9 : 3;
    mxArray *cells[9];
    for (size_t t = 0; t < cellCount; ++t) {
        cells[t] = mxCreateCellMatrix(hostSecurities, 1);
    }
    createStrings(cells, cellCount, hostSecurities);
    mxArray *result = mxCreateCellMatrix(1, cellCount);
    for (size_t t = 0; t < cellCount; ++t) {
        mxSetCell(result, t, cells[t]);
    }
    plhs[0] = result;
}

void hostArraysEntry(int, mxArray *plhs[], int, const mxArray *[]) {
    const size_t rows = hostSecurities;
    mxArray *arrays[QUOTE_FIELDS];
    mxArray *cells[9];
    switch (hostRequest) {
    case ATTACH:
        plhs[0] = mxCreateDoubleMatrix(1, 1, mxREAL);
        break;
    case HISTORY:
        plhs[0] =
            mxCreateUninitNumericMatrix(HISTORY_ROWS, HISTORY_COLUMN_COUNT, mxDOUBLE_CLASS, mxREAL);
        break;
    case BARS:
        plhs[0] = mxCreateUninitNumericMatrix(BAR_ROWS, BAR_COLUMN_COUNT, mxDOUBLE_CLASS, mxREAL);
        break;
    case QUOTES:
        // 36 numeric columns (one of them N-by-2), then the nine text columns.
        for (size_t f = 0; f < 36; ++f) {
            arrays[f] = mxCreateDoubleMatrix(rows, f == 35 ? 2 : 1, mxREAL);
        }
        for (size_t t = 0; t < 9; ++t) {
            cells[t] = arrays[36 + t] = mxCreateCellMatrix(rows, 1);
        }
        createStrings(cells, 9, rows);
        assemble(plhs, arrays, QUOTE_FIELDS);
        break;
    case FUNDAMENTALS:
        // 18 numeric columns, three 3-by-N date matrices, then the three text columns.
        for (size_t f = 0; f < 21; ++f) {
            arrays[f] = f < 18 ? mxCreateDoubleMatrix(rows, 1, mxREAL)
                               : mxCreateDoubleMatrix(3, rows, mxREAL);
        }
        for (size_t t = 0; t < 3; ++t) {
            cells[t] = arrays[21 + t] = mxCreateCellMatrix(rows, 1);
        }
        createStrings(cells, 3, rows);
        assemble(plhs, arrays, FUNDAMENTALS_FIELDS);
        break;
    default:
        break;
    }
}

void runHost(mxhost::EntryPoint entry, int request, size_t securities) {
    hostRequest = request;
    hostSecurities = securities;
    mxhost::CallResult result = mxhost::call(entry, 1, {});
    benchmark::DoNotOptimize(result.outputs[0]);
}

} // namespace

void useMemoryFeed() {
    memfeed::prepare();
    // Measure what a real host costs: uninitialised matrices stay unwritten until the module
    // writes them.
    mxhost::setUninitPoison(false);
    feedUseEntryPoint(memfeed::dbax);
}

Shape shapeOf(int request, size_t securities) {
    switch (request) {
    case QUOTES:
        // 35 single columns and one N-by-2: 37 doubles a row.
        return {securities, 37, RECORD_BUFFER_SIZE, 9};
    case FUNDAMENTALS:
        // 18 single columns and three dates of 3 rows each: 27 doubles a row.
        return {securities, 27, RECORD_BUFFER_SIZE, 3};
    case HISTORY:
        return {HISTORY_ROWS, HISTORY_COLUMN_COUNT, HISTORY_RECORD_SIZE, 0};
    case BARS:
        return {BAR_ROWS, BAR_COLUMN_COUNT, BAR_RECORD_SIZE, 0};
    default:
        return {1, 1, 0, 0};
    }
}

Inputs requestInputs(int request, size_t securities) {
    Inputs inputs;
    inputs.owned.push_back(mxhost::scalar(request));
    inputs.owned.push_back(mxhost::scalar(request));
    if (request != ATTACH) {
        std::vector<std::string> symbols;
        std::vector<std::string> qualifiers;
        if (request == HISTORY || request == BARS) {
            securities = 1;
        }
        for (size_t i = 0; i < securities; ++i) {
            char symbol[16];
            std::snprintf(symbol, sizeof symbol, request == HISTORY ? "HISTSEC" : "S%06zu", i);
            symbols.emplace_back(symbol);
            qualifiers.emplace_back("US");
        }
        inputs.owned.push_back(mxhost::scalar(static_cast<double>(securities)));
        inputs.owned.push_back(mxhost::cellOfTexts(symbols));
        inputs.owned.push_back(mxhost::cellOfTexts(qualifiers));
    }
    for (const mxhost::ArrayPtr &input : inputs.owned) {
        inputs.raw.push_back(input.get());
    }
    return inputs;
}

bool runModule(const Inputs &inputs) {
    mxhost::CallResult result = mxhost::call(mexFunction, 1, inputs.raw);
    benchmark::DoNotOptimize(result.outputs[0]);
    return !result.raised;
}

void prepareHostTexts(int request, size_t) {
    if (hostTextsRequest == request) {
        return;
    }
    memfeed::prepare();
    hostTexts.clear();
    hostTextsRequest = request;
    for (size_t p = 0; p < memfeed::POOL_RECORDS; ++p) {
        const unsigned char *record =
            request == QUOTES ? memfeed::quoteRecord(p) : memfeed::fundamentalsRecord(p);
        const TextSpan *spans = request == QUOTES ? QUOTE_TEXTS : FUNDAMENTALS_TEXTS;
        size_t count = request == QUOTES ? 9 : 3;
        for (size_t t = 0; t < count; ++t) {
            char text[RECORD_BUFFER_SIZE + 1];
            copyRecordText(record, spans[t].offset, spans[t].room, text);
            hostTexts.emplace_back(text);
        }
    }
}

void runHostStrings(int request, size_t securities) {
    prepareHostTexts(request, securities);
    runHost(hostStringsEntry, request, securities);
}

void runHostArrays(int request, size_t securities) {
    if (request == QUOTES || request == FUNDAMENTALS) {
        prepareHostTexts(request, securities);
    }
    runHost(hostArraysEntry, request, securities);
}

LimitStorage limitStorage(int request, size_t securities) {
    memfeed::prepare();
    Shape shape = shapeOf(request, securities);
    LimitStorage storage;
    storage.source.assign(shape.rows * shape.doublesPerRow, 1.5);
    storage.target.assign(shape.rows * shape.doublesPerRow, 0.0);
    return storage;
}

void runLimit(int request, size_t securities, LimitStorage &storage) {
    unsigned char buffer[RECORD_BUFFER_SIZE];
    switch (request) {
    case QUOTES:
    case FUNDAMENTALS:
        for (size_t i = 0; i < securities; ++i) {
            std::memcpy(buffer,
                        request == QUOTES ? memfeed::quoteRecord(i)
                                          : memfeed::fundamentalsRecord(i),
                        RECORD_BUFFER_SIZE);
            benchmark::ClobberMemory();
        }
        break;
    case HISTORY:
        for (size_t b = 0; b < memfeed::HISTORY_BLOCKS; ++b) {
            std::memcpy(buffer, memfeed::historyBlock(b), HISTORY_BLOCK_SIZE);
            benchmark::ClobberMemory();
        }
        break;
    case BARS:
        for (size_t b = 0; b < memfeed::BAR_BLOCKS; ++b) {
            std::memcpy(buffer, memfeed::barBlock(b), BAR_BLOCK_SIZE);
            benchmark::ClobberMemory();
        }
        break;
    default:
        break;
    }
    std::memcpy(storage.target.data(), storage.source.data(),
                storage.target.size() * sizeof(double));
    benchmark::DoNotOptimize(buffer);
    benchmark::DoNotOptimize(storage.target.data());
    benchmark::ClobberMemory();
}

} // namespace cases
