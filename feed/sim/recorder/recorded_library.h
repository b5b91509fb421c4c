// The library a recording session records: loaded once by its full path and never unloaded,
// called through the guarded call whatever its calling convention, and handed, for the history
// scan, the recording callback, which notes each delivery the library makes and passes it on
// unchanged to the caller's own callback.
#ifndef QUORVEX_FEED_SIM_RECORDED_LIBRARY_H
#define QUORVEX_FEED_SIM_RECORDED_LIBRARY_H

#include "dbax.h"
#include "feed_call.h"
#include "recording.h"

#include <cstdint>
#include <string>
#include <vector>

namespace pcqw32 {

// The recorded library. On 32-bit Windows its calling conventions are its own, whatever this
// library was built with: the first guarded call tells that of its `dbax` (20 argument bytes
// removed: stdcall, 0: cdecl), and its history callback follows the same unless
// PCQW32_RECORD_CALLBACK names another.
struct Target {
    std::string path;
    const void *dbax = nullptr;
    FeedConvention convention = FEED_CONVENTION_UNKNOWN; // as the first measured call showed it
};

// The library at `path`, loaded the first time it is asked for; null with `error` set when
// `path` is not a full path, the library cannot be loaded or it has no entry point dbax.
Target *loadTarget(const std::string &path, std::string &error);

// Whether `path` names this very library file.
bool isThisLibrary(const std::string &path);

// Calls the library's dbax. The guarded call keeps the stack whole whichever convention the
// library follows; a library of neither, or one that changes, gets its status forwarded all
// the same and is named once on standard error.
int32_t callTarget(Target &target, void *block, int32_t operation, void *key, void *record,
                   int32_t parameter);

// Forwards a call to the library with the caller's own arguments and returns what the library
// returned. When the call carries a scan block with a callback, the recording callback stands
// in for the caller's during the call, and the deliveries the library made land in
// `deliveries`.
int32_t forwardToTarget(Target &target, void *block, int32_t operation, void *key, void *record,
                        int32_t parameter, HistoryScanBlock *scanBlock,
                        std::vector<RecordedDelivery> &deliveries);

// Forgets the forwarded scan calls in progress.
void forgetForwardedScans();

} // namespace pcqw32

#endif
