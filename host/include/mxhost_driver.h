// Calls a module's entry point the way the host does: with inputs built in C++, a fresh set
// of output slots, and a raise that ends the call. What the call produced (the output tree,
// the raised identifier and message, the printed text) stays inspectable until the result
// goes out of scope, which frees every array the call created.
#ifndef QUORVEX_MXHOST_DRIVER_H
#define QUORVEX_MXHOST_DRIVER_H

#include "mex.h"

#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

namespace mxhost {

using EntryPoint = void (*)(int, mxArray *[], int, const mxArray *[]);

struct Warning {
    std::string identifier;
    std::string message;
};

// Raised messages are kept as the module passed them. GNU Octave shows them with the
// function's name in front ("quorvex: ..."); the tests assert the module's own text.
struct MXHOST_API CallResult {
    bool raised = false;
    std::string identifier; // empty for mexErrMsgTxt
    std::string message;
    std::string printed;           // everything mexPrintf produced during the call
    std::vector<Warning> warnings; // every mexWarnMsgIdAndTxt of the call, in order
    // Host functions called from a thread other than the call's own, which a real host does
    // not survive; empty when the module kept to the host's thread.
    std::vector<std::string> offThreadHostCalls;
    std::vector<mxArray *> outputs; // one slot per requested output; null when unset

    CallResult() = default;
    CallResult(CallResult &&other) noexcept;
    CallResult &operator=(CallResult &&other) noexcept;
    CallResult(const CallResult &) = delete;
    CallResult &operator=(const CallResult &) = delete;
    ~CallResult();

    mxArray *output(size_t slot = 0) const {
        return slot < outputs.size() ? outputs[slot] : nullptr;
    }

    std::vector<mxArray *> created; // every array the call created, freed with the result
};

// The mexFunction of the module file at `path`, loaded as the host loads a module (its own
// folder searched first for what it needs on Windows); null when it cannot be loaded or has
// no mexFunction. The module stays loaded for the process.
MXHOST_API EntryPoint loadEntryPoint(const char *path);

// Calls entry with the inputs (which stay owned by the caller) and nlhs output slots.
MXHOST_API CallResult call(EntryPoint entry, int nlhs, const std::vector<const mxArray *> &inputs);

// Owns arrays built by a test or a tool as inputs.
struct ArrayDeleter {
    void operator()(mxArray *array) const { mxDestroyArray(array); }
};
using ArrayPtr = std::unique_ptr<mxArray, ArrayDeleter>;

MXHOST_API ArrayPtr scalar(double value);
MXHOST_API ArrayPtr text(const std::string &value);
MXHOST_API ArrayPtr cellOfTexts(const std::vector<std::string> &values);

// Readers for results.
MXHOST_API std::string textOf(const mxArray *array);
MXHOST_API std::vector<std::string> fieldNames(const mxArray *structure);

// When set, mexPrintf also writes to standard output and warnings to standard error (for
// command-line tools).
MXHOST_API void setEcho(bool echo);

// Whether mxCreateUninitNumericMatrix fills its elements with a NaN pattern (the default, so
// tests see a module that relies on zeros) or leaves them as the allocator left them
// (benchmarks, which measure what a real host costs).
MXHOST_API void setUninitPoison(bool poison);

// Clears the module as the host's `clear mex` does: runs what it registered with mexAtExit
// (once; the process's end runs it otherwise).
MXHOST_API void clearModule();

// Number of arrays alive right now (created and not yet freed); lets tests prove that nothing
// leaks across calls.
MXHOST_API size_t liveArrayCount();

} // namespace mxhost

#endif
