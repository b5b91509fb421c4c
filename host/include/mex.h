// A small stand-in for the host's array library and its error and print library, so that the
// module, its tests and its benchmarks run without the host installed. The operations carry
// the host API's own names and argument lists; only what the module and its tests use is here.
#ifndef QUORVEX_STANDIN_MEX_H
#define QUORVEX_STANDIN_MEX_H

#include <stdbool.h>
#include <stddef.h>

#if defined(_WIN32)
#if defined(MXHOST_BUILDING)
#define MXHOST_API __declspec(dllexport)
#else
#define MXHOST_API __declspec(dllimport)
#endif
#else
#define MXHOST_API __attribute__((visibility("default")))
#endif

#if defined(__MINGW32__)
// Formatting goes through MinGW's C99 printf (__USE_MINGW_ANSI_STDIO), not the C library's.
#define MXHOST_NORETURN __attribute__((noreturn))
#define MXHOST_PRINTF(f, a) __attribute__((format(gnu_printf, f, a)))
#elif defined(__GNUC__)
#define MXHOST_NORETURN __attribute__((noreturn))
#define MXHOST_PRINTF(f, a) __attribute__((format(printf, f, a)))
#else
#define MXHOST_NORETURN
#define MXHOST_PRINTF(f, a)
#endif

#ifdef __cplusplus
extern "C" {
#endif

typedef struct mxArray_tag mxArray;
typedef size_t mwSize;
typedef size_t mwIndex;

typedef enum { mxREAL = 0, mxCOMPLEX = 1 } mxComplexity;

typedef enum {
    mxUNKNOWN_CLASS = 0,
    mxCELL_CLASS,
    mxSTRUCT_CLASS,
    mxLOGICAL_CLASS,
    mxCHAR_CLASS,
    mxVOID_CLASS,
    mxDOUBLE_CLASS,
    mxSINGLE_CLASS,
    mxINT8_CLASS,
    mxUINT8_CLASS,
    mxINT16_CLASS,
    mxUINT16_CLASS,
    mxINT32_CLASS,
    mxUINT32_CLASS,
    mxINT64_CLASS,
    mxUINT64_CLASS,
    mxFUNCTION_CLASS
} mxClassID;

// Creation.
MXHOST_API mxArray *mxCreateDoubleMatrix(mwSize m, mwSize n, mxComplexity flag);
MXHOST_API mxArray *mxCreateDoubleScalar(double value);
MXHOST_API mxArray *mxCreateNumericMatrix(mwSize m, mwSize n, mxClassID classid, mxComplexity flag);
// Like mxCreateNumericMatrix, but the elements are left undefined: the caller must write every
// one of them. The stand-in host fills them with a NaN pattern unless told otherwise
// (mxhost::setUninitPoison), so that a module relying on zeros shows in the tests.
MXHOST_API mxArray *mxCreateUninitNumericMatrix(size_t m, size_t n, mxClassID classid,
                                                mxComplexity flag);
MXHOST_API mxArray *mxCreateLogicalScalar(bool value);
MXHOST_API mxArray *mxCreateCellMatrix(mwSize m, mwSize n);
MXHOST_API mxArray *mxCreateString(const char *text);
MXHOST_API mxArray *mxCreateCharMatrixFromStrings(mwSize m, const char **texts);
MXHOST_API mxArray *mxCreateStructMatrix(mwSize m, mwSize n, int nfields, const char **names);
MXHOST_API void mxDestroyArray(mxArray *array);

// Queries.
MXHOST_API mxClassID mxGetClassID(const mxArray *array);
MXHOST_API bool mxIsDouble(const mxArray *array);
MXHOST_API bool mxIsNumeric(const mxArray *array);
MXHOST_API bool mxIsComplex(const mxArray *array);
MXHOST_API bool mxIsLogical(const mxArray *array);
MXHOST_API bool mxIsChar(const mxArray *array);
MXHOST_API bool mxIsCell(const mxArray *array);
MXHOST_API bool mxIsStruct(const mxArray *array);
MXHOST_API mwSize mxGetM(const mxArray *array);
MXHOST_API mwSize mxGetN(const mxArray *array);
MXHOST_API size_t mxGetNumberOfElements(const mxArray *array);

// Contents.
MXHOST_API double mxGetScalar(const mxArray *array);
MXHOST_API double *mxGetPr(const mxArray *array);
MXHOST_API double *mxGetPi(const mxArray *array);
MXHOST_API mxArray *mxGetCell(const mxArray *array, mwIndex index);
MXHOST_API void mxSetCell(mxArray *array, mwIndex index, mxArray *value);
MXHOST_API int mxGetString(const mxArray *array, char *buffer, mwSize length);
MXHOST_API char *mxArrayToString(const mxArray *array);
// Memory of the call: freed by the host when the call ends unless mxFree'd before.
MXHOST_API void *mxMalloc(size_t size);
MXHOST_API void mxFree(void *memory);
MXHOST_API int mxGetNumberOfFields(const mxArray *array);
MXHOST_API const char *mxGetFieldNameByNumber(const mxArray *array, int number);
MXHOST_API mxArray *mxGetField(const mxArray *array, mwIndex index, const char *name);
MXHOST_API void mxSetField(mxArray *array, mwIndex index, const char *name, mxArray *value);

// Errors and printing. A raise ends the current call of the module and does not return.
MXHOST_API MXHOST_NORETURN void mexErrMsgTxt(const char *message);
MXHOST_API MXHOST_NORETURN void mexErrMsgIdAndTxt(const char *identifier, const char *format, ...)
    MXHOST_PRINTF(2, 3);
MXHOST_API int mexPrintf(const char *format, ...) MXHOST_PRINTF(1, 2);
// What the module asks to be run when it is cleared (mxhost::clearModule) or the process ends.
MXHOST_API int mexAtExit(void (*function)(void));
// A warning: the call goes on. Collected in the call's result (and echoed on standard error
// when printing is echoed or no call is in progress).
MXHOST_API void mexWarnMsgIdAndTxt(const char *identifier, const char *format, ...)
    MXHOST_PRINTF(2, 3);

#ifdef __cplusplus
}
#endif

// The module's entry point, as every module defines it.
#ifdef __cplusplus
extern "C"
#endif
    void
    mexFunction(int nlhs, mxArray *plhs[], int nrhs, const mxArray *prhs[]);

#endif
