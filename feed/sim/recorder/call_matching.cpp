#include "call_matching.h"

namespace pcqw32 {

namespace {

std::string quoted(const std::string &s) {
    return "\"" + s + "\"";
}

std::string securityName(const unsigned char *key) {
    return quoted(keySymbol(key)) + "/" + quoted(keyQualifier(key));
}

} // namespace

Shape shapeOf(CallContext &s, int32_t operation, void *key, void *record, int32_t parameter) {
    Shape c;
    c.operation = operation;
    c.parameter = parameter;
    const auto *k = static_cast<const unsigned char *>(key);
    const std::size_t keySize = recordedKeySize(operation);
    if (k && keySize > 0) {
        c.key.assign(k, k + keySize);
    }
    if ((operation == DBA_GET_APPROX || operation == DBA_WAIT_APPROX) && record) {
        c.scanBlock = static_cast<HistoryScanBlock *>(record);
    }
    const bool hasMode = c.scanBlock != nullptr;
    const int32_t mode = hasMode ? c.scanBlock->mode : 0;
    Bytes keyPart;
    c.what = operationName(operation);
    switch (operation) {
    case DBA_ATTACH:
        c.what += " of database " + std::to_string(parameter);
        break;
    case DBA_GET_RECORD:
        keyPart = c.key;
        if (k) {
            c.what += " of " + securityName(k);
        }
        break;
    case DBA_GET_RECORD_EXT:
        // Bytes 18 to 20 of the tagged key are not the caller's to set; the tag is.
        if (k) {
            keyPart.assign(k, k + SECURITY_KEY_SIZE);
            keyPart.insert(keyPart.end(), k + KEY_TAG_OFFSET, k + KEY_TAG_OFFSET + KEY_TAG_SIZE);
            c.what += " of " + securityName(k) + " with the tag " +
                      quoted(std::string(reinterpret_cast<const char *>(k + KEY_TAG_OFFSET),
                                         KEY_TAG_SIZE));
        }
        break;
    case DBA_GET_FIRST_BLOCK:
        keyPart = c.key;
        c.run = &s.bars;
        c.head = true;
        c.security =
            k && c.key == s.lastSecurityRecord ? s.lastSecurity : std::string("a security record");
        c.what += " of " + c.security;
        break;
    case DBA_GET_NEXT_BLOCK:
        if (s.bars.active && k && c.key == s.bars.key) {
            c.run = &s.bars;
            c.key.clear(); // the run's first call holds it
            c.what += ", block " + std::to_string(s.bars.calls + 1) + " of " + s.bars.security;
        } else {
            keyPart = c.key;
            c.what += " outside a bar read";
        }
        break;
    case DBA_GET_APPROX:
        if (hasMode && mode == SCAN_MODE_POSITION) {
            keyPart = c.key;
            c.run = &s.scan;
            c.head = true;
            c.security = k ? securityName(k) : std::string("a null key");
            c.what += " (mode 1) from " + c.security;
            break;
        }
        [[fallthrough]];
    case DBA_WAIT_APPROX:
        if (hasMode) {
            c.what += " (mode " + std::to_string(mode) + ")";
        }
        if (s.scan.active) {
            c.run = &s.scan;
            c.what += ", call " + std::to_string(s.scan.calls + 1) + " of the scan from " +
                      s.scan.security;
        } else {
            c.what += " outside a scan";
        }
        break;
    default:
        break;
    }
    if (!c.run || c.head) {
        c.request = requestBytes(s.attached, parameter, hasMode, mode, keyPart);
    } else {
        c.request = requestBytes(s.attached, parameter, hasMode, mode, Bytes());
    }
    return c;
}

void noteCall(CallContext &s, const Shape &c, void *key, void *record, int32_t status,
              bool replayed, int64_t recordedId) {
    if (c.operation == DBA_ATTACH || c.operation == DBA_DETACH) {
        if (status == 0) {
            s.attached = c.operation == DBA_ATTACH;
        }
        s.bars = Run{};
        s.scan = Run{};
        return;
    }
    if (c.operation == DBA_GET_RECORD && status == 0 && key && record) {
        const auto *r = static_cast<const unsigned char *>(record);
        s.lastSecurityRecord.assign(r, r + SECURITY_RECORD_SIZE);
        s.lastSecurity = securityName(static_cast<const unsigned char *>(key));
    }
    if (!c.run) {
        return;
    }
    Run &run = *c.run;
    if (c.head) {
        run.active = true;
        run.calls = 1;
        run.key = c.operation == DBA_GET_FIRST_BLOCK ? c.key : Bytes();
        run.security = c.security;
        if (replayed) {
            run.replayed = true;
            run.head = recordedId;
        }
    } else {
        ++run.calls;
    }
    if (replayed) {
        run.last = recordedId;
    }
}

} // namespace pcqw32
