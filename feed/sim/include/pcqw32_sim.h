// Query and control API of the simulated PCQW32 feed library. These functions sit beside
// `dbax` in the same shared library; tests and tools use them to see what a client did
// (open attachments, calls made) and to steer the feed (data folder, injected faults).
#ifndef QUORVEX_PCQW32_SIM_H
#define QUORVEX_PCQW32_SIM_H

#include "dbax.h"

#include <stdint.h>

#if defined(_WIN32)
#if defined(PCQW32_SIM_BUILDING)
#define PCQW32_SIM_API __declspec(dllexport)
#else
#define PCQW32_SIM_API __declspec(dllimport)
#endif
#else
#define PCQW32_SIM_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

// Status codes returned by `dbax` (and carried by failed history deliveries).
enum {
    PCQW32_OK = 0,
    PCQW32_BAD_OPERATION = 1,       // operation code not served
    PCQW32_BAD_ARGUMENT = 2,        // a key or record pointer the operation needs is null
    PCQW32_NOT_ATTACHED = 3,        // the control block is not attached
    PCQW32_KEY_NOT_FOUND = 4,       // no such security, or no record of that kind for it
    PCQW32_BAD_TAG = 5,             // extended key without the tag "CANT"
    PCQW32_BAD_SECURITY_RECORD = 6, // block read with a key that is not a security record
    PCQW32_END_OF_DATA = 9,         // no further block, bar or history record
    PCQW32_NOT_POSITIONED = 10,     // get-next or wait without a positioned scan or block read
    PCQW32_BAD_MODE = 11,           // scan block mode other than 1 or 4
    PCQW32_STORE_ABSENT = 12,       // the database file does not exist or cannot be opened
    PCQW32_STORE_INVALID = 13,      // the database file is not a simulator store
    PCQW32_VALUE_RANGE = 14,        // a stored value does not fit its record field
    PCQW32_NOT_RECORDED = 15,       // replay: the recording holds no answer to this call
    PCQW32_TARGET_UNAVAILABLE = 16, // the library to record cannot be used (see the README)
    PCQW32_STORE_UNREADABLE = 17    // SQLite reported an error reading the store (corrupt,
                                    // unreadable or locked file)
};

// Pseudo operation code naming the history deliveries made to the scan callback, for faults.
enum { PCQW32_POINT_DELIVERY = 100 };

// The feed's entry point.
PCQW32_SIM_API int32_t DBA_CALL dbax(void *controlBlock, int32_t operation, void *key, void *record,
                                     int32_t parameter);

// Number of attachments made and not yet detached, including those abandoned by attaching a
// block again while it was still attached.
PCQW32_SIM_API int32_t pcqw32_open_attachments(void);

// Number of attachments abandoned by a second DBA_ATTACH on a block that was still attached.
PCQW32_SIM_API int32_t pcqw32_abandoned_attachments(void);

// Number of `dbax` calls with this operation code since load or the last reset; -1 counts all.
PCQW32_SIM_API int32_t pcqw32_call_count(int32_t operation);

// Forgets every attachment (closing its store), the counters and the faults
// added through pcqw32_add_fault.
PCQW32_SIM_API void pcqw32_reset(void);

// Sets the data folder for the rest of the process; null returns to PCQW32_DATA_DIR or the
// default folder beside the library.
PCQW32_SIM_API void pcqw32_set_data_dir(const char *folder);

// Writes the data folder in use, zero-terminated, into `buffer`; returns its full length.
PCQW32_SIM_API int32_t pcqw32_data_dir(char *buffer, int32_t size);

// Adds a fault: operation `point` (an operation code or PCQW32_POINT_DELIVERY) returns
// `status`. `nth` > 0 limits it to the nth call of that operation (attach: counted for the
// process; others: within the attachment), 0 means every call. `symbol` and `qualifier`, when
// not null, limit it to one security. `event` is the event code of a faulted delivery (0 gives
// the default 2). Returns 0, or PCQW32_BAD_ARGUMENT for an unknown point or a zero status.
PCQW32_SIM_API int32_t pcqw32_add_fault(int32_t point, int32_t status, int32_t nth,
                                        const char *symbol, const char *qualifier, int32_t event);

// Removes the faults added through pcqw32_add_fault.
PCQW32_SIM_API void pcqw32_clear_faults(void);

// Writes a description of the last nonzero status, zero-terminated, into `buffer`; returns
// its full length.
PCQW32_SIM_API int32_t pcqw32_last_error(char *buffer, int32_t size);

#ifdef __cplusplus
}
#endif

#endif
