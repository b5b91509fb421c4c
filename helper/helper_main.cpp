// quorvex-feed-helper: the process that loads the feed library for a module that cannot (a
// 32-bit PCQW32.dll under a 64-bit host) or will not (QUORVEX_FEED_ISOLATION=helper) load it
// itself, and runs the module's requests there with the same request code. The module starts
// it, hands it its channel and the shared section (inherited, nothing else), and sends one
// request per host call; it answers each with one reply (helper_wire.h).
//
// It ends when its channel closes, when the host's process ends (POSIX: the parent-death
// signal and a check of its parent; Windows: it waits on the host's process handle, and the
// module's job object kills it with the host), and never outlives the module by more.
#include "feed_link.h"
#include "feed_session.h"
#include "helper_results.h"
#include "helper_wire.h"
#include "requests.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

#if defined(_WIN32)
#include <windows.h>
#else
#include <cerrno>
#include <sched.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <unistd.h>
#endif

namespace {

unsigned char *section = nullptr;
size_t sectionSize = 0;

// ---- The channel to the module ----

#if defined(_WIN32)
HANDLE requests = nullptr; // the module's requests come through it
HANDLE replies = nullptr;  // and the replies go back through it
HANDLE replied = nullptr;  // set after each reply, for the module that waits on it
HANDLE host = nullptr;

bool receive(unsigned char *message) {
    DWORD got = 0;
    size_t total = 0;
    // The next request of a host that asks in a loop is taken without sleeping first (see
    // HELPER_SPIN_MICROSECONDS).
    const auto spinStart = std::chrono::steady_clock::now();
    DWORD pending = 0;
    while (std::chrono::steady_clock::now() - spinStart <
               std::chrono::microseconds(HELPER_SPIN_MICROSECONDS) &&
           PeekNamedPipe(requests, nullptr, 0, nullptr, &pending, nullptr) &&
           pending < HELPER_MESSAGE_SIZE) {
        // The other side may be waiting for this processor.
        SwitchToThread();
    }
    while (total < HELPER_MESSAGE_SIZE) {
        if (!ReadFile(requests, message + total, static_cast<DWORD>(HELPER_MESSAGE_SIZE - total),
                      &got, nullptr) ||
            got == 0) {
            return false;
        }
        total += got;
    }
    return true;
}

bool send(const unsigned char *message) {
    DWORD written = 0;
    const bool ok =
        WriteFile(replies, message, static_cast<DWORD>(HELPER_MESSAGE_SIZE), &written, nullptr) &&
        written == HELPER_MESSAGE_SIZE;
    SetEvent(replied);
    return ok;
}

// Ends this process when the host's does, whatever the job object does.
DWORD WINAPI watchHost(void *) {
    WaitForSingleObject(host, INFINITE);
    TerminateProcess(GetCurrentProcess(), 3);
    return 0;
}

// --handles REQUESTS REPLIES REPLIED HOST SECTION --size BYTES
bool attachToModule(int argc, char **argv) {
    unsigned long long values[5] = {};
    unsigned long long size = 0;
    int handles = 0;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--handles") == 0 && i + 5 < argc) {
            for (int k = 0; k < 5; ++k) {
                values[k] = std::strtoull(argv[i + 1 + k], nullptr, 10);
            }
            handles = 5;
            i += 5;
        } else if (std::strcmp(argv[i], "--size") == 0 && i + 1 < argc) {
            size = std::strtoull(argv[++i], nullptr, 10);
        }
    }
    if (handles != 5 || size == 0) {
        return false;
    }
    requests = reinterpret_cast<HANDLE>(static_cast<uintptr_t>(values[0]));
    replies = reinterpret_cast<HANDLE>(static_cast<uintptr_t>(values[1]));
    replied = reinterpret_cast<HANDLE>(static_cast<uintptr_t>(values[2]));
    host = reinterpret_cast<HANDLE>(static_cast<uintptr_t>(values[3]));
    HANDLE mapping = reinterpret_cast<HANDLE>(static_cast<uintptr_t>(values[4]));
    sectionSize = static_cast<size_t>(size);
    section = static_cast<unsigned char *>(
        MapViewOfFile(mapping, FILE_MAP_READ | FILE_MAP_WRITE, 0, 0, sectionSize));
    if (section == nullptr) {
        return false;
    }
    HANDLE watcher = CreateThread(nullptr, 0, watchHost, nullptr, 0, nullptr);
    if (watcher != nullptr) {
        CloseHandle(watcher);
    }
    return true;
}
#else
int channel = -1;

bool receive(unsigned char *message) {
    size_t got = 0;
    // The next request of a host that asks in a loop is taken without sleeping first (see
    // HELPER_SPIN_MICROSECONDS).
    const auto spinStart = std::chrono::steady_clock::now();
    while (got < HELPER_MESSAGE_SIZE && std::chrono::steady_clock::now() - spinStart <
                                            std::chrono::microseconds(HELPER_SPIN_MICROSECONDS)) {
        const ssize_t n = recv(channel, message + got, HELPER_MESSAGE_SIZE - got, MSG_DONTWAIT);
        if (n == 0) {
            return false; // the module closed the channel
        }
        if (n > 0) {
            got += static_cast<size_t>(n);
        } else {
            // The other side may be waiting for this processor.
            sched_yield();
        }
    }
    while (got < HELPER_MESSAGE_SIZE) {
        const ssize_t n = recv(channel, message + got, HELPER_MESSAGE_SIZE - got, 0);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        got += static_cast<size_t>(n);
    }
    return true;
}

bool send(const unsigned char *message) {
    return ::send(channel, message, HELPER_MESSAGE_SIZE, MSG_NOSIGNAL) ==
           static_cast<ssize_t>(HELPER_MESSAGE_SIZE);
}

// --channel FD --section FD --size BYTES --parent PID
bool attachToModule(int argc, char **argv) {
    long parent = 0;
    int sectionFd = -1;
    unsigned long long size = 0;
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], "--channel") == 0) {
            channel = std::atoi(argv[++i]);
        } else if (std::strcmp(argv[i], "--section") == 0) {
            sectionFd = std::atoi(argv[++i]);
        } else if (std::strcmp(argv[i], "--size") == 0) {
            size = std::strtoull(argv[++i], nullptr, 10);
        } else if (std::strcmp(argv[i], "--parent") == 0) {
            parent = std::atol(argv[++i]);
        }
    }
    if (channel < 0 || sectionFd < 0 || size == 0 || parent <= 0) {
        return false;
    }
    // The host's end is this process's end: killed with its parent, and gone at once if the
    // parent already went before the signal was asked for.
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != static_cast<pid_t>(parent)) {
        return false;
    }
    // Nothing of the host but the channel and the section.
    const int highest = channel > sectionFd ? channel : sectionFd;
    for (int fd = highest + 1; fd < 1024; ++fd) {
        close(fd);
    }
    sectionSize = static_cast<size_t>(size);
    void *mapped = mmap(nullptr, sectionSize, PROT_READ | PROT_WRITE, MAP_SHARED, sectionFd, 0);
    close(sectionFd);
    if (mapped == MAP_FAILED) {
        return false;
    }
    section = static_cast<unsigned char *>(mapped);
    return true;
}
#endif

// ---- Requests ----

// A reply of one report, an error, as the whole of the section.
size_t errorReply(const char *identifier, const char *text) {
    helperResultsBegin(section, sectionSize);
    replyEvent(HELPER_EVENT_ERROR, identifier, text);
    size_t needed = 0;
    return replyFinish(nullptr, 0, &needed);
}

// The error that ended a request: its reply, with the feed's own description of the failure
// where its library gave one.
void describeFailure() {
    const char *description = feedFailureDescription();
    if (description[0] != '\0') {
        replyEvent(HELPER_EVENT_DESCRIPTION, nullptr, description);
    }
}

// Makes the host's environment this process's: the feed library reads its settings there.
void takeEnvironment(const char *texts, size_t bytes) {
    std::vector<std::string> wanted;
    for (size_t at = 0; at < bytes;) {
        const std::string text(texts + at);
        at += text.size() + 1;
        if (!text.empty() && text[0] != '=' && text.find('=') != std::string::npos) {
            wanted.push_back(text);
        }
    }
#if defined(_WIN32)
    // Both the system's copy and the C runtime's, which a library may read either of; the
    // texts came in UTF-8.
    auto wide = [](const std::string &text) {
        std::wstring out(text.size() + 1, L'\0');
        const int n = MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, &out[0],
                                          static_cast<int>(out.size()));
        out.resize(n > 0 ? static_cast<size_t>(n - 1) : 0);
        return out;
    };
    std::vector<std::wstring> present;
    wchar_t *block = GetEnvironmentStringsW();
    for (const wchar_t *variable = block; variable != nullptr && *variable != L'\0';
         variable += std::wcslen(variable) + 1) {
        const std::wstring text(variable);
        if (!text.empty() && text[0] != L'=') {
            present.push_back(text.substr(0, text.find(L'=')));
        }
    }
    if (block != nullptr) {
        FreeEnvironmentStringsW(block);
    }
    for (const std::wstring &name : present) {
        _wputenv_s(name.c_str(), L"");
        SetEnvironmentVariableW(name.c_str(), nullptr);
    }
    for (const std::string &text : wanted) {
        const size_t equals = text.find('=');
        const std::wstring name = wide(text.substr(0, equals));
        const std::wstring value = wide(text.substr(equals + 1));
        _wputenv_s(name.c_str(), value.c_str());
        SetEnvironmentVariableW(name.c_str(), value.c_str());
    }
#else
    clearenv();
    for (const std::string &text : wanted) {
        const size_t equals = text.find('=');
        setenv(text.substr(0, equals).c_str(), text.substr(equals + 1).c_str(), 1);
    }
#endif
}

std::vector<SecurityText> securities;

// Runs the request in the section and writes its reply there; the reply's bytes.
size_t answer(size_t requestBytes) {
    const int32_t count = helperRequestSecurities(section, requestBytes);
    securities.resize(static_cast<size_t>(count > 0 ? count : 1));
    RequestInputs inputs{};
    int outputCount = 1;
    const char *why = nullptr;
    const char *environment = nullptr;
    size_t environmentBytes = 0;
    if (!decodeHelperRequest(section, requestBytes, &inputs, &outputCount, securities.data(), count,
                             &environment, &environmentBytes, &why)) {
        char text[256];
        std::snprintf(text, sizeof text, "The feed helper refused a malformed request: %s", why);
        return errorReply("quorvex:feedHelper", text);
    }
    if (environmentBytes > 0) {
        takeEnvironment(environment, environmentBytes);
    }
    // The inputs are copied out of the section: the reply overwrites it.
    helperResultsBegin(section, sectionSize);
    forgetFeedFailure();
    FeedControlBlock block;
    ResultArray *outputs[HELPER_MAX_SLOTS] = {};
    RequestCall call{&block, inputs, outputCount, outputs};
    bool raised = false;
    try {
        runRequest(call);
    } catch (const HelperRaised &) {
        raised = true;
        describeFailure();
    }
    WireNode *slots[HELPER_MAX_SLOTS] = {};
    for (int s = 0; s < outputCount; ++s) {
        slots[s] = helperResultNode(outputs[s]);
    }
    size_t needed = 0;
    const size_t bytes =
        helperResultsOverflowed() ? 0 : replyFinish(slots, raised ? 0 : outputCount, &needed);
    if (bytes == 0) {
        char text[256];
        std::snprintf(text, sizeof text,
                      "The feed helper's reply does not fit its section of %zu bytes", sectionSize);
        return errorReply("quorvex:feedHelper", text);
    }
    return bytes;
}

// The request being answered, whose progress messages carry its number.
uint32_t answering = 0;

// Tells the module that raw records of the reply lie in the section so far, so that it decodes
// them while this process goes on reading the feed. May run on the feed's thread, while the
// request's own thread waits inside the feed; nothing else writes to the channel meanwhile. A
// failed send is left to the reply's.
void announceProgress(uint32_t kind, uint32_t offset, uint32_t records) {
    unsigned char message[HELPER_MESSAGE_SIZE];
    encodeHelperMessage(
        HelperMessage{HELPER_PROGRESS, HELPER_PROTOCOL_VERSION, answering, records, kind, offset},
        message);
    send(message);
}

} // namespace

int main(int argc, char **argv) {
    if (!attachToModule(argc, argv)) {
        std::fprintf(stderr, "quorvex-feed-helper: it is started by the quorvex module, which "
                             "hands it its channel; it is not run by hand\n");
        return 2;
    }
    unsigned char message[HELPER_MESSAGE_SIZE];
    HelperMessage hello{};
    if (!receive(message) || !decodeHelperMessage(message, &hello) || hello.kind != HELPER_HELLO) {
        return 2;
    }
    // The library is loaded once, before the first request: a helper that cannot serve says
    // why in its hello, in the words the module would use itself.
    uint32_t readiness = HELPER_READY;
    size_t bytes = 0;
    if (hello.version == HELPER_PROTOCOL_VERSION) {
        try {
            helperResultsBegin(section, sectionSize);
            feedLoad();
        } catch (const HelperRaised &) {
            readiness = HELPER_CANNOT_SERVE;
            size_t needed = 0;
            bytes = replyFinish(nullptr, 0, &needed);
        }
    }
    encodeHelperMessage(HelperMessage{HELPER_HELLO, HELPER_PROTOCOL_VERSION, 0,
                                      static_cast<uint32_t>(bytes), readiness, 0},
                        message);
    if (!send(message) || readiness != HELPER_READY || hello.version != HELPER_PROTOCOL_VERSION) {
        return 0;
    }
    replySetProgress(&announceProgress);
    for (;;) {
        HelperMessage request{};
        if (!receive(message)) {
            return 0; // the module closed the channel
        }
        if (!decodeHelperMessage(message, &request) || request.kind != HELPER_REQUEST ||
            request.bytes > sectionSize) {
            return 2;
        }
        answering = request.sequence;
        const size_t reply = answer(request.bytes);
        encodeHelperMessage(HelperMessage{HELPER_REPLY, HELPER_PROTOCOL_VERSION, request.sequence,
                                          static_cast<uint32_t>(reply), 0, 0},
                            message);
        if (!send(message)) {
            return 0;
        }
    }
}
