#include "snapshot.h"

#include "feed_link.h"
#include "feed_session.h"
#include "field_readers.h"
#include "keys.h"

#include <cstring>
#include <limits>

void createSnapshotArrays(const RequestCall &call, const FieldShape *shapes, int fieldCount,
                          SnapshotArrays &out) {
    // Rows of every output array: the security count, with a count below 0 read as 0.
    const size_t rows = static_cast<size_t>(call.inputs.securities.count);
    out.fieldCount = fieldCount;
    out.shapes = shapes;
    out.rows = rows;
    for (int field = 0; field < fieldCount; ++field) {
        out.columns[field] = nullptr;
        switch (shapes[field]) {
        case SHAPE_TEXT:
            out.arrays[field] = resultTexts(rows);
            break;
        case SHAPE_COLUMN:
            out.arrays[field] = resultMatrix(rows, 1, MATRIX_ZEROED, &out.columns[field]);
            break;
        case SHAPE_TWO_COLUMNS:
            out.arrays[field] = resultMatrix(rows, 2, MATRIX_ZEROED, &out.columns[field]);
            break;
        case SHAPE_DATE:
            out.arrays[field] = resultMatrix(3, rows, MATRIX_ZEROED, &out.columns[field]);
            break;
        }
    }
    out.statusArray = nullptr;
    out.statuses = nullptr;
    if (call.outputCount > 1) {
        out.statusArray = resultMatrix(rows, 1, MATRIX_ZEROED, &out.statuses);
    }
}

namespace {

// The row of a security the feed could not read: no number, no text.
void markUnread(SnapshotArrays &arrays, size_t row) {
    const double none = std::numeric_limits<double>::quiet_NaN();
    for (int field = 0; field < arrays.fieldCount; ++field) {
        double *column = arrays.columns[field];
        switch (arrays.shapes[field]) {
        case SHAPE_TEXT:
            resultSetText(arrays.arrays[field], row, "");
            break;
        case SHAPE_COLUMN:
            column[row] = none;
            break;
        case SHAPE_TWO_COLUMNS:
            column[row] = none;
            column[arrays.rows + row] = none;
            break;
        case SHAPE_DATE:
            column[3 * row] = column[3 * row + 1] = column[3 * row + 2] = none;
            break;
        }
    }
}

} // namespace

void readSnapshotBatch(RequestCall &call, size_t first, SnapshotBatch &batch,
                       SnapshotArrays &arrays) {
    if (first == 0) {
        std::memset(batch.records, 0, sizeof batch.records);
    }
    batch.first = first;
    batch.count =
        arrays.rows - first < SNAPSHOT_BATCH_ROWS ? arrays.rows - first : SNAPSHOT_BATCH_ROWS;
    for (size_t j = 0; j < batch.count; ++j) {
        const SecurityText &security = call.inputs.securities.items[first + j];
        unsigned char key[SECURITY_KEY_SIZE];
        buildSecurityKey(key, security.symbol, security.qualifier);
        unsigned char *record = batch.records + j * RECORD_BUFFER_SIZE;
        const int32_t status = feedCall(call.block, DBA_GET_RECORD, key, record, 0);
        batch.read[j] = status == 0;
        if (status != 0) {
            if (arrays.statuses == nullptr) {
                failFeedCall(call, FAILURE_RETRIEVAL, status);
            }
            arrays.statuses[first + j] = static_cast<double>(status);
        }
    }
}

void markUnreadRows(const SnapshotBatch &batch, SnapshotArrays &arrays) {
    for (size_t j = 0; j < batch.count; ++j) {
        if (!batch.read[j]) {
            markUnread(arrays, batch.first + j);
        }
    }
}

void storeSnapshot(RequestCall &call, const char *const *names, SnapshotArrays &arrays) {
    call.outputs[0] = resultStructure(arrays.fieldCount, names, arrays.arrays);
    if (arrays.statusArray != nullptr) {
        call.outputs[1] = arrays.statusArray;
    }
}

void setRecordText(ResultArray *texts, size_t row, const unsigned char *record, size_t offset,
                   size_t room) {
    // The callers pass fields of the record buffer; the room never reaches past its end.
    if (room > RECORD_BUFFER_SIZE - offset) {
        room = RECORD_BUFFER_SIZE - offset;
    }
    const unsigned char *text = record + offset;
    // Most texts end within their field: the host then reads the field itself.
    if (std::memchr(text, 0, room) != nullptr) {
        resultSetText(texts, row, reinterpret_cast<const char *>(text));
        return;
    }
    // A text that fills its field is cut at its room.
    char bounded[RECORD_BUFFER_SIZE + 1];
    std::memcpy(bounded, text, room);
    bounded[room] = '\0';
    resultSetText(texts, row, bounded);
}
