// Runs one case once, for counting its instructions under callgrind:
//   quorvex-bench-once module|host|limit REQUEST [SECURITIES]
// The case runs once unmeasured (first-call binding, record building), then once inside
// measuredRun, the function callgrind is told to collect (--toggle-collect=measuredRun).
#include "cases.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

const char *caseKind = "";
int caseRequest = 0;
size_t caseSecurities = 0;
cases::Inputs *caseInputs = nullptr;
cases::LimitStorage *caseStorage = nullptr;

void runOnce() {
    if (std::strcmp(caseKind, "module") == 0) {
        cases::runModule(*caseInputs);
    } else if (std::strcmp(caseKind, "host") == 0) {
        cases::runHostArrays(caseRequest, caseSecurities);
    } else {
        cases::runLimit(caseRequest, caseSecurities, *caseStorage);
    }
}

} // namespace

extern "C" __attribute__((noinline)) void measuredRun() {
    runOnce();
    __asm__ volatile("" ::: "memory");
}

int main(int argc, char **argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s module|host|limit REQUEST [SECURITIES]\n", argv[0]);
        return 2;
    }
    caseKind = argv[1];
    caseRequest = std::atoi(argv[2]);
    caseSecurities = argc > 3 ? std::strtoul(argv[3], nullptr, 10) : 1;
    cases::useMemoryFeed();
    cases::Inputs inputs = cases::requestInputs(caseRequest, caseSecurities);
    cases::LimitStorage storage = cases::limitStorage(caseRequest, caseSecurities);
    caseInputs = &inputs;
    caseStorage = &storage;
    if (std::strcmp(caseKind, "module") == 0 && !cases::runModule(inputs)) {
        std::fprintf(stderr, "the module raised\n");
        return 1;
    }
    runOnce();
    measuredRun();
    std::printf("rows %zu\n", cases::shapeOf(caseRequest, caseSecurities).rows);
    return 0;
}
