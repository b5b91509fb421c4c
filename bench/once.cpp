// Runs one case once, for counting its instructions under callgrind:
//   quorvex-bench-once module|host|limit REQUEST [SECURITIES]
// The case runs once unmeasured (first-call binding, record building), then once inside
// measuredRun, the function callgrind is told to collect (--toggle-collect=measuredRun).
#include "cases.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

const char *What = "";
int Request = 0;
size_t Securities = 0;
cases::Inputs *ModuleInputs = nullptr;
cases::LimitStorage *Storage = nullptr;

void runOnce() {
    if (std::strcmp(What, "module") == 0) {
        cases::runModule(*ModuleInputs);
    } else if (std::strcmp(What, "host") == 0) {
        cases::runHostArrays(Request, Securities);
    } else {
        cases::runLimit(Request, Securities, *Storage);
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
    What = argv[1];
    Request = std::atoi(argv[2]);
    Securities = argc > 3 ? std::strtoul(argv[3], nullptr, 10) : 1;
    cases::useMemoryFeed();
    cases::Inputs inputs = cases::requestInputs(Request, Securities);
    cases::LimitStorage storage = cases::limitStorage(Request, Securities);
    ModuleInputs = &inputs;
    Storage = &storage;
    if (std::strcmp(What, "module") == 0 && !cases::runModule(inputs)) {
        std::fprintf(stderr, "the module raised\n");
        return 1;
    }
    runOnce();
    measuredRun();
    std::printf("rows %zu\n", cases::shapeOf(Request, Securities).rows);
    return 0;
}
