// Record facts the test feeds and the benchmark feed need that pcqw32_layout.h does not name
// yet. Each belongs in the layout header; until it is there it is written here, once, for
// every feed, and the feeds take it from here.
#ifndef QUORVEX_PCQW32_LAYOUT_PENDING_H
#define QUORVEX_PCQW32_LAYOUT_PENDING_H

#include "pcqw32_layout.h"

#include <cstddef>

// TODO(layout): the bytes of a four-byte date field (the fundamentals' DivDate, ExpDate and
// RawMatDate): the century, the year in the century, the month, the day.
constexpr size_t DATE_SIZE = 4;
constexpr size_t DATE_CENTURY_AT = 0;
constexpr size_t DATE_YEAR_AT = 1;
constexpr size_t DATE_MONTH_AT = 2;
constexpr size_t DATE_DAY_AT = 3;

// TODO(layout): the key bytes a feed may read on a get-next read of the history scan
// (DBA_GET_APPROX in SCAN_MODE_NEXT); the caller lends a larger zeroed buffer.
constexpr size_t SCAN_NEXT_KEY_SIZE = 24;

#endif
