// The results seam over the host's array library: every result array is a host array, created
// at its final size and filled in place, and every report goes through the host's print,
// warning and error operations. The module in its host and on the stand-in host use this.
#include "results.h"

#include "raw_records.h"

#include "mex.h"

#include <cstdlib>

namespace {

mxArray *hostArray(ResultArray *array) {
    return reinterpret_cast<mxArray *>(array);
}

ResultArray *resultOf(mxArray *array) {
    return reinterpret_cast<ResultArray *>(array);
}

} // namespace

ResultArray *resultMatrix(size_t rows, size_t columns, MatrixFill fill, double **data) {
    mxArray *matrix;
#if defined(QUORVEX_NO_UNINIT_MATRICES)
    // A host without mxCreateUninitNumericMatrix: every matrix starts zeroed.
    (void)fill;
    matrix = mxCreateDoubleMatrix(rows, columns, mxREAL);
#else
    // Where the host offers it (MATLAB since 2015, GNU Octave 7), a matrix the request writes
    // whole is created without zeroing, which would be a pass over memory written anyway.
    matrix = fill == MATRIX_UNZEROED
                 ? mxCreateUninitNumericMatrix(rows, columns, mxDOUBLE_CLASS, mxREAL)
                 : mxCreateDoubleMatrix(rows, columns, mxREAL);
#endif
    *data = mxGetPr(matrix);
    return resultOf(matrix);
}

// Raw records are decoded in this process, as they come.
void resultRawBegin(RawRecords kind) {
    rawDecodeBegin(kind);
}

void resultRawAppend(const unsigned char *record) {
    rawDecodeAppend(record);
}

ResultArray *resultRawEnd() {
    return rawDecodeEnd();
}

ResultArray *resultScalar(double value) {
    return resultOf(mxCreateDoubleScalar(value));
}

ResultArray *resultText(const char *text) {
    return resultOf(mxCreateString(text));
}

ResultArray *resultTexts(size_t rows) {
    return resultOf(mxCreateCellMatrix(rows, 1));
}

void resultSetText(ResultArray *texts, size_t row, const char *text) {
    mxSetCell(hostArray(texts), row, mxCreateString(text));
}

ResultArray *resultStructure(int fieldCount, const char *const *names, ResultArray *const *values) {
    mxArray *structure = mxCreateStructMatrix(1, 1, fieldCount, const_cast<const char **>(names));
    for (int field = 0; field < fieldCount; ++field) {
        mxSetField(structure, 0, names[field], hostArray(values[field]));
    }
    return resultOf(structure);
}

void reportPrint(const char *text) {
    mexPrintf("%s", text);
}

void reportWarning(const char *identifier, const char *text) {
    mexWarnMsgIdAndTxt(identifier, "%s", text);
}

void reportError(const char *identifier, const char *text) {
    mexErrMsgIdAndTxt(identifier, "%s", text);
    std::abort(); // the host's raise does not return
}
