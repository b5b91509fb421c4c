// Recording a session with another feed library and replaying it. A second copy of the
// simulator's library, in a folder of its own, stands in for the vendor's: the tests call it
// directly for the expected answers, then through this library recording it, then through
// this library alone replaying the recording.

#include "recording.h"
#include "sim_test.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

using namespace simtest;
using pcqw32::StoreWriter;

namespace {

const std::string &targetPath() {
    static const std::string path = nativePath(PCQW32_TEST_TARGET);
    return path;
}

void setEnv(const char *name, const char *value) {
#if defined(_WIN32)
    _putenv_s(name, value ? value : "");
#else
    if (value) {
        setenv(name, value, 1);
    } else {
        unsetenv(name);
    }
#endif
}

// The stand-in for the vendor's library and the parts of its API the tests steer it with.
struct TargetLibrary {
    DbaxFunction dbax = nullptr;
    void (*reset)() = nullptr;
    void (*setDataDir)(const char *) = nullptr;
    int32_t (*callCount)(int32_t) = nullptr;
    int32_t (*addFault)(int32_t, int32_t, int32_t, const char *, const char *, int32_t) = nullptr;

    TargetLibrary() {
#if defined(_WIN32)
        HMODULE library = LoadLibraryA(targetPath().c_str());
        auto symbol = [&](const char *name) {
            FARPROC p = library ? GetProcAddress(library, name) : nullptr;
            void *out = nullptr;
            std::memcpy(&out, &p, sizeof out);
            return out;
        };
#else
        void *library = dlopen(targetPath().c_str(), RTLD_NOW | RTLD_LOCAL);
        auto symbol = [&](const char *name) { return library ? dlsym(library, name) : nullptr; };
#endif
        load(dbax, symbol("dbax"));
        load(reset, symbol("pcqw32_reset"));
        load(setDataDir, symbol("pcqw32_set_data_dir"));
        load(callCount, symbol("pcqw32_call_count"));
        load(addFault, symbol("pcqw32_add_fault"));
    }
    template <typename F> static void load(F &f, void *p) {
        std::memcpy(&f, &p, sizeof f);
    }
};

TargetLibrary &target() {
    static TargetLibrary t;
    return t;
}

std::string hex(const unsigned char *p, std::size_t n) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (std::size_t i = 0; i < n; ++i) {
        out += digits[p[i] >> 4];
        out += digits[p[i] & 15];
    }
    return out;
}

// Everything a caller sees of a series of calls, one line per call and per delivery: the
// statuses, every byte of the buffers the feed may write (filled beforehand with a pattern, so
// that bytes left alone show), and the scan block as the callback found it and as the call
// left it.
using Transcript = std::vector<std::string>;
Transcript *transcript = nullptr;
unsigned char firstDelivered[18];

std::string scanFields(const HistoryScanBlock &sb) {
    return " reserved4 " + std::to_string(sb.reserved4) + " reserved8 " +
           std::to_string(sb.reserved8) + " done " + std::to_string(sb.done) + " mode " +
           std::to_string(sb.mode) + " started " + std::to_string(sb.started);
}

// The client's callback: ignores event 52, ends on a failure or when the key moves on.
int32_t DBA_CALLBACK_CALL capture(int32_t a1, int32_t event, const void *key, const void *block,
                                  int32_t a5, int32_t status, void *scanBlock) {
    auto *sb = static_cast<HistoryScanBlock *>(scanBlock);
    const auto *k = static_cast<const unsigned char *>(key);
    transcript->push_back("  delivery " + std::to_string(a1) + " " + std::to_string(event) + " " +
                          std::to_string(a5) + " status " + std::to_string(status) + " key " +
                          hex(k, 18) + " block " +
                          hex(static_cast<const unsigned char *>(block), 144) + scanFields(*sb) +
                          (sb->callback == capture ? " own callback" : " OTHER CALLBACK"));
    if (event == 52) {
        return 1;
    }
    if (status != 0) {
        sb->done = 1;
        return 1;
    }
    if (sb->started == 0) {
        std::memcpy(firstDelivered, k, 18);
    }
    if (std::memcmp(firstDelivered + 2, k + 2, 3) != 0) {
        sb->done = 1;
        return 1;
    }
    return 0;
}

struct Player {
    DbaxFunction feed;
    Transcript lines;
    FeedControlBlock cb{};
    unsigned char buffer[260];

    int32_t call(const char *what, int32_t op, void *key, bool withRecord, int32_t parameter) {
        std::memset(buffer, 0xA5, sizeof buffer);
        const int32_t st = feed(&cb, op, key, withRecord ? buffer : nullptr, parameter);
        lines.push_back(std::string(what) + " status " + std::to_string(st) +
                        (withRecord ? " record " + hex(buffer, sizeof buffer) : ""));
        return st;
    }
    void attach(int32_t db) { call("attach", DBA_ATTACH, nullptr, false, db); }
    void detach() { call("detach", DBA_DETACH, nullptr, false, 0); }
    void quote(const char *symbol) { call(symbol, DBA_GET_RECORD, Key(symbol, "").bytes, true, 0); }
    void cant(const char *symbol) {
        Key key(symbol, "", ' ');
        std::memcpy(key.bytes + 21, "CANT", 4);
        call("cant", DBA_GET_RECORD_EXT, key.bytes, true, 0);
    }
    void bars(const char *symbol) {
        unsigned char security[256], block[260];
        std::memset(security, 0xA5, sizeof security);
        int32_t st = feed(&cb, DBA_GET_RECORD, Key(symbol, "", ' ').bytes, security, 0);
        lines.push_back("security " + std::to_string(st) + " " + hex(security, 256));
        for (int op = DBA_GET_FIRST_BLOCK, n = 0; st == 0 && n < 10; op = DBA_GET_NEXT_BLOCK, ++n) {
            std::memset(block, 0xA5, sizeof block);
            st = feed(&cb, op, security, block, 0);
            lines.push_back("block " + std::to_string(st) + " " + hex(block, sizeof block));
        }
    }
    // A history scan the way the module runs one.
    void scan(const char *symbol) {
        transcript = &lines;
        HistoryScanBlock sb{};
        sb.callback = capture;
        sb.mode = 1;
        sb.started = 77;
        unsigned char next[24] = {};
        auto step = [&](int32_t op, void *key, int32_t parameter) {
            const int32_t st = feed(&cb, op, key, &sb, parameter);
            lines.push_back((op == DBA_GET_APPROX ? "approx" : "wait") + std::string(" status ") +
                            std::to_string(st) + scanFields(sb));
            return st;
        };
        if (step(DBA_GET_APPROX, Key(symbol, "").bytes, 0) != 0) {
            return;
        }
        step(DBA_WAIT_APPROX, nullptr, -1);
        sb.mode = 4;
        for (int n = 0; sb.done == 0 && n < 100; ++n) {
            sb.callback = capture;
            if (step(DBA_GET_APPROX, next, 0) != 0) {
                break;
            }
            step(DBA_WAIT_APPROX, nullptr, -1);
        }
        transcript = nullptr;
    }
};

std::vector<pcqw32::HistoryRow> history(int n, int32_t priceType) {
    std::vector<pcqw32::HistoryRow> rows(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i) {
        rows[static_cast<std::size_t>(i)].day = 1 + i;
        rows[static_cast<std::size_t>(i)].price = 10.0 + i;
        rows[static_cast<std::size_t>(i)].size = 100 * i;
        rows[static_cast<std::size_t>(i)].priceType = priceType;
    }
    return rows;
}

class RecorderTest : public SimTest {
  protected:
    void SetUp() override {
        SimTest::SetUp();
        targetData = folder + "/target";
        recordings = folder + "/recordings";
        writeTargetStore(168.52);
        ASSERT_NE(target().dbax, nullptr) << "no simulator copy at " << targetPath();
        prepareTarget();
    }
    void TearDown() override {
        for (const char *name :
             {"PCQW32_RECORD_TARGET", "PCQW32_RECORD_DIR", "PCQW32_RECORD_MODE"}) {
            setEnv(name, nullptr);
        }
        target().reset();
        target().setDataDir(nullptr);
        SimTest::TearDown();
    }

    void writeTargetStore(double ibmLast) {
        StoreWriter w(targetData, 1, false);
        w.begin();
        w.setSetting("event52_every", "2");
        pcqw32::QuoteValues q;
        q.priceType = 12;
        q.last.price = ibmLast;
        q.last.size = 300;
        w.putQuote(w.addSecurity("IBM", ""), q);
        q.last.price = 61.5;
        w.putQuote(w.addSecurity("KO", ""), q);
        const int64_t ge = w.addSecurity("GE", "");
        if (w.barRows(ge) == 0) {
            w.putQuote(ge, q);
            std::vector<pcqw32::BarRow> bars(20);
            for (std::size_t i = 0; i < bars.size(); ++i) {
                bars[i].stamp = 1704205800 + 60 * static_cast<int64_t>(i);
                bars[i].open = bars[i].close = 2.5 + static_cast<double>(i);
                bars[i].priceType = 12;
            }
            w.appendBars(ge, bars);
            w.appendHistory(w.addSecurity("ALPHA", ""), history(20, 12));
            w.appendHistory(w.addSecurity("BETA", ""), history(8, 1));
            pcqw32::CantValues c;
            c.value = -7;
            c.text = "cant text";
            w.putCant(w.addSecurity("IBM", ""), c);
            pcqw32::VersionValues v;
            v.major = 4;
            v.minor = -2;
            v.release = "b";
            v.serial = "SERIAL-1";
            w.setVersion(v);
        }
        w.commit();
    }
    // The stand-in reads its own store; every delivery of BETA fails with status 5.
    void prepareTarget() {
        target().reset();
        target().setDataDir(targetData.c_str());
        target().addFault(PCQW32_POINT_DELIVERY, 5, 0, "BETA", nullptr, 0);
    }
    void record(const char *mode = "all") {
        setEnv("PCQW32_RECORD_TARGET", targetPath().c_str());
        setEnv("PCQW32_RECORD_DIR", recordings.c_str());
        setEnv("PCQW32_RECORD_MODE", mode);
    }
    void replay(const char *mode = nullptr) {
        setEnv("PCQW32_RECORD_TARGET", nullptr);
        setEnv("PCQW32_RECORD_DIR", nullptr);
        setEnv("PCQW32_RECORD_MODE", mode);
        pcqw32_set_data_dir(recordings.c_str());
    }
    // A session of every operation, successes and failures.
    static Transcript session(DbaxFunction feed) {
        Player p{feed, {}, {}, {}};
        p.attach(1);
        p.call("version", DBA_GET_VERSION, nullptr, true, 0);
        p.quote("IBM");
        p.quote("NOPE");
        p.quote("KO");
        p.cant("IBM");
        p.cant("KO");
        p.bars("GE");
        p.scan("ALPHA");
        p.scan("BETA");
        p.detach();
        p.detach();
        p.attach(9);
        p.detach();
        return p.lines;
    }
    int64_t recordedCalls(int32_t operation) {
        std::string why;
        auto store =
            pcqw32::RecordingStore::openForReplay(pcqw32::databasePath(recordings, 1), why);
        int64_t n = 0;
        if (store) {
            store->forEachCall(
                0, [&](const pcqw32::RecordedCall &c) { n += c.operation == operation ? 1 : 0; });
        }
        return n;
    }

    std::string targetData, recordings;
};

} // namespace

TEST_F(RecorderTest, RecordsAndReplaysEveryCallByteForByte) {
    const Transcript direct = session(target().dbax);
    auto has = [&](const char *text) {
        for (const std::string &line : direct) {
            if (line.find(text) != std::string::npos) {
                return true;
            }
        }
        return false;
    };
    ASSERT_TRUE(has("delivery 0 52 0 status 0")); // ignorable events
    ASSERT_TRUE(has("delivery 0 2 0 status 5"));  // a failed delivery
    prepareTarget();
    record();
    EXPECT_EQ(session(dbax), direct);
    EXPECT_EQ(pcqw32_open_attachments(), 0);

    prepareTarget();
    const int32_t targetCalls = target().callCount(-1);
    replay();
    EXPECT_EQ(session(dbax), direct);
    EXPECT_EQ(target().callCount(-1), targetCalls); // the recorded library was not asked
    EXPECT_EQ(pcqw32_open_attachments(), 0);
}

TEST_F(RecorderTest, UnrecordedCallsGetAStatusOfTheirOwnNamingTheRequest) {
    record();
    Player p{dbax, {}, {}, {}};
    p.attach(1);
    p.quote("IBM");
    p.detach();

    replay("none");
    ASSERT_EQ(attach(1), 0);
    unsigned char rec[260];
    EXPECT_EQ(dbax(&cb, DBA_GET_RECORD, Key("IBM", "").bytes, rec, 0), 0);
    EXPECT_EQ(dbax(&cb, DBA_GET_RECORD, Key("KO", "").bytes, rec, 0), PCQW32_NOT_RECORDED);
    EXPECT_NE(lastError().find("not recorded: DBA_GET_RECORD of \"KO\"/\"\""), std::string::npos)
        << lastError();
    EXPECT_EQ(dbax(&cb, DBA_GET_VERSION, nullptr, rec, 0), PCQW32_NOT_RECORDED);
    HistoryScanBlock sb{};
    sb.callback = capture;
    sb.mode = 1;
    EXPECT_EQ(dbax(&cb, DBA_GET_APPROX, Key("ALPHA", "").bytes, &sb, 0), PCQW32_NOT_RECORDED);
    EXPECT_NE(lastError().find("DBA_GET_APPROX (mode 1) from \"ALPHA\"/\"\""), std::string::npos)
        << lastError();
    EXPECT_EQ(detach(), 0);
    // A database without a recording, in mode none, has nothing to attach to.
    EXPECT_EQ(attach(2), PCQW32_NOT_RECORDED);
    EXPECT_NE(lastError().find("DBA_ATTACH of database 2"), std::string::npos) << lastError();
    // Without a mode, a store without a recording is the simulator's own.
    replay();
    EXPECT_EQ(attach(2), PCQW32_STORE_ABSENT);
}

TEST_F(RecorderTest, ModeNewForwardsAndRecordsOnlyWhatIsMissing) {
    record();
    Player first{dbax, {}, {}, {}};
    first.attach(1);
    first.quote("IBM");
    first.scan("ALPHA");
    first.detach();

    Player direct{target().dbax, {}, {}, {}};
    direct.attach(1);
    direct.quote("IBM");
    direct.quote("KO");
    direct.scan("ALPHA");
    direct.detach();

    prepareTarget();
    record("new");
    auto count = [](int32_t op) { return target().callCount(op); };
    const int32_t reads = count(DBA_GET_RECORD), approx = count(DBA_GET_APPROX);
    Player second{dbax, {}, {}, {}};
    second.attach(1);
    second.quote("IBM");
    second.quote("KO");
    second.scan("ALPHA");
    second.detach();
    EXPECT_EQ(second.lines, direct.lines);
    EXPECT_EQ(count(DBA_GET_RECORD), reads + 1); // KO alone
    EXPECT_EQ(count(DBA_GET_APPROX), approx);    // the scan came from the recording
    EXPECT_EQ(pcqw32_open_attachments(), 0);
    EXPECT_EQ(recordedCalls(DBA_GET_RECORD), 2);

    replay("none");
    Player third{dbax, {}, {}, {}};
    third.attach(1);
    third.quote("KO");
    EXPECT_EQ(third.lines[1], direct.lines[2]);
}

TEST_F(RecorderTest, ModeAllReplacesWhatWasRecordedForTheSameRequest) {
    record();
    for (double last : {168.52, 170.25}) {
        writeTargetStore(last);
        Player p{dbax, {}, {}, {}};
        p.attach(1);
        p.quote("IBM");
        p.scan("ALPHA");
        p.detach();
    }
    EXPECT_EQ(recordedCalls(DBA_GET_RECORD), 1);
    EXPECT_EQ(recordedCalls(DBA_ATTACH), 1);
    // One scan: its positioning read and the get-next reads of one run.
    const int64_t oneScan = recordedCalls(DBA_GET_APPROX);
    record();
    Player again{dbax, {}, {}, {}};
    again.attach(1);
    again.scan("ALPHA");
    again.detach();
    EXPECT_EQ(recordedCalls(DBA_GET_APPROX), oneScan);

    replay();
    ASSERT_EQ(attach(1), 0);
    unsigned char rec[260];
    ASSERT_EQ(dbax(&cb, DBA_GET_RECORD, Key("IBM", "").bytes, rec, 0), 0);
    EXPECT_EQ(static_cast<int32_t>(Reader{rec}.u32(44)), 17025); // the later answer
}

TEST_F(RecorderTest, AFailedRecordingChangesNothingTheCallerGets) {
    const Transcript direct = session(target().dbax);
    prepareTarget();
    record();
    std::ofstream(folder + "/blocker") << "a file where the recording folder should go";
    const std::string unusable = folder + "/blocker/recordings";
    setEnv("PCQW32_RECORD_DIR", unusable.c_str());
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(session(dbax), direct);
    const std::string said = ::testing::internal::GetCapturedStderr();
    // Once per store it could not write (databases 1 and 9), naming it.
    for (int db : {1, 9}) {
        const std::string path = pcqw32::databasePath(unusable, db);
        const std::size_t at = said.find("cannot record into " + path);
        EXPECT_NE(at, std::string::npos) << said;
        EXPECT_EQ(said.find("cannot record into " + path, at + 1), std::string::npos) << said;
    }
}

TEST_F(RecorderTest, ATargetThatCannotServeFailsTheAttachWithItsReason) {
    struct Case {
        const char *target, *mode, *expected;
        int32_t status;
    };
    const std::string missing = folder + "/missing/libPCQW32.so";
    const std::string notLibrary = folder + "/not-a-library.so";
    std::ofstream(notLibrary) << "text";
    const Case cases[] = {
        {"libPCQW32.so", nullptr, "full path", PCQW32_TARGET_UNAVAILABLE},
        {missing.c_str(), nullptr, "cannot load", PCQW32_TARGET_UNAVAILABLE},
        {notLibrary.c_str(), "new", "cannot load", PCQW32_TARGET_UNAVAILABLE},
        {nullptr, "all", "needs PCQW32_RECORD_TARGET", PCQW32_TARGET_UNAVAILABLE},
        {targetPath().c_str(), "once", "not all, new or none", PCQW32_BAD_ARGUMENT},
    };
    ::testing::internal::CaptureStderr();
    for (const Case &c : cases) {
        setEnv("PCQW32_RECORD_TARGET", c.target);
        setEnv("PCQW32_RECORD_MODE", c.mode);
        EXPECT_EQ(attach(1), c.status) << c.expected;
        EXPECT_NE(lastError().find(c.expected), std::string::npos) << lastError();
        EXPECT_EQ(pcqw32_open_attachments(), 0);
    }
    EXPECT_NE(::testing::internal::GetCapturedStderr().find("full path"), std::string::npos);
}

TEST_F(RecorderTest, ALibraryNamedAsItsOwnTargetServesItsStore) {
    // What the stand-in does as the library recorded; named as its own target, the recording
    // library serves its store too, rather than calling itself without end.
    {
        StoreWriter w(folder, 1, true);
        w.putQuote(w.addSecurity("SELF", ""), pcqw32::QuoteValues{});
    }
    record();
    const std::string self = nativePath(PCQW32_TEST_SELF);
    setEnv("PCQW32_RECORD_TARGET", self.c_str());
    ASSERT_EQ(attach(1), 0);
    unsigned char rec[260];
    EXPECT_EQ(dbax(&cb, DBA_GET_RECORD, Key("SELF", "").bytes, rec, 0), 0);
    EXPECT_EQ(detach(), 0);
    EXPECT_FALSE(std::filesystem::exists(pcqw32::databasePath(recordings, 1)));
}
