#include "notices.h"

#include <cstdio>
#include <set>

namespace pcqw32 {

namespace {

std::set<std::string> &said() {
    static std::set<std::string> messages;
    return messages;
}

} // namespace

void sayOnce(const std::string &message) {
    if (said().insert(message).second) {
        std::fprintf(stderr, "PCQW32: %s\n", message.c_str());
    }
}

void forgetSaid() {
    said().clear();
}

} // namespace pcqw32
