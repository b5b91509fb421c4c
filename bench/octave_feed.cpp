// The in-memory feed as the feed library itself (libPCQW32.so, PCQW32.dll), so that the module
// loaded by GNU Octave, or loaded by path in or out of the host's process, reads the same
// records as the timed suite.
#include "memory_feed.h"

#if defined(_WIN32)
#define MEMORY_FEED_API extern "C" __declspec(dllexport)
#else
#define MEMORY_FEED_API extern "C" __attribute__((visibility("default")))
#endif

MEMORY_FEED_API int32_t DBA_CALL dbax(void *controlBlock, int32_t operation, void *key,
                                      void *record, int32_t parameter) {
    return memfeed::dbax(controlBlock, operation, key, record, parameter);
}
