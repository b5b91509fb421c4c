// The one seam between the request code and the caller that takes its results: the few kinds
// of array a request returns, created at their final size and filled in place, and the texts
// a request prints, warns or raises. The request units create nothing else and call no host
// function of their own, so any front end can take their results: the host's array library
// (host_results.cpp, for the module in its host and the stand-in host), or another that
// implements these functions.
//
// A raise may skip destructors (it ends the call through the host), so nothing here relies
// on them: every array belongs to the front end from its creation on.
#ifndef QUORVEX_RESULTS_H
#define QUORVEX_RESULTS_H

#include <cstddef>

// An array under construction, owned by the front end. Opaque to the request code.
struct ResultArray;

// Whether a numeric matrix starts zeroed, or holds anything until its every element is
// written (cheaper where the caller writes them all anyway).
enum MatrixFill { MATRIX_ZEROED, MATRIX_UNZEROED };

// A rows-by-columns matrix of real doubles in column-major order; *data receives its storage
// (element (r, c) at r + c * rows).
ResultArray *resultMatrix(size_t rows, size_t columns, MatrixFill fill, double **data);

// The raw records a decoded matrix is made from, as the feed delivered them.
enum RawRecords {
    RAW_HISTORY_BLOCKS = 1, // a history: its blocks of eight trades, rows = 8 per block
    RAW_BAR_BLOCKS = 2,     // a bar series: its blocks of eight bars, in the fixed rows
};

// A matrix decoded from raw records of `kind`, handed over one record at a time as the feed
// delivers them (requests/raw_records.h says each kind's shape and decodes it). The front end
// decodes them where it makes the matrix, so that one whose arrays are made in another process
// hands over the raw records, a third of the decoded size, rather than the matrix. One such
// matrix at a time: begun, appended to (from the feed's callback too: no host call there, and
// the record is only read during the call), ended, which gives the matrix.
void resultRawBegin(RawRecords kind);
void resultRawAppend(const unsigned char *record);
ResultArray *resultRawEnd();

// A 1-by-1 real double.
ResultArray *resultScalar(double value);

// A character row holding the zero-terminated `text`.
ResultArray *resultText(const char *text);

// A rows-by-1 column of texts, each set once with resultSetText.
ResultArray *resultTexts(size_t rows);

// Row `row` of a column of texts: the zero-terminated `text`.
void resultSetText(ResultArray *texts, size_t row, const char *text);

// A 1-by-1 structure of `fieldCount` fields named `names`, holding `values` in that order; it
// owns them from then on.
ResultArray *resultStructure(int fieldCount, const char *const *names, ResultArray *const *values);

// A line the request prints on the caller's text output (as the feed's failure line), as it
// stands.
void reportPrint(const char *text);

// A warning with an identifier, as it stands; the request goes on.
void reportWarning(const char *identifier, const char *text);

// Ends the request with an error: the identifier and the message as they stand. Does not
// return.
[[noreturn]] void reportError(const char *identifier, const char *text);

#endif
