#include "helper_link.h"

#include "failures.h"
#include "feed_link.h"
#include "feed_session.h"
#include "helper_wire.h"

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>

#if defined(_WIN32)
#include <windows.h>
#else
#include <cerrno>
#include <dlfcn.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>
extern char **environ;
#endif

namespace {

constexpr const char *ID_FEED_HELPER = "quorvex:feedHelper";
constexpr const char *ID_FEED_HELPER_LOST = "quorvex:feedHelperLost";
// The least section a helper starts with; a request whose reply may be larger gets a new
// helper with a section of its size.
constexpr size_t SECTION_LEAST = 4 * 1024 * 1024;

// ---- The settings, read once ----

enum Isolation { ISOLATION_UNREAD, ISOLATION_AUTO, ISOLATION_HELPER, ISOLATION_INPROCESS };
Isolation isolation = ISOLATION_UNREAD;
bool throughHelper = false;
int timeoutSeconds = 0;

void readSettings() {
    const char *value = std::getenv(FEED_ISOLATION_VARIABLE);
    if (value == nullptr || value[0] == '\0') {
        isolation = ISOLATION_AUTO;
    } else if (std::strcmp(value, "helper") == 0) {
        isolation = ISOLATION_HELPER;
    } else if (std::strcmp(value, "inprocess") == 0) {
        isolation = ISOLATION_INPROCESS;
    } else {
        raiseFormatted(ID_FEED_LIBRARY,
                       "%s is '%.64s': it must be helper (the feed library in a helper process), "
                       "inprocess (in this process), or unset (the helper only for a 32-bit "
                       "library under a 64-bit host)",
                       FEED_ISOLATION_VARIABLE, value);
    }
    const char *timeout = std::getenv(FEED_TIMEOUT_VARIABLE);
    timeoutSeconds = FEED_TIMEOUT_DEFAULT_SECONDS;
    if (timeout != nullptr && timeout[0] != '\0') {
        char *end = nullptr;
        const long seconds = std::strtol(timeout, &end, 10);
        if (end == timeout || *end != '\0' || seconds < 1 || seconds > 86400) {
            isolation = ISOLATION_UNREAD;
            raiseFormatted(ID_FEED_LIBRARY,
                           "%s is '%.64s': it must be the seconds a feed request may take, a "
                           "whole number from 1 to 86400",
                           FEED_TIMEOUT_VARIABLE, timeout);
        }
        timeoutSeconds = static_cast<int>(seconds);
    }
    throughHelper = isolation == ISOLATION_HELPER ||
                    (isolation == ISOLATION_AUTO && feedLibraryFit() == FEED_LIBRARY_32_BIT);
}

// ---- The helper process: one per module, kept between requests ----

struct Helper {
    bool running;
    unsigned char *section;
    size_t sectionSize;
    uint32_t sequence;
    uint64_t environmentSent; // the fingerprint of the environment the helper has
    bool environmentKnown;
#if defined(_WIN32)
    HANDLE process;
    HANDLE job;
    HANDLE toHelper;   // the module's end of the request pipe
    HANDLE fromHelper; // the module's end of the reply pipe
    HANDLE replied;    // set by the helper when a message waits in the reply pipe
    HANDLE mapping;
#else
    pid_t pid;
    int channel;
#endif
};
Helper helper;

// Where the helper lies: beside the module, by full path. False when the module's own folder
// cannot be had.
bool helperPath(char *path, size_t size);

// The outcome of waiting for a message.
enum Got { GOT_MESSAGE, GOT_END, GOT_NOTHING, GOT_BROKEN };

bool platformStart(const char *path, size_t sectionSize, char *why, size_t whySize);
// The process's environment as "NAME=value" texts each ended by a zero byte, written at `out`
// when it fits `room`; its bytes either way, and its fingerprint.
size_t platformEnvironment(unsigned char *out, size_t room, uint64_t *fingerprint);
bool platformSend(const unsigned char *message);
Got platformReceive(unsigned char *message, int *exitCode, bool *signalled);
void platformStop(bool kill);

// Stops the helper and says so: the request raises after this.
[[noreturn]] void failHelper(bool kill, const char *identifier, const char *format, int number) {
    platformStop(kill);
    char message[FORMATTED_MESSAGE_SIZE];
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
#endif
    std::snprintf(message, sizeof message, format, number);
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif
    raiseText(identifier, message);
}

// Waits for the helper's next message, of `kind` (or a progress, when `progress` allows it),
// raising when none comes: the helper ended, stalled or broke the protocol. The wait for each
// message is the timeout's: a helper that reports progress is not stalled.
HelperMessage receive(HelperMessageKind kind, bool progress = false) {
    unsigned char bytes[HELPER_MESSAGE_SIZE];
    int exitCode = 0;
    bool signalled = false;
    const Got wait = platformReceive(bytes, &exitCode, &signalled);
    if (wait == GOT_END) {
        failHelper(false, ID_FEED_HELPER_LOST,
                   signalled ? "The feed helper ended during the request, killed by signal %d; "
                               "its attachment to the feed ended with it, and the next request "
                               "starts a new helper"
                             : "The feed helper ended during the request with exit code %d; its "
                               "attachment to the feed ended with it, and the next request "
                               "starts a new helper",
                   exitCode);
    }
    if (wait == GOT_NOTHING) {
        failHelper(true, ID_FEED_STALLED,
                   "The feed helper did not reply within %d seconds (QUORVEX_FEED_TIMEOUT): it "
                   "was stopped, and its attachment to the feed with it",
                   timeoutSeconds);
    }
    HelperMessage message{};
    if (wait == GOT_BROKEN || !decodeHelperMessage(bytes, &message) ||
        (message.kind != kind && !(progress && message.kind == HELPER_PROGRESS)) ||
        (message.kind != HELPER_PROGRESS && message.bytes > helper.sectionSize)) {
        failHelper(true, ID_FEED_HELPER,
                   "The feed helper sent a message that is not of its protocol (version %d); it "
                   "was stopped",
                   static_cast<int>(HELPER_PROTOCOL_VERSION));
    }
    return message;
}

// Starts a helper with a section of `sectionSize` bytes and makes the handshake. Raises
// quorvex:feedLibrary when it cannot serve, saying why.
void startHelper(size_t sectionSize) {
    char path[1024];
    if (!helperPath(path, sizeof path)) {
        raiseFormatted(ID_FEED_LIBRARY,
                       "Cannot start the feed helper %s: the module's own folder, where it lies, "
                       "cannot be had",
                       FEED_HELPER_NAME);
    }
    char why[512];
    if (!platformStart(path, sectionSize, why, sizeof why)) {
        raiseFormatted(ID_FEED_LIBRARY, "Cannot start the feed helper %s: %s", path, why);
    }
    unsigned char bytes[HELPER_MESSAGE_SIZE];
    encodeHelperMessage(HelperMessage{HELPER_HELLO, HELPER_PROTOCOL_VERSION, 0, 0, 0, 0}, bytes);
    if (!platformSend(bytes)) {
        failHelper(true, ID_FEED_LIBRARY, "Cannot start the feed helper: it ended at once (%d)", 0);
    }
    const HelperMessage hello = receive(HELPER_HELLO);
    if (hello.version != HELPER_PROTOCOL_VERSION) {
        failHelper(true, ID_FEED_LIBRARY,
                   "The feed helper beside the module speaks another protocol (version %d) than "
                   "the module: install the helper that came with it",
                   static_cast<int>(hello.version));
    }
    if (hello.detail != HELPER_READY) {
        // The section holds the error that says why, as a reply of one report. It is replayed
        // once the helper is stopped; the section stays mapped until the next start.
        platformStop(true);
        const char *malformed = nullptr;
        HelperError error;
        if (!replayHelperReply(helper.section, hello.bytes, nullptr, 0, &error, &malformed)) {
            raiseFormatted(ID_FEED_HELPER,
                           "The feed helper cannot serve, and its reason is malformed: %s",
                           malformed);
        }
        if (error.identifier == nullptr) {
            raiseText(ID_FEED_LIBRARY, "The feed helper cannot serve, and says nothing of why");
        }
        raiseText(error.identifier, error.text);
    }
}

} // namespace

bool feedThroughHelper() {
    if (isolation == ISOLATION_UNREAD) {
        readSettings();
    }
    return throughHelper;
}

void runRequestInHelper(RequestCall &call) {
    const RequestInputs &inputs = call.inputs;
    const int outputs = call.outputCount < 1 ? 1 : call.outputCount;
    size_t needed = helperReplyBound(inputs, outputs);
    uint64_t ignored = 0;
    const size_t request =
        helperRequestSize(inputs.securities.count, platformEnvironment(nullptr, 0, &ignored));
    needed = needed > request ? needed : request;
    if (helper.running && helper.sectionSize < needed) {
        platformStop(false);
    }
    if (!helper.running) {
        size_t size = SECTION_LEAST;
        while (size < needed) {
            size *= 2;
        }
        startHelper(size);
    }
    // The environment goes along when it changed since the helper last had it.
    const size_t environmentAt = helperRequestSize(inputs.securities.count, 0);
    uint64_t fingerprint = 0;
    size_t environment = platformEnvironment(helper.section + environmentAt,
                                             helper.sectionSize - environmentAt, &fingerprint);
    if (environment > helper.sectionSize - environmentAt ||
        (helper.environmentKnown && fingerprint == helper.environmentSent)) {
        environment = 0;
    } else {
        helper.environmentSent = fingerprint;
        helper.environmentKnown = true;
    }
    encodeHelperRequest(inputs, outputs, nullptr, environment, helper.section);
    unsigned char bytes[HELPER_MESSAGE_SIZE];
    const uint32_t sequence = ++helper.sequence;
    encodeHelperMessage(HelperMessage{HELPER_REQUEST, HELPER_PROTOCOL_VERSION, sequence,
                                      static_cast<uint32_t>(environmentAt + environment), 0, 0},
                        bytes);
    if (!platformSend(bytes)) {
        // It ended since the last request: the receive below tells how.
    }
    // The raw records of a long result are decoded as the helper announces them, while it goes
    // on reading the feed; the reply then brings the rest.
    const char *malformed = nullptr;
    HelperRawProgress progress{};
    HelperMessage reply{};
    for (;;) {
        reply = receive(HELPER_REPLY, true);
        if (reply.sequence != sequence) {
            failHelper(true, ID_FEED_HELPER,
                       "The feed helper replied to another request than the one it was sent "
                       "(%d); it was stopped",
                       static_cast<int>(reply.sequence));
        }
        if (reply.kind == HELPER_REPLY) {
            break;
        }
        if (!takeHelperProgress(helper.section, helper.sectionSize, reply, &progress, &malformed)) {
            platformStop(true);
            raiseFormatted(ID_FEED_HELPER,
                           "The feed helper's reply is malformed: %s; it was stopped", malformed);
        }
    }
    HelperError error;
    ResultArray *slots[HELPER_MAX_SLOTS] = {};
    const int slotCount =
        outputs < static_cast<int>(HELPER_MAX_SLOTS) ? outputs : static_cast<int>(HELPER_MAX_SLOTS);
    if (!replayHelperReply(helper.section, reply.bytes, slots, slotCount, &error, &malformed,
                           &progress)) {
        platformStop(true);
        raiseFormatted(ID_FEED_HELPER, "The feed helper's reply is malformed: %s; it was stopped",
                       malformed);
    }
    if (error.identifier != nullptr) {
        // The feed's description of the failure is kept before the error is raised.
        if (error.description != nullptr) {
            rememberFeedFailureText(error.description);
        }
        raiseText(error.identifier, error.text);
    }
    for (int s = 0; s < slotCount; ++s) {
        if (slots[s] != nullptr) {
            call.outputs[s] = slots[s];
        }
    }
}

void stopFeedHelper() {
    if (helper.running) {
        platformStop(false);
    }
}

// ---- POSIX ----------------------------------------------------------------------------------
#if !defined(_WIN32)
namespace {

bool helperPath(char *path, size_t size) {
    Dl_info info;
    if (dladdr(reinterpret_cast<void *>(&helperPath), &info) == 0 || info.dli_fname == nullptr) {
        return false;
    }
    // The file's full path: a program's own name may come as it was started, relative.
    char *full = realpath(info.dli_fname, nullptr);
    if (full == nullptr) {
        return false;
    }
    const char *slash = std::strrchr(full, '/');
    std::snprintf(path, size, "%.*s/%s", static_cast<int>(slash - full), full, FEED_HELPER_NAME);
    std::free(full);
    return true;
}

void unmapSection() {
    if (helper.section != nullptr) {
        munmap(helper.section, helper.sectionSize);
        helper.section = nullptr;
        helper.sectionSize = 0;
    }
}

bool platformStart(const char *path, size_t sectionSize, char *why, size_t whySize) {
    unmapSection();
    struct stat info;
    if (stat(path, &info) != 0) {
        std::snprintf(why, whySize,
                      "there is no such file (the helper is looked for beside the "
                      "module, nowhere else)");
        return false;
    }
    if (access(path, X_OK) != 0) {
        std::snprintf(why, whySize, "it cannot be run: %s", std::strerror(errno));
        return false;
    }
    int channel[2];
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, channel) != 0) {
        std::snprintf(why, whySize, "no channel to it: %s", std::strerror(errno));
        return false;
    }
    const int section = static_cast<int>(syscall(SYS_memfd_create, "quorvex-feed-section", 1U));
    if (section < 0 || ftruncate(section, static_cast<off_t>(sectionSize)) != 0) {
        std::snprintf(why, whySize, "no shared memory for it: %s", std::strerror(errno));
        close(channel[0]);
        close(channel[1]);
        if (section >= 0) {
            close(section);
        }
        return false;
    }
    void *mapped = mmap(nullptr, sectionSize, PROT_READ | PROT_WRITE, MAP_SHARED, section, 0);
    if (mapped == MAP_FAILED) {
        std::snprintf(why, whySize, "no shared memory for it: %s", std::strerror(errno));
        close(channel[0]);
        close(channel[1]);
        close(section);
        return false;
    }
    // The helper gets the channel as its descriptor 3 and the section as 4, and nothing else of
    // this process: every descriptor of ours is close-on-exec, and it closes every other one it
    // finds at its start.
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, channel[1], 3);
    posix_spawn_file_actions_adddup2(&actions, section, 4);
    char size[32];
    char parent[32];
    std::snprintf(size, sizeof size, "%zu", sectionSize);
    std::snprintf(parent, sizeof parent, "%ld", static_cast<long>(getpid()));
    char *const argv[] = {const_cast<char *>(path),
                          const_cast<char *>("--channel"),
                          const_cast<char *>("3"),
                          const_cast<char *>("--section"),
                          const_cast<char *>("4"),
                          const_cast<char *>("--size"),
                          size,
                          const_cast<char *>("--parent"),
                          parent,
                          nullptr};
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, path, &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    close(channel[1]);
    close(section);
    if (spawned != 0) {
        std::snprintf(why, whySize, "it cannot be started: %s", std::strerror(spawned));
        close(channel[0]);
        munmap(mapped, sectionSize);
        return false;
    }
    helper.running = true;
    helper.pid = pid;
    helper.channel = channel[0];
    helper.section = static_cast<unsigned char *>(mapped);
    helper.sectionSize = sectionSize;
    helper.sequence = 0;
    helper.environmentKnown = false;
    return true;
}

size_t platformEnvironment(unsigned char *out, size_t room, uint64_t *fingerprint) {
    // FNV-1a over every text and its end.
    uint64_t hash = 1469598103934665603ULL;
    size_t bytes = 0;
    for (char **variable = environ; *variable != nullptr; ++variable) {
        const size_t length = std::strlen(*variable) + 1;
        if (out != nullptr && bytes + length <= room) {
            std::memcpy(out + bytes, *variable, length);
        }
        for (size_t i = 0; i < length; ++i) {
            hash = (hash ^ static_cast<unsigned char>((*variable)[i])) * 1099511628211ULL;
        }
        bytes += length;
    }
    *fingerprint = hash;
    return bytes;
}

bool platformSend(const unsigned char *message) {
    size_t sent = 0;
    while (sent < HELPER_MESSAGE_SIZE) {
        // MSG_NOSIGNAL: a helper that ended must not end the host with SIGPIPE.
        const ssize_t n =
            send(helper.channel, message + sent, HELPER_MESSAGE_SIZE - sent, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        sent += static_cast<size_t>(n);
    }
    return true;
}

// How the helper ended, waiting for it a moment; killed when it does not end.
void reap(int *exitCode, bool *signalled) {
    int status = 0;
    for (int tries = 0; tries < 200; ++tries) {
        const pid_t done = waitpid(helper.pid, &status, WNOHANG);
        if (done == helper.pid) {
            *signalled = WIFSIGNALED(status);
            *exitCode = *signalled ? WTERMSIG(status) : WEXITSTATUS(status);
            return;
        }
        if (done < 0) {
            break;
        }
        usleep(5000);
    }
    kill(helper.pid, SIGKILL);
    waitpid(helper.pid, &status, 0);
    *signalled = true;
    *exitCode = SIGKILL;
}

Got platformReceive(unsigned char *message, int *exitCode, bool *signalled) {
    size_t got = 0;
    long remaining = static_cast<long>(timeoutSeconds) * 1000;
    // A reply soon to come is taken without sleeping first (see HELPER_SPIN_MICROSECONDS).
    const auto spinStart = std::chrono::steady_clock::now();
    while (got < HELPER_MESSAGE_SIZE && std::chrono::steady_clock::now() - spinStart <
                                            std::chrono::microseconds(HELPER_SPIN_MICROSECONDS)) {
        const ssize_t n =
            recv(helper.channel, message + got, HELPER_MESSAGE_SIZE - got, MSG_DONTWAIT);
        if (n == 0) {
            break; // the channel closed: the blocking read below says so
        }
        if (n > 0) {
            got += static_cast<size_t>(n);
        } else {
            // The other side may be waiting for this processor.
            sched_yield();
        }
    }
    while (got < HELPER_MESSAGE_SIZE) {
        pollfd poller{helper.channel, POLLIN, 0};
        const int ready = poll(&poller, 1, static_cast<int>(remaining > 1000 ? 1000 : remaining));
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        if (ready == 0) {
            remaining -= 1000;
            if (remaining <= 0) {
                return GOT_NOTHING;
            }
            continue;
        }
        const ssize_t n = recv(helper.channel, message + got, HELPER_MESSAGE_SIZE - got, 0);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            // The channel closed: the helper ended.
            close(helper.channel);
            helper.running = false;
            reap(exitCode, signalled);
            return GOT_END;
        }
        got += static_cast<size_t>(n);
    }
    return GOT_MESSAGE;
}

void platformStop(bool killNow) {
    if (!helper.running) {
        return;
    }
    helper.running = false;
    if (killNow) {
        kill(helper.pid, SIGKILL);
    }
    // Closing the channel ends the helper.
    close(helper.channel);
    int exitCode = 0;
    bool signalled = false;
    reap(&exitCode, &signalled);
}

} // namespace
#endif

// ---- Windows --------------------------------------------------------------------------------
#if defined(_WIN32)
namespace {

#ifndef PROC_THREAD_ATTRIBUTE_HANDLE_LIST
#define PROC_THREAD_ATTRIBUTE_HANDLE_LIST 0x00020002
#endif

wchar_t helperFile[FEED_PATH_ROOM];

bool helperPath(char *path, size_t size) {
    size_t length = 0;
    if (!feedOwnFolder(helperFile, &length)) {
        return false;
    }
    const wchar_t name[] = L"quorvex-feed-helper.exe";
    const size_t nameLength = sizeof name / sizeof name[0];
    if (length + nameLength > FEED_PATH_ROOM) {
        return false;
    }
    std::memcpy(helperFile + length, name, nameLength * sizeof(wchar_t));
    feedUtf8(helperFile, path, size);
    return true;
}

void closeHandle(HANDLE *handle) {
    if (*handle != nullptr && *handle != INVALID_HANDLE_VALUE) {
        CloseHandle(*handle);
    }
    *handle = nullptr;
}

void unmapSection() {
    if (helper.section != nullptr) {
        UnmapViewOfFile(helper.section);
        helper.section = nullptr;
        helper.sectionSize = 0;
    }
    closeHandle(&helper.mapping);
}

void whyNot(const char *what, char *why, size_t whySize) {
    char reason[512];
    feedSystemReason(GetLastError(), reason, sizeof reason);
    std::snprintf(why, whySize, "%s: %s", what, reason);
}

// An inheritable duplicate of `handle`, for the helper alone (it is named in the explicit list
// of handles it inherits).
HANDLE inheritable(HANDLE handle, DWORD access) {
    HANDLE copy = nullptr;
    if (!DuplicateHandle(GetCurrentProcess(), handle, GetCurrentProcess(), &copy, access, TRUE,
                         access == 0 ? DUPLICATE_SAME_ACCESS : 0)) {
        return nullptr;
    }
    return copy;
}

bool platformStart(const char *path, size_t sectionSize, char *why, size_t whySize) {
    unmapSection();
    const DWORD attributes = GetFileAttributesW(helperFile);
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        std::snprintf(why, whySize,
                      "there is no such file (the helper is looked for beside the "
                      "module, nowhere else)");
        return false;
    }
    (void)path;
    // Every handle is made uninheritable; the helper's ends are inheritable copies, listed one
    // by one for the helper's start, then closed here.
    HANDLE requestRead = nullptr, requestWrite = nullptr;
    HANDLE replyRead = nullptr, replyWrite = nullptr;
    if (!CreatePipe(&requestRead, &requestWrite, nullptr, 0) ||
        !CreatePipe(&replyRead, &replyWrite, nullptr, 0)) {
        whyNot("no pipe to it", why, whySize);
        closeHandle(&requestRead);
        closeHandle(&requestWrite);
        return false;
    }
    const unsigned long long size = sectionSize;
    helper.mapping = CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE,
                                        static_cast<DWORD>(size >> 32),
                                        static_cast<DWORD>(size & 0xFFFFFFFFu), nullptr);
    HANDLE replied = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    HANDLE self = nullptr;
    DuplicateHandle(GetCurrentProcess(), GetCurrentProcess(), GetCurrentProcess(), &self,
                    SYNCHRONIZE, TRUE, 0);
    HANDLE child[5] = {inheritable(requestRead, 0), inheritable(replyWrite, 0),
                       replied != nullptr ? inheritable(replied, 0) : nullptr, self,
                       helper.mapping != nullptr ? inheritable(helper.mapping, 0) : nullptr};
    closeHandle(&requestRead);
    closeHandle(&replyWrite);
    bool ok = helper.mapping != nullptr && replied != nullptr;
    for (HANDLE handle : child) {
        ok = ok && handle != nullptr;
    }
    unsigned char *mapped = ok ? static_cast<unsigned char *>(MapViewOfFile(
                                     helper.mapping, FILE_MAP_READ | FILE_MAP_WRITE, 0, 0, 0))
                               : nullptr;
    if (mapped == nullptr) {
        whyNot("no shared memory for it", why, whySize);
    }

    PROCESS_INFORMATION process = {};
    HANDLE job = nullptr;
    if (mapped != nullptr) {
        wchar_t commandLine[FEED_PATH_ROOM + 256];
        _snwprintf(commandLine, sizeof commandLine / sizeof commandLine[0],
                   L"\"%ls\" --handles %llu %llu %llu %llu %llu --size %llu", helperFile,
                   static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(child[0])),
                   static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(child[1])),
                   static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(child[2])),
                   static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(child[3])),
                   static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(child[4])), size);
        commandLine[sizeof commandLine / sizeof commandLine[0] - 1] = L'\0';
        SIZE_T listSize = 0;
        InitializeProcThreadAttributeList(nullptr, 1, 0, &listSize);
        unsigned char listRoom[256];
        auto *list = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(listRoom);
        STARTUPINFOEXW startup = {};
        startup.StartupInfo.cb = sizeof startup;
        DWORD flags = CREATE_NO_WINDOW;
        if (listSize <= sizeof listRoom &&
            InitializeProcThreadAttributeList(list, 1, 0, &listSize) &&
            UpdateProcThreadAttribute(list, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, child,
                                      sizeof child, nullptr, nullptr)) {
            startup.lpAttributeList = list;
            flags |= EXTENDED_STARTUPINFO_PRESENT;
        }
        // Put into a job that ends it with the last handle of the host's (the host's end). It
        // is not started suspended: a host ended between the start and the resume would leave
        // a helper that never runs and so never sees it go. Running, its first step is to
        // watch the host's process, and it starts no process of its own outside the job.
        if (!CreateProcessW(helperFile, commandLine, nullptr, nullptr, TRUE, flags, nullptr,
                            nullptr, &startup.StartupInfo, &process)) {
            whyNot("it cannot be started", why, whySize);
            ok = false;
        } else {
            job = CreateJobObjectW(nullptr, nullptr);
            JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
            limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
            if (job != nullptr && (!SetInformationJobObject(job, JobObjectExtendedLimitInformation,
                                                            &limits, sizeof limits) ||
                                   !AssignProcessToJobObject(job, process.hProcess))) {
                // The helper still ends with the host: it waits on the host's process.
                closeHandle(&job);
            }
            CloseHandle(process.hThread);
        }
        if (startup.lpAttributeList != nullptr) {
            DeleteProcThreadAttributeList(list);
        }
    } else {
        ok = false;
    }
    for (HANDLE &handle : child) {
        closeHandle(&handle);
    }
    if (!ok) {
        if (mapped != nullptr) {
            UnmapViewOfFile(mapped);
        }
        closeHandle(&helper.mapping);
        closeHandle(&replied);
        closeHandle(&requestWrite);
        closeHandle(&replyRead);
        return false;
    }
    helper.running = true;
    helper.process = process.hProcess;
    helper.job = job;
    helper.toHelper = requestWrite;
    helper.fromHelper = replyRead;
    helper.replied = replied;
    helper.section = mapped;
    helper.sectionSize = sectionSize;
    helper.sequence = 0;
    helper.environmentKnown = false;
    return true;
}

size_t platformEnvironment(unsigned char *out, size_t room, uint64_t *fingerprint) {
    uint64_t hash = 1469598103934665603ULL;
    size_t bytes = 0;
    wchar_t *block = GetEnvironmentStringsW();
    for (const wchar_t *variable = block; variable != nullptr && *variable != L'\0';
         variable += wcslen(variable) + 1) {
        char text[4 * 32768];
        const int length = WideCharToMultiByte(CP_UTF8, 0, variable, -1, text,
                                               static_cast<int>(sizeof text), nullptr, nullptr);
        if (length <= 0) {
            continue;
        }
        if (out != nullptr && bytes + static_cast<size_t>(length) <= room) {
            std::memcpy(out + bytes, text, static_cast<size_t>(length));
        }
        for (int i = 0; i < length; ++i) {
            hash = (hash ^ static_cast<unsigned char>(text[i])) * 1099511628211ULL;
        }
        bytes += static_cast<size_t>(length);
    }
    if (block != nullptr) {
        FreeEnvironmentStringsW(block);
    }
    *fingerprint = hash;
    return bytes;
}

bool platformSend(const unsigned char *message) {
    DWORD written = 0;
    return WriteFile(helper.toHelper, message, static_cast<DWORD>(HELPER_MESSAGE_SIZE), &written,
                     nullptr) &&
           written == HELPER_MESSAGE_SIZE;
}

void closeAll() {
    closeHandle(&helper.toHelper);
    closeHandle(&helper.fromHelper);
    closeHandle(&helper.replied);
    closeHandle(&helper.process);
    closeHandle(&helper.job);
}

Got platformReceive(unsigned char *message, int *exitCode, bool *signalled) {
    *signalled = false;
    const DWORD started = GetTickCount();
    const DWORD limit = static_cast<DWORD>(timeoutSeconds) * 1000;
    size_t got = 0;
    // A reply soon to come is taken without sleeping first (see HELPER_SPIN_MICROSECONDS).
    const auto spinStart = std::chrono::steady_clock::now();
    DWORD pending = 0;
    while (std::chrono::steady_clock::now() - spinStart <
               std::chrono::microseconds(HELPER_SPIN_MICROSECONDS) &&
           PeekNamedPipe(helper.fromHelper, nullptr, 0, nullptr, &pending, nullptr) &&
           pending < HELPER_MESSAGE_SIZE) {
        // The other side may be waiting for this processor.
        SwitchToThread();
    }
    while (got < HELPER_MESSAGE_SIZE) {
        DWORD available = 0;
        if (PeekNamedPipe(helper.fromHelper, nullptr, 0, nullptr, &available, nullptr) &&
            available > 0) {
            DWORD n = 0;
            if (!ReadFile(helper.fromHelper, message + got,
                          static_cast<DWORD>(HELPER_MESSAGE_SIZE - got), &n, nullptr)) {
                break;
            }
            got += n;
            continue;
        }
        const DWORD elapsed = GetTickCount() - started;
        if (elapsed >= limit) {
            return GOT_NOTHING;
        }
        // The helper sets the event after each message; it ending signals its process.
        HANDLE waits[2] = {helper.replied, helper.process};
        const DWORD woke = WaitForMultipleObjects(2, waits, FALSE, limit - elapsed);
        if (woke == WAIT_OBJECT_0 + 1 &&
            !(PeekNamedPipe(helper.fromHelper, nullptr, 0, nullptr, &available, nullptr) &&
              available > 0)) {
            break;
        }
        if (woke == WAIT_FAILED) {
            return GOT_BROKEN;
        }
    }
    if (got == HELPER_MESSAGE_SIZE) {
        return GOT_MESSAGE;
    }
    // The helper ended.
    WaitForSingleObject(helper.process, 5000);
    DWORD code = 0;
    GetExitCodeProcess(helper.process, &code);
    *exitCode = static_cast<int>(code);
    helper.running = false;
    closeAll();
    return GOT_END;
}

void platformStop(bool killNow) {
    if (!helper.running) {
        return;
    }
    helper.running = false;
    if (killNow) {
        TerminateProcess(helper.process, 1);
    }
    // Closing its request pipe ends the helper; one that does not end is ended.
    closeHandle(&helper.toHelper);
    if (WaitForSingleObject(helper.process, 2000) != WAIT_OBJECT_0) {
        TerminateProcess(helper.process, 1);
        WaitForSingleObject(helper.process, 2000);
    }
    closeAll();
}

} // namespace
#endif
