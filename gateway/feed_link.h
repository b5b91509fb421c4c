// The module's side of the feed library: finding the library, resolving `dbax`, and calling it
// in whichever calling convention the library turns out to use.
#ifndef QUORVEX_FEED_LINK_H
#define QUORVEX_FEED_LINK_H

#include "dbax.h"
#include "feed_call.h"

#include <cstdint>

// Makes sure `dbax` can be called, loading the feed library on first use. Raises
// quorvex:feedLibrary naming where it looked, or the file and the system's reason, when that
// fails. Does nothing once an entry point is known.
//  - Windows: PCQW32.dll beside the module, by full path; when there is none there, the
//    first absolute folder of PATH that holds one, by full path. Never a bare name, never the
//    current folder. A library built for another machine than the process (told by its PE
//    header) is refused before it is loaded.
//  - Elsewhere: libPCQW32.so by name (LD_LIBRARY_PATH, then the module's own folder).
void feedLoad();

// One call of the feed's entry point. feedLoad must have succeeded in this process.
//
// On 32-bit x86 Windows every call is guarded (feed_call.h): the first call of the process
// fixes the library's convention from the argument bytes its `dbax` removed (20: stdcall,
// 0: cdecl). A call that removes any other count, or disagrees with the convention fixed
// before, detaches `block` (unless it was the detach) and raises quorvex:feedLibrary; the stack
// is whole again, so the host goes on.
int32_t feedCall(FeedControlBlock *block, int32_t operation, void *key, void *record,
                 int32_t parameter);

// Copies the feed library's own description of its last nonzero status into `buffer` (cut to
// `size`, zero-terminated) and returns true, where the loaded library offers one (an export
// `pcqw32_last_error(char *, int32_t)`); false, with `buffer` empty, where it does not or no
// library is loaded yet. Loads nothing.
bool feedDescribeLastError(char *buffer, int32_t size);

// What the library the search finds is built for, read from its file without loading it
// (Windows; elsewhere always unknown): for this process's machine, 32-bit x86 in a process of
// another, another machine, or unknown (none found, or not a library).
enum FeedLibraryFit {
    FEED_LIBRARY_UNKNOWN,
    FEED_LIBRARY_FITS,
    FEED_LIBRARY_32_BIT,
    FEED_LIBRARY_OTHER_MACHINE
};
FeedLibraryFit feedLibraryFit();

#if defined(_WIN32)
// What the feed helper's link shares of the search (Windows): the folder of the module (or
// program) that holds this code, ended by its separator, in `path` of PATH_ROOM wide characters
// (false when unknown); a wide text as UTF-8 for messages; the system's text of an error code.
constexpr unsigned long FEED_PATH_ROOM = 32768;
bool feedOwnFolder(wchar_t *path, size_t *length);
void feedUtf8(const wchar_t *text, char *out, size_t size);
void feedSystemReason(unsigned long code, char *out, size_t size);
#endif

// The library's file name on this platform, as shown in messages.
const char *feedLibraryName();

// The convention of `dbax` as detected so far: unknown before the first measured call, and
// always on targets with a single convention.
FeedConvention feedConvention();

// The environment variable that names the history callback's convention for a library whose
// callback does not follow its `dbax` ("stdcall" or "cdecl").
constexpr const char *FEED_CALLBACK_VARIABLE = "QUORVEX_FEED_CALLBACK";

// The convention the history callback must follow: the one QUORVEX_FEED_CALLBACK names (read
// once per process), else that of `dbax`. With the variable set to anything else the result
// is unknown and *refused receives its text (otherwise null).
FeedConvention feedCallbackConvention(const char **refused);

#endif
