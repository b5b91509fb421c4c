// The feed library's call interface: the one entry point `dbax`, its operation codes, the
// control block every call carries, and the parameter block of the approximate-key history
// scan with the callback the feed invokes during it. The module and the feed simulator both
// build against these declarations, so the two can never disagree on a layout.
#ifndef QUORVEX_DBAX_H
#define QUORVEX_DBAX_H

#include <stddef.h>
#include <stdint.h>

// Calling conventions of `dbax` (DBA_CALL) and of the history callback (DBA_CALLBACK_CALL).
// Nothing documents which one the vendor's 32-bit library uses; stdcall is the default here,
// and a build of a feed may choose either for each by defining the macros (the test feeds do,
// to prove that the module works with every combination). The module itself does not rely on
// these macros on 32-bit Windows: it detects the convention of `dbax` at run time and hands
// the feed a callback of the matching convention.
#if defined(_WIN32) && !defined(_WIN64)
#ifndef DBA_CALL
#define DBA_CALL __stdcall
#endif
#ifndef DBA_CALLBACK_CALL
#define DBA_CALLBACK_CALL DBA_CALL
#endif
#else
#undef DBA_CALL
#undef DBA_CALLBACK_CALL
#define DBA_CALL
#define DBA_CALLBACK_CALL
#endif

#ifdef __cplusplus
extern "C" {
#endif

// Operation codes understood by `dbax`.
enum {
    DBA_ATTACH = 0,
    DBA_GET_RECORD = 1,
    DBA_GET_RECORD_EXT = 2,
    DBA_DETACH = 7,
    DBA_GET_VERSION = 15,
    DBA_GET_FIRST_BLOCK = 31,
    DBA_GET_NEXT_BLOCK = 33,
    DBA_GET_APPROX = 50,
    DBA_WAIT_APPROX = 53
};

// 256 bytes that belong to the feed for the length of one attachment. The caller provides the
// storage and never looks inside.
typedef struct FeedControlBlock {
    union {
        unsigned char bytes[256];
        double alignment;
    } u;
} FeedControlBlock;

// The history callback: (unused, event code, key of the delivered block, the block, unused,
// status, the scan block the scan was started with). Returns 1 when the event is ignored or
// the scan ends, 0 after the block was stored.
typedef int32_t(DBA_CALLBACK_CALL *HistoryCallbackFunction)(int32_t, int32_t eventCode,
                                                            const void *key, const void *block,
                                                            int32_t, int32_t status,
                                                            void *scanBlock);

// Parameter block of the approximate-key scan, passed as the record of DBA_GET_APPROX and
// DBA_WAIT_APPROX and handed back to the callback. On 32-bit targets the fields lie at
// offsets 0, 4, 8, 12, 16 and 20.
typedef struct HistoryScanBlock {
    HistoryCallbackFunction callback; // written by the caller before every DBA_GET_APPROX
    int32_t reserved4;                // set to 0 by the caller before the first DBA_GET_APPROX
    int32_t reserved8;                // the feed's own
    int32_t done;                     // set to 1 by the callback when the scan is over
    int32_t mode;                     // 1 for the positioning read, 4 for every read after it
    int32_t started;                  // kept by the feed: 0 until the first delivery of a scan
} HistoryScanBlock;

// The entry point itself.
typedef int32_t(DBA_CALL *DbaxFunction)(void *controlBlock, int32_t operation, void *key,
                                        void *record, int32_t parameter);

#ifdef __cplusplus
}
#endif

#ifdef __cplusplus
static_assert(sizeof(FeedControlBlock) == 256, "the control block is 256 bytes");
#if UINTPTR_MAX == 0xFFFFFFFFu
static_assert(offsetof(HistoryScanBlock, callback) == 0, "scan block layout");
static_assert(offsetof(HistoryScanBlock, reserved4) == 4, "scan block layout");
static_assert(offsetof(HistoryScanBlock, reserved8) == 8, "scan block layout");
static_assert(offsetof(HistoryScanBlock, done) == 12, "scan block layout");
static_assert(offsetof(HistoryScanBlock, mode) == 16, "scan block layout");
static_assert(offsetof(HistoryScanBlock, started) == 20, "scan block layout");
static_assert(sizeof(HistoryScanBlock) == 24, "scan block layout");
#endif
#endif

#endif
