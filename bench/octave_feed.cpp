// The in-memory feed as the feed library itself (libPCQW32.so), so that the module loaded by
// GNU Octave reads the same records as the timed suite.
#include "memory_feed.h"

extern "C" __attribute__((visibility("default"))) int32_t DBA_CALL dbax(void *controlBlock,
                                                                        int32_t operation,
                                                                        void *key, void *record,
                                                                        int32_t parameter) {
    return memfeed::dbax(controlBlock, operation, key, record, parameter);
}
