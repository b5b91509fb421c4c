// Injected faults: a fault makes one operation of `dbax` (or one history delivery) return a
// chosen status instead of doing its work. Faults come as text (PCQW32_FAULTS) or from code
// (pcqw32_add_fault); this unit parses them and matches them against a call.
#ifndef QUORVEX_FEED_SIM_FAULTS_H
#define QUORVEX_FEED_SIM_FAULTS_H

#include "records.h"

#include <cstdint>
#include <string>
#include <vector>

namespace pcqw32 {

// A fault as PCQW32_FAULTS or pcqw32_add_fault give it.
struct FaultRule {
    int32_t point = 0; // operation code or PCQW32_POINT_DELIVERY
    int32_t status = 0;
    int32_t nth = 0; // 0: every call
    bool hasSymbol = false, hasQualifier = false;
    std::string symbol, qualifier;
    int32_t event = SCAN_EVENT_BLOCK; // event code of a faulted delivery
};

// A fault from its parts: `symbol` or `qualifier` null for any security, `event` 0 for the
// default event code of a faulted delivery.
FaultRule makeFault(int32_t point, int32_t status, int32_t nth, const char *symbol,
                    const char *qualifier, int32_t event);

// Operation code for a point given as a number or a name (attach, get_record,
// get_record_ext, detach, version, first_block, next_block, approx, wait, delivery); -1 when
// unknown.
int32_t parsePoint(const std::string &text);

// Parses "point:status[:nth[:symbol[:qualifier[:event]]]]" items separated by ',' or ';'.
// Returns false with `error` set when an item is malformed.
bool parseFaultList(const std::string &text, std::vector<FaultRule> &faults, std::string &error);

// The first fault of `faults` for the nth call of operation `point`; null when none matches.
// `symbol` and `qualifier` name the security the call concerns (null: none), which a fault
// limited to one security must match.
const FaultRule *matchFault(const std::vector<FaultRule> &faults, int32_t point, int32_t nth,
                            const std::string *symbol, const std::string *qualifier);

} // namespace pcqw32

#endif
