#include "recorder.h"

#include "call_matching.h"
#include "dbax.h"
#include "decode.h"
#include "notices.h"
#include "pcqw32_sim.h"
#include "recorded_library.h"
#include "recording.h"
#include "replay.h"
#include "store.h"

#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <map>
#include <memory>
#include <vector>

namespace pcqw32 {

namespace {

enum class Mode { ALL, NEW, NONE };

// Calls of a replayed run read from the store at a time.
constexpr int READ_AHEAD = 512;

const char *modeName(Mode m) {
    return m == Mode::ALL ? "all" : (m == Mode::NEW ? "new" : "none");
}

// This process's recording in one store file.
struct Writer {
    std::unique_ptr<RecordingStore> store;
    int64_t recording = 0;    // added with the first call written
    std::string target, mode; // what the current recording is of
    int32_t sessions = 0;
    bool failed = false; // a write failed: nothing more goes into this store
};

// A recording or replay session: the control block of one attachment.
struct Session : CallContext {
    int32_t db = 0;
    Mode mode = Mode::NONE;
    bool targetAttached = false; // the recorded library holds this control block attached
    Target *target = nullptr;
    Writer *writer = nullptr;               // recording modes (null when it could not open)
    std::unique_ptr<RecordingStore> replay; // mode none
    std::string storePath;
    int32_t number = 0; // the session's number in the recording
};

int32_t openCount(const std::map<const void *, Session> &sessions, int32_t abandoned) {
    int32_t open = abandoned;
    for (const auto &entry : sessions) {
        if (entry.second.attached) {
            ++open;
        }
    }
    return open;
}

// What the recorder counted when the process ended, for the simulator's report at exit,
// which may come after the recorder is gone.
bool recorderBuilt = false, recorderGone = false;
int32_t openAtExit = 0, abandonedAtExit = 0;

// What a store file looked like (with its write-ahead log) when it was found to hold no
// recording. Attaches of plain stores then cost a few file status calls rather than a
// second opening of the store.
struct FileStamp {
    bool exists = false, walExists = false;
    std::uintmax_t size = 0, walSize = 0;
    std::filesystem::file_time_type time{}, walTime{};
    bool operator==(const FileStamp &o) const {
        return exists == o.exists && walExists == o.walExists && size == o.size &&
               walSize == o.walSize && time == o.time && walTime == o.walTime;
    }
};

FileStamp stampOf(const std::string &path) {
    FileStamp f;
    std::error_code ec;
    const std::filesystem::path main(path), wal(path + "-wal");
    f.exists = std::filesystem::exists(main, ec);
    if (f.exists) {
        f.size = std::filesystem::file_size(main, ec);
        f.time = std::filesystem::last_write_time(main, ec);
    }
    f.walExists = std::filesystem::exists(wal, ec);
    if (f.walExists) {
        f.walSize = std::filesystem::file_size(wal, ec);
        f.walTime = std::filesystem::last_write_time(wal, ec);
    }
    return f;
}

struct Recorder {
    std::map<std::string, FileStamp> withoutRecording;
    std::map<std::string, std::unique_ptr<Writer>> writers; // closed at exit
    std::map<const void *, Session> sessions;
    int32_t abandoned = 0;

    Recorder() { recorderBuilt = true; }
    ~Recorder() {
        openAtExit = openCount(sessions, abandoned);
        abandonedAtExit = abandoned;
        recorderGone = true;
    }
};

Recorder &recorder() {
    static Recorder r;
    return r;
}

std::string env(const char *name) {
    const char *v = std::getenv(name);
    return v ? std::string(v) : std::string();
}

std::string utcNow() {
    const std::time_t now = std::time(nullptr);
    std::tm tm{};
#if defined(_WIN32)
    gmtime_s(&tm, &now);
#else
    gmtime_r(&now, &tm);
#endif
    char buffer[32];
    std::strftime(buffer, sizeof buffer, "%Y-%m-%d %H:%M:%S", &tm);
    return buffer;
}

Writer *openWriter(const std::string &storePath, const Target &target) {
    Recorder &r = recorder();
    auto found = r.writers.find(storePath);
    if (found != r.writers.end()) {
        return found->second.get();
    }
    auto writer = std::make_unique<Writer>();
    std::string error;
    writer->store = RecordingStore::openForRecording(storePath, error);
    if (!writer->store) {
        writer->failed = true;
        sayOnce("cannot record into " + storePath + ": " + error + "; calls go on to " +
                target.path + " without being recorded");
    }
    Writer *w = writer.get();
    r.writers.emplace(storePath, std::move(writer));
    return w;
}

// The version of the recorded library, asked once when a recording starts, on a control block
// of the recorder's own.
void askVersion(Target &target, int32_t db, RecordingInfo &info) {
    FeedControlBlock block{};
    unsigned char record[RECORD_BUFFER_SIZE] = {};
    info.versionAsked = true;
    info.versionStatus = callTarget(target, &block, DBA_ATTACH, nullptr, nullptr, db);
    if (info.versionStatus != 0) {
        return;
    }
    info.versionStatus = callTarget(target, &block, DBA_GET_VERSION, nullptr, record, 0);
    callTarget(target, &block, DBA_DETACH, nullptr, nullptr, 0);
    if (info.versionStatus == 0) {
        info.version = decodeVersion(record, sizeof record);
        info.versionRecord.assign(record, record + sizeof record);
    }
}

void writeCall(Session &s, RecordedCall &call, bool replace) {
    Writer *w = s.writer;
    if (!w || w->failed) {
        return;
    }
    if (w->recording == 0 || w->target != s.target->path || w->mode != modeName(s.mode)) {
        RecordingInfo info;
        info.started = utcNow();
        info.target = s.target->path;
        info.mode = modeName(s.mode);
        askVersion(*s.target, s.db, info);
        w->recording = w->store->startRecording(info);
        w->target = info.target;
        w->mode = info.mode;
        if (w->recording == 0) {
            w->failed = true;
            sayOnce("cannot record into " + w->store->path() + ": " + w->store->error() +
                    "; calls go on to " + s.target->path + " without being recorded");
            return;
        }
    }
    call.recording = w->recording;
    call.session = s.number;
    if (!w->store->append(call, replace)) {
        w->failed = true;
        sayOnce("cannot record into " + w->store->path() + ": " + w->store->error() +
                "; calls go on to " + s.target->path + " without being recorded");
    }
}

// Forwards a call and records it. Whatever happens to the recording, the caller gets what
// the recorded library returned.
int32_t forwardAndRecord(Session &s, void *block, const Shape &c, void *key, void *record,
                         std::string &error) {
    const std::size_t recordSize = record ? recordedRecordSize(c.operation) : 0;
    Bytes before;
    RecordedCall call;
    try {
        before.assign(static_cast<unsigned char *>(record),
                      static_cast<unsigned char *>(record) + recordSize);
    } catch (...) {
        before.clear();
    }
    const bool attachedBefore = s.attached;
    const int32_t status = forwardToTarget(*s.target, block, c.operation, key, record, c.parameter,
                                           c.scanBlock, call.deliveries);
    if (c.operation == DBA_ATTACH || c.operation == DBA_DETACH) {
        s.targetAttached =
            c.operation == DBA_ATTACH ? status == 0 : status != 0 && s.targetAttached;
    }
    if (status != 0) {
        error = c.what + " forwarded to " + s.target->path + ": status " + std::to_string(status);
    }
    try {
        call.run = c.run && !c.head ? c.run->head : 0;
        call.operation = c.operation;
        call.parameter = c.parameter;
        call.attached = attachedBefore;
        call.hasMode = c.scanBlock != nullptr;
        call.mode = c.scanBlock ? c.scanBlock->mode : 0;
        call.request = c.request;
        call.key = c.key;
        call.status = status;
        if (recordSize > 0) {
            const auto *p = static_cast<const unsigned char *>(record);
            // On a failure only bytes the library changed are worth replaying.
            if (status == 0 || std::memcmp(p, before.data(), recordSize) != 0) {
                call.record.assign(p, p + recordSize);
            }
        }
        if (c.scanBlock) {
            call.hasScan = true;
            call.scan = scanFieldsOf(c.scanBlock);
        }
        writeCall(s, call, s.mode == Mode::ALL);
    } catch (...) {
        if (s.writer && !s.writer->failed) {
            s.writer->failed = true;
            sayOnce("cannot record into " + s.storePath + ": out of memory; calls go on to " +
                    s.target->path + " without being recorded");
        }
        call.id = 0;
    }
    if (c.head) {
        c.run->head = call.id;
        c.run->replayed = false;
    }
    return status;
}

// Answers a call from a recorded one: the recorded deliveries made to the caller's callback,
// the scan block fields and the record as the recorded library left them, and its status.
int32_t replayCall(const RecordedCall &rc, const Shape &c, void *record, std::string &error) {
    const int32_t status = replayRecorded(rc, c.scanBlock, record, error);
    if (status != 0 && error.empty()) {
        error = "recorded answer to " + c.what + ": status " + std::to_string(status);
    }
    return status;
}

int32_t notRecorded(const Session &s, const Shape &c, std::string &error) {
    error =
        "not recorded: " + c.what + " (database " + std::to_string(s.db) + ", " + s.storePath + ")";
    return PCQW32_NOT_RECORDED;
}

RecordingStore *lookupStore(Session &s) {
    if (s.mode == Mode::NONE) {
        return s.replay.get();
    }
    return s.writer && s.writer->store ? s.writer->store.get() : nullptr;
}

// Finds the recorded answer to a call: the next call of a replayed run, or the latest call
// of the same request. Failed when the recording cannot be read, which is not the same as
// holding no answer.
Lookup findRecorded(Session &s, const Shape &c, RecordedCall &out) {
    RecordingStore *store = lookupStore(s);
    if (!store) {
        return Lookup::ABSENT;
    }
    if (c.run && !c.head) {
        Run &run = *c.run;
        if (!run.replayed) {
            return Lookup::ABSENT;
        }
        if (run.ahead.empty() && !run.exhausted) {
            if (!store->runCalls(run.head, run.last, READ_AHEAD, run.ahead)) {
                run.ahead.clear();
                return Lookup::FAILED;
            }
            run.exhausted = run.ahead.empty();
        }
        if (run.ahead.empty() || run.ahead.front().operation != c.operation ||
            run.ahead.front().request != c.request) {
            return Lookup::ABSENT;
        }
        out = std::move(run.ahead.front());
        run.ahead.pop_front();
        return Lookup::FOUND;
    }
    return store->findRequest(c.operation, c.request, out);
}

int32_t unreadableRecording(Session &s, const Shape &c, std::string &error) {
    RecordingStore *store = lookupStore(s);
    error =
        "the recording cannot be read (" + c.what + "): " + (store ? store->error() : s.storePath);
    return PCQW32_STORE_UNREADABLE;
}

// In mode new, a forwarded call needs the recorded library attached on the caller's block,
// which a replayed attach never did.
int32_t ensureTargetAttached(Session &s, void *block, const Shape &c, std::string &error) {
    if (s.targetAttached || !s.attached || c.operation == DBA_ATTACH) {
        return 0;
    }
    const int32_t st = callTarget(*s.target, block, DBA_ATTACH, nullptr, nullptr, s.db);
    if (st != 0) {
        error = "the attach needed to forward " + c.what + " to " + s.target->path +
                " failed with status " + std::to_string(st);
        return st;
    }
    s.targetAttached = true;
    return 0;
}

int32_t sessionCall(Session &s, void *block, int32_t operation, void *key, void *record,
                    int32_t parameter, std::string &error) {
    const Shape c = shapeOf(s, operation, key, record, parameter);
    int32_t status = 0;
    bool replayed = false;
    RecordedCall rc;
    const bool continuation = c.run && !c.head;
    const Lookup found = s.mode != Mode::ALL && (!continuation || c.run->replayed)
                             ? findRecorded(s, c, rc)
                             : Lookup::ABSENT;
    if (found == Lookup::FAILED) {
        status = unreadableRecording(s, c, error);
    } else if (found == Lookup::FOUND) {
        status = replayCall(rc, c, record, error);
        replayed = true;
        if (s.mode == Mode::NEW && operation == DBA_DETACH && s.targetAttached) {
            // The caller's detach was answered from the recording; the attachment made to
            // forward earlier calls is released all the same.
            if (callTarget(*s.target, block, DBA_DETACH, nullptr, nullptr, 0) == 0) {
                s.targetAttached = false;
            }
        }
    } else if (s.mode == Mode::NONE || (continuation && c.run->replayed)) {
        status = notRecorded(s, c, error);
    } else if ((status = ensureTargetAttached(s, block, c, error)) == 0) {
        status = forwardAndRecord(s, block, c, key, record, error);
    }
    noteCall(s, c, key, record, status, replayed, rc.id);
    return status;
}

// What the environment asks for at an attach.
struct Setup {
    std::string target, recordDir, modeText;
    Mode mode = Mode::NONE;
    bool modeGiven = false;
};

// Drops the session a control block had, counting it abandoned when it was still attached.
void dropSession(const void *block) {
    Recorder &r = recorder();
    auto found = r.sessions.find(block);
    if (found != r.sessions.end()) {
        if (found->second.attached) {
            ++r.abandoned;
        }
        r.sessions.erase(found);
    }
}

bool knownWithoutRecording(const std::string &path, const FileStamp &now) {
    auto &known = recorder().withoutRecording;
    auto found = known.find(path);
    return found != known.end() && found->second == now;
}

bool attach(void *block, int32_t db, const std::string &dataFolder, int32_t &status,
            std::string &error) {
    Recorder &r = recorder();
    Setup setup;
    setup.target = env("PCQW32_RECORD_TARGET");
    setup.recordDir = env("PCQW32_RECORD_DIR");
    setup.modeText = env("PCQW32_RECORD_MODE");
    setup.modeGiven = !setup.modeText.empty();
    if (setup.modeText == "all") {
        setup.mode = Mode::ALL;
    } else if (setup.modeText == "new") {
        setup.mode = Mode::NEW;
    } else if (setup.modeText == "none" || !setup.modeGiven) {
        setup.mode = setup.modeGiven || setup.target.empty() ? Mode::NONE : Mode::ALL;
    } else {
        dropSession(block);
        error = "PCQW32_RECORD_MODE \"" + setup.modeText + "\" is not all, new or none";
        sayOnce(error);
        status = PCQW32_BAD_ARGUMENT;
        return true;
    }
    // The library named as the one to record serves its own store: that is its part when a
    // second copy of the simulator stands in for the vendor's library.
    if (!setup.target.empty() && isThisLibrary(setup.target)) {
        dropSession(block);
        return false;
    }
    const std::string folder = setup.recordDir.empty() ? dataFolder : setup.recordDir;
    const std::string storePath = databasePath(folder, db);

    Session s;
    s.db = db;
    s.mode = setup.mode;
    s.storePath = storePath;
    if (s.mode == Mode::NONE) {
        const FileStamp before = stampOf(storePath);
        if (!setup.modeGiven && knownWithoutRecording(storePath, before)) {
            dropSession(block);
            return false;
        }
        std::string why;
        bool unreadable = false;
        s.replay = RecordingStore::openForReplay(storePath, why, &unreadable);
        if (unreadable) {
            // Whether the store holds a recording cannot be told, so neither the recording
            // nor the simulator's own data can answer for it.
            dropSession(block);
            error = "the store cannot be read: " + why;
            status = PCQW32_STORE_UNREADABLE;
            return true;
        }
        if (!s.replay && !setup.modeGiven) {
            // No recording here: the simulator serves its own store.
            recorder().withoutRecording[storePath] = before;
            dropSession(block);
            return false;
        }
    } else {
        if (setup.target.empty()) {
            dropSession(block);
            error = std::string("PCQW32_RECORD_MODE=") + modeName(s.mode) +
                    " needs PCQW32_RECORD_TARGET, the library to record";
            sayOnce(error);
            status = PCQW32_TARGET_UNAVAILABLE;
            return true;
        }
        s.target = loadTarget(setup.target, error);
        if (!s.target) {
            dropSession(block);
            sayOnce(error);
            status = PCQW32_TARGET_UNAVAILABLE;
            return true;
        }
        s.writer = openWriter(storePath, *s.target);
        s.number = ++s.writer->sessions;
    }
    dropSession(block);
    Session &session = r.sessions[block] = std::move(s);
    status = sessionCall(session, block, DBA_ATTACH, nullptr, nullptr, db, error);
    return true;
}

} // namespace

bool recorderCall(void *block, int32_t operation, void *key, void *record, int32_t parameter,
                  const std::string &dataFolder, int32_t &status, std::string &error) {
    if (!block) {
        return false;
    }
    if (operation == DBA_ATTACH) {
        return attach(block, parameter, dataFolder, status, error);
    }
    Recorder &r = recorder();
    auto found = r.sessions.find(block);
    if (found == r.sessions.end()) {
        return false;
    }
    status = sessionCall(found->second, block, operation, key, record, parameter, error);
    return true;
}

int32_t recorderOpenAttachments() {
    if (!recorderBuilt) {
        return 0;
    }
    return recorderGone ? openAtExit : openCount(recorder().sessions, recorder().abandoned);
}

int32_t recorderAbandonedAttachments() {
    if (!recorderBuilt) {
        return 0;
    }
    return recorderGone ? abandonedAtExit : recorder().abandoned;
}

void recorderReset() {
    if (!recorderBuilt || recorderGone) {
        return;
    }
    Recorder &r = recorder();
    r.sessions.clear();
    r.writers.clear();
    r.withoutRecording.clear();
    r.abandoned = 0;
    forgetForwardedScans();
    forgetSaid();
}

} // namespace pcqw32
