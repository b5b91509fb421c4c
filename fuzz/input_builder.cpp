#include "input_builder.h"

#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

namespace fuzzinputs {
namespace {

constexpr int DEEPEST = 2;
constexpr size_t LARGEST_SIDE = 5;

mxhost::ArrayPtr numberMatrix(FuzzedDataProvider &data, bool complex) {
    size_t rows = data.ConsumeIntegralInRange<size_t>(0, LARGEST_SIDE);
    size_t columns = data.ConsumeIntegralInRange<size_t>(0, LARGEST_SIDE);
    mxhost::ArrayPtr array(mxCreateDoubleMatrix(rows, columns, complex ? mxCOMPLEX : mxREAL));
    for (size_t i = 0; i < rows * columns; ++i) {
        mxGetPr(array.get())[i] = anyNumber(data);
        if (complex) {
            mxGetPi(array.get())[i] = anyNumber(data);
        }
    }
    return array;
}

mxhost::ArrayPtr cellArray(FuzzedDataProvider &data, int depth) {
    size_t rows = data.ConsumeIntegralInRange<size_t>(0, 3);
    size_t columns = data.ConsumeIntegralInRange<size_t>(0, LARGEST_SIDE);
    mxhost::ArrayPtr cell(mxCreateCellMatrix(rows, columns));
    for (size_t i = 0; i < rows * columns; ++i) {
        uint8_t kind = data.ConsumeIntegral<uint8_t>();
        if (kind < 16) {
            continue; // an unset cell
        }
        mxhost::ArrayPtr element = kind < 160 ? anyText(data, 16) : anyArray(data, depth + 1);
        mxSetCell(cell.get(), i, element.release());
    }
    return cell;
}

mxhost::ArrayPtr structure(FuzzedDataProvider &data, int depth) {
    static const char *NAMES[] = {"a", "Symbol", "c"};
    int fields = data.ConsumeIntegralInRange<int>(0, 3);
    size_t columns = data.ConsumeIntegralInRange<size_t>(0, 2);
    mxhost::ArrayPtr array(mxCreateStructMatrix(1, columns, fields, NAMES));
    for (size_t e = 0; e < columns; ++e) {
        for (int f = 0; f < fields; ++f) {
            if (data.ConsumeBool()) {
                mxSetField(array.get(), e, NAMES[f], anyArray(data, depth + 1).release());
            }
        }
    }
    return array;
}

mxhost::ArrayPtr charMatrix(FuzzedDataProvider &data) {
    size_t rows = data.ConsumeIntegralInRange<size_t>(2, 4);
    std::vector<std::string> texts;
    std::vector<const char *> pointers;
    for (size_t r = 0; r < rows; ++r) {
        texts.push_back(printableString(data, 8));
    }
    for (const std::string &text : texts) {
        pointers.push_back(text.c_str());
    }
    return mxhost::ArrayPtr(mxCreateCharMatrixFromStrings(rows, pointers.data()));
}

} // namespace

int32_t anyRequestCode(FuzzedDataProvider &data) {
    static constexpr int32_t CHEAP_CODES[] = {1, 2, 3, 4, 6, 7};
    const uint8_t which = data.ConsumeIntegral<uint8_t>();
    return which < 8 ? 5 : CHEAP_CODES[which % 6];
}

double anyNumber(FuzzedDataProvider &data) {
    static const double TABLE[] = {0.0,
                                   1.0,
                                   2.0,
                                   3.0,
                                   4.0,
                                   5.0,
                                   6.0,
                                   7.0,
                                   8.0,
                                   -1.0,
                                   0.5,
                                   1.9,
                                   7.99,
                                   -0.5,
                                   -2.5,
                                   3.7,
                                   std::numeric_limits<double>::quiet_NaN(),
                                   std::numeric_limits<double>::infinity(),
                                   -std::numeric_limits<double>::infinity(),
                                   2147483647.0,
                                   2147483647.9,
                                   2147483648.0,
                                   -2147483648.0,
                                   -2147483648.9,
                                   -2147483649.0,
                                   1e300,
                                   -1e300,
                                   std::numeric_limits<double>::denorm_min(),
                                   -0.0,
                                   1e9,
                                   40.0,
                                   250.0,
                                   100000.0};
    uint8_t which = data.ConsumeIntegral<uint8_t>();
    if (which < sizeof TABLE / sizeof TABLE[0]) {
        return TABLE[which];
    }
    uint64_t bits = data.ConsumeIntegral<uint64_t>();
    double value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

mxhost::ArrayPtr anyText(FuzzedDataProvider &data, size_t longest) {
    size_t length = data.ConsumeIntegralInRange<size_t>(0, longest);
    return mxhost::text(data.ConsumeBytesAsString(length));
}

std::string printableString(FuzzedDataProvider &data, size_t longest) {
    size_t length = data.ConsumeIntegralInRange<size_t>(0, longest);
    std::string text = data.ConsumeBytesAsString(length);
    for (char &c : text) {
        c = static_cast<char>(' ' + static_cast<unsigned char>(c) % 95);
    }
    return text;
}

mxhost::ArrayPtr printableText(FuzzedDataProvider &data, size_t longest) {
    return mxhost::text(printableString(data, longest));
}

mxhost::ArrayPtr textCells(FuzzedDataProvider &data, size_t cells, size_t longest, bool anyBytes) {
    mxhost::ArrayPtr cell(mxCreateCellMatrix(1, cells));
    for (size_t i = 0; i < cells; ++i) {
        mxhost::ArrayPtr text = anyBytes ? anyText(data, longest) : printableText(data, longest);
        mxSetCell(cell.get(), i, text.release());
    }
    return cell;
}

mxhost::ArrayPtr anyArray(FuzzedDataProvider &data, int depth) {
    uint8_t kind = data.ConsumeIntegralInRange<uint8_t>(0, 12);
    if (depth >= DEEPEST && (kind == 6 || kind == 7)) {
        kind = 0;
    }
    switch (kind) {
    case 0:
        return mxhost::scalar(anyNumber(data));
    case 1:
        return numberMatrix(data, false);
    case 2:
        return numberMatrix(data, true);
    case 3:
        return mxhost::ArrayPtr(mxCreateLogicalScalar(data.ConsumeBool()));
    case 4:
        return anyText(data, data.ConsumeBool() ? 16 : 300);
    case 5:
        return charMatrix(data);
    case 6:
        return cellArray(data, depth);
    case 7:
        return structure(data, depth);
    case 8: {
        // The stand-in host offers no way to set the values of these classes: they hold 0.
        static const mxClassID CLASSES[] = {mxSINGLE_CLASS, mxINT8_CLASS,   mxUINT8_CLASS,
                                            mxINT16_CLASS,  mxUINT16_CLASS, mxINT32_CLASS,
                                            mxUINT32_CLASS, mxINT64_CLASS,  mxUINT64_CLASS};
        mxClassID id = CLASSES[data.ConsumeIntegralInRange<size_t>(0, 8)];
        size_t rows = data.ConsumeIntegralInRange<size_t>(0, 2);
        size_t columns = data.ConsumeIntegralInRange<size_t>(0, 2);
        return mxhost::ArrayPtr(mxCreateNumericMatrix(rows, columns, id, mxREAL));
    }
    case 9:
        return mxhost::ArrayPtr(
            mxCreateDoubleMatrix(data.ConsumeIntegralInRange<size_t>(0, 1), 0, mxREAL));
    case 10:
        return textCells(data, data.ConsumeIntegralInRange<size_t>(0, 8), 20, data.ConsumeBool());
    case 11:
        return mxhost::ArrayPtr(mxCreateCellMatrix(0, 0));
    default:
        return mxhost::text(std::string());
    }
}

} // namespace fuzzinputs
