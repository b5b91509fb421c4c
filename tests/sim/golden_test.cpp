// The golden record files of tests/golden read with the simulator's decoder (decode.h), the one
// `pcqw32-sim calls` shows recordings with: every field it reads must equal, to the bit, the
// value the module's decoder gives for the same bytes, which the values files hold (their
// format is in tests/golden/README.md). The module's own test reads the same files, so both
// decoders answer to one set of bytes.

#include "decode.h"
#include "sim_test.h"

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <sstream>
#include <vector>

using namespace pcqw32;

namespace {

using Bytes = std::vector<unsigned char>;

// One value of a values file: a text, or numbers.
struct GoldenValue {
    bool isText = false;
    std::string text;
    std::vector<double> numbers;
};

std::string goldenPath(const std::string &file) {
    const char *folder = std::getenv("QUORVEX_GOLDEN_DIR");
    return (folder != nullptr ? std::string(folder) : simtest::nativePath(QUORVEX_GOLDEN_DIR)) +
           "/" + file;
}

GoldenValue parseValue(const std::string &written) {
    GoldenValue value;
    if (!written.empty() && written[0] == '"') {
        value.isText = true;
        value.text = written.substr(1, written.rfind('"') - 1);
        return value;
    }
    std::istringstream words(written);
    std::string word;
    while (words >> word) {
        char *end = nullptr;
        value.numbers.push_back(std::strtod(word.c_str(), &end));
        EXPECT_EQ(*end, '\0') << "not a number: " << word;
    }
    return value;
}

// A quote time as a client computes it from its hours and minutes bytes.
double quoteTime(int32_t hours, int32_t minutes) {
    const double time = hours * (1.0 / 24) + minutes * (1.0 / 1440);
    return time < 0 ? minutes : time;
}

// Loads a golden file and its values; every value must be compared before the test ends, so
// that a field the values file gains is not passed over here.
class GoldenTest : public ::testing::Test {
  protected:
    Bytes load(const std::string &file, std::size_t size, const std::string &valuesFile) {
        std::ifstream in(goldenPath(file), std::ios::binary);
        Bytes bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        EXPECT_EQ(bytes.size(), size) << goldenPath(file);
        bytes.resize(size);
        std::ifstream lines(goldenPath(valuesFile));
        EXPECT_TRUE(lines.good()) << goldenPath(valuesFile);
        std::string line;
        while (std::getline(lines, line)) {
            const std::size_t equals = line.find(" = ");
            if (!line.empty() && line[0] != '#' && equals != std::string::npos) {
                values_[line.substr(0, equals)] = parseValue(line.substr(equals + 3));
            }
        }
        EXPECT_FALSE(values_.empty()) << goldenPath(valuesFile);
        return bytes;
    }

    void TearDown() override {
        for (const auto &entry : values_) {
            EXPECT_TRUE(compared_.count(entry.first)) << entry.first << " is not compared";
        }
    }

    void numbers(const std::string &name, const std::vector<double> &actual) {
        const GoldenValue *expected = find(name);
        if (expected != nullptr) {
            EXPECT_FALSE(expected->isText) << name;
            ASSERT_EQ(actual.size(), expected->numbers.size()) << name;
            for (std::size_t i = 0; i < actual.size(); ++i) {
                EXPECT_EQ(actual[i], expected->numbers[i]) << name;
            }
        }
    }
    void number(const std::string &name, double actual) { numbers(name, {actual}); }
    void text(const std::string &name, const std::string &actual) {
        const GoldenValue *expected = find(name);
        if (expected != nullptr) {
            EXPECT_TRUE(expected->isText) << name;
            EXPECT_EQ(actual, expected->text) << name;
        }
    }
    static std::string row(const char *column, std::size_t index) {
        return std::string(column) + "[" + std::to_string(index + 1) + "]";
    }

  private:
    const GoldenValue *find(const std::string &name) {
        compared_.insert(name);
        const auto found = values_.find(name);
        EXPECT_NE(found, values_.end()) << name << " is not in the values file";
        return found == values_.end() ? nullptr : &found->second;
    }

    std::map<std::string, GoldenValue> values_;
    std::set<std::string> compared_;
};

void dateNumbers(std::vector<double> &out, const FeedDate &date) {
    out = {static_cast<double>(date.year), static_cast<double>(date.month),
           static_cast<double>(date.day)};
}

} // namespace

TEST_F(GoldenTest, QuoteRecord) {
    const Bytes record = load("quote.bin", RECORD_BUFFER_SIZE, "quote.txt");
    const QuoteValues v = decodeQuote(record.data());
    text("Symbol", v.symbol);
    number("PriceType", v.priceType);
    text("PrimaryExchange", v.primaryExchange);
    number("SecCategory", v.secCategory);
    number("Status", v.status);
    number("News", v.news);
    number("ExDividendToday", v.exDividendToday);
    number("SplitToday", v.splitToday);
    const struct {
        const char *name;
        const QuoteGroup &group;
        bool hasTick;
    } groups[] = {{"Last", v.last, true}, {"Open", v.open, true}, {"High", v.high, false},
                  {"Low", v.low, false},  {"Bid", v.bid, true},   {"Ask", v.ask, true}};
    for (const auto &g : groups) {
        const std::string name = g.name;
        number(name + "Price", g.group.price);
        number(name + "Size", static_cast<double>(g.group.size));
        number(name + "PriceTime", quoteTime(g.group.hour, g.group.minute));
        text(name + "Exchange", g.group.exchange);
        if (g.hasTick) {
            number(name + "Tick", g.group.tick);
        }
    }
    number("YesterdayPrice", v.yesterday.price);
    number("YesterdayTick", v.yesterday.tick);
    text("YesterdayExchange", v.yesterday.exchange);
    number("OpenRange", static_cast<double>(v.openRange));
    numbers("CloseRange", {static_cast<double>(v.closeRange1), static_cast<double>(v.closeRange2)});
    number("Volume", static_cast<double>(v.volume));
    number("OpenInterest", static_cast<double>(v.openInterest));
    number("QuoteIndicator", v.quoteIndicator);
    number("TradeIndicator", v.tradeIndicator);
}

TEST_F(GoldenTest, FundamentalsRecord) {
    const Bytes record = load("fundamentals.bin", RECORD_BUFFER_SIZE, "fundamentals.txt");
    const FundamentalsValues v = decodeFundamentals(record.data(), record.size());
    number("LastUpdate", v.lastUpdate);
    text("Name", v.name);
    text("BaseItem", v.baseItem);
    number("EPS", v.eps);
    number("S&PCode", v.spCode);
    number("PriceType", v.priceType);
    number("SecCategory", v.secCategory);
    number("ClosePrice", v.closePrice);
    number("Volume", static_cast<double>(v.volume));
    number("VolumeFlag", v.volumeFlag);
    number("OpenInterest", static_cast<double>(v.openInterest));
    number("HistHigh", v.histHigh);
    number("HistLow", v.histLow);
    number("DivExp", v.divExp);
    number("DivLast", v.divLast);
    number("DivFreq", v.divFreq);
    number("Outstanding", static_cast<double>(v.outstanding));
    number("Beta", v.beta);
    number("ShPerContr", static_cast<double>(v.shPerContr));
    number("StrikePrice", v.strikePrice);
    text("CusipNumber", v.cusip);
    std::vector<double> date;
    dateNumbers(date, v.divDate);
    numbers("DivDate", date);
    dateNumbers(date, v.expDate);
    numbers("ExpDate", date);
    dateNumbers(date, v.matDate);
    numbers("RawMatDate", date);
}

TEST_F(GoldenTest, VersionRecord) {
    const Bytes record = load("version.bin", RECORD_BUFFER_SIZE, "version.txt");
    const VersionValues v = decodeVersion(record.data(), record.size());
    number("majorversion", v.major);
    number("minorversion", v.minor);
    text("release", v.release);
    text("serialnumber", v.serial);
}

TEST_F(GoldenTest, HistoryBlockAndItsKey) {
    const Bytes block = load("history_block.bin", HISTORY_BLOCK_SIZE, "history_block.txt");
    std::ifstream in(goldenPath("history_key.bin"), std::ios::binary);
    Bytes key((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_EQ(key.size(), SECURITY_KEY_SIZE);
    text("KeySymbol", keySymbol(key.data()));
    text("KeyQualifier", keyQualifier(key.data()));
    const std::vector<HistoryRow> rows = decodeHistoryBlock(block.data());
    number("Rows", static_cast<double>(rows.size()));
    // A client scales the whole block by the price type of its record 0 (the last row), where
    // the simulator's decoder scales each record by its own; the two agree on every block the
    // simulator writes, which keeps one price type per block. Compared here is the price a
    // client computes from the integer the decoder read.
    const double blockDivisor = priceTypeDivisor(rows.back().priceType);
    for (std::size_t k = 0; k < rows.size(); ++k) {
        const HistoryRow &r = rows[k];
        number(row("Day", k), r.day);
        number(row("Price", k),
               std::nearbyint(r.price * priceTypeDivisor(r.priceType)) / blockDivisor);
        number(row("Size", k), static_cast<double>(r.size));
        number(row("Hour", k), r.hour);
        number(row("Minute", k), r.minute);
        number(row("Second", k), r.second);
        number(row("Condition", k), r.condition);
    }
}

TEST_F(GoldenTest, BarBlock) {
    const Bytes block = load("bar_block.bin", BAR_BLOCK_SIZE, "bar_block.txt");
    const std::vector<BarRow> rows = decodeBarBlock(block.data());
    number("Rows", static_cast<double>(rows.size()));
    for (std::size_t k = 0; k < rows.size(); ++k) {
        const BarRow &b = rows[k];
        number(row("Stamp", k), static_cast<double>(b.stamp));
        number(row("Open", k), b.open);
        number(row("High", k), b.high);
        number(row("Low", k), b.low);
        number(row("Close", k), b.close);
        number(row("Volume", k), static_cast<double>(b.volume));
    }
}
