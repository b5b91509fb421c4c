#include "snapshot.h"

#include "feed_session.h"
#include "field_readers.h"
#include "inputs.h"
#include "keys.h"

#include <cstring>

void readSecurityRecord(RequestCall &call, int32_t index, unsigned char *record) {
    char symbol[TEXT_BUFFER_SIZE];
    char qualifier[TEXT_BUFFER_SIZE];
    readSecurityTexts(call, index, symbol, qualifier);
    unsigned char key[SECURITY_KEY_SIZE];
    buildSecurityKey(key, symbol, qualifier);
    readFeed(call, FAILURE_RETRIEVAL, DBA_GET_RECORD, key, record, 0);
}

mxArray *recordString(const unsigned char *record, size_t offset, size_t room) {
    // The callers pass fields of the record buffer; the room never reaches past its end.
    if (room > RECORD_BUFFER_SIZE - offset) {
        room = RECORD_BUFFER_SIZE - offset;
    }
    const unsigned char *text = record + offset;
    // Most texts end within their field: the host then reads the field itself.
    if (std::memchr(text, 0, room) != nullptr) {
        return mxCreateString(reinterpret_cast<const char *>(text));
    }
    // A text that fills its field is cut at its room.
    char bounded[RECORD_BUFFER_SIZE + 1];
    std::memcpy(bounded, text, room);
    bounded[room] = '\0';
    return mxCreateString(bounded);
}

void createSnapshotArrays(const FieldShape *shapes, int fieldCount, size_t rows, mxArray **arrays,
                          double **columns) {
    for (int field = 0; field < fieldCount; ++field) {
        columns[field] = nullptr;
        switch (shapes[field]) {
        case SHAPE_TEXT:
            arrays[field] = mxCreateCellMatrix(rows, 1);
            continue;
        case SHAPE_COLUMN:
            arrays[field] = mxCreateDoubleMatrix(rows, 1, mxREAL);
            break;
        case SHAPE_TWO_COLUMNS:
            arrays[field] = mxCreateDoubleMatrix(rows, 2, mxREAL);
            break;
        case SHAPE_DATE:
            arrays[field] = mxCreateDoubleMatrix(3, rows, mxREAL);
            break;
        }
        columns[field] = mxGetPr(arrays[field]);
    }
}

void storeSnapshot(RequestCall &call, const char *const *names, int fieldCount, mxArray **arrays) {
    mxArray *result = mxCreateStructMatrix(1, 1, fieldCount, const_cast<const char **>(names));
    for (int field = 0; field < fieldCount; ++field) {
        mxSetField(result, 0, names[field], arrays[field]);
    }
    call.outputs[0] = result;
}
