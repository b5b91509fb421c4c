#include "inputs.h"

#include "failures.h"

#include <cmath>
#include <cstring>

namespace {

const mxArray *requiredInput(int inputCount, const mxArray **inputs, int position,
                             const char *name) {
    if (inputCount < position || inputs[position - 1] == nullptr) {
        raiseFormatted(ID_BAD_INPUT, "Input %d (%s) is missing", position, name);
    }
    return inputs[position - 1];
}

double realScalar(const mxArray *input, int position, const char *name) {
    if (!mxIsNumeric(input) || mxIsComplex(input) || mxGetNumberOfElements(input) != 1) {
        raiseFormatted(ID_BAD_INPUT, "Input %d (%s) must be a real numeric scalar", position, name);
    }
    double value = mxGetScalar(input);
    if (!std::isfinite(value)) {
        raiseFormatted(ID_BAD_INPUT, "Input %d (%s) must be finite", position, name);
    }
    return value;
}

// A text is a character array with at most one row or column.
bool isText(const mxArray *value) {
    return value != nullptr && mxIsChar(value) &&
           (mxGetM(value) <= 1 || mxGetN(value) <= 1 || mxGetNumberOfElements(value) == 0);
}

void checkCellList(const RequestCall &call, int position, const char *name, int32_t securities) {
    const mxArray *list = requiredInput(call.inputCount, call.inputs, position, name);
    if (!mxIsCell(list)) {
        raiseFormatted(ID_BAD_INPUT, "Input %d (%s) must be a cell array of texts", position, name);
    }
    size_t available = mxGetNumberOfElements(list);
    if (available < static_cast<size_t>(securities)) {
        raiseFormatted(ID_BAD_INPUT, "Input %d (%s) holds %zu cells, %ld are needed", position,
                       name, available, static_cast<long>(securities));
    }
    for (int32_t i = 0; i < securities; ++i) {
        const mxArray *cell = mxGetCell(list, static_cast<mwIndex>(i));
        if (!isText(cell)) {
            raiseFormatted(ID_BAD_INPUT, "Input %d (%s), cell %ld: must be a text", position, name,
                           static_cast<long>(i + 1));
        }
        const size_t length = mxGetNumberOfElements(cell);
        if (position == 5 && length > QUALIFIER_LENGTH) {
            raiseFormatted(ID_BAD_INPUT,
                           "Input 5 (qualifiers), cell %ld: a qualifier has at most %zu "
                           "characters, this one has %zu",
                           static_cast<long>(i + 1), QUALIFIER_LENGTH, length);
        }
    }
}

// Reads a checked text, cut to its first 11 characters. The host's string read refuses a
// text that does not fit the buffer (and may leave the buffer as it was), so a longer text
// is fetched whole and cut here.
void readInputText(const mxArray *cell, char (&buffer)[TEXT_BUFFER_SIZE]) {
    buffer[0] = '\0';
    if (mxGetNumberOfElements(cell) < TEXT_BUFFER_SIZE) {
        if (mxGetString(cell, buffer, TEXT_BUFFER_SIZE) != 0) {
            buffer[0] = '\0';
        }
    } else {
        char *whole = mxArrayToString(cell);
        if (whole != nullptr) {
            std::strncpy(buffer, whole, TEXT_BUFFER_SIZE - 1);
            mxFree(whole);
        }
    }
    buffer[TEXT_BUFFER_SIZE - 1] = '\0';
}

} // namespace

double requestCodeValue(int inputCount, const mxArray **inputs) {
    const mxArray *input = requiredInput(inputCount, inputs, 1, "request code");
    return realScalar(input, 1, "request code");
}

int32_t readIntegerInput(const RequestCall &call, int position, const char *name) {
    const mxArray *input = requiredInput(call.inputCount, call.inputs, position, name);
    double truncated = std::trunc(realScalar(input, position, name));
    if (truncated < -2147483648.0 || truncated > 2147483647.0) {
        raiseFormatted(ID_BAD_INPUT, "Input %d (%s) is outside the signed 32-bit range", position,
                       name);
    }
    return static_cast<int32_t>(truncated);
}

void checkSecurityLists(const RequestCall &call, int32_t securities) {
    checkCellList(call, 4, "symbols", securities);
    checkCellList(call, 5, "qualifiers", securities);
}

void readSecurityTexts(const RequestCall &call, int32_t index, char (&symbol)[TEXT_BUFFER_SIZE],
                       char (&qualifier)[TEXT_BUFFER_SIZE]) {
    readInputText(mxGetCell(call.inputs[3], static_cast<mwIndex>(index)), symbol);
    readInputText(mxGetCell(call.inputs[4], static_cast<mwIndex>(index)), qualifier);
}

void checkListedSecurities(RequestCall &call) {
    // Only the cells of the securities to read are looked at; a count of 0 or less reads none.
    if (call.count > 0) {
        checkSecurityLists(call, call.count);
    }
}

void checkFirstSecurity(RequestCall &call) {
    checkSecurityLists(call, 1);
}

void checkNothing(RequestCall &) {}
