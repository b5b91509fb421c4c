// The matrices a request decodes from the records the feed delivers: the history's blocks and
// the bar series' blocks. The request hands each record to the front end as it comes
// (resultRawBegin, resultRawAppend, resultRawEnd in results.h), which decodes them here where
// it makes the matrix: in the host's process that is where the request runs, and through the
// feed helper it is the module's side of the reply, which then carries the raw records (a
// third of the decoded size for a history) instead of the matrix.
#ifndef QUORVEX_RAW_RECORDS_H
#define QUORVEX_RAW_RECORDS_H

#include "results.h"

#include <cstddef>
#include <cstdint>

// What a matrix of one kind is made of and how large it may be.
struct RawRecordsLayout {
    size_t recordSize;    // bytes of one raw record
    size_t rowsPerRecord; // matrix rows one record decodes into
    size_t columns;       // the matrix's columns
    size_t fixedRows;     // rows of every matrix of the kind; 0: records * rowsPerRecord
    size_t mostRecords;   // the most records one matrix holds
};

// The layout of `kind`; null for a number that names no kind (a reply naming one is refused).
const RawRecordsLayout *rawRecordsLayout(uint32_t kind);

// The decode in steps, for a front end that makes the matrix in the process that decodes it
// (through resultMatrix): the bar series' matrix, of fixed size, is made at the start and each
// block decoded into it as it comes, the rows after the last zeroed at the end; the history's
// blocks, whose count is known only at the end, are kept as they came in a store of this unit
// and decoded once, straight into the matrix made at the end. Each price is scaled by the
// divisor of its record's price type (a history block's first record's, for the whole block).
// Every byte pattern decodes to numbers; records past the kind's most are dropped (the request
// refuses a series that long before). Appending may happen on the feed's thread: it calls
// nothing of the front end's.
void rawDecodeBegin(RawRecords kind);
void rawDecodeAppend(const unsigned char *record);
ResultArray *rawDecodeEnd();

#endif
