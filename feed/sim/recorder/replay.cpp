#include "replay.h"

#include "pcqw32_sim.h"
#include "records.h"

#include <algorithm>
#include <cstring>

namespace pcqw32 {

namespace {

void setScanFields(HistoryScanBlock *sb, const ScanFields &f) {
    sb->reserved4 = f.reserved4;
    sb->reserved8 = f.reserved8;
    sb->started = f.started;
}

// A recorded buffer in one of the sizes the callback reads, whatever the store holds.
template <std::size_t N> struct Fixed {
    unsigned char bytes[N] = {};
    explicit Fixed(const Bytes &from) {
        if (!from.empty()) { // an empty vector's data() may be null, which memcpy never takes
            std::memcpy(bytes, from.data(), std::min(from.size(), N));
        }
    }
};

} // namespace

int32_t replayRecorded(const RecordedCall &call, HistoryScanBlock *sb, void *record,
                       std::string &error) {
    if (sb) {
        for (const RecordedDelivery &d : call.deliveries) {
            setScanFields(sb, d.seen);
            if (!sb->callback) {
                error = "the scan block has no callback for the recorded history deliveries";
                return PCQW32_BAD_ARGUMENT;
            }
            const Fixed<SECURITY_KEY_SIZE> key(d.key);
            const Fixed<HISTORY_BLOCK_SIZE> block(d.block);
            sb->callback(d.argument1, d.event, d.key.empty() ? nullptr : key.bytes,
                         d.block.empty() ? nullptr : block.bytes, d.argument5, d.status, sb);
        }
        if (call.hasScan) {
            setScanFields(sb, call.scan);
        }
    }
    if (record && !call.record.empty()) {
        const std::size_t n = std::min(call.record.size(), recordedRecordSize(call.operation));
        std::memcpy(record, call.record.data(), n);
    }
    return call.status;
}

} // namespace pcqw32
