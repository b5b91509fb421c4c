#include "recorded_library.h"

#include "notices.h"

#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>

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

// The libraries loaded, by their paths; never unloaded.
std::map<std::string, std::unique_ptr<Target>> &targets() {
    static std::map<std::string, std::unique_ptr<Target>> loaded;
    return loaded;
}

// A forwarded scan call in progress: the recording callback finds the caller's callback and
// the deliveries it collects here.
struct Frame {
    HistoryScanBlock *scanBlock;
    HistoryCallbackFunction callerCallback;
    std::vector<RecordedDelivery> *deliveries;
    const void *recordingCallback; // in the recorded library's convention
};

// The forwarded scan calls in progress, the innermost last.
std::vector<Frame> &frames() {
    static std::vector<Frame> inProgress;
    return inProgress;
}

bool fullPath(const std::string &path) {
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
std::string systemMessage(DWORD code) {
    char buffer[512] = "";
    FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0,
                   buffer, sizeof buffer, nullptr);
    std::string text = buffer;
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) {
        text.pop_back();
    }
    return text.empty() ? "error " + std::to_string(code) : text;
}

bool fileIdentity(const std::string &path, BY_HANDLE_FILE_INFORMATION &info) {
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

std::string thisLibrary() {
    HMODULE module = nullptr;
    if (!GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                                GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            reinterpret_cast<LPCSTR>(&thisLibrary), &module)) {
        return "";
    }
    char path[MAX_PATH];
    const DWORD n = GetModuleFileNameA(module, path, MAX_PATH);
    return std::string(path, n);
}

#else
std::string thisLibrary() {
    Dl_info info;
    if (!dladdr(reinterpret_cast<void *>(&thisLibrary), &info) || !info.dli_fname) {
        return "";
    }
    return info.dli_fname;
}

#endif

} // namespace

#if defined(_WIN32)
bool isThisLibrary(const std::string &path) {
    BY_HANDLE_FILE_INFORMATION a{}, b{};
    return fileIdentity(path, a) && fileIdentity(thisLibrary(), b) &&
           a.dwVolumeSerialNumber == b.dwVolumeSerialNumber &&
           a.nFileIndexHigh == b.nFileIndexHigh && a.nFileIndexLow == b.nFileIndexLow;
}
#else
bool isThisLibrary(const std::string &path) {
    struct stat a {};
    struct stat b {};
    return stat(path.c_str(), &a) == 0 && stat(thisLibrary().c_str(), &b) == 0 &&
           a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}
#endif

Target *loadTarget(const std::string &path, std::string &error) {
    auto found = targets().find(path);
    if (found != targets().end()) {
        return found->second.get();
    }
    if (!fullPath(path)) {
        error = "PCQW32_RECORD_TARGET must name the library by its full path, not \"" + path + "\"";
        return nullptr;
    }
    auto target = std::make_unique<Target>();
    target->path = path;
#if defined(_WIN32)
    // Its own dependencies are looked for beside it first.
    HMODULE library = LoadLibraryExA(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    if (!library) {
        error = "cannot load " + path + ": " + systemMessage(GetLastError());
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
    targets().emplace(path, std::move(target));
    return t;
}

int32_t callTarget(Target &target, void *block, int32_t operation, void *key, void *record,
                   int32_t parameter) {
    int32_t removed = GUARDED_CALL_NOT_MEASURED;
    const int32_t status =
        guardedDbaxCall(target.dbax, block, operation, key, record, parameter, &removed);
    switch (checkConvention(&target.convention, removed)) {
    case CONVENTION_NEITHER:
        sayOnce("the recorded library's dbax removed " + std::to_string(removed) +
                " bytes of arguments, which is neither stdcall (20) nor cdecl (0)");
        break;
    case CONVENTION_CHANGED:
        sayOnce("the recorded library's dbax changed its calling convention");
        break;
    case CONVENTION_KEPT:
        break;
    }
    return status;
}

namespace {

// The one callback the recorder hands the recorded library: notes the delivery and passes it
// on, unchanged, to the caller's callback, which finds its scan block as the library left it.
int32_t recordDelivery(int32_t argument1, int32_t event, const void *key, const void *block,
                       int32_t argument5, int32_t status, void *scanBlock) {
    auto *sb = static_cast<HistoryScanBlock *>(scanBlock);
    Frame *frame = nullptr;
    for (auto f = frames().rbegin(); f != frames().rend(); ++f) {
        if (f->scanBlock == sb) {
            frame = &*f;
            break;
        }
    }
    if (!frame) {
        sayOnce("a history delivery came outside the scan call that asked for it, or with "
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
    d.seen = scanFieldsOf(sb);
    HistoryCallbackFunction callerCallback = frame->callerCallback;
    sb->callback = callerCallback;
    const int32_t result =
        callerCallback ? callerCallback(argument1, event, key, block, argument5, status, scanBlock)
                       : 1;
    // The frames may have moved if the caller's callback made scan calls of its own.
    for (auto f = frames().rbegin(); f != frames().rend(); ++f) {
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
int32_t __stdcall recordingCallbackStdcall(int32_t argument1, int32_t event, const void *key,
                                           const void *block, int32_t argument5, int32_t status,
                                           void *scanBlock) {
    return recordDelivery(argument1, event, key, block, argument5, status, scanBlock);
}
int32_t __cdecl recordingCallbackCdecl(int32_t argument1, int32_t event, const void *key,
                                       const void *block, int32_t argument5, int32_t status,
                                       void *scanBlock) {
    return recordDelivery(argument1, event, key, block, argument5, status, scanBlock);
}
#else
int32_t recordingCallbackNative(int32_t argument1, int32_t event, const void *key,
                                const void *block, int32_t argument5, int32_t status,
                                void *scanBlock) {
    return recordDelivery(argument1, event, key, block, argument5, status, scanBlock);
}
#endif

// The address of the callback to hand `target`.
const void *recordingCallbackFor(const Target &target) {
#if GUARDED_CALL_MEASURES
    bool useCdecl = target.convention == FEED_CONVENTION_CDECL;
    const char *setting = std::getenv("PCQW32_RECORD_CALLBACK");
    const std::string named = setting ? setting : "";
    const FeedConvention namedConvention = parseConvention(named.c_str());
    if (namedConvention != FEED_CONVENTION_UNKNOWN) {
        useCdecl = namedConvention == FEED_CONVENTION_CDECL;
    } else if (!named.empty()) {
        sayOnce("PCQW32_RECORD_CALLBACK is \"" + named +
                "\": it must be stdcall or cdecl; the convention of dbax is used");
    }
    return useCdecl ? functionAddress(&recordingCallbackCdecl)
                    : functionAddress(&recordingCallbackStdcall);
#else
    (void)target;
    return functionAddress(&recordingCallbackNative);
#endif
}

} // namespace

int32_t forwardToTarget(Target &target, void *block, int32_t operation, void *key, void *record,
                        int32_t parameter, HistoryScanBlock *sb,
                        std::vector<RecordedDelivery> &deliveries) {
    HistoryCallbackFunction callerCallback = sb ? sb->callback : nullptr;
    if (!callerCallback) {
        return callTarget(target, block, operation, key, record, parameter);
    }
    const void *recordingCallback = recordingCallbackFor(target);
    frames().push_back(Frame{sb, callerCallback, &deliveries, recordingCallback});
    setScanCallback(sb, recordingCallback);
    const int32_t status = callTarget(target, block, operation, key, record, parameter);
    sb->callback = frames().back().callerCallback;
    frames().pop_back();
    return status;
}

void forgetForwardedScans() {
    frames().clear();
}

} // namespace pcqw32
