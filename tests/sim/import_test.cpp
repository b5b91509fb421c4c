// CSV import and the sample stores, read back through dbax.

#include "recording.h"
#include "sim_test.h"

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

using namespace simtest;
using pcqw32::StoreWriter;

namespace {

class ImportTest : public SimTest {
  protected:
    std::string writeCsv(const char *name, const std::string &text) {
        const std::string path = folder + "/" + name;
        std::ofstream(path, std::ios::binary) << text;
        return path;
    }
    // Imports `text` as file `name`; the warnings land in `warnings`.
    int64_t import(const char *kind, const char *name, const std::string &text, int32_t db = 1) {
        return pcqw32::importCsv(folder, db, kind, writeCsv(name, text), warnings);
    }
    // The message of a failed import, or "" when it succeeded.
    std::string importError(const char *kind, const char *name, const std::string &text) {
        try {
            import(kind, name, text);
        } catch (const std::runtime_error &e) {
            return e.what();
        }
        return "";
    }
    // The message of a refused generation, or "" when it wrote the sample.
    std::string generateError(bool force) {
        std::vector<std::string> log;
        try {
            pcqw32::generateSample(folder, log, force);
        } catch (const std::runtime_error &e) {
            return e.what();
        }
        return "";
    }
    std::string db(int32_t n) const { return pcqw32::databasePath(folder, n); }
    // A store as the generator's look at its folder names it: the folder and the file name
    // joined by the platform's separator.
    std::string listed(int32_t n) const {
        return (std::filesystem::path(folder) / ("db" + std::to_string(n) + ".sqlite")).string();
    }
    std::vector<std::string> warnings;
};

std::string contents(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

} // namespace

TEST_F(ImportTest, ImportedQuotesAreServed) {
    EXPECT_EQ(import("quotes", "q.csv",
                     "symbol,qualifier,category,price_type,last_price,"
                     "last_exchange,last_tick,volume,symbol_text\r\n"
                     "IBM,,equity,12,123.45,N,-1,3000000000,\"IBM, Inc\"\r\n"
                     "AAPL-C190,2406,option,0,1.5,,1,7,\r\n"),
              2);
    EXPECT_TRUE(warnings.empty());
    ASSERT_EQ(attach(), 0);
    unsigned char rec[260];
    ASSERT_EQ(dbax(&cb, DBA_GET_RECORD, Key("IBM", "").bytes, rec, 0), 0);
    const Reader r{rec};
    EXPECT_EQ(r.text(2, 20), "IBM, Inc");
    EXPECT_EQ(r.s32(44) / divisor(r.s16(24)), 123.45);
    EXPECT_EQ(r.text(52, 2), "N");
    EXPECT_EQ(r.tick(28, 15), -1);
    EXPECT_EQ(r.u32(156), 3000000000u);
    ASSERT_EQ(dbax(&cb, DBA_GET_RECORD, Key("AAPL-C190", "2406").bytes, rec, 0), 0);
    EXPECT_EQ(r.text(2, 20), "AAPL-C190");
    EXPECT_EQ(r.s32(44), 384);
    // A store the importer made answers the version read.
    ASSERT_EQ(dbax(&cb, DBA_GET_VERSION, nullptr, rec, 0), 0);
    EXPECT_EQ(r.s16(0), 1);
}

// Quoted fields may hold commas, doubled quotes and line breaks; blanks around fields go,
// blanks inside quotes stay; a byte-order mark and blank lines are skipped.
TEST_F(ImportTest, ReadsCsvAsRfc4180WritesIt) {
    EXPECT_EQ(import("cant", "c.csv",
                     "\xEF\xBB\xBFsymbol,value,text\r\n"
                     "KO,-5,\"hold, \"\"firm\"\"\r\nuntil Friday\"\r\n"
                     "\r\n"
                     "  PEP , 7 ,  \"  spaced  \"  \r\n"
                     "GE,1,\"\""), // no line end after the last record
              3);
    ASSERT_EQ(attach(), 0);
    auto cant = [&](const char *symbol, int32_t &value) {
        unsigned char key[25], rec[260];
        std::memcpy(key, Key(symbol, "").bytes, 18);
        std::memcpy(key + 21, "CANT", 4);
        EXPECT_EQ(dbax(&cb, DBA_GET_RECORD_EXT, key, rec, 0), 0) << symbol;
        value = Reader{rec}.s32(22);
        return Reader{rec}.text(26, 230);
    };
    int32_t value = 0;
    EXPECT_EQ(cant("KO", value), "hold, \"firm\"\r\nuntil Friday");
    EXPECT_EQ(value, -5);
    EXPECT_EQ(cant("PEP", value), "  spaced  ");
    EXPECT_EQ(value, 7);
    EXPECT_EQ(cant("GE", value), "");
}

// Every failure names the line its record starts on, counting the lines inside quotes, and
// leaves the store as it was.
TEST_F(ImportTest, FailuresNameTheLineAndImportNothing) {
    const std::string header = "symbol,value,text\n";
    EXPECT_TRUE(holds(importError("cant", "a.csv", "symbol,valeu\n"), "a.csv:1: unknown column"));
    EXPECT_TRUE(holds(importError("cant", "b.csv", "symbol,value,value\nKO,1,2\n"),
                      "b.csv:1: column \"value\" appears twice"));
    EXPECT_TRUE(holds(importError("cant", "c.csv", "value,text\n1,x\n"),
                      "c.csv:1: the header names no symbol column"));
    // The mark is dropped once; a second one belongs to the first column's name.
    EXPECT_TRUE(holds(importError("cant", "d.csv", "\xEF\xBB\xBF\xEF\xBB\xBFsymbol,value\nKO,1\n"),
                      "d.csv:1: unknown column"));
    EXPECT_TRUE(holds(importError("cant", "e.csv", header + "KO,1,\"two\nlines\"\nGE,x,y\n"),
                      "e.csv:4: value: \"x\" is not an integer"));
    EXPECT_TRUE(holds(importError("cant", "f.csv", header + "KO,1,a\n\nGE,2,\"open\n\n"),
                      "f.csv:4: a quoted field opened here is never closed"));
    EXPECT_TRUE(holds(importError("cant", "g.csv", header + "KO,1,\"a\"b\n"),
                      "g.csv:2: text after the closing quote"));
    EXPECT_TRUE(holds(importError("cant", "h.csv", header + "KO,1,a\"b\n"),
                      "h.csv:2: a double quote inside a field"));
    EXPECT_TRUE(holds(importError("cant", "i.csv", header + "KO,1\n"),
                      "i.csv:2: 2 fields, the header has 3"));
    EXPECT_TRUE(holds(importError("quotes", "j.csv",
                                  "symbol,price_type,last_price\n"
                                  "IBM,12,1.5\nGE,12,abc\n"),
                      "j.csv:3: last_price"));
    EXPECT_TRUE(holds(importError("version", "k.csv", "major,minor\n1,2\n3,4\n"),
                      "k.csv:3: a version file holds one row"));
    // A client sends at most 11 symbol characters.
    EXPECT_TRUE(holds(importError("cant", "l.csv", header + "KO,1,a\nABCDEFGHIJKL,2,b\n"),
                      "l.csv:3: security \"ABCDEFGHIJKL\"/\"\": the symbol takes 1 to 11"));
    ASSERT_EQ(attach(), 0);
    unsigned char rec[260];
    EXPECT_EQ(dbax(&cb, DBA_GET_RECORD, Key("IBM", "").bytes, rec, 0), PCQW32_KEY_NOT_FOUND);
    ASSERT_EQ(dbax(&cb, DBA_GET_VERSION, nullptr, rec, 0), 0);
    EXPECT_EQ(Reader{rec}.s16(2), 0); // not the 2 of the refused version file

    // One store serves one record kind.
    const std::string fundamentals = "symbol,name\nIBM,International\n";
    import("quotes", "ok.csv", "symbol,last_price\nIBM,1\n");
    EXPECT_TRUE(holds(importError("fundamentals", "f.csv", fundamentals), "already serves"));
    EXPECT_EQ(import("fundamentals", "f.csv", fundamentals, 2), 1);
    EXPECT_EQ(import("securities", "s.csv", "symbol\nABCDEFGHIJK\n"), 1);
}

// Values a record could carry but no calendar or clock has, and NUL bytes, which would cut a
// text short: each fails the import with the file, the line and the column. The edges of each
// range are imported.
TEST_F(ImportTest, RefusesImpossibleDatesTimesAndNulBytes) {
    const std::string date = "symbol,div_date\n";
    EXPECT_TRUE(holds(importError("fundamentals", "d1.csv", date + "KO,2024-13-45\n"),
                      "d1.csv:2: div_date: \"2024-13-45\" is not a day of the calendar"));
    EXPECT_TRUE(holds(importError("fundamentals", "d2.csv", date + "KO,2023-02-29\n"),
                      "d2.csv:2: div_date"));
    EXPECT_TRUE(holds(importError("fundamentals", "d3.csv", date + "KO,2024-04-31\n"),
                      "d3.csv:2: div_date"));
    EXPECT_TRUE(holds(importError("fundamentals", "d4.csv", "symbol,mat_date\nKO,2100-02-29\n"),
                      "d4.csv:2: mat_date"));
    EXPECT_TRUE(holds(importError("fundamentals", "d5.csv", date + "KO,2024-00-10\n"),
                      "d5.csv:2: div_date"));

    const std::string time = "symbol,hour,minute,second\n";
    EXPECT_TRUE(holds(importError("history", "h1.csv", time + "XYZ,25,0,0\n"),
                      "h1.csv:2: hour: 25 is outside 0..23"));
    EXPECT_TRUE(holds(importError("history", "h2.csv", time + "XYZ,0,60,0\n"),
                      "h2.csv:2: minute: 60 is outside 0..59"));
    EXPECT_TRUE(holds(importError("history", "h3.csv", time + "XYZ,0,0,61\n"),
                      "h3.csv:2: second: 61 is outside 0..60"));
    EXPECT_TRUE(holds(importError("history", "h4.csv", time + "XYZ,-1,0,0\n"),
                      "h4.csv:2: hour: -1 is outside 0..23"));
    const std::string quote = "symbol,last_hour,bid_minute\n";
    EXPECT_TRUE(holds(importError("quotes", "q1.csv", quote + "IBM,24,0\n"),
                      "q1.csv:2: last_hour: 24 is outside -1..23 (-1: no time)"));
    EXPECT_TRUE(
        holds(importError("quotes", "q2.csv", quote + "IBM,-2,0\n"), "q2.csv:2: last_hour: -2"));
    EXPECT_TRUE(holds(importError("quotes", "q3.csv", quote + "IBM,0,60\n"),
                      "q3.csv:2: bid_minute: 60 is outside -1..59"));

    const std::string nul(1, '\0');
    EXPECT_TRUE(holds(importError("cant", "n1.csv", "symbol,value,text\nKO,1,a" + nul + "b\n"),
                      "n1.csv:2: text: the cell holds a NUL byte"));
    EXPECT_TRUE(holds(importError("cant", "n2.csv", "symbol,value\nKO,1" + nul + "2\n"),
                      "n2.csv:2: value: the cell holds a NUL byte"));

    EXPECT_EQ(import("fundamentals", "d.csv", date + "KO,2024-02-29\nPEP,2000-02-29\nGE,\n", 2), 3);
    EXPECT_EQ(import("history", "h.csv", time + "XYZ,23,59,60\nXYZ,0,0,0\n"), 2);
    EXPECT_EQ(import("quotes", "q.csv", quote + "IBM,-1,-1\nGE,23,59\n"), 2);
}

TEST_F(ImportTest, ImportedHistoryAndBarsAreServed) {
    std::string history = "symbol,day,price,size,hour,minute,second,condition,price_type\n";
    for (int i = 0; i < 10; ++i) {
        history +=
            "XYZ,3," + std::to_string(10 + i) + ".5,100,10," + std::to_string(i) + ",0,1,11\n";
    }
    import("history", "h.csv", history);
    ASSERT_EQ(warnings.size(), 2u);
    EXPECT_TRUE(holds(warnings[0], "XYZ/ has 10 rows")); // the last block is completed with zeros
    EXPECT_TRUE(holds(warnings[1], "h.csv: 1 security of this import has no quote, the record "
                                   "this quote store serves: XYZ/; a client reads its history"));
    warnings.clear();
    import("bars", "b.csv",
           "symbol,price_type,stamp,open,high,low,close,volume\n"
           "XYZ,12,1704205800,1.25,1.5,1,1.25,-7\n");
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_TRUE(holds(warnings[0], "b.csv: 1 security of this import has no quote"));
    EXPECT_TRUE(holds(warnings[0], "no client can read its bars"));
    ASSERT_EQ(attach(), 0);
    const ScanResult s = runScan(cb, "XYZ");
    ASSERT_EQ(s.rows.size(), 16u);
    EXPECT_EQ(s.rows[9][1], 19.5);
    EXPECT_EQ(s.rows[9][4], 9.0);
    unsigned char record[256];
    ASSERT_EQ(dbax(&cb, DBA_GET_RECORD, Key("XYZ", "", ' ').bytes, record, 0),
              PCQW32_KEY_NOT_FOUND); // no quote, so no security record
}

TEST_F(ImportTest, WarnsOfPricesOffTheirGridAndOnlyAboutItsOwnRows) {
    import("quotes", "q.csv",
           "symbol,price_type,last_price,bid_price\n"
           "IBM,12,123.45,123.4\n"
           "GE,0,10.3,10.25\n"
           "KO,1,-2.015625,1e-9\n");
    ASSERT_EQ(warnings.size(), 2u);
    EXPECT_TRUE(holds(warnings[0], "q.csv:3: last_price 10.3 is off the grid of price type 0 "
                                   "(steps of 0.00390625); a client reads 10.30078125"));
    EXPECT_TRUE(holds(warnings[1], "q.csv:4: bid_price 1e-9"));
    warnings.clear();

    std::string many = "symbol,price_type,stamp,open,high,low,close,volume\n";
    for (int i = 0; i < 30; ++i) {
        many += "GE,11,1,1.25,1,1,1,1\n"; // code 11 steps by 0.1
    }
    import("bars", "b.csv", many);
    ASSERT_EQ(warnings.size(), 21u);
    EXPECT_TRUE(holds(warnings.back(), "10 more prices off the grid"));
    warnings.clear();

    // A history left on a partial block warns once, not again on the next import.
    import("history", "h1.csv", "symbol,price,price_type\nIBM,1,0\n");
    EXPECT_EQ(warnings.size(), 1u);
    warnings.clear();
    import("history", "h2.csv", "symbol,price,price_type\nGE,1,0\n");
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_TRUE(holds(warnings[0], "GE/"));
}

// Data of securities without the record the store serves is imported, with one warning that
// names the first few of them, counts the rest and leaves out those that have the record.
TEST_F(ImportTest, WarnsOfSecuritiesWithoutTheStoresRecord) {
    import("quotes", "q.csv", "symbol\nHAS\n");
    EXPECT_EQ(import("cant", "c.csv",
                     "symbol,qualifier,value\nA,,1\nB,,1\nHAS,,1\nC,,1\nD,,1\nE,,1\nF,X,1\n"),
              7);
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_TRUE(holds(warnings[0], "c.csv: 6 securities of this import have no quote, the record "
                                   "this quote store serves: A/, B/, C/, D/, E/ and 1 more; a "
                                   "client reads their CANT records but no quote and no bars"));
    warnings.clear();
    import("fundamentals", "f.csv", "symbol,name\nKO,Coca-Cola\n", 2);
    import("cant", "c2.csv", "symbol,value\nKO,1\nPEP,2\n", 2);
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_TRUE(holds(warnings[0], "has no fundamentals, the record this fundamentals store "
                                   "serves: PEP/;"));
}

TEST_F(ImportTest, SampleStoresServeEveryRequestKind) {
    std::vector<std::string> log;
    pcqw32::generateSample(folder, log);
    ASSERT_EQ(attach(1), 0);
    unsigned char rec[260];
    // The 75,000-bar series: 9,375 full blocks, then the end.
    ASSERT_EQ(dbax(&cb, DBA_GET_RECORD, Key("$SPX", "", ' ').bytes, rec, 0), 0);
    unsigned char block[260];
    int32_t st = dbax(&cb, DBA_GET_FIRST_BLOCK, rec, block, 0);
    int blocks = 0;
    while (st == 0) {
        ++blocks;
        st = dbax(&cb, DBA_GET_NEXT_BLOCK, rec, block, 0);
    }
    EXPECT_EQ(blocks, 9375);
    // The largest history ends at the key change, not at the end of the data.
    const ScanResult s = runScan(cb, "MSFT");
    EXPECT_EQ(s.rows.size(), 120000u);
    EXPECT_EQ(s.deliveries.back().status, 0);
    EXPECT_NE(s.deliveries.back().symbol.substr(0, 3), "MSF");
    ASSERT_EQ(detach(), 0);

    ASSERT_EQ(attach(2), 0);
    ASSERT_EQ(dbax(&cb, DBA_GET_RECORD, Key("AAPL", "").bytes, rec, 0), 0);
    EXPECT_EQ(Reader{rec}.text(128, 48), "Apple Inc");
    ASSERT_EQ(dbax(&cb, DBA_GET_VERSION, nullptr, rec, 0), 0);
    EXPECT_EQ(Reader{rec}.text(4, 2), "b");
    ASSERT_EQ(detach(), 0);
    EXPECT_EQ(pcqw32_open_attachments(), 0);
}

// The generator replaces its own untouched samples freely, a sample imported into only with
// --force, and afterwards the folder holds untouched samples again.
TEST_F(ImportTest, GenerateReplacesImportedSamplesOnlyWithForce) {
    ASSERT_EQ(generateError(false), "");
    import("quotes", "q.csv", "symbol,last_price\nNEW,1\n");
    const std::string before = contents(db(1));
    const std::string refused = generateError(false);
    EXPECT_TRUE(holds(refused, listed(1) + " is a sample into which data has since been imported"));
    EXPECT_TRUE(holds(refused, "Nothing was written; choose another folder"));
    EXPECT_TRUE(holds(refused, "pcqw32-sim generate --force " + folder));
    EXPECT_EQ(contents(db(1)), before);

    ASSERT_EQ(generateError(true), "");
    ASSERT_EQ(attach(), 0);
    unsigned char rec[260];
    EXPECT_EQ(dbax(&cb, DBA_GET_RECORD, Key("NEW", "").bytes, rec, 0), PCQW32_KEY_NOT_FOUND);
    EXPECT_EQ(dbax(&cb, DBA_GET_RECORD, Key("IBM", "").bytes, rec, 0), 0);
    ASSERT_EQ(detach(), 0);
    EXPECT_EQ(generateError(false), "");
}

// A store the generator did not write as a sample, or whose log may hold unwritten calls,
// keeps it out of the folder even with --force, and nothing is written.
TEST_F(ImportTest, GenerateNeverWritesBesideOtherStores) {
    auto refusal = [&](const std::string &why) {
        for (bool force : {false, true}) {
            const std::string message = generateError(force);
            EXPECT_TRUE(holds(message, why)) << force;
            EXPECT_TRUE(holds(message, "not even with --force. Nothing was written")) << force;
        }
        EXPECT_FALSE(std::filesystem::exists(db(1)));
        EXPECT_FALSE(std::filesystem::exists(db(2)));
    };
    import("quotes", "q.csv", "symbol,last_price\nIBM,1\n", 7);
    refusal(listed(7) + " was not written by pcqw32-sim generate");
    std::filesystem::remove(db(7));

    // A recording survives an import into its store, and keeps the generator away.
    std::string why;
    {
        auto store = pcqw32::RecordingStore::openForRecording(db(3), why);
        ASSERT_TRUE(store) << why;
        pcqw32::RecordingInfo info;
        info.started = "2024-01-02 15:30:00";
        info.target = "/vendor/libPCQW32.so";
        info.mode = "all";
        ASSERT_NE(store->startRecording(info), 0) << store->error();
    }
    import("quotes", "q3.csv", "symbol,last_price\nIBM,1\n", 3);
    auto store = pcqw32::RecordingStore::openForReplay(db(3), why);
    ASSERT_TRUE(store) << why;
    std::vector<pcqw32::RecordingInfo> recordings;
    ASSERT_TRUE(store->recordings(recordings));
    ASSERT_EQ(recordings.size(), 1u);
    EXPECT_EQ(recordings[0].target, "/vendor/libPCQW32.so");
    store.reset();
    const std::string recording = contents(db(3));
    refusal(listed(3) + " holds a recording");
    EXPECT_EQ(contents(db(3)), recording);
    std::filesystem::remove(db(3));

    std::ofstream(db(5) + "-wal") << "log";
    refusal(listed(5) + "-wal lies beside " + listed(5));
    std::filesystem::remove(db(5) + "-wal");

    // Recording into a sample takes its mark away.
    {
        StoreWriter w(folder, 4, false);
        w.setSetting(pcqw32::SAMPLE_SETTING, pcqw32::SAMPLE_UNTOUCHED);
    }
    ASSERT_TRUE(pcqw32::RecordingStore::openForRecording(db(4), why)) << why;
    EXPECT_EQ(StoreWriter(folder, 4, false)
                  .queryInt("SELECT COUNT(*) FROM settings WHERE name = 'sample'"),
              0);
    refusal(listed(4) + " holds a recording");
    std::filesystem::remove(db(4));

    // A sample of an earlier generator carries no mark: it goes with --force only.
    {
        StoreWriter w(folder, 1, false);
        pcqw32::VersionValues v;
        v.major = 4;
        v.minor = 12;
        v.serial = "SIM-00417-2024";
        w.setVersion(v);
    }
    const std::string earlier = generateError(false);
    EXPECT_TRUE(holds(earlier, listed(1) + " looks like a sample of an earlier pcqw32-sim"));
    EXPECT_TRUE(holds(earlier, "pcqw32-sim generate --force"));
}
