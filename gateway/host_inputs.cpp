#include "host_inputs.h"

#include "failures.h"

#include <cmath>
#include <cstring>

namespace {

// The one security of the history, bar and CANT requests: no allocation for them.
SecurityText singleSecurity;

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

// Input `position` truncated toward zero: raises when it is missing, not a real finite numeric
// scalar, or outside the signed 32-bit range. `name` says what it is.
int32_t integerInput(int inputCount, const mxArray **inputs, int position, const char *name) {
    const mxArray *input = requiredInput(inputCount, inputs, position, name);
    double truncated = std::trunc(realScalar(input, position, name));
    if (truncated < -2147483648.0 || truncated > 2147483647.0) {
        raiseFormatted(ID_BAD_INPUT, "Input %d (%s) is outside the signed 32-bit range", position,
                       name);
    }
    return static_cast<int32_t>(truncated);
}

// A text is a character array with at most one row or column.
bool isText(const mxArray *value) {
    return value != nullptr && mxIsChar(value) &&
           (mxGetM(value) <= 1 || mxGetN(value) <= 1 || mxGetNumberOfElements(value) == 0);
}

// A cell array of at least `securities` cells: the list itself, checked.
const mxArray *cellList(int inputCount, const mxArray **inputs, int position, const char *name,
                        int32_t securities) {
    const mxArray *list = requiredInput(inputCount, inputs, position, name);
    if (!mxIsCell(list)) {
        raiseFormatted(ID_BAD_INPUT, "Input %d (%s) must be a cell array of texts", position, name);
    }
    size_t available = mxGetNumberOfElements(list);
    if (available < static_cast<size_t>(securities)) {
        raiseFormatted(ID_BAD_INPUT, "Input %d (%s) holds %zu cells, %ld are needed", position,
                       name, available, static_cast<long>(securities));
    }
    return list;
}

// Cell `index` of a list, checked to be a text; its length.
const mxArray *textCell(const mxArray *list, int position, const char *name, int32_t index,
                        size_t *length) {
    const mxArray *cell = mxGetCell(list, static_cast<mwIndex>(index));
    if (!isText(cell)) {
        raiseFormatted(ID_BAD_INPUT, "Input %d (%s), cell %ld: must be a text", position, name,
                       static_cast<long>(index + 1));
    }
    *length = mxGetNumberOfElements(cell);
    return cell;
}

// Reads a checked text of `length` characters, cut to its first 11. The host's string read
// refuses a text that does not fit the buffer (and may leave the buffer as it was), so a
// longer text is fetched whole and cut here.
void readText(const mxArray *cell, size_t length, char (&buffer)[TEXT_BUFFER_SIZE]) {
    buffer[0] = '\0';
    if (length < TEXT_BUFFER_SIZE) {
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

// The first `count` securities of inputs 4 and 5, every cell checked and read in one pass, the
// symbols before the qualifiers.
SecurityList readSecurities(int inputCount, const mxArray **inputs, int32_t count) {
    const mxArray *symbols = cellList(inputCount, inputs, INPUT_SYMBOLS, "symbols", count);
    SecurityText *items = &singleSecurity;
    if (count > 1) {
        // The host's own allocation, which it frees at the end of the call should a check
        // below raise.
        items = static_cast<SecurityText *>(
            mxMalloc(static_cast<size_t>(count) * sizeof(SecurityText)));
    }
    for (int32_t i = 0; i < count; ++i) {
        size_t length = 0;
        const mxArray *cell = textCell(symbols, INPUT_SYMBOLS, "symbols", i, &length);
        readText(cell, length, items[i].symbol);
    }
    const mxArray *qualifiers = cellList(inputCount, inputs, INPUT_QUALIFIERS, "qualifiers", count);
    for (int32_t i = 0; i < count; ++i) {
        size_t length = 0;
        const mxArray *cell = textCell(qualifiers, INPUT_QUALIFIERS, "qualifiers", i, &length);
        if (length > QUALIFIER_LENGTH) {
            raiseFormatted(ID_BAD_INPUT,
                           "Input 5 (qualifiers), cell %ld: a qualifier has at most %zu "
                           "characters, this one has %zu",
                           static_cast<long>(i + 1), QUALIFIER_LENGTH, length);
        }
        readText(cell, length, items[i].qualifier);
    }
    return SecurityList{items, count};
}

} // namespace

double requestCodeValue(int inputCount, const mxArray **inputs) {
    const mxArray *input = requiredInput(inputCount, inputs, INPUT_REQUEST_CODE, "request code");
    return realScalar(input, INPUT_REQUEST_CODE, "request code");
}

void readRequestInputs(int inputCount, const mxArray **inputs, bool readsCount,
                       SecuritiesRead securities, RequestInputs *read) {
    read->database = integerInput(inputCount, inputs, INPUT_DATABASE, "database number");
    read->count = readsCount ? integerInput(inputCount, inputs, INPUT_COUNT, "count") : 0;
    int32_t count = 0;
    switch (securities) {
    case SECURITIES_NONE:
        break;
    case SECURITIES_LISTED:
        count = read->count > 0 ? read->count : 0;
        break;
    case SECURITIES_FIRST:
        count = 1;
        break;
    case SECURITIES_OPTIONAL:
        count = inputCount >= INPUT_SYMBOLS ? 1 : 0;
        break;
    }
    read->securities =
        count > 0 ? readSecurities(inputCount, inputs, count) : SecurityList{nullptr, 0};
}

void releaseSecurityStorage(RequestInputs *read) {
    if (read->securities.items != &singleSecurity) {
        mxFree(const_cast<SecurityText *>(read->securities.items));
    }
    read->securities = SecurityList{nullptr, 0};
}
