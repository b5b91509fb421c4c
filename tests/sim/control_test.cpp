// Attachment accounting, fault injection (query API, environment), the call counters and
// the data folder setting.

#include "sim_test.h"

#include <cstdlib>
#include <cstring>
#include <fstream>

using namespace simtest;
using pcqw32::StoreWriter;

namespace {

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

class ControlTest : public SimTest {
  protected:
    void SetUp() override {
        SimTest::SetUp();
        StoreWriter w(folder, 1, true);
        for (const char *symbol : {"AAA", "BBB", "CCC"}) {
            const int64_t id = w.addSecurity(symbol, "");
            w.putQuote(id, pcqw32::QuoteValues{});
            pcqw32::HistoryRow row;
            w.appendHistory(id, std::vector<pcqw32::HistoryRow>(16, row));
        }
        pcqw32::VersionValues v;
        v.release = "A";
        w.setVersion(v);
    }
    int32_t get(const char *symbol) {
        unsigned char rec[260];
        return dbax(&cb, DBA_GET_RECORD, Key(symbol, "").bytes, rec, 0);
    }
};

} // namespace

TEST_F(ControlTest, CountsOpenAttachmentsAndRefusesUnattachedBlocks) {
    EXPECT_EQ(get("AAA"), PCQW32_NOT_ATTACHED);
    EXPECT_EQ(detach(), PCQW32_NOT_ATTACHED);
    ASSERT_EQ(attach(), 0);
    FeedControlBlock other{};
    ASSERT_EQ(dbax(&other, DBA_ATTACH, nullptr, nullptr, 1), 0);
    EXPECT_EQ(pcqw32_open_attachments(), 2);
    EXPECT_EQ(get("AAA"), 0);
    EXPECT_EQ(dbax(&other, DBA_DETACH, nullptr, nullptr, 0), 0);
    EXPECT_EQ(pcqw32_open_attachments(), 1);
    // Attaching a block again without detaching leaves the first attachment open for good.
    ASSERT_EQ(attach(), 0);
    EXPECT_EQ(pcqw32_abandoned_attachments(), 1);
    EXPECT_EQ(pcqw32_open_attachments(), 2);
    EXPECT_EQ(detach(), 0);
    EXPECT_EQ(pcqw32_open_attachments(), 1);
    EXPECT_EQ(get("AAA"), PCQW32_NOT_ATTACHED);
}

TEST_F(ControlTest, AttachFailsWithoutAValidStore) {
    // Status 12 for a missing file and a missing data folder alike; the description tells
    // them apart.
    EXPECT_EQ(attach(9), PCQW32_STORE_ABSENT);
    EXPECT_NE(lastError().find("db9.sqlite: there is no such file in the data folder"),
              std::string::npos)
        << lastError();
    pcqw32_set_data_dir((folder + "/no-such-folder").c_str());
    EXPECT_EQ(attach(1), PCQW32_STORE_ABSENT);
    EXPECT_NE(lastError().find("the data folder " + folder + "/no-such-folder does not exist"),
              std::string::npos)
        << lastError();
    pcqw32_set_data_dir(folder.c_str());
    EXPECT_EQ(pcqw32_open_attachments(), 0);
    std::ofstream(pcqw32::databasePath(folder, 8)) << "not a database at all, just some text....";
    EXPECT_EQ(attach(8), PCQW32_STORE_INVALID);
    EXPECT_EQ(get("AAA"), PCQW32_NOT_ATTACHED);
    char message[256];
    EXPECT_GT(pcqw32_last_error(message, sizeof message), 0);
}

TEST_F(ControlTest, ApiFaultsPickTheNthCallOrOneSecurity) {
    ASSERT_EQ(pcqw32_add_fault(DBA_GET_RECORD, 77, 2, nullptr, nullptr, 0), 0);
    ASSERT_EQ(pcqw32_add_fault(DBA_GET_RECORD, 78, 0, "CCC", nullptr, 0), 0);
    ASSERT_EQ(attach(), 0);
    EXPECT_EQ(get("AAA"), 0);
    EXPECT_EQ(get("AAA"), 77);
    EXPECT_EQ(get("BBB"), 0);
    EXPECT_EQ(get("CCC"), 78);
    // Counting starts again with each attachment.
    ASSERT_EQ(detach(), 0);
    ASSERT_EQ(attach(), 0);
    EXPECT_EQ(get("BBB"), 0);
    EXPECT_EQ(get("BBB"), 77);
    EXPECT_EQ(pcqw32_add_fault(999, 1, 0, nullptr, nullptr, 0), PCQW32_BAD_ARGUMENT);
    pcqw32_clear_faults();
    EXPECT_EQ(get("CCC"), 0);
}

TEST_F(ControlTest, EveryOperationCanBeFaulted) {
    ASSERT_EQ(pcqw32_add_fault(DBA_ATTACH, 30, 2, nullptr, nullptr, 0), 0);
    ASSERT_EQ(attach(), 0);
    EXPECT_EQ(attach(), 30);                 // second attach of the process
    EXPECT_EQ(pcqw32_open_attachments(), 1); // the first one, abandoned
    ASSERT_EQ(attach(), 0);
    pcqw32_reset();
    for (int32_t op : {DBA_DETACH, DBA_GET_VERSION, DBA_GET_RECORD_EXT, DBA_GET_FIRST_BLOCK,
                       DBA_GET_NEXT_BLOCK, DBA_WAIT_APPROX}) {
        ASSERT_EQ(pcqw32_add_fault(op, 100 + op, 0, nullptr, nullptr, 0), 0);
    }
    ASSERT_EQ(attach(), 0);
    unsigned char rec[260], block[260];
    EXPECT_EQ(dbax(&cb, DBA_GET_VERSION, nullptr, rec, 0), 115);
    unsigned char tagged[25];
    std::memcpy(tagged, Key("AAA", "").bytes, 18);
    std::memcpy(tagged + 21, "CANT", 4);
    EXPECT_EQ(dbax(&cb, DBA_GET_RECORD_EXT, tagged, rec, 0), 102);
    ASSERT_EQ(get("AAA"), 0);
    ASSERT_EQ(dbax(&cb, DBA_GET_RECORD, Key("AAA", "", ' ').bytes, rec, 0), 0);
    EXPECT_EQ(dbax(&cb, DBA_GET_FIRST_BLOCK, rec, block, 0), 131);
    EXPECT_EQ(dbax(&cb, DBA_GET_NEXT_BLOCK, rec, block, 0), 133);
    // A failed wait delivers nothing; the reply it owes comes with the next read instead.
    const ScanResult s = runScan(cb, "AAA", "", 3);
    EXPECT_EQ(s.deliveries.size(), 3u);
    EXPECT_EQ(s.rows.size(), 16u);
    EXPECT_EQ(detach(), 107);
    EXPECT_EQ(pcqw32_open_attachments(), 1); // a failed detach leaves it attached
}

TEST_F(ControlTest, ApproxFaultsSeparatePositioningFromGetNext) {
    ASSERT_EQ(pcqw32_add_fault(DBA_GET_APPROX, 41, 1, nullptr, nullptr, 0), 0);
    ASSERT_EQ(attach(), 0);
    EXPECT_EQ(runScan(cb, "AAA").approxStatus, 41);
    pcqw32_reset();
    ASSERT_EQ(pcqw32_add_fault(DBA_GET_APPROX, 42, 3, nullptr, nullptr, 0), 0);
    ASSERT_EQ(attach(), 0);
    const ScanResult s = runScan(cb, "AAA");
    EXPECT_EQ(s.approxStatus, 42);
    EXPECT_EQ(s.rows.size(), 16u); // two blocks came before the failing get-next
}

TEST_F(ControlTest, DeliveryFaultsCarryTheirStatusAndEventCode) {
    ASSERT_EQ(pcqw32_add_fault(PCQW32_POINT_DELIVERY, 55, 2, "AAA", nullptr, 0x102), 0);
    // On the third delivery of CCC, the last security, in place of the end of the data.
    ASSERT_EQ(pcqw32_add_fault(PCQW32_POINT_DELIVERY, 56, 3, nullptr, nullptr, 0), 0);
    ASSERT_EQ(attach(), 0);
    ScanResult s = runScan(cb, "AAA");
    ASSERT_EQ(s.deliveries.size(), 2u);
    EXPECT_EQ(s.deliveries[1].status, 55);
    EXPECT_EQ(s.deliveries[1].event, 0x102);
    EXPECT_EQ(s.rows.size(), 8u);
    ASSERT_EQ(detach(), 0);
    ASSERT_EQ(attach(), 0);
    s = runScan(cb, "CCC");
    ASSERT_EQ(s.deliveries.size(), 3u);
    EXPECT_EQ(s.deliveries[2].status, 56);
    EXPECT_EQ(s.deliveries[2].event, 2); // the default: a failed block delivery
    EXPECT_EQ(s.rows.size(), 16u);
}

TEST_F(ControlTest, EnvironmentFaultsAreReadAtAttach) {
    setEnv("PCQW32_FAULTS", "get_record:61:1:BBB, 15:62");
    ASSERT_EQ(attach(), 0);
    setEnv("PCQW32_FAULTS", nullptr);
    EXPECT_EQ(get("AAA"), 0);
    EXPECT_EQ(get("BBB"), 0); // second call, the fault is for the first
    unsigned char rec[260];
    EXPECT_EQ(dbax(&cb, DBA_GET_VERSION, nullptr, rec, 0), 62);
    ASSERT_EQ(attach(), 0);
    EXPECT_EQ(dbax(&cb, DBA_GET_VERSION, nullptr, rec, 0), 0);

    setEnv("PCQW32_FAULTS", "nonsense:1");
    EXPECT_EQ(attach(), PCQW32_BAD_ARGUMENT);
    setEnv("PCQW32_FAULTS", nullptr);
}

TEST_F(ControlTest, CallCountsAndTheLastErrorDescribeWhatTheClientDid) {
    ASSERT_EQ(attach(), 0);
    get("AAA");
    EXPECT_EQ(get("ZZZ"), PCQW32_KEY_NOT_FOUND);
    char message[256];
    pcqw32_last_error(message, sizeof message);
    EXPECT_NE(std::string(message).find("ZZZ"), std::string::npos) << message;
    detach();
    EXPECT_EQ(pcqw32_call_count(DBA_GET_RECORD), 2);
    EXPECT_EQ(pcqw32_call_count(DBA_DETACH), 1);
    EXPECT_EQ(pcqw32_call_count(-1), 4);
    EXPECT_EQ(dbax(&cb, 99, nullptr, nullptr, 0), PCQW32_NOT_ATTACHED);
    EXPECT_EQ(pcqw32_call_count(-1), 5);
}

TEST_F(ControlTest, DataFolderDefaultsToOneBesideTheLibrary) {
    pcqw32_set_data_dir(nullptr);
    setEnv("PCQW32_DATA_DIR", folder.c_str());
    char buffer[1024];
    pcqw32_data_dir(buffer, sizeof buffer);
    EXPECT_EQ(std::string(buffer), folder);
    EXPECT_EQ(attach(), 0);
    setEnv("PCQW32_DATA_DIR", nullptr);
    pcqw32_data_dir(buffer, sizeof buffer);
    const std::string dir(buffer);
    EXPECT_EQ(dir.substr(dir.size() - 12), "/pcqw32-data");
}
