#include "feed_link.h"

#include "failures.h"
#include "feed_link_testing.h"
#include "pe_header.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace {

const void *overrideEntry = nullptr;
const void *libraryEntry = nullptr;

// The library's optional description of its last failure; plain C convention.
using DescribeFunction = int32_t (*)(char *buffer, int32_t size);
DescribeFunction libraryDescribe = nullptr;
constexpr const char *DESCRIBE_EXPORT = "pcqw32_last_error";

FeedConvention detectedConvention = FEED_CONVENTION_UNKNOWN;

// QUORVEX_FEED_CALLBACK, read once: unread, absent, or one of the conventions; anything else
// is kept, cut to fit, for the message that refuses it.
bool callbackSettingRead = false;
FeedConvention callbackSetting = FEED_CONVENTION_UNKNOWN;
bool callbackSettingRefused = false;
char refusedCallbackSetting[64];

#if defined(_WIN32)
constexpr const char *LIBRARY_NAME = "PCQW32.dll";
constexpr const wchar_t LIBRARY_FILE[] = L"PCQW32.dll";
constexpr size_t LIBRARY_FILE_LENGTH = sizeof LIBRARY_FILE / sizeof LIBRARY_FILE[0] - 1;

// Where the Windows headers in use predate them (the flags need Windows 8, or Windows 7 with
// KB2533623, at run time).
#ifndef LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR
#define LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR 0x00000100
#endif
#ifndef LOAD_LIBRARY_SEARCH_DEFAULT_DIRS
#define LOAD_LIBRARY_SEARCH_DEFAULT_DIRS 0x00001000
#endif

// Paths in the wide-character API, so that folders with characters outside the ANSI code page
// work; the longest path Windows allows, and the longest environment variable.
constexpr DWORD PATH_ROOM = FEED_PATH_ROOM;
wchar_t candidate[PATH_ROOM];
wchar_t ownFolder[PATH_ROOM];
wchar_t pathVariable[PATH_ROOM];

// Text for messages, in UTF-8.
void toUtf8(const wchar_t *text, char *out, size_t size) {
    int written =
        WideCharToMultiByte(CP_UTF8, 0, text, -1, out, static_cast<int>(size), nullptr, nullptr);
    if (written <= 0) {
        // Too long for the message: the end of the path matters least.
        out[0] = '\0';
        if (GetLastError() == ERROR_INSUFFICIENT_BUFFER) {
            WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(size / 4), out,
                                static_cast<int>(size) - 4, nullptr, nullptr);
            out[size - 4] = '\0';
            std::strcat(out, "...");
        }
    }
}

// The system's text for `code`, without its trailing line break and full stop.
void systemReason(DWORD code, char *out, size_t size) {
    wchar_t text[512];
    DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                  nullptr, code, 0, text, 512, nullptr);
    while (length > 0 && (text[length - 1] == L'\n' || text[length - 1] == L'\r' ||
                          text[length - 1] == L' ' || text[length - 1] == L'.')) {
        text[--length] = L'\0';
    }
    if (length == 0) {
        std::snprintf(out, size, "system error %lu", static_cast<unsigned long>(code));
        return;
    }
    // Messages about a file name it as "%1", an insert left open here; the message that
    // carries the reason names the file already.
    for (wchar_t *insert = std::wcsstr(text, L"%1"); insert != nullptr;
         insert = std::wcsstr(insert, L"%1")) {
        insert[0] = L'i';
        insert[1] = L't';
    }
    char reason[1024];
    toUtf8(text, reason, sizeof reason);
    std::snprintf(out, size, "%s (system error %lu)", reason, static_cast<unsigned long>(code));
}

bool isFile(const wchar_t *path) {
    DWORD attributes = GetFileAttributesW(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

// candidate = folder (the first `length` characters of `folder`) + '\' + PCQW32.dll.
bool joinCandidate(const wchar_t *folder, size_t length) {
    bool separator = length > 0 && (folder[length - 1] == L'\\' || folder[length - 1] == L'/');
    if (length + 1 + LIBRARY_FILE_LENGTH + 1 > PATH_ROOM) {
        return false;
    }
    std::wmemcpy(candidate, folder, length);
    if (!separator) {
        candidate[length++] = L'\\';
    }
    std::wmemcpy(candidate + length, LIBRARY_FILE, LIBRARY_FILE_LENGTH + 1);
    return true;
}

// The folder of the DLL (or program) that holds this code, with its length; false when the
// path cannot be had.
bool moduleFolder(wchar_t *path, size_t *length) {
    HMODULE self = nullptr;
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                                GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            reinterpret_cast<LPCWSTR>(&moduleFolder), &self)) {
        return false;
    }
    DWORD written = GetModuleFileNameW(self, path, PATH_ROOM);
    if (written == 0 || written >= PATH_ROOM) {
        return false;
    }
    size_t folder = written;
    while (folder > 0 && path[folder - 1] != L'\\' && path[folder - 1] != L'/') {
        --folder;
    }
    path[folder] = L'\0';
    *length = folder;
    return folder > 0;
}

// An absolute folder: a drive letter with its root ("C:\", "C:/") or a UNC path ("\\server").
// Relative PATH entries, "." among them, would search the current folder.
bool isAbsoluteFolder(const wchar_t *folder, size_t length) {
    if (length >= 3 &&
        ((folder[0] >= L'A' && folder[0] <= L'Z') || (folder[0] >= L'a' && folder[0] <= L'z')) &&
        folder[1] == L':' && (folder[2] == L'\\' || folder[2] == L'/')) {
        return true;
    }
    return length >= 3 && (folder[0] == L'\\' || folder[0] == L'/') &&
           (folder[1] == L'\\' || folder[1] == L'/');
}

// Loads `path` with the library's own folder and the system's default folders as the search
// path of its dependencies, so that they never come from the current folder either. Systems
// without those flags refuse them as an invalid parameter; the older altered search path does
// the same for a full path there.
HMODULE loadByFullPath(const wchar_t *path) {
    HMODULE module = LoadLibraryExW(
        path, nullptr, LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_DEFAULT_DIRS);
    if (module == nullptr && GetLastError() == ERROR_INVALID_PARAMETER) {
        module = LoadLibraryExW(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    }
    return module;
}

[[noreturn]] void refuseCandidate(const char *what) {
    DWORD code = GetLastError();
    char path[1024];
    char reason[1024];
    toUtf8(candidate, path, sizeof path);
    systemReason(code, reason, sizeof reason);
    raiseFormatted(ID_FEED_LIBRARY, "Cannot %s the feed library %s: %s", what, path, reason);
}

// Finds the library (see feed_link.h): true with its full path in `candidate`, false with the
// folders looked in said in `where`.
bool findLibrary(char *where, size_t whereSize) {
    size_t length = 0;
    bool besideKnown = moduleFolder(ownFolder, &length);
    if (besideKnown && joinCandidate(ownFolder, length) && isFile(candidate)) {
        return true;
    }
    DWORD pathLength = GetEnvironmentVariableW(L"PATH", pathVariable, PATH_ROOM);
    if (pathLength >= PATH_ROOM) {
        pathLength = 0;
    }
    pathVariable[pathLength] = L'\0';
    const wchar_t *entry = pathVariable;
    while (*entry != L'\0') {
        const wchar_t *end = entry;
        while (*end != L'\0' && *end != L';') {
            ++end;
        }
        const wchar_t *from = entry;
        const wchar_t *to = end;
        while (from < to && (*from == L' ' || *from == L'"')) {
            ++from;
        }
        while (to > from && (to[-1] == L' ' || to[-1] == L'"')) {
            --to;
        }
        size_t entryLength = static_cast<size_t>(to - from);
        if (isAbsoluteFolder(from, entryLength) && joinCandidate(from, entryLength) &&
            isFile(candidate)) {
            return true;
        }
        entry = *end == L';' ? end + 1 : end;
    }
    if (besideKnown) {
        toUtf8(ownFolder, where, whereSize);
    } else {
        std::snprintf(where, whereSize, "%s", "(the module's folder is unknown)");
    }
    return false;
}

// The machine of the file at `candidate`, from its PE header; false when it has none.
bool candidateMachine(uint16_t *machine) {
    HANDLE file = CreateFileW(candidate, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    unsigned char head[PE_HEADER_READ];
    DWORD got = 0;
    const BOOL read = ReadFile(file, head, sizeof head, &got, nullptr);
    CloseHandle(file);
    return read && readPeMachine(head, got, machine);
}

// This process's machine.
constexpr uint16_t PROCESS_MACHINE =
#if defined(_M_X64) || defined(__x86_64__)
    PE_MACHINE_AMD64;
#elif defined(_M_ARM64) || defined(__aarch64__)
    PE_MACHINE_ARM64;
#else
    PE_MACHINE_I386;
#endif

// Finds the library and loads it. Raises when it is nowhere, when it is built for another
// machine than this process, or when the file found fails to load: a file that is there and
// broken is reported, never passed over for another.
HMODULE openLibrary() {
    char where[1024];
    if (!findLibrary(where, sizeof where)) {
        raiseFormatted(ID_FEED_LIBRARY,
                       "Cannot find the feed library %s: it is neither beside the module in %s "
                       "nor in an absolute folder of PATH (the current folder is never searched)",
                       LIBRARY_NAME, where);
    }
    uint16_t machine = 0;
    if (candidateMachine(&machine) && machine != PROCESS_MACHINE) {
        char path[1024];
        toUtf8(candidate, path, sizeof path);
        raiseFormatted(ID_FEED_LIBRARY,
                       "Cannot load the feed library %s: it is a %s library and this process "
                       "is %s%s",
                       path, peMachineName(machine), peMachineName(PROCESS_MACHINE),
                       machine == PE_MACHINE_I386
                           ? "; the feed helper reaches it (QUORVEX_FEED_ISOLATION unset or "
                             "helper)"
                           : "");
    }
    HMODULE loaded = loadByFullPath(candidate);
    if (loaded == nullptr) {
        refuseCandidate("load");
    }
    return loaded;
}

// The entry point under its plain name, or under the names a stdcall export carries when the
// library was linked without removing the decoration; a decorated name also proves stdcall.
const void *findEntry(HMODULE library, bool *decorated) {
    for (int i = 0; i < DBAX_EXPORT_NAME_COUNT; ++i) {
        FARPROC found = GetProcAddress(library, DBAX_EXPORT_NAMES[i]);
        if (found != nullptr) {
            *decorated = i > 0;
            const void *entry;
            std::memcpy(&entry, &found, sizeof entry);
            return entry;
        }
    }
    return nullptr;
}

void loadLibrary() {
    HMODULE library = openLibrary();
    bool decorated = false;
    const void *entry = findEntry(library, &decorated);
    if (entry == nullptr) {
        DWORD code = GetLastError();
        char path[1024];
        char reason[1024];
        if (GetModuleFileNameW(library, candidate, PATH_ROOM) == 0) {
            candidate[0] = L'\0';
        }
        toUtf8(candidate, path, sizeof path);
        systemReason(code, reason, sizeof reason);
        FreeLibrary(library);
        raiseFormatted(ID_FEED_LIBRARY,
                       "The feed library %s has no entry point dbax (nor _dbax@20 or dbax@20): %s",
                       path, reason);
    }
    if (decorated) {
        detectedConvention = FEED_CONVENTION_STDCALL;
    }
    FARPROC describe = GetProcAddress(library, DESCRIBE_EXPORT);
    if (describe != nullptr) {
        std::memcpy(&libraryDescribe, &describe, sizeof libraryDescribe);
    }
    // The library stays loaded for the life of the process.
    libraryEntry = entry;
}
#else
constexpr const char *LIBRARY_NAME = "libPCQW32.so";

void loadLibrary() {
    void *library = dlopen(LIBRARY_NAME, RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) {
        const char *reason = dlerror();
        raiseFormatted(ID_FEED_LIBRARY, "Cannot load the feed library %s: %s", LIBRARY_NAME,
                       reason != nullptr ? reason : "unknown reason");
    }
    void *entry = dlsym(library, "dbax");
    if (entry == nullptr) {
        const char *reason = dlerror();
        raiseFormatted(ID_FEED_LIBRARY, "The feed library %s has no entry point dbax: %s",
                       LIBRARY_NAME, reason != nullptr ? reason : "unknown reason");
    }
    void *describe = dlsym(library, DESCRIBE_EXPORT);
    if (describe != nullptr) {
        std::memcpy(&libraryDescribe, &describe, sizeof libraryDescribe);
    }
    // The library stays loaded for the life of the process.
    libraryEntry = entry;
}
#endif

#if GUARDED_CALL_MEASURES
// Checks the argument bytes one call removed against the convention fixed so far (see
// feed_link.h). On a fault, detaches through the same guard before raising.
void checkCallConvention(FeedControlBlock *block, int32_t operation, int32_t removed,
                         const void *entry) {
    const FeedConvention before = detectedConvention;
    const ConventionCheck check = checkConvention(&detectedConvention, removed);
    if (check == CONVENTION_KEPT) {
        return;
    }
    char message[320];
    if (check == CONVENTION_NEITHER) {
        std::snprintf(message, sizeof message,
                      "The feed library's dbax removed %d bytes of arguments from the stack in "
                      "operation %d; a stdcall dbax removes 20 and a cdecl dbax none, so the "
                      "library does not have the expected entry point",
                      static_cast<int>(removed), static_cast<int>(operation));
    } else {
        std::snprintf(message, sizeof message,
                      "The feed library's dbax followed the %s calling convention in operation "
                      "%d after following %s before; the library does not have one convention",
                      conventionName(conventionOfRemovedBytes(removed)),
                      static_cast<int>(operation), conventionName(before));
    }
    if (operation != DBA_DETACH) {
        int32_t ignored = 0;
        guardedDbaxCall(entry, block, DBA_DETACH, nullptr, nullptr, 0, &ignored);
    }
    raiseText(ID_FEED_LIBRARY, message);
}
#endif

} // namespace

bool feedDescribeLastError(char *buffer, int32_t size) {
    if (size <= 0) {
        return false;
    }
    buffer[0] = '\0';
    if (overrideEntry != nullptr || libraryDescribe == nullptr) {
        return false;
    }
    libraryDescribe(buffer, size);
    buffer[size - 1] = '\0';
    return true;
}

FeedLibraryFit feedLibraryFit() {
#if defined(_WIN32)
    char where[1024];
    uint16_t machine = 0;
    if (!findLibrary(where, sizeof where) || !candidateMachine(&machine)) {
        return FEED_LIBRARY_UNKNOWN;
    }
    if (machine == PROCESS_MACHINE) {
        return FEED_LIBRARY_FITS;
    }
    return machine == PE_MACHINE_I386 ? FEED_LIBRARY_32_BIT : FEED_LIBRARY_OTHER_MACHINE;
#else
    return FEED_LIBRARY_UNKNOWN;
#endif
}

#if defined(_WIN32)
bool feedOwnFolder(wchar_t *path, size_t *length) {
    return moduleFolder(path, length);
}

void feedUtf8(const wchar_t *text, char *out, size_t size) {
    toUtf8(text, out, size);
}

void feedSystemReason(unsigned long code, char *out, size_t size) {
    systemReason(static_cast<DWORD>(code), out, size);
}
#endif

const char *feedLibraryName() {
    return LIBRARY_NAME;
}

void feedUseEntryAddress(const void *entry) {
    overrideEntry = entry;
}

void feedUseEntryPoint(DbaxFunction entry) {
    feedUseEntryAddress(entry != nullptr ? functionAddress(entry) : nullptr);
}

void feedLoad() {
    if (overrideEntry == nullptr && libraryEntry == nullptr) {
        loadLibrary();
    }
}

int32_t feedCall(FeedControlBlock *block, int32_t operation, void *key, void *record,
                 int32_t parameter) {
    const void *entry = overrideEntry != nullptr ? overrideEntry : libraryEntry;
#if GUARDED_CALL_MEASURES
    int32_t removed = GUARDED_CALL_NOT_MEASURED;
    int32_t status = guardedDbaxCall(entry, block, operation, key, record, parameter, &removed);
    checkCallConvention(block, operation, removed, entry);
    return status;
#else
    // One convention: called directly, without the guarded call's extra layer, which cost
    // some 40 instructions a call.
    DbaxFunction function;
    std::memcpy(&function, &entry, sizeof function);
    return function(block, operation, key, record, parameter);
#endif
}

FeedConvention feedConvention() {
    return detectedConvention;
}

FeedConvention feedCallbackConvention(const char **refused) {
    if (!callbackSettingRead) {
        callbackSettingRead = true;
        const char *value = std::getenv(FEED_CALLBACK_VARIABLE);
        if (value != nullptr && value[0] != '\0') {
            callbackSetting = parseConvention(value);
            if (callbackSetting == FEED_CONVENTION_UNKNOWN) {
                callbackSettingRefused = true;
                std::snprintf(refusedCallbackSetting, sizeof refusedCallbackSetting, "%s", value);
            }
        }
    }
    *refused = callbackSettingRefused ? refusedCallbackSetting : nullptr;
    if (callbackSettingRefused) {
        return FEED_CONVENTION_UNKNOWN;
    }
    return callbackSetting != FEED_CONVENTION_UNKNOWN ? callbackSetting : detectedConvention;
}

void feedForgetConventions() {
    detectedConvention = FEED_CONVENTION_UNKNOWN;
    callbackSettingRead = false;
    callbackSetting = FEED_CONVENTION_UNKNOWN;
    callbackSettingRefused = false;
}
