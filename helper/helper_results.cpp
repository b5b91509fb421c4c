// The results seam in the feed helper: the request's arrays are built straight into the reply
// in the shared section (helper_wire.h), and its reports become the reply's reports. A raise
// ends the request with an exception the helper's loop catches: the request code needs no
// destructor to run, but here they may.
#include "helper_results.h"

#include "helper_wire.h"
#include "results.h"

#include <cstring>
#include <vector>

namespace {

// Where an array goes that no longer fits the section: the request runs to its end all the
// same (it may be attached to the feed, which a raise here would leave so), and its reply is
// then replaced by the error that says the section was too small.
std::vector<double> overflowNumbers;
bool overflowed = false;
unsigned char overflowNode;

ResultArray *resultOf(WireNode *node) {
    if (node == nullptr) {
        overflowed = true;
        return reinterpret_cast<ResultArray *>(&overflowNode);
    }
    return reinterpret_cast<ResultArray *>(node);
}

WireNode *nodeOf(ResultArray *array) {
    return reinterpret_cast<unsigned char *>(array) == &overflowNode
               ? nullptr
               : reinterpret_cast<WireNode *>(array);
}

} // namespace

void helperResultsBegin(unsigned char *section, size_t size) {
    replyBegin(section, size);
    overflowed = false;
}

bool helperResultsOverflowed() {
    return overflowed;
}

WireNode *helperResultNode(ResultArray *array) {
    return array == nullptr ? nullptr : nodeOf(array);
}

ResultArray *resultMatrix(size_t rows, size_t columns, MatrixFill fill, double **data) {
    (void)fill; // the section's bytes are the request's to write; a zeroed one is zeroed below
    WireNode *node = replyMatrix(rows, columns, data);
    if (node == nullptr) {
        overflowNumbers.assign(rows * columns, 0.0);
        *data = overflowNumbers.data();
    } else if (fill == MATRIX_ZEROED && rows * columns > 0) {
        std::memset(*data, 0, rows * columns * sizeof(double));
    }
    return resultOf(node);
}

// Raw records go over as they came, straight into the section; the module decodes them into
// the host's matrix.
void resultRawBegin(RawRecords kind) {
    replyRawBegin(kind);
}

void resultRawAppend(const unsigned char *record) {
    replyRawAppend(record);
}

ResultArray *resultRawEnd() {
    return resultOf(replyRawEnd());
}

ResultArray *resultScalar(double value) {
    double *data = nullptr;
    ResultArray *scalar = resultMatrix(1, 1, MATRIX_UNZEROED, &data);
    data[0] = value;
    return scalar;
}

ResultArray *resultText(const char *text) {
    return resultOf(replyText(text));
}

ResultArray *resultTexts(size_t rows) {
    return resultOf(replyTexts(rows));
}

void resultSetText(ResultArray *texts, size_t row, const char *text) {
    WireNode *node = nodeOf(texts);
    if (node != nullptr) {
        replySetText(node, row, text);
    }
}

ResultArray *resultStructure(int fieldCount, const char *const *names, ResultArray *const *values) {
    WireNode *nodes[HELPER_MAX_FIELDS];
    if (fieldCount > static_cast<int>(HELPER_MAX_FIELDS)) {
        return resultOf(nullptr);
    }
    for (int f = 0; f < fieldCount; ++f) {
        nodes[f] = nodeOf(values[f]);
    }
    return resultOf(replyStructure(fieldCount, names, nodes));
}

void reportPrint(const char *text) {
    replyEvent(HELPER_EVENT_PRINT, nullptr, text);
}

void reportWarning(const char *identifier, const char *text) {
    replyEvent(HELPER_EVENT_WARNING, identifier, text);
}

void reportError(const char *identifier, const char *text) {
    replyEvent(HELPER_EVENT_ERROR, identifier, text);
    throw HelperRaised{};
}
