// Host arrays built from fuzzer input: numbers from a table of awkward values or any bit
// pattern, texts of any length and content (zero bytes included), arrays of every class the
// stand-in host has, cells and structures nested a little.
#ifndef QUORVEX_FUZZ_INPUT_BUILDER_H
#define QUORVEX_FUZZ_INPUT_BUILDER_H

#include "mxhost_driver.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <string>

namespace fuzzinputs {

// A request code 1 to 7. The bar series (5) makes a 75000-by-6 matrix whatever the feed
// answers, which costs a hundred times a typical call: it comes one time in 32, the other
// codes alike.
int32_t anyRequestCode(FuzzedDataProvider &data);

// A number: small codes and counts, halves, NaN, infinities, the edges of the 32-bit range,
// or any double.
double anyNumber(FuzzedDataProvider &data);

// A character row of up to `longest` bytes of any value.
mxhost::ArrayPtr anyText(FuzzedDataProvider &data, size_t longest);

// A character row of up to `longest` printable characters.
mxhost::ArrayPtr printableText(FuzzedDataProvider &data, size_t longest);
std::string printableString(FuzzedDataProvider &data, size_t longest);

// A row of `cells` cells holding texts of up to `longest` bytes (any bytes when `anyBytes`).
mxhost::ArrayPtr textCells(FuzzedDataProvider &data, size_t cells, size_t longest, bool anyBytes);

// Any array: double, complex, logical, character, cell, structure, integer and single
// classes, empty or not, scalars or matrices.
mxhost::ArrayPtr anyArray(FuzzedDataProvider &data, int depth = 0);

} // namespace fuzzinputs

#endif
