#include "feed_link.h"

#include "failures.h"

#include <cstdio>
#include <cstring>

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace {

DbaxFunction overrideEntry = nullptr;
DbaxFunction libraryEntry = nullptr;

#if defined(_WIN32)
constexpr const char *LIBRARY_NAME = "PCQW32.dll";

// The system's text for the last error, without its trailing line break.
void systemReason(char *out, size_t size) {
    DWORD code = GetLastError();
    DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                  nullptr, code, 0, out, static_cast<DWORD>(size), nullptr);
    while (length > 0 && (out[length - 1] == '\n' || out[length - 1] == '\r' ||
                          out[length - 1] == ' ' || out[length - 1] == '.')) {
        out[--length] = '\0';
    }
    if (length == 0) {
        std::snprintf(out, size, "system error %lu", static_cast<unsigned long>(code));
    }
}

// The full name of the feed library beside the module: the folder of the DLL (or program)
// that holds this code. False when that path cannot be had or is too long.
bool libraryBesideModule(char *path, DWORD size) {
    HMODULE self = nullptr;
    if (!GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                                GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            reinterpret_cast<LPCSTR>(&libraryEntry), &self)) {
        return false;
    }
    DWORD length = GetModuleFileNameA(self, path, size);
    if (length == 0 || length >= size) {
        return false;
    }
    DWORD folder = length;
    while (folder > 0 && path[folder - 1] != '\\' && path[folder - 1] != '/') {
        --folder;
    }
    size_t name = std::strlen(LIBRARY_NAME);
    if (folder == 0 || folder + name >= size) {
        return false;
    }
    std::memcpy(path + folder, LIBRARY_NAME, name + 1);
    return true;
}

void *openLibrary() {
    // First the module's own folder, where the feed library is installed beside it; a bare
    // name would not search there, since the host's program usually lies elsewhere. The
    // altered search path lets the feed library's own dependencies come from its folder too.
    // Then the loader's usual search by bare name (program folder, system, PATH).
    char path[MAX_PATH];
    HMODULE module = nullptr;
    if (libraryBesideModule(path, sizeof path)) {
        module = LoadLibraryExA(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    }
    if (module == nullptr) {
        module = LoadLibraryA(LIBRARY_NAME);
    }
    return reinterpret_cast<void *>(module);
}

void *findEntry(void *library) {
    return reinterpret_cast<void *>(GetProcAddress(static_cast<HMODULE>(library), "dbax"));
}
#else
constexpr const char *LIBRARY_NAME = "libPCQW32.so";

void systemReason(char *out, size_t size) {
    const char *reason = dlerror();
    std::snprintf(out, size, "%s", reason != nullptr ? reason : "unknown reason");
}

void *openLibrary() {
    return dlopen(LIBRARY_NAME, RTLD_NOW | RTLD_LOCAL);
}

void *findEntry(void *library) {
    return dlsym(library, "dbax");
}
#endif

} // namespace

const char *feedLibraryName() {
    return LIBRARY_NAME;
}

void feedUseEntryPoint(DbaxFunction entry) {
    overrideEntry = entry;
}

void feedLoad() {
    if (overrideEntry != nullptr || libraryEntry != nullptr) {
        return;
    }
    char reason[512];
    char message[768];
    void *library = openLibrary();
    if (library == nullptr) {
        systemReason(reason, sizeof reason);
        std::snprintf(message, sizeof message, "Cannot load the feed library %s: %s", LIBRARY_NAME,
                      reason);
        raiseText(ID_FEED_LIBRARY, message);
    }
    void *entry = findEntry(library);
    if (entry == nullptr) {
        systemReason(reason, sizeof reason);
        std::snprintf(message, sizeof message, "The feed library %s has no entry point dbax: %s",
                      LIBRARY_NAME, reason);
        raiseText(ID_FEED_LIBRARY, message);
    }
    // The library stays loaded for the life of the process; the conversion from a data
    // pointer to a function pointer is how the loaders hand out entry points.
    std::memcpy(&libraryEntry, &entry, sizeof libraryEntry);
}

int32_t feedCall(FeedControlBlock *block, int32_t operation, void *key, void *record,
                 int32_t parameter) {
    DbaxFunction entry = overrideEntry != nullptr ? overrideEntry : libraryEntry;
    return entry(block, operation, key, record, parameter);
}
