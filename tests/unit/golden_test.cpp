// The golden record files of tests/golden through the module's entry point: the scripted feed
// answers with a file's bytes, and every output field must equal, to the bit, the value the
// file's values file gives (the format is in tests/golden/README.md).
#include "harness.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <utility>

namespace {

using scripted::Answer;
using scripted::Bytes;
using scripted::Delivery;

// One value of a values file: numbers, or a text.
struct GoldenValue {
    bool isText = false;
    std::string text;
    std::vector<double> numbers;
};

// The lines of a values file in their order.
using GoldenValues = std::vector<std::pair<std::string, GoldenValue>>;

std::string goldenPath(const std::string &file) {
    const char *folder = std::getenv("QUORVEX_GOLDEN_DIR");
    return std::string(folder != nullptr ? folder : QUORVEX_GOLDEN_DIR) + "/" + file;
}

// The bytes of a golden record file, which must hold exactly `size` of them.
Bytes goldenBytes(const std::string &file, size_t size) {
    std::ifstream in(goldenPath(file), std::ios::binary);
    Bytes bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(bytes.size(), size) << goldenPath(file);
    return bytes;
}

GoldenValue parseValue(const std::string &written) {
    GoldenValue value;
    if (!written.empty() && written[0] == '"') {
        const size_t last = written.rfind('"');
        EXPECT_GT(last, 0u) << "an unended text: " << written;
        value.isText = true;
        value.text = written.substr(1, last - 1);
        return value;
    }
    std::istringstream words(written);
    std::string word;
    while (words >> word) {
        char *end = nullptr;
        value.numbers.push_back(std::strtod(word.c_str(), &end));
        EXPECT_EQ(*end, '\0') << "not a number: " << word;
    }
    EXPECT_FALSE(value.numbers.empty()) << "no value";
    return value;
}

GoldenValues goldenValues(const std::string &file) {
    std::ifstream in(goldenPath(file));
    EXPECT_TRUE(in.good()) << goldenPath(file);
    GoldenValues values;
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') {
            continue;
        }
        const size_t equals = line.find(" = ");
        EXPECT_NE(equals, std::string::npos) << file << ": " << line;
        if (equals != std::string::npos) {
            values.emplace_back(line.substr(0, equals), parseValue(line.substr(equals + 3)));
        }
    }
    return values;
}

// The value of `name`; a test fails where the file lacks it.
const GoldenValue &valueOf(const GoldenValues &values, const std::string &name) {
    static const GoldenValue none;
    for (const auto &entry : values) {
        if (entry.first == name) {
            return entry.second;
        }
    }
    ADD_FAILURE() << "the values file has no " << name;
    return none;
}

// A double as the values files write it, every bit shown.
std::string exactly(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.17g", value);
    return text;
}

// `actual` is bit for bit the double of the values file.
::testing::AssertionResult sameDouble(double actual, double expected) {
    if (actual == expected && std::signbit(actual) == std::signbit(expected)) {
        return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure() << exactly(actual) << ", not " << exactly(expected);
}

// The numbers of a field, element by element in the array's storage order.
void expectNumbers(const mxArray *array, const GoldenValue &value, const std::string &name) {
    ASSERT_FALSE(value.isText) << name;
    ASSERT_EQ(mxGetNumberOfElements(array), value.numbers.size()) << name;
    for (size_t i = 0; i < value.numbers.size(); ++i) {
        EXPECT_TRUE(sameDouble(mxGetPr(array)[i], value.numbers[i]))
            << name << " element " << i + 1;
    }
}

// A one-row structure result: the fields in the order and shapes the module promises, the
// values file naming exactly those fields in that order, and every field equal to its value.
template <size_t N>
void expectStructure(const mxArray *result, const expected::Field (&fields)[N],
                     const GoldenValues &values) {
    ASSERT_EQ(expected::structureMismatch(result, fields, 1), "");
    ASSERT_EQ(values.size(), N) << "the values file lists another number of fields";
    for (size_t f = 0; f < N; ++f) {
        const std::string name = fields[f].name;
        ASSERT_EQ(values[f].first, name) << "line " << f + 1 << " of the values file";
        const GoldenValue &value = values[f].second;
        const mxArray *array = mxGetField(result, 0, fields[f].name);
        switch (fields[f].shape) {
        case expected::Shape::Texts:
            ASSERT_TRUE(value.isText) << name;
            EXPECT_EQ(mxhost::textOf(mxGetCell(array, 0)), value.text) << name;
            break;
        case expected::Shape::Text:
            ASSERT_TRUE(value.isText) << name;
            EXPECT_EQ(mxhost::textOf(array), value.text) << name;
            break;
        default:
            expectNumbers(array, value, name);
            break;
        }
    }
}

// A matrix result: the first `Rows` rows equal to the values file's Column[row] values, which
// cover every element of them, and every row after them zero.
template <size_t N>
void expectMatrix(const mxArray *matrix, const char *const (&columns)[N],
                  const GoldenValues &values, size_t allRows) {
    const GoldenValue &rowsValue = valueOf(values, "Rows");
    ASSERT_EQ(rowsValue.numbers.size(), 1u);
    const auto rows = static_cast<size_t>(rowsValue.numbers[0]);
    ASSERT_EQ(expected::matrixMismatch(matrix, allRows != 0 ? allRows : rows, N), "");
    size_t compared = 0;
    for (size_t row = 0; row < rows; ++row) {
        for (size_t column = 0; column < N; ++column) {
            const std::string name =
                std::string(columns[column]) + "[" + std::to_string(row + 1) + "]";
            const GoldenValue &value = valueOf(values, name);
            ASSERT_EQ(value.numbers.size(), 1u) << name;
            EXPECT_TRUE(sameDouble(at(matrix, row, column), value.numbers[0])) << name;
            ++compared;
        }
    }
    size_t listed = 0;
    for (const auto &entry : values) {
        listed += entry.first.find('[') != std::string::npos ? 1 : 0;
    }
    EXPECT_EQ(listed, compared) << "the values file lists elements outside the matrix";
    for (size_t row = rows; row < mxGetM(matrix); ++row) {
        for (size_t column = 0; column < N; ++column) {
            ASSERT_EQ(at(matrix, row, column), 0.0) << "row " << row + 1 << " column " << column;
        }
    }
}

class GoldenRecords : public ModuleTest {
  protected:
    // The call raised nothing and neither printed nor warned.
    static void expectClean(const mxhost::CallResult &result) {
        ASSERT_FALSE(result.raised) << result.message;
        EXPECT_EQ(result.printed, "");
        EXPECT_TRUE(result.warnings.empty());
    }
};

TEST_F(GoldenRecords, QuoteRecord) {
    scripted::answer(DBA_GET_RECORD, 0, goldenBytes("quote.bin", 260));
    auto result = run(inputs(num(2), num(1), num(1), cells({"GOLD"}), cells({""})));
    expectClean(result);
    expectStructure(result.output(), expected::QUOTE_FIELDS, goldenValues("quote.txt"));
}

TEST_F(GoldenRecords, FundamentalsRecord) {
    scripted::answer(DBA_GET_RECORD, 0, goldenBytes("fundamentals.bin", 260));
    auto result = run(inputs(num(6), num(2), num(1), cells({"GOLD"}), cells({""})));
    expectClean(result);
    expectStructure(result.output(), expected::FUNDAMENTALS_FIELDS,
                    goldenValues("fundamentals.txt"));
}

TEST_F(GoldenRecords, VersionRecord) {
    scripted::answer(DBA_GET_VERSION, 0, goldenBytes("version.bin", 260));
    auto result = run(inputs(num(4), num(1)));
    expectClean(result);
    expectStructure(result.output(), expected::VERSION_FIELDS, goldenValues("version.txt"));
}

TEST_F(GoldenRecords, HistoryBlockUnderItsKey) {
    const GoldenValues values = goldenValues("history_block.txt");
    const std::string symbol = valueOf(values, "KeySymbol").text;
    const std::string qualifier = valueOf(values, "KeyQualifier").text;
    // The golden block under the golden key, then a block of another security ends the scan.
    const Delivery golden{2, goldenBytes("history_key.bin", 18),
                          goldenBytes("history_block.bin", 144), 0};
    const Delivery other{
        2, RecordBytes(18).text(2, std::string(16, ' ')).text(2, "ZZZZ").bytes, {}, 0};
    scripted::answer(DBA_WAIT_APPROX, Answer{0, {}, {golden}});
    scripted::answerAlways(DBA_WAIT_APPROX, Answer{0, {}, {other}});
    auto result = run(inputs(num(3), num(1), num(1), cells({symbol}), cells({qualifier})));
    expectClean(result);
    expectMatrix(result.output(), expected::HISTORY_COLUMN_ORDER, values, 0);
}

TEST_F(GoldenRecords, BarBlock) {
    scripted::answer(DBA_GET_RECORD, 0, RecordBytes(256).bytes);
    scripted::answer(DBA_GET_FIRST_BLOCK, 0, goldenBytes("bar_block.bin", 256));
    scripted::answerAlways(DBA_GET_NEXT_BLOCK, Answer{9, {}, {}});
    auto result = run(inputs(num(5), num(1), num(1), cells({"GOLD"}), cells({""})));
    expectClean(result);
    expectMatrix(result.output(), expected::BAR_COLUMN_ORDER, goldenValues("bar_block.txt"),
                 static_cast<size_t>(expected::BAR_ROWS));
}

} // namespace
