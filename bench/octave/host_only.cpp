// The host's share of a request inside GNU Octave: creates the arrays, strings and structure
// of request 2, 3, 5 or 6 for n securities exactly as the module does, with no feed and no
// decoding.  host_only(request, n)
#include "mex.h"

#include <cstdio>

namespace {

void snapshot(mxArray **plhs, size_t rows, int numeric, int wide, int cells,
              const char *const *texts) {
    const int fields = numeric + cells;
    mxArray *arrays[64];
    char names[64][16];
    const char *pointers[64];
    for (int f = 0; f < numeric; ++f) {
        arrays[f] = f < numeric - wide
                        ? mxCreateDoubleMatrix(rows, 1, mxREAL)
                        : mxCreateDoubleMatrix(wide == 1 ? rows : 3, wide == 1 ? 2 : rows, mxREAL);
    }
    for (int t = 0; t < cells; ++t) {
        arrays[numeric + t] = mxCreateCellMatrix(rows, 1);
    }
    for (size_t i = 0; i < rows; ++i) {
        for (int t = 0; t < cells; ++t) {
            mxSetCell(arrays[numeric + t], i, mxCreateString(texts[t]));
        }
    }
    for (int f = 0; f < fields; ++f) {
        std::snprintf(names[f], sizeof names[f], "Field%02d", f);
        pointers[f] = names[f];
    }
    mxArray *result = mxCreateStructMatrix(1, 1, fields, pointers);
    for (int f = 0; f < fields; ++f) {
        mxSetField(result, 0, pointers[f], arrays[f]);
    }
    plhs[0] = result;
}

} // namespace

void mexFunction(int, mxArray *plhs[], int nrhs, const mxArray *prhs[]) {
    if (nrhs < 2) {
        mexErrMsgTxt("host_only(request, n)");
    }
    const int request = static_cast<int>(mxGetScalar(prhs[0]));
    const size_t n = static_cast<size_t>(mxGetScalar(prhs[1]));
    // Texts of the lengths the in-memory feed's records hold.
    static const char *const quoteTexts[9] = {"Q00000.X", "AB", "AB", "AB", "AB",
                                              "AB",       "AB", "AB", "AB"};
    static const char *const fundamentalsTexts[3] = {"Fundamentals Company 00000 Inc.", "F00000",
                                                     "000000000"};
    switch (request) {
    case 2:
        snapshot(plhs, n, 36, 1, 9, quoteTexts);
        break;
    case 6:
        snapshot(plhs, n, 21, 3, 3, fundamentalsTexts);
        break;
    case 3:
        plhs[0] = mxCreateUninitNumericMatrix(500000, 7, mxDOUBLE_CLASS, mxREAL);
        break;
    default:
        plhs[0] = mxCreateUninitNumericMatrix(75000, 6, mxDOUBLE_CLASS, mxREAL);
        break;
    }
}
