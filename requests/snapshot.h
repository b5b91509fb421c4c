// Pieces shared by the two snapshot requests (quote and fundamentals): the arrays of a
// snapshot's structure, one keyed record read per listed security, the texts made from record
// fields, and the rows of securities the feed could not read.
#ifndef QUORVEX_SNAPSHOT_H
#define QUORVEX_SNAPSHOT_H

#include "field_readers.h"
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

// The records of up to SNAPSHOT_BATCH_ROWS consecutive securities, read one after the other
// and then decoded field by field across the batch, so that each output column is written in
// runs of consecutive rows. Record j holds the security of row `first` + j; a record a feed
// writes beyond its 260 bytes runs into the next record's room, which that one's read
// overwrites, and the last has room of its own.
constexpr size_t SNAPSHOT_BATCH_ROWS = 64;
struct SnapshotBatch {
    size_t first;
    size_t count;
    bool read[SNAPSHOT_BATCH_ROWS]; // false for a security the feed could not read
    unsigned char records[SNAPSHOT_BATCH_ROWS * RECORD_BUFFER_SIZE + FEED_BUFFER_ROOM];
    const unsigned char *record(size_t j) const { return records + j * RECORD_BUFFER_SIZE; }
};

// Reads the records of the securities from row `first` on into `batch`, in list order, one
// feed call each. A nonzero feed status detaches and raises "Data retrieval error %d", unless
// the caller asked for the statuses: then the security's status is kept and its record marked
// unread. The status of a read security is 0. The batch is zeroed before its first use, so
// bytes a feed leaves unwritten decode as zeros, never as stale memory.
void readSnapshotBatch(RequestCall &call, size_t first, SnapshotBatch &batch,
                       SnapshotArrays &arrays);

// Once a batch is decoded: the rows of its unread securities hold NaN in every number and an
// empty text in every text.
void markUnreadRows(const SnapshotBatch &batch, SnapshotArrays &arrays);

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
