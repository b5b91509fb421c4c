#include "faults.h"

#include "dbax.h"
#include "pcqw32_sim.h"
#include "store_fields.h"

#include <cstring>

namespace pcqw32 {

int32_t parsePoint(const std::string &text) {
    static const struct {
        const char *name;
        int32_t code;
    } names[] = {{"attach", DBA_ATTACH},
                 {"get_record", DBA_GET_RECORD},
                 {"get_record_ext", DBA_GET_RECORD_EXT},
                 {"detach", DBA_DETACH},
                 {"version", DBA_GET_VERSION},
                 {"first_block", DBA_GET_FIRST_BLOCK},
                 {"next_block", DBA_GET_NEXT_BLOCK},
                 {"approx", DBA_GET_APPROX},
                 {"wait", DBA_WAIT_APPROX},
                 {"delivery", PCQW32_POINT_DELIVERY}};
    for (const auto &n : names) {
        if (text == n.name) {
            return n.code;
        }
    }
    int64_t code = 0;
    if (!text.empty() && parseInt(text, code)) {
        for (const auto &n : names) {
            if (code == n.code) {
                return n.code;
            }
        }
    }
    return -1;
}

namespace {
std::vector<std::string> split(const std::string &text, const char *separators) {
    std::vector<std::string> parts;
    std::string current;
    for (char ch : text) {
        if (std::strchr(separators, ch)) {
            parts.push_back(current);
            current.clear();
        } else {
            current += ch;
        }
    }
    parts.push_back(current);
    return parts;
}
} // namespace

bool parseFaultList(const std::string &text, std::vector<FaultRule> &faults, std::string &error) {
    for (const std::string &item : split(text, ",;")) {
        std::vector<std::string> p = split(item, ":");
        for (std::string &field : p) {
            const std::size_t b = field.find_first_not_of(" \t");
            const std::size_t e = field.find_last_not_of(" \t");
            field = b == std::string::npos ? std::string() : field.substr(b, e - b + 1);
        }
        if (p.size() == 1 && p[0].empty()) {
            continue;
        }
        int64_t status = 0, nth = 0, event = 0;
        const int32_t point = parsePoint(p[0]);
        if (point < 0 || p.size() < 2 || p.size() > 6 || !parseInt(p[1], status) || status == 0 ||
            (p.size() > 2 && !parseInt(p[2], nth)) || nth < 0 ||
            (p.size() > 5 && !parseInt(p[5], event))) {
            error = "malformed fault \"" + item + "\"";
            return false;
        }
        const bool symbol = p.size() > 3 && !p[3].empty();
        const bool qualifier = p.size() > 4 && !p[4].empty();
        faults.push_back(makeFault(point, static_cast<int32_t>(status), static_cast<int32_t>(nth),
                                   symbol ? p[3].c_str() : nullptr,
                                   qualifier ? p[4].c_str() : nullptr,
                                   static_cast<int32_t>(event)));
    }
    return true;
}

FaultRule makeFault(int32_t point, int32_t status, int32_t nth, const char *symbol,
                    const char *qualifier, int32_t event) {
    FaultRule f;
    f.point = point;
    f.status = status;
    f.nth = nth;
    f.hasSymbol = symbol != nullptr;
    f.symbol = symbol ? symbol : "";
    f.hasQualifier = qualifier != nullptr;
    f.qualifier = qualifier ? qualifier : "";
    if (event != 0) {
        f.event = event;
    }
    return f;
}

const FaultRule *matchFault(const std::vector<FaultRule> &faults, int32_t point, int32_t nth,
                            const std::string *symbol, const std::string *qualifier) {
    for (const FaultRule &f : faults) {
        if (f.point != point || (f.nth != 0 && f.nth != nth)) {
            continue;
        }
        if (f.hasSymbol && (!symbol || *symbol != f.symbol)) {
            continue;
        }
        if (f.hasQualifier && (!qualifier || *qualifier != f.qualifier)) {
            continue;
        }
        return &f;
    }
    return nullptr;
}

} // namespace pcqw32
