// The host's array and error interface as its published C reference declares it, cut down to
// what the module calls, for compiling the module the way a MATLAB user on Windows does
// (scripts/msvc-check.sh). Unlike host/include/mex.h it carries no GNU attributes and does not
// mark the raise as never returning, as the host's own header does not: the module has to
// stand on its own there.
//
// mwSize and mwIndex are size_t, the host's default; building with
// QUORVEX_COMPATIBLE_ARRAY_DIMS makes them int, as `mex -compatibleArrayDims` does, which
// was the default of the releases that still ran on 32-bit Windows.
#ifndef QUORVEX_MSVC_MEX_H
#define QUORVEX_MSVC_MEX_H

#include <stddef.h>

#ifndef __cplusplus
#include <stdbool.h>
#endif

#ifdef __cplusplus
extern "C" {
#endif

typedef struct mxArray_tag mxArray;

#if defined(QUORVEX_COMPATIBLE_ARRAY_DIMS)
typedef int mwSize;
typedef int mwIndex;
#else
typedef size_t mwSize;
typedef size_t mwIndex;
#endif

typedef enum { mxREAL, mxCOMPLEX } mxComplexity;

// Of the classes, the one the module creates.
typedef enum { mxDOUBLE_CLASS = 6 } mxClassID;

// Creation.
mxArray *mxCreateDoubleMatrix(mwSize m, mwSize n, mxComplexity ComplexFlag);
mxArray *mxCreateDoubleScalar(double value);
mxArray *mxCreateUninitNumericMatrix(size_t m, size_t n, mxClassID classid,
                                     mxComplexity ComplexFlag);
mxArray *mxCreateCellMatrix(mwSize m, mwSize n);
mxArray *mxCreateString(const char *str);
mxArray *mxCreateStructMatrix(mwSize m, mwSize n, int nfields, const char **fieldnames);

// Queries.
bool mxIsNumeric(const mxArray *pm);
bool mxIsComplex(const mxArray *pm);
bool mxIsChar(const mxArray *pm);
bool mxIsCell(const mxArray *pm);
size_t mxGetM(const mxArray *pm);
size_t mxGetN(const mxArray *pm);
size_t mxGetNumberOfElements(const mxArray *pm);

// Contents.
double mxGetScalar(const mxArray *pm);
double *mxGetPr(const mxArray *pm);
mxArray *mxGetCell(const mxArray *pm, mwIndex index);
void mxSetCell(mxArray *pm, mwIndex index, mxArray *value);
int mxGetString(const mxArray *pm, char *str, mwSize strlen);
char *mxArrayToString(const mxArray *array_ptr);
void *mxMalloc(size_t n);
void mxFree(void *ptr);
void mxSetField(mxArray *pm, mwIndex index, const char *fieldname, mxArray *pvalue);

// Errors and printing.
void mexErrMsgIdAndTxt(const char *errorid, const char *errormsg, ...);
void mexWarnMsgIdAndTxt(const char *warningid, const char *warningmsg, ...);
int mexPrintf(const char *message, ...);
int mexAtExit(void (*exit_fcn)(void));

// The module's entry point.
void mexFunction(int nlhs, mxArray *plhs[], int nrhs, const mxArray *prhs[]);

#ifdef __cplusplus
}
#endif

#endif
