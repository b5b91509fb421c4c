// Pieces shared by the two snapshot requests (quote and fundamentals): the arrays of a
// snapshot's structure, one keyed record read per listed security, the texts made from record
// fields, and the rows of securities the feed could not read.
#ifndef QUORVEX_SNAPSHOT_H
#define QUORVEX_SNAPSHOT_H

#include "request_call.h"
#include "results.h"

#include <cstddef>
#include <cstdint>

// The shape of one field of a snapshot's structure.
enum FieldShape {
    SHAPE_COLUMN,      // rows-by-1 doubles
    SHAPE_TWO_COLUMNS, // rows-by-2 doubles, column-major
    SHAPE_DATE,        // 3-by-rows doubles, one column per security
    SHAPE_TEXT,        // rows-by-1 texts
};

// The most fields a snapshot has (the quote's 45).
constexpr int SNAPSHOT_MAX_FIELDS = 45;

// A text field of a record: the output field it fills, its offset and its room.
struct TextField {
    int field;
    size_t offset;
    size_t room;
};

// The arrays of one snapshot, each created at its final size before the first read: for the
// numeric fields their storage (null for the texts); and, when the caller asked for a second
// output, the column of feed statuses (null otherwise).
struct SnapshotArrays {
    int fieldCount;
    const FieldShape *shapes;
    size_t rows;
    ResultArray *arrays[SNAPSHOT_MAX_FIELDS];
    double *columns[SNAPSHOT_MAX_FIELDS];
    ResultArray *statusArray;
    double *statuses;
};

// Creates the arrays of `fieldCount` fields of `shapes` for the call's securities.
void createSnapshotArrays(const RequestCall &call, const FieldShape *shapes, int fieldCount,
                          SnapshotArrays &out);

// Reads the record of security `index` into the 260 bytes at `record`: true when it was read.
// A nonzero feed status detaches and raises "Data retrieval error %d", unless the caller asked
// for the statuses: then the security's row holds NaN in every number and an empty text in
// every text, its status is kept, and the result is false. The status of a read row is 0.
bool readSecurityRecord(RequestCall &call, int32_t index, unsigned char *record,
                        SnapshotArrays &arrays);

// Stores the structure of the fields, named by `names`, in output slot 1, and the statuses,
// where asked for, in slot 2.
void storeSnapshot(RequestCall &call, const char *const *names, SnapshotArrays &arrays);

// Row `row` of a column of texts: the text at `offset` up to its first zero byte, and never
// more than `room` bytes, so a text that fills its field stays inside it.
void setRecordText(ResultArray *texts, size_t row, const unsigned char *record, size_t offset,
                   size_t room);

// Row `row` of a column of texts: a two-byte code field (an exchange), one or two characters.
inline void setCodeText(ResultArray *texts, size_t row, const unsigned char *field) {
    const char code[3] = {static_cast<char>(field[0]),
                          static_cast<char>(field[0] != 0 ? field[1] : 0), '\0'};
    resultSetText(texts, row, code);
}

#endif
