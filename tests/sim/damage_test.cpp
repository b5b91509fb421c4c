// Stores that SQLite cannot read: pages overwritten in the middle of a table. A damaged store
// is not the end of its data: every read that meets the damage fails with status 17, the scan
// with a failed delivery, and the recording's reader likewise.

#include "recording.h"
#include "sim_test.h"

#include <sqlite3.h>

#include <cstring>
#include <filesystem>
#include <fstream>

using namespace simtest;
using pcqw32::StoreWriter;

namespace {

// SQLite's message for a damaged file, which the errors must pass on.
const std::string MALFORMED = sqlite3_errstr(SQLITE_CORRUPT);

// The page size from the file's header: bytes 16 and 17, big-endian, 1 standing for 65536.
int64_t pageSize(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    unsigned char header[18] = {};
    in.read(reinterpret_cast<char *>(header), sizeof header);
    const int64_t size = header[16] << 8 | header[17];
    return size == 1 ? 65536 : size;
}

int64_t pages(const std::string &path) {
    return static_cast<int64_t>(std::filesystem::file_size(path)) / pageSize(path);
}

// Overwrites page `page` (numbered from 1, as SQLite numbers them) with bytes that begin no
// kind of page, so SQLite finds it damaged whenever it reads it.
void overwritePage(const std::string &path, int64_t page) {
    const int64_t size = pageSize(path);
    std::fstream file(path, std::ios::binary | std::ios::in | std::ios::out);
    file.seekp((page - 1) * size);
    const std::string garbage(static_cast<std::size_t>(size), '\xFF');
    file.write(garbage.data(), static_cast<std::streamsize>(size));
    ASSERT_TRUE(file.good()) << path;
}

// Overwrites the middle third of the pages after `before` up to `after`: the pages a phase of
// writing added, where their first and last rows stay readable.
void damageMiddle(const std::string &path, int64_t before, int64_t after) {
    const int64_t third = (after - before) / 3;
    ASSERT_GT(third, 1) << "the phase wrote too few pages to damage its middle";
    for (int64_t page = before + third + 1; page <= before + 2 * third; ++page) {
        overwritePage(path, page);
    }
}

int64_t rootPage(const std::string &path, const char *table) {
    sqlite3 *db = nullptr;
    sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_stmt *st = nullptr;
    sqlite3_prepare_v2(db, "SELECT rootpage FROM sqlite_master WHERE name = ?1", -1, &st, nullptr);
    sqlite3_bind_text(st, 1, table, -1, SQLITE_STATIC);
    const int64_t page = sqlite3_step(st) == SQLITE_ROW ? sqlite3_column_int64(st, 0) : 0;
    sqlite3_finalize(st);
    sqlite3_close(db);
    return page;
}

// Row i has price and size i, so a client's rows show which rows came through.
std::vector<pcqw32::HistoryRow> prints(int n) {
    std::vector<pcqw32::HistoryRow> rows(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i) {
        pcqw32::HistoryRow &r = rows[static_cast<std::size_t>(i)];
        r.day = 1 + i % 28;
        r.price = i;
        r.size = i;
        r.priceType = 2;
    }
    return rows;
}

std::vector<pcqw32::BarRow> bars(int n) {
    std::vector<pcqw32::BarRow> rows(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i) {
        pcqw32::BarRow &b = rows[static_cast<std::size_t>(i)];
        b.priceType = 2;
        b.stamp = 1704205800 + 60LL * i;
        b.open = b.high = b.low = b.close = i;
        b.volume = i;
    }
    return rows;
}

// What the scan callback saw last, for deliveries made outside runScan.
struct Noted {
    int32_t event = 0, status = 0;
    int count = 0;
} noted;

int32_t DBA_CALLBACK_CALL note(int32_t, int32_t event, const void *, const void *, int32_t,
                               int32_t status, void *) {
    noted.event = event;
    noted.status = status;
    ++noted.count;
    return 1;
}

class DamageTest : public SimTest {
  protected:
    // Database 1: AAA with a quote, 4,000 history rows and 4,000 bars, then ZZZ with history
    // of its own. Each series is written on its own, so its pages lie together in the file,
    // and the middle of AAA's history and of its bars is overwritten.
    void writeDamagedSeries() {
        path = pcqw32::databasePath(folder, 1);
        int64_t aaa = 0, zzz = 0;
        {
            StoreWriter w(folder, 1, true);
            pcqw32::QuoteValues q;
            q.priceType = 2;
            aaa = w.addSecurity("AAA", "");
            w.putQuote(aaa, q);
            zzz = w.addSecurity("ZZZ", "");
            w.putQuote(zzz, q);
        }
        auto phase = [&](auto write) {
            StoreWriter w(folder, 1, false);
            w.begin();
            write(w);
            w.commit();
            return pages(path);
        };
        const int64_t start = pages(path);
        const int64_t afterHistory =
            phase([&](StoreWriter &w) { w.appendHistory(aaa, prints(ROWS)); });
        const int64_t afterBars = phase([&](StoreWriter &w) { w.appendBars(aaa, bars(ROWS)); });
        phase([&](StoreWriter &w) { w.appendHistory(zzz, prints(16)); });
        damageMiddle(path, start, afterHistory);
        damageMiddle(path, afterHistory, afterBars);
    }
    static constexpr int ROWS = 4000;
    std::string path;
};

} // namespace

TEST_F(DamageTest, HistoryScanEndsWithAFailedDeliveryNotAShortHistory) {
    writeDamagedSeries();
    ASSERT_EQ(attach(), 0);
    const ScanResult s = runScan(cb, "AAA");
    ASSERT_EQ(s.approxStatus, 0);
    ASSERT_FALSE(s.deliveries.empty());
    const Delivery &last = s.deliveries.back();
    EXPECT_EQ(last.status, PCQW32_STORE_UNREADABLE);
    EXPECT_EQ(last.event, SCAN_EVENT_BLOCK); // a failed delivery, not the end of the data
    EXPECT_EQ(last.symbol, "AAA");
    for (std::size_t i = 0; i + 1 < s.deliveries.size(); ++i) {
        EXPECT_EQ(s.deliveries[i].status, 0) << i;
        EXPECT_EQ(s.deliveries[i].symbol, "AAA") << i;
    }
    // The rows before the damage came through, in order, and no more.
    ASSERT_GT(s.rows.size(), 0u);
    EXPECT_LT(s.rows.size(), static_cast<std::size_t>(ROWS));
    for (std::size_t i = 0; i < s.rows.size(); ++i) {
        ASSERT_EQ(s.rows[i][2], static_cast<double>(i));
    }
    EXPECT_TRUE(holds(lastError(), path));
    EXPECT_TRUE(holds(lastError(), MALFORMED));

    // Asked again, the scan fails again rather than starting the history over.
    HistoryScanBlock sb{};
    sb.callback = note;
    sb.mode = 4;
    unsigned char next[24] = {};
    noted = Noted{};
    ASSERT_EQ(dbax(&cb, DBA_GET_APPROX, next, &sb, 0), 0);
    ASSERT_EQ(dbax(&cb, DBA_WAIT_APPROX, nullptr, &sb, -1), 0);
    EXPECT_EQ(noted.count, 1);
    EXPECT_EQ(noted.status, PCQW32_STORE_UNREADABLE);
    EXPECT_EQ(noted.event, SCAN_EVENT_BLOCK);
}

TEST_F(DamageTest, BarReadEndsWithTheStatusNotTheEndOfData) {
    writeDamagedSeries();
    ASSERT_EQ(attach(), 0);
    unsigned char record[256], block[260];
    ASSERT_EQ(dbax(&cb, DBA_GET_RECORD, Key("AAA", "", ' ').bytes, record, 0), 0);
    int blocks = 0;
    int32_t st = dbax(&cb, DBA_GET_FIRST_BLOCK, record, block, 0);
    while (st == 0) {
        ++blocks;
        st = dbax(&cb, DBA_GET_NEXT_BLOCK, record, block, 0);
    }
    EXPECT_EQ(st, PCQW32_STORE_UNREADABLE);
    EXPECT_GT(blocks, 0);
    EXPECT_LT(blocks, ROWS / 8);
    EXPECT_TRUE(holds(lastError(), path));
    // The read stays failed: neither the end of the data nor the first bars again.
    EXPECT_EQ(dbax(&cb, DBA_GET_NEXT_BLOCK, record, block, 0), PCQW32_STORE_UNREADABLE);
}

// A record whose table cannot be read is a failure, not an absent record; a security that is
// not there is still status 4.
TEST_F(DamageTest, LookupsReportTheStatus) {
    {
        StoreWriter w(folder, 2, true);
        const int64_t id = w.addSecurity("AAA", "");
        w.putQuote(id, pcqw32::QuoteValues{});
        pcqw32::CantValues c;
        c.text = "x";
        w.putCant(id, c);
        w.setVersion(pcqw32::VersionValues{});
        w.appendHistory(id, prints(8));
        StoreWriter(folder, 3, true).addSecurity("AAA", "");
    }
    const std::string store = pcqw32::databasePath(folder, 2);
    for (const char *table : {"quotes", "cant_records", "version", "history"}) {
        overwritePage(store, rootPage(store, table));
    }
    ASSERT_EQ(attach(2), 0);
    unsigned char rec[260];
    EXPECT_EQ(dbax(&cb, DBA_GET_RECORD, Key("AAA", "").bytes, rec, 0), PCQW32_STORE_UNREADABLE);
    EXPECT_TRUE(holds(lastError(), store));
    EXPECT_TRUE(holds(lastError(), MALFORMED));
    EXPECT_EQ(dbax(&cb, DBA_GET_RECORD, Key("NOPE", "").bytes, rec, 0), PCQW32_KEY_NOT_FOUND);
    Key cant("AAA", "", ' ');
    std::memcpy(cant.bytes + 21, "CANT", 4);
    EXPECT_EQ(dbax(&cb, DBA_GET_RECORD_EXT, cant.bytes, rec, 0), PCQW32_STORE_UNREADABLE);
    EXPECT_EQ(dbax(&cb, DBA_GET_VERSION, nullptr, rec, 0), PCQW32_STORE_UNREADABLE);
    EXPECT_EQ(runScan(cb, "AAA").approxStatus, PCQW32_STORE_UNREADABLE);
    ASSERT_EQ(detach(), 0);

    // The settings are read at the attach.
    const std::string third = pcqw32::databasePath(folder, 3);
    overwritePage(third, rootPage(third, "settings"));
    EXPECT_EQ(attach(3), PCQW32_STORE_UNREADABLE);
    EXPECT_TRUE(holds(lastError(), third));
}

// A damaged recording answers what it can still read and fails the rest with status 17:
// never status 15, which would claim that the call was not recorded.
TEST_F(DamageTest, DamagedRecordingIsNotAMissingAnswer) {
    const std::string store = pcqw32::databasePath(folder, 1);
    std::string why;
    int64_t recording = 0;
    {
        auto r = pcqw32::RecordingStore::openForRecording(store, why);
        ASSERT_TRUE(r) << why;
        pcqw32::RecordingInfo info;
        info.started = "2024-01-02 15:30:00";
        info.target = "/vendor/libPCQW32.so";
        info.mode = "all";
        recording = r->startRecording(info);
        pcqw32::RecordedCall attachCall;
        attachCall.recording = recording;
        attachCall.session = 1;
        attachCall.operation = DBA_ATTACH;
        attachCall.parameter = 1;
        attachCall.request = pcqw32::requestBytes(false, 1, false, 0, {});
        ASSERT_TRUE(r->append(attachCall, true)) << r->error();
    }
    const int64_t before = pages(store);
    // Every recorded quote carries a marker, so the pages of the call table (and not those of
    // its index, which only holds the keys) can be told apart.
    const std::string marker = "RECORDED QUOTE ";
    const int CALLS = 300;
    auto keyOf = [](int i) { return Key("S" + std::to_string(i), "", ' '); };
    {
        auto r = pcqw32::RecordingStore::openForRecording(store, why);
        ASSERT_TRUE(r) << why;
        for (int i = 0; i < CALLS; ++i) {
            pcqw32::RecordedCall c;
            c.recording = recording;
            c.session = 1;
            c.operation = DBA_GET_RECORD;
            c.attached = true;
            const Key key = keyOf(i);
            c.key.assign(key.bytes, key.bytes + 18);
            c.request = pcqw32::requestBytes(true, 0, false, 0, c.key);
            c.record.assign(256, static_cast<unsigned char>(i));
            std::memcpy(c.record.data(), marker.data(), marker.size());
            ASSERT_TRUE(r->append(c, true)) << r->error();
        }
    }
    const int64_t after = pages(store);
    std::vector<int64_t> callPages;
    {
        std::ifstream in(store, std::ios::binary);
        const int64_t size = pageSize(store);
        std::string page(static_cast<std::size_t>(size), '\0');
        for (int64_t p = before + 1; p <= after; ++p) {
            in.seekg((p - 1) * size);
            in.read(&page[0], static_cast<std::streamsize>(size));
            if (page.find(marker) != std::string::npos) {
                callPages.push_back(p);
            }
        }
    }
    ASSERT_GT(callPages.size(), 6u);
    for (std::size_t i = callPages.size() / 3; i < 2 * callPages.size() / 3; ++i) {
        overwritePage(store, callPages[i]);
    }

    auto r = pcqw32::RecordingStore::openForReplay(store, why);
    ASSERT_TRUE(r) << why;
    EXPECT_FALSE(r->forEachCall(0, [](const pcqw32::RecordedCall &) {}));
    EXPECT_TRUE(holds(r->error(), store));
    EXPECT_TRUE(holds(r->error(), MALFORMED));
    r.reset();

    ASSERT_EQ(attach(), 0);
    int answered = 0, failed = 0;
    unsigned char rec[256];
    for (int i = 0; i < CALLS; ++i) {
        const int32_t st = dbax(&cb, DBA_GET_RECORD, keyOf(i).bytes, rec, 0);
        if (st == 0) {
            ++answered;
            EXPECT_EQ(rec[255], static_cast<unsigned char>(i));
        } else {
            ++failed;
            ASSERT_EQ(st, PCQW32_STORE_UNREADABLE) << i;
            EXPECT_TRUE(holds(lastError(), store));
        }
    }
    EXPECT_GT(answered, 0);
    EXPECT_GT(failed, 0);
}
