#include "recorder.h"

#include "dbax.h"
#include "decode.h"
#include "feed_call.h"
#include "pcqw32_sim.h"
#include "recording.h"
#include "replay.h"
#include "store.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <deque>
#include <filesystem>
#include <map>
#include <memory>
#include <set>
#include <vector>

#if defined(_WIN32)
#ifndef NOMINMAX
#define NOMINMAX
#endif
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#else
#include <dlfcn.h>
#include <sys/stat.h>
#endif

namespace pcqw32 {

namespace {

enum class Mode { All, New, None };

// Calls of a replayed run read from the store at a time.
constexpr int kReadAhead = 512;

const char *mode_name(Mode m) {
    return m == Mode::All ? "all" : (m == Mode::New ? "new" : "none");
}

// The recorded library, loaded once by its full path and never unloaded. On 32-bit Windows
// its calling conventions are its own, whatever this library was built with: the first
// guarded call tells that of its `dbax` (20 argument bytes removed: stdcall, 0: cdecl), and
// its history callback follows the same unless PCQW32_RECORD_CALLBACK names another.
struct Target {
    std::string path;
    const void *dbax = nullptr;
    FeedConvention convention = FEED_CONVENTION_UNKNOWN; // as the first measured call showed it
};

void say_once(const std::string &what);

// Every call the recorder makes to the recorded library goes through here. The guarded call
// keeps the stack whole whichever convention the library follows; a library of neither, or
// one that changes, gets its status forwarded all the same and is named once on standard
// error.
int32_t call_target(Target &target, void *block, int32_t operation, void *key, void *record,
                    int32_t parameter) {
    int32_t removed = GUARDED_CALL_NOT_MEASURED;
    const int32_t status =
        guardedDbaxCall(target.dbax, block, operation, key, record, parameter, &removed);
    switch (checkConvention(&target.convention, removed)) {
    case CONVENTION_NEITHER:
        say_once("the recorded library's dbax removed " + std::to_string(removed) +
                 " bytes of arguments, which is neither stdcall (20) nor cdecl (0)");
        break;
    case CONVENTION_CHANGED:
        say_once("the recorded library's dbax changed its calling convention");
        break;
    case CONVENTION_KEPT:
        break;
    }
    return status;
}

// This process's recording in one store file.
struct Writer {
    std::unique_ptr<RecordingStore> store;
    int64_t recording = 0;    // added with the first call written
    std::string target, mode; // what the current recording is of
    int32_t sessions = 0;
    bool failed = false; // a write failed: nothing more goes into this store
};

// A bar read or a history scan in progress on a control block.
struct Run {
    bool active = false;
    std::deque<RecordedCall> ahead; // replay: calls of the run read ahead
    bool exhausted = false;         // replay: the recording holds no more calls of the run
    bool replayed = false;          // answered from the recording rather than forwarded
    int64_t head = 0;               // id of the call that started it
    int64_t last = 0;               // replay: id of the last call of the run answered
    int32_t calls = 0;              // calls of the run so far, its first included
    Bytes key;                      // bar reads: the security record every block read must carry
    std::string security;           // what the run reads, for messages
};

struct Session {
    int32_t db = 0;
    Mode mode = Mode::None;
    bool attached = false;       // as the caller was answered
    bool targetAttached = false; // the recorded library holds this control block attached
    Target *target = nullptr;
    Writer *writer = nullptr;               // recording modes (null when it could not open)
    std::unique_ptr<RecordingStore> replay; // mode none
    std::string storePath;
    int32_t number = 0; // the session's number in the recording
    Run bars, scan;
    // The last security record answered, and the security it is of, to name block reads.
    Bytes lastSecurityRecord;
    std::string lastSecurity;
};

// A forwarded scan call in progress: the recording callback finds the caller's callback and
// the deliveries it collects here.
struct Frame {
    HistoryScanBlock *scanBlock;
    HistoryCallbackFunction callerCallback;
    std::vector<RecordedDelivery> *deliveries;
    const void *recordingCallback; // in the recorded library's convention
};

int32_t open_count(const std::map<const void *, Session> &sessions, int32_t abandoned) {
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

FileStamp stamp_of(const std::string &path) {
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
    std::map<std::string, std::unique_ptr<Target>> targets;
    std::map<std::string, std::unique_ptr<Writer>> writers; // closed at exit
    std::map<const void *, Session> sessions;
    int32_t abandoned = 0;
    std::vector<Frame> frames;
    std::set<std::string> said;

    Recorder() { recorderBuilt = true; }
    ~Recorder() {
        openAtExit = open_count(sessions, abandoned);
        abandonedAtExit = abandoned;
        recorderGone = true;
    }
};

Recorder &recorder() {
    static Recorder r;
    return r;
}

// Prints a message on standard error the first time it comes up.
void say_once(const std::string &message) {
    if (recorder().said.insert(message).second) {
        std::fprintf(stderr, "PCQW32: %s\n", message.c_str());
    }
}

std::string env(const char *name) {
    const char *v = std::getenv(name);
    return v ? std::string(v) : std::string();
}

std::string utc_now() {
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

bool full_path(const std::string &path) {
#if defined(_WIN32)
    const bool drive = path.size() > 2 && path[1] == ':' && (path[2] == '\\' || path[2] == '/');
    const bool share = path.size() > 2 && (path[0] == '\\' || path[0] == '/') &&
                       (path[1] == '\\' || path[1] == '/');
    return drive || share;
#else
    return !path.empty() && path[0] == '/';
#endif
}

#if defined(_WIN32)
std::string system_message(DWORD code) {
    char buffer[512] = "";
    FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0,
                   buffer, sizeof buffer, nullptr);
    std::string text = buffer;
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) {
        text.pop_back();
    }
    return text.empty() ? "error " + std::to_string(code) : text;
}

bool file_identity(const std::string &path, BY_HANDLE_FILE_INFORMATION &info) {
    HANDLE h = CreateFileA(path.c_str(), FILE_READ_ATTRIBUTES,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        return false;
    }
    const bool ok = GetFileInformationByHandle(h, &info) != 0;
    CloseHandle(h);
    return ok;
}

std::string this_library() {
    HMODULE module = nullptr;
    if (!GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                                GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            reinterpret_cast<LPCSTR>(&this_library), &module)) {
        return "";
    }
    char path[MAX_PATH];
    const DWORD n = GetModuleFileNameA(module, path, MAX_PATH);
    return std::string(path, n);
}

// Whether `path` names this very library file.
bool is_this_library(const std::string &path) {
    BY_HANDLE_FILE_INFORMATION a{}, b{};
    return file_identity(path, a) && file_identity(this_library(), b) &&
           a.dwVolumeSerialNumber == b.dwVolumeSerialNumber &&
           a.nFileIndexHigh == b.nFileIndexHigh && a.nFileIndexLow == b.nFileIndexLow;
}
#else
std::string this_library() {
    Dl_info info;
    if (!dladdr(reinterpret_cast<void *>(&this_library), &info) || !info.dli_fname) {
        return "";
    }
    return info.dli_fname;
}

bool is_this_library(const std::string &path) {
    struct stat a {};
    struct stat b {};
    return stat(path.c_str(), &a) == 0 && stat(this_library().c_str(), &b) == 0 &&
           a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}
#endif

Target *load_target(const std::string &path, std::string &error) {
    Recorder &r = recorder();
    auto found = r.targets.find(path);
    if (found != r.targets.end()) {
        return found->second.get();
    }
    if (!full_path(path)) {
        error = "PCQW32_RECORD_TARGET must name the library by its full path, not \"" + path + "\"";
        return nullptr;
    }
    auto target = std::make_unique<Target>();
    target->path = path;
#if defined(_WIN32)
    // Its own dependencies are looked for beside it first.
    HMODULE library = LoadLibraryExA(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    if (!library) {
        error = "cannot load " + path + ": " + system_message(GetLastError());
        return nullptr;
    }
    // The plain name, or the names a stdcall export keeps when its decoration was not removed.
    for (const char *name : DBAX_EXPORT_NAMES) {
        FARPROC entry = GetProcAddress(library, name);
        static_assert(sizeof entry == sizeof target->dbax, "function pointer sizes");
        if (entry) {
            std::memcpy(&target->dbax, &entry, sizeof entry);
            break;
        }
    }
#else
    void *library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!library) {
        const char *why = dlerror();
        error = "cannot load " + path + ": " + (why ? why : "unknown error");
        return nullptr;
    }
    // Only the plain name: the decorated ones are 32-bit Windows' own.
    void *entry = dlsym(library, DBAX_EXPORT_NAMES[0]);
    if (entry) {
        std::memcpy(&target->dbax, &entry, sizeof entry);
    }
#endif
    if (!target->dbax) {
        error = path + " has no entry point dbax";
        return nullptr;
    }
    Target *t = target.get();
    r.targets.emplace(path, std::move(target));
    return t;
}

Writer *open_writer(const std::string &storePath, const Target &target) {
    Recorder &r = recorder();
    auto found = r.writers.find(storePath);
    if (found != r.writers.end()) {
        return found->second.get();
    }
    auto writer = std::make_unique<Writer>();
    std::string error;
    writer->store = RecordingStore::open_for_recording(storePath, error);
    if (!writer->store) {
        writer->failed = true;
        say_once("cannot record into " + storePath + ": " + error + "; calls go on to " +
                 target.path + " without being recorded");
    }
    Writer *w = writer.get();
    r.writers.emplace(storePath, std::move(writer));
    return w;
}

// The version of the recorded library, asked once when a recording starts, on a control block
// of the recorder's own.
void ask_version(Target &target, int32_t db, RecordingInfo &info) {
    FeedControlBlock block{};
    unsigned char record[RECORD_BUFFER_SIZE] = {};
    info.versionAsked = true;
    info.versionStatus = call_target(target, &block, DBA_ATTACH, nullptr, nullptr, db);
    if (info.versionStatus != 0) {
        return;
    }
    info.versionStatus = call_target(target, &block, DBA_GET_VERSION, nullptr, record, 0);
    call_target(target, &block, DBA_DETACH, nullptr, nullptr, 0);
    if (info.versionStatus == 0) {
        info.version = decode_version(record, sizeof record);
        info.versionRecord.assign(record, record + sizeof record);
    }
}

std::string quoted(const std::string &s) {
    return "\"" + s + "\"";
}

std::string security_name(const unsigned char *key) {
    return quoted(key_symbol(key)) + "/" + quoted(key_qualifier(key));
}

// What a call asks for, worked out before it is answered.
struct Shape {
    int32_t operation = 0, parameter = 0;
    HistoryScanBlock *scanBlock = nullptr;
    Run *run = nullptr;   // the run it starts or continues
    bool head = false;    // it starts `run`
    Bytes request;        // for calls that are not continuations
    Bytes key;            // the raw key bytes to record
    std::string what;     // the request in words
    std::string security; // for a call that starts a run: what the run reads
};

Shape shape_of(Session &s, int32_t operation, void *key, void *record, int32_t parameter) {
    Shape c;
    c.operation = operation;
    c.parameter = parameter;
    const auto *k = static_cast<const unsigned char *>(key);
    const std::size_t keySize = recorded_key_size(operation);
    if (k && keySize > 0) {
        c.key.assign(k, k + keySize);
    }
    if ((operation == DBA_GET_APPROX || operation == DBA_WAIT_APPROX) && record) {
        c.scanBlock = static_cast<HistoryScanBlock *>(record);
    }
    const bool hasMode = c.scanBlock != nullptr;
    const int32_t mode = hasMode ? c.scanBlock->mode : 0;
    Bytes keyPart;
    c.what = operation_name(operation);
    switch (operation) {
    case DBA_ATTACH:
        c.what += " of database " + std::to_string(parameter);
        break;
    case DBA_GET_RECORD:
        keyPart = c.key;
        if (k) {
            c.what += " of " + security_name(k);
        }
        break;
    case DBA_GET_RECORD_EXT:
        // Bytes 18 to 20 of the tagged key are not the caller's to set; the tag is.
        if (k) {
            keyPart.assign(k, k + SECURITY_KEY_SIZE);
            keyPart.insert(keyPart.end(), k + KEY_TAG_OFFSET, k + KEY_TAG_OFFSET + KEY_TAG_SIZE);
            c.what += " of " + security_name(k) + " with the tag " +
                      quoted(std::string(reinterpret_cast<const char *>(k + KEY_TAG_OFFSET),
                                         KEY_TAG_SIZE));
        }
        break;
    case DBA_GET_FIRST_BLOCK:
        keyPart = c.key;
        c.run = &s.bars;
        c.head = true;
        c.security =
            k && c.key == s.lastSecurityRecord ? s.lastSecurity : std::string("a security record");
        c.what += " of " + c.security;
        break;
    case DBA_GET_NEXT_BLOCK:
        if (s.bars.active && k && c.key == s.bars.key) {
            c.run = &s.bars;
            c.key.clear(); // the run's first call holds it
            c.what += ", block " + std::to_string(s.bars.calls + 1) + " of " + s.bars.security;
        } else {
            keyPart = c.key;
            c.what += " outside a bar read";
        }
        break;
    case DBA_GET_APPROX:
        if (hasMode && mode == SCAN_MODE_POSITION) {
            keyPart = c.key;
            c.run = &s.scan;
            c.head = true;
            c.security = k ? security_name(k) : std::string("a null key");
            c.what += " (mode 1) from " + c.security;
            break;
        }
        [[fallthrough]];
    case DBA_WAIT_APPROX:
        if (hasMode) {
            c.what += " (mode " + std::to_string(mode) + ")";
        }
        if (s.scan.active) {
            c.run = &s.scan;
            c.what += ", call " + std::to_string(s.scan.calls + 1) + " of the scan from " +
                      s.scan.security;
        } else {
            c.what += " outside a scan";
        }
        break;
    default:
        break;
    }
    if (!c.run || c.head) {
        c.request = request_bytes(s.attached, parameter, hasMode, mode, keyPart);
    } else {
        c.request = request_bytes(s.attached, parameter, hasMode, mode, Bytes());
    }
    return c;
}

ScanFields scan_fields(const HistoryScanBlock *sb) {
    ScanFields f;
    f.reserved4 = sb->reserved4;
    f.reserved8 = sb->reserved8;
    f.started = sb->started;
    return f;
}

// The one callback the recorder hands the recorded library: notes the delivery and passes it
// on, unchanged, to the caller's callback, which finds its scan block as the library left it.
int32_t record_delivery(int32_t argument1, int32_t event, const void *key, const void *block,
                        int32_t argument5, int32_t status, void *scanBlock) {
    Recorder &r = recorder();
    auto *sb = static_cast<HistoryScanBlock *>(scanBlock);
    Frame *frame = nullptr;
    for (auto f = r.frames.rbegin(); f != r.frames.rend(); ++f) {
        if (f->scanBlock == sb) {
            frame = &*f;
            break;
        }
    }
    if (!frame) {
        say_once("a history delivery came outside the scan call that asked for it, or with "
                 "another scan block; it was ignored");
        return 1;
    }
    RecordedDelivery d;
    d.argument1 = argument1;
    d.event = event;
    d.argument5 = argument5;
    d.status = status;
    if (key) {
        const auto *k = static_cast<const unsigned char *>(key);
        d.key.assign(k, k + SECURITY_KEY_SIZE);
    }
    if (block) {
        const auto *b = static_cast<const unsigned char *>(block);
        d.block.assign(b, b + HISTORY_BLOCK_SIZE);
    }
    d.seen = scan_fields(sb);
    HistoryCallbackFunction callerCallback = frame->callerCallback;
    sb->callback = callerCallback;
    const int32_t result =
        callerCallback ? callerCallback(argument1, event, key, block, argument5, status, scanBlock)
                       : 1;
    // The frames may have moved if the caller's callback made scan calls of its own.
    for (auto f = r.frames.rbegin(); f != r.frames.rend(); ++f) {
        if (f->scanBlock == sb) {
            f->callerCallback = sb->callback; // the caller may have set another one
            setScanCallback(sb, f->recordingCallback);
            d.result = result;
            f->deliveries->push_back(std::move(d));
            break;
        }
    }
    return result;
}

// The recording callback in the convention the recorded library calls it with: that of its
// `dbax`, or the one PCQW32_RECORD_CALLBACK names for a library that mixes them. The caller's
// own callback is called in this library's convention.
#if GUARDED_CALL_MEASURES
int32_t __stdcall recording_callback_stdcall(int32_t argument1, int32_t event, const void *key,
                                             const void *block, int32_t argument5, int32_t status,
                                             void *scanBlock) {
    return record_delivery(argument1, event, key, block, argument5, status, scanBlock);
}
int32_t __cdecl recording_callback_cdecl(int32_t argument1, int32_t event, const void *key,
                                         const void *block, int32_t argument5, int32_t status,
                                         void *scanBlock) {
    return record_delivery(argument1, event, key, block, argument5, status, scanBlock);
}
#else
int32_t recording_callback_native(int32_t argument1, int32_t event, const void *key,
                                  const void *block, int32_t argument5, int32_t status,
                                  void *scanBlock) {
    return record_delivery(argument1, event, key, block, argument5, status, scanBlock);
}
#endif

// The address of the callback to hand `target`.
const void *recording_callback_for(const Target &target) {
#if GUARDED_CALL_MEASURES
    bool useCdecl = target.convention == FEED_CONVENTION_CDECL;
    const std::string named = env("PCQW32_RECORD_CALLBACK");
    const FeedConvention namedConvention = parseConvention(named.c_str());
    if (namedConvention != FEED_CONVENTION_UNKNOWN) {
        useCdecl = namedConvention == FEED_CONVENTION_CDECL;
    } else if (!named.empty()) {
        say_once("PCQW32_RECORD_CALLBACK is \"" + named +
                 "\": it must be stdcall or cdecl; the convention of dbax is used");
    }
    return useCdecl ? functionAddress(&recording_callback_cdecl)
                    : functionAddress(&recording_callback_stdcall);
#else
    (void)target;
    return functionAddress(&recording_callback_native);
#endif
}

// Forwards a call to the recorded library with the caller's own arguments and returns what
// the library returned; the deliveries it made during the call land in `deliveries`.
int32_t forward(Target &target, void *block, const Shape &c, void *key, void *record,
                std::vector<RecordedDelivery> &deliveries) {
    HistoryScanBlock *sb = c.scanBlock;
    HistoryCallbackFunction callerCallback = sb ? sb->callback : nullptr;
    if (!callerCallback) {
        return call_target(target, block, c.operation, key, record, c.parameter);
    }
    Recorder &r = recorder();
    const void *recordingCallback = recording_callback_for(target);
    r.frames.push_back(Frame{sb, callerCallback, &deliveries, recordingCallback});
    setScanCallback(sb, recordingCallback);
    const int32_t status = call_target(target, block, c.operation, key, record, c.parameter);
    sb->callback = r.frames.back().callerCallback;
    r.frames.pop_back();
    return status;
}

void write_call(Session &s, RecordedCall &call, bool replace) {
    Writer *w = s.writer;
    if (!w || w->failed) {
        return;
    }
    if (w->recording == 0 || w->target != s.target->path || w->mode != mode_name(s.mode)) {
        RecordingInfo info;
        info.started = utc_now();
        info.target = s.target->path;
        info.mode = mode_name(s.mode);
        ask_version(*s.target, s.db, info);
        w->recording = w->store->start_recording(info);
        w->target = info.target;
        w->mode = info.mode;
        if (w->recording == 0) {
            w->failed = true;
            say_once("cannot record into " + w->store->path() + ": " + w->store->error() +
                     "; calls go on to " + s.target->path + " without being recorded");
            return;
        }
    }
    call.recording = w->recording;
    call.session = s.number;
    if (!w->store->append(call, replace)) {
        w->failed = true;
        say_once("cannot record into " + w->store->path() + ": " + w->store->error() +
                 "; calls go on to " + s.target->path + " without being recorded");
    }
}

// Forwards a call and records it. Whatever happens to the recording, the caller gets what
// the recorded library returned.
int32_t forward_and_record(Session &s, void *block, const Shape &c, void *key, void *record,
                           std::string &error) {
    const std::size_t recordSize = record ? recorded_record_size(c.operation) : 0;
    Bytes before;
    RecordedCall call;
    try {
        before.assign(static_cast<unsigned char *>(record),
                      static_cast<unsigned char *>(record) + recordSize);
    } catch (...) {
        before.clear();
    }
    const bool attachedBefore = s.attached;
    const int32_t status = forward(*s.target, block, c, key, record, call.deliveries);
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
            call.scan = scan_fields(c.scanBlock);
        }
        write_call(s, call, s.mode == Mode::All);
    } catch (...) {
        if (s.writer && !s.writer->failed) {
            s.writer->failed = true;
            say_once("cannot record into " + s.storePath + ": out of memory; calls go on to " +
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
int32_t replay_call(const RecordedCall &rc, const Shape &c, void *record, std::string &error) {
    const int32_t status = replay_recorded(rc, c.scanBlock, record, error);
    if (status != 0 && error.empty()) {
        error = "recorded answer to " + c.what + ": status " + std::to_string(status);
    }
    return status;
}

int32_t not_recorded(const Session &s, const Shape &c, std::string &error) {
    error =
        "not recorded: " + c.what + " (database " + std::to_string(s.db) + ", " + s.storePath + ")";
    return PCQW32_NOT_RECORDED;
}

RecordingStore *lookup_store(Session &s) {
    if (s.mode == Mode::None) {
        return s.replay.get();
    }
    return s.writer && s.writer->store ? s.writer->store.get() : nullptr;
}

// Finds the recorded answer to a call: the next call of a replayed run, or the latest call
// of the same request. Failed when the recording cannot be read, which is not the same as
// holding no answer.
Lookup find_recorded(Session &s, const Shape &c, RecordedCall &out) {
    RecordingStore *store = lookup_store(s);
    if (!store) {
        return Lookup::Absent;
    }
    if (c.run && !c.head) {
        Run &run = *c.run;
        if (!run.replayed) {
            return Lookup::Absent;
        }
        if (run.ahead.empty() && !run.exhausted) {
            if (!store->run_calls(run.head, run.last, kReadAhead, run.ahead)) {
                run.ahead.clear();
                return Lookup::Failed;
            }
            run.exhausted = run.ahead.empty();
        }
        if (run.ahead.empty() || run.ahead.front().operation != c.operation ||
            run.ahead.front().request != c.request) {
            return Lookup::Absent;
        }
        out = std::move(run.ahead.front());
        run.ahead.pop_front();
        return Lookup::Found;
    }
    return store->find_request(c.operation, c.request, out);
}

int32_t unreadable_recording(Session &s, const Shape &c, std::string &error) {
    RecordingStore *store = lookup_store(s);
    error =
        "the recording cannot be read (" + c.what + "): " + (store ? store->error() : s.storePath);
    return PCQW32_STORE_UNREADABLE;
}

// In mode new, a forwarded call needs the recorded library attached on the caller's block,
// which a replayed attach never did.
int32_t ensure_target_attached(Session &s, void *block, const Shape &c, std::string &error) {
    if (s.targetAttached || !s.attached || c.operation == DBA_ATTACH) {
        return 0;
    }
    const int32_t st = call_target(*s.target, block, DBA_ATTACH, nullptr, nullptr, s.db);
    if (st != 0) {
        error = "the attach needed to forward " + c.what + " to " + s.target->path +
                " failed with status " + std::to_string(st);
        return st;
    }
    s.targetAttached = true;
    return 0;
}

void after_call(Session &s, const Shape &c, void *key, void *record, int32_t status, bool replayed,
                int64_t recordedId) {
    if (c.operation == DBA_ATTACH || c.operation == DBA_DETACH) {
        if (status == 0) {
            s.attached = c.operation == DBA_ATTACH;
        }
        s.bars = Run{};
        s.scan = Run{};
        return;
    }
    if (c.operation == DBA_GET_RECORD && status == 0 && key && record) {
        const auto *r = static_cast<const unsigned char *>(record);
        s.lastSecurityRecord.assign(r, r + SECURITY_RECORD_SIZE);
        s.lastSecurity = security_name(static_cast<const unsigned char *>(key));
    }
    if (!c.run) {
        return;
    }
    Run &run = *c.run;
    if (c.head) {
        run.active = true;
        run.calls = 1;
        run.key = c.operation == DBA_GET_FIRST_BLOCK ? c.key : Bytes();
        run.security = c.security;
        if (replayed) {
            run.replayed = true;
            run.head = recordedId;
        }
    } else {
        ++run.calls;
    }
    if (replayed) {
        run.last = recordedId;
    }
}

int32_t session_call(Session &s, void *block, int32_t operation, void *key, void *record,
                     int32_t parameter, std::string &error) {
    const Shape c = shape_of(s, operation, key, record, parameter);
    int32_t status = 0;
    bool replayed = false;
    RecordedCall rc;
    const bool continuation = c.run && !c.head;
    const Lookup found = s.mode != Mode::All && (!continuation || c.run->replayed)
                             ? find_recorded(s, c, rc)
                             : Lookup::Absent;
    if (found == Lookup::Failed) {
        status = unreadable_recording(s, c, error);
    } else if (found == Lookup::Found) {
        status = replay_call(rc, c, record, error);
        replayed = true;
        if (s.mode == Mode::New && operation == DBA_DETACH && s.targetAttached) {
            // The caller's detach was answered from the recording; the attachment made to
            // forward earlier calls is released all the same.
            if (call_target(*s.target, block, DBA_DETACH, nullptr, nullptr, 0) == 0) {
                s.targetAttached = false;
            }
        }
    } else if (s.mode == Mode::None || (continuation && c.run->replayed)) {
        status = not_recorded(s, c, error);
    } else if ((status = ensure_target_attached(s, block, c, error)) == 0) {
        status = forward_and_record(s, block, c, key, record, error);
    }
    after_call(s, c, key, record, status, replayed, rc.id);
    return status;
}

// What the environment asks for at an attach.
struct Setup {
    std::string target, recordDir, modeText;
    Mode mode = Mode::None;
    bool modeGiven = false;
};

// Drops the session a control block had, counting it abandoned when it was still attached.
void drop_session(const void *block) {
    Recorder &r = recorder();
    auto found = r.sessions.find(block);
    if (found != r.sessions.end()) {
        if (found->second.attached) {
            ++r.abandoned;
        }
        r.sessions.erase(found);
    }
}

bool known_without_recording(const std::string &path, const FileStamp &now) {
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
        setup.mode = Mode::All;
    } else if (setup.modeText == "new") {
        setup.mode = Mode::New;
    } else if (setup.modeText == "none" || !setup.modeGiven) {
        setup.mode = setup.modeGiven || setup.target.empty() ? Mode::None : Mode::All;
    } else {
        drop_session(block);
        error = "PCQW32_RECORD_MODE \"" + setup.modeText + "\" is not all, new or none";
        say_once(error);
        status = PCQW32_BAD_ARGUMENT;
        return true;
    }
    // The library named as the one to record serves its own store: that is its part when a
    // second copy of the simulator stands in for the vendor's library.
    if (!setup.target.empty() && is_this_library(setup.target)) {
        drop_session(block);
        return false;
    }
    const std::string folder = setup.recordDir.empty() ? dataFolder : setup.recordDir;
    const std::string storePath = store_path(folder, db);

    Session s;
    s.db = db;
    s.mode = setup.mode;
    s.storePath = storePath;
    if (s.mode == Mode::None) {
        const FileStamp before = stamp_of(storePath);
        if (!setup.modeGiven && known_without_recording(storePath, before)) {
            drop_session(block);
            return false;
        }
        std::string why;
        bool unreadable = false;
        s.replay = RecordingStore::open_for_replay(storePath, why, &unreadable);
        if (unreadable) {
            // Whether the store holds a recording cannot be told, so neither the recording
            // nor the simulator's own data can answer for it.
            drop_session(block);
            error = "the store cannot be read: " + why;
            status = PCQW32_STORE_UNREADABLE;
            return true;
        }
        if (!s.replay && !setup.modeGiven) {
            // No recording here: the simulator serves its own store.
            recorder().withoutRecording[storePath] = before;
            drop_session(block);
            return false;
        }
    } else {
        if (setup.target.empty()) {
            drop_session(block);
            error = std::string("PCQW32_RECORD_MODE=") + mode_name(s.mode) +
                    " needs PCQW32_RECORD_TARGET, the library to record";
            say_once(error);
            status = PCQW32_TARGET_UNAVAILABLE;
            return true;
        }
        s.target = load_target(setup.target, error);
        if (!s.target) {
            drop_session(block);
            say_once(error);
            status = PCQW32_TARGET_UNAVAILABLE;
            return true;
        }
        s.writer = open_writer(storePath, *s.target);
        s.number = ++s.writer->sessions;
    }
    drop_session(block);
    Session &session = r.sessions[block] = std::move(s);
    status = session_call(session, block, DBA_ATTACH, nullptr, nullptr, db, error);
    return true;
}

} // namespace

bool recorder_call(void *block, int32_t operation, void *key, void *record, int32_t parameter,
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
    status = session_call(found->second, block, operation, key, record, parameter, error);
    return true;
}

int32_t recorder_open_attachments() {
    if (!recorderBuilt) {
        return 0;
    }
    return recorderGone ? openAtExit : open_count(recorder().sessions, recorder().abandoned);
}

int32_t recorder_abandoned_attachments() {
    if (!recorderBuilt) {
        return 0;
    }
    return recorderGone ? abandonedAtExit : recorder().abandoned;
}

void recorder_reset() {
    if (!recorderBuilt || recorderGone) {
        return;
    }
    Recorder &r = recorder();
    r.sessions.clear();
    r.writers.clear();
    r.withoutRecording.clear();
    r.abandoned = 0;
    r.frames.clear();
    r.said.clear();
}

} // namespace pcqw32
