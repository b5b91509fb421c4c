// Host arrays the module creates beyond the plain ones.
#ifndef QUORVEX_HOST_ARRAYS_H
#define QUORVEX_HOST_ARRAYS_H

#include "mex.h"

#include <cstddef>

// A real double matrix whose every element the caller writes before the host sees it. Where the
// host offers it (MATLAB since 2015, GNU Octave 7), the matrix is created without zeroing,
// which would be a pass over memory that the module overwrites anyway; a build for a host
// without it defines QUORVEX_NO_UNINIT_MATRICES and gets a zeroed one.
inline mxArray *createUnzeroedMatrix(size_t rows, size_t columns) {
#if defined(QUORVEX_NO_UNINIT_MATRICES)
    return mxCreateDoubleMatrix(rows, columns, mxREAL);
#else
    return mxCreateUninitNumericMatrix(rows, columns, mxDOUBLE_CLASS, mxREAL);
#endif
}

#endif
