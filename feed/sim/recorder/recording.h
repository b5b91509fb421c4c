// A recorded session with a feed library, kept in tables of its own inside a store file:
// every `dbax` call forwarded to the recorded library (operation, parameter, the key bytes
// sent, the status, the bytes written), every history delivery it made to the scan callback,
// and per recording its start time, the library's path and its version. The simulator's
// library writes these tables while it records and answers from them when it replays; the
// tool lists and dumps them.
#ifndef QUORVEX_FEED_SIM_RECORDING_H
#define QUORVEX_FEED_SIM_RECORDING_H

#include "dbax.h"
#include "records.h"
#include "store_reader.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

namespace pcqw32 {

using Bytes = std::vector<unsigned char>;

// Bytes kept per operation. The record lengths are the least buffer any caller offers for
// that operation: DBA_GET_RECORD also fills the security record of the bar reads, so it keeps
// SECURITY_RECORD_SIZE; the version, CANT and bar block buffers are whole record buffers.
std::size_t recordedKeySize(int32_t operation);
std::size_t recordedRecordSize(int32_t operation);

// The scan block fields that the feed keeps, by name: their offsets depend on the pointer
// size of the process, and a recording made on one platform replays on another.
struct ScanFields {
    int32_t reserved4 = 0, reserved8 = 0, started = 0;
};

// The fields the feed keeps of a scan block, as it holds them now.
ScanFields scanFieldsOf(const HistoryScanBlock *scanBlock);

// One call of the scan callback by the recorded library.
struct RecordedDelivery {
    int32_t argument1 = 0, event = 0, argument5 = 0, status = 0;
    Bytes key;          // a security key; empty when the library passed a null key
    Bytes block;        // a history block; empty when the library passed a null block
    ScanFields seen;    // the scan block as the callback found it
    int32_t result = 0; // what the caller's callback returned
};

// One recorded `dbax` call. Calls that continue a bar read (DBA_GET_NEXT_BLOCK after
// DBA_GET_FIRST_BLOCK) or a history scan (every DBA_GET_APPROX and DBA_WAIT_APPROX after the
// positioning DBA_GET_APPROX) belong to the run of the call that started it and are replayed
// in their order; every other call is a request of its own, found again by `request`.
struct RecordedCall {
    int64_t id = 0;
    int64_t recording = 0;
    int32_t session = 0; // the attachment within the recording, counted from 1
    int64_t run = 0;     // 0, or the id of the call that started the run this call continues
    int32_t operation = 0, parameter = 0;
    bool attached = false; // whether the control block was attached at the call
    bool hasMode = false;  // scan block mode at the call (DBA_GET_APPROX, DBA_WAIT_APPROX)
    int32_t mode = 0;
    Bytes request; // what a replayed call must match: see requestBytes()
    Bytes key;     // the key bytes sent; empty for a null key, or when equal to the run's
    int32_t status = 0;
    Bytes record; // the bytes written; empty when the call wrote nothing
    bool hasScan = false;
    ScanFields scan; // the scan block as the library left it
    std::vector<RecordedDelivery> deliveries;
};

// The matching bytes of a call: the attached flag, the parameter, the scan block mode when
// there is one, and the part of the key that names what is asked for (`keyPart`).
Bytes requestBytes(bool attached, int32_t parameter, bool hasMode, int32_t mode,
                   const Bytes &keyPart);

struct RecordingInfo {
    int64_t id = 0;
    std::string started; // UTC, "YYYY-MM-DD HH:MM:SS"
    std::string target;  // the recorded library's path
    std::string mode;    // "all" or "new"
    bool versionAsked = false;
    int32_t versionStatus = 0; // status of the version query made at the start
    VersionValues version;     // when versionStatus is 0
    Bytes versionRecord;
    int64_t calls = 0, deliveries = 0; // counted by recordings()
};

// One store file opened for recording or for replay. Every failure comes back as false with
// error() set; nothing throws.
class RecordingStore {
  public:
    ~RecordingStore();
    RecordingStore(const RecordingStore &) = delete;
    RecordingStore &operator=(const RecordingStore &) = delete;

    // Opens an existing store read-only; null when the file is absent, is not a store, holds
    // no recording, or cannot be read (`error` says which; `unreadable`, when given, is set
    // for the last: SQLite reported an error, so whether it holds a recording is unknown).
    static std::unique_ptr<RecordingStore>
    openForReplay(const std::string &path, std::string &error, bool *unreadable = nullptr);
    // Opens or creates the store (and its folder) for writing, with the store's tables and
    // the recording tables; null on failure.
    static std::unique_ptr<RecordingStore> openForRecording(const std::string &path,
                                                            std::string &error);

    const std::string &path() const { return path_; }
    const std::string &error() const { return error_; }

    // Adds a recording and returns its id (0 on failure).
    int64_t startRecording(const RecordingInfo &info);
    // Writes a call and its deliveries in one transaction and sets call.id. With `replace`,
    // earlier calls of the same request (and the runs they started) are removed with it.
    bool append(RecordedCall &call, bool replace);

    // The latest call of a request that stands on its own or starts a run.
    Lookup findRequest(int32_t operation, const Bytes &request, RecordedCall &out);
    // Up to `limit` calls of run `run` that follow call `after`, in their order, read in one
    // transaction; false only on a read failure.
    bool runCalls(int64_t run, int64_t after, int limit, std::deque<RecordedCall> &out);

    // The recordings in order; false when they cannot be read.
    bool recordings(std::vector<RecordingInfo> &out);
    // Every recorded call (of one recording, or of all when `recording` is 0) in order; false
    // when they cannot all be read.
    bool forEachCall(int64_t recording, const std::function<void(const RecordedCall &)> &visit);

  private:
    RecordingStore() = default;
    bool open(const std::string &path, bool writable);
    bool exec(const char *sql);
    sqlite3_stmt *prepare(const char *sql);
    bool fail(const std::string &what);
    Lookup readCall(sqlite3_stmt *st, RecordedCall &out);
    bool readDeliveries(RecordedCall &call);

    std::string path_, error_;
    int prepareError_ = 0; // SQLite's code for the first statement that could not be prepared
    sqlite3 *db_ = nullptr;
    bool writable_ = false;
    std::vector<sqlite3_stmt *> statements_;
    sqlite3_stmt *findRequest_ = nullptr, *nextInRun_ = nullptr, *deliveries_ = nullptr;
    sqlite3_stmt *insertCall_ = nullptr, *insertDelivery_ = nullptr;
    sqlite3_stmt *begin_ = nullptr, *commit_ = nullptr, *rollback_ = nullptr;
    sqlite3_stmt *dropRunDeliveries_ = nullptr, *dropRuns_ = nullptr;
    sqlite3_stmt *dropDeliveries_ = nullptr, *dropCalls_ = nullptr;
};

// "DBA_GET_RECORD" and so on; "operation N" for codes the feed does not know.
std::string operationName(int32_t operation);

} // namespace pcqw32

#endif
