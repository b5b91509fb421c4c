// Pieces shared by the two snapshot requests (quote and fundamentals): one keyed record read
// per listed security, and host strings made from bounded record texts.
#ifndef QUORVEX_SNAPSHOT_H
#define QUORVEX_SNAPSHOT_H

#include "request_call.h"

#include <cstddef>
#include <cstdint>

// The shape of one field of a snapshot's structure.
enum FieldShape {
    SHAPE_COLUMN,      // rows-by-1 doubles
    SHAPE_TWO_COLUMNS, // rows-by-2 doubles, column-major
    SHAPE_DATE,        // 3-by-rows doubles, one column per security
    SHAPE_TEXT,        // rows-by-1 cell array of strings
};

// A text field of a record: the output field it fills, its offset and its room.
struct TextField {
    int field;
    size_t offset;
    size_t room;
};

// Creates every array of a snapshot at its final size, before the first read: `arrays[f]`
// of shape `shapes[f]`, and for the numeric ones `columns[f]`, its storage (else null).
void createSnapshotArrays(const FieldShape *shapes, int fieldCount, size_t rows, mxArray **arrays,
                          double **columns);

// Stores the structure of `fieldCount` fields, named by `names`, in output slot 1.
void storeSnapshot(RequestCall &call, const char *const *names, int fieldCount, mxArray **arrays);

// Rows of every output array: the security count, with a count below 0 read as 0.
inline size_t snapshotRows(int32_t count) {
    return count > 0 ? static_cast<size_t>(count) : 0;
}

// Reads the record of security `index` (cell `index` of inputs 4 and 5) into the 260 bytes at
// `record`. A nonzero feed status detaches and raises "Data retrieval error %d".
void readSecurityRecord(RequestCall &call, int32_t index, unsigned char *record);

// A host string holding the text at `offset` up to its first zero byte, and never more than
// `room` bytes, so a text that fills its field stays inside it.
mxArray *recordString(const unsigned char *record, size_t offset, size_t room);

// A host string of a two-byte code field (an exchange): one or two characters, built in place.
inline mxArray *codeString(const unsigned char *field) {
    const char code[3] = {static_cast<char>(field[0]),
                          static_cast<char>(field[0] != 0 ? field[1] : 0), '\0'};
    return mxCreateString(code);
}

#endif
