// What one call of a request works with: the caller's inputs, read and checked once before the
// attach by the front end (the entry point reads the host's arrays, another front end its own
// arguments), the call's control block, and the output slots its results go to. The request
// units never touch a caller's input of their own.
#ifndef QUORVEX_REQUEST_CALL_H
#define QUORVEX_REQUEST_CALL_H

#include "dbax.h"
#include "results.h"

#include <cstddef>
#include <cstdint>

// The positions of the inputs (numbered from 1, in the order the caller passes them).
enum InputPosition {
    INPUT_REQUEST_CODE = 1,
    INPUT_DATABASE = 2,
    INPUT_COUNT = 3,      // requests 2, 3, 5, 6 and 7
    INPUT_SYMBOLS = 4,    // a cell array of texts
    INPUT_QUALIFIERS = 5, // a cell array of texts
};

// Room for a symbol or qualifier text: at most 11 characters and a terminating zero.
constexpr size_t TEXT_BUFFER_SIZE = 12;
// The longest qualifier a key can carry.
constexpr size_t QUALIFIER_LENGTH = 4;

// One security as read from the caller: its symbol cut to its first 11 characters and its
// qualifier of at most 4, each zero-terminated, in buffers of a fixed size.
struct SecurityText {
    char symbol[TEXT_BUFFER_SIZE];
    char qualifier[TEXT_BUFFER_SIZE];
};

// The checked securities of a request: a view of `count` texts over storage the front end owns
// for the length of the call (no heap of the request's own: a raise may skip destructors).
struct SecurityList {
    const SecurityText *items;
    int32_t count;
};

// Which securities a request reads from inputs 4 and 5.
enum SecuritiesRead {
    SECURITIES_NONE,     // the attach check and the version query
    SECURITIES_LISTED,   // the snapshots: the first `count` (none for a count of 0 or less)
    SECURITIES_FIRST,    // the history and the bars: the first
    SECURITIES_OPTIONAL, // the CANT read: the first when inputs 4 and 5 are given, else none
};

// The caller's inputs, checked.
struct RequestInputs {
    int32_t code;     // input 1, truncated toward zero, 1 to 7
    int32_t database; // input 2, truncated toward zero
    int32_t count;    // input 3, truncated toward zero (0 where the request reads none)
    // The securities the request reads: the first `count` of inputs 4 and 5 for the
    // snapshots (none for a count of 0 or less), the first for the history and the bars, the
    // first or none for the CANT read, none for the others.
    SecurityList securities;
};

struct RequestCall {
    FeedControlBlock *block; // the call's own control block, for every feed call it makes
    RequestInputs inputs;
    int outputCount;       // how many outputs the caller asked for (the first is always set)
    ResultArray **outputs; // the caller's output slots
};

#endif
