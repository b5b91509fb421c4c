// The stand-in host's arrays, errors and printing, and the driver that calls a module.
#include "mex.h"
#include "mxhost_driver.h"

#include <algorithm>
#include <cmath>
#include <csetjmp>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <new>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#if defined(_WIN32)
#ifndef NOMINMAX
#define NOMINMAX
#endif
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#else
#include <dlfcn.h>
#endif

// Storage of numeric values. Its allocator default-initialises (leaves doubles unset) where a
// plain vector would zero them, so that an uninitialised matrix costs no pass over memory, as
// in the real hosts; every other creation writes its values explicitly.
#ifdef MXHOST_REUSE_LARGE_BLOCKS
// The fuzz build's host keeps the last freed large block of values for the next large array:
// without it every 75000-by-6 bar matrix is a fresh mapping of 3.6 MB, whose page faults cost
// more than the request itself. While it waits for reuse the block is poisoned, so that the
// module's use of an array after the host freed it is reported as before.
#include <sanitizer/asan_interface.h>

namespace {
constexpr size_t LARGE_BLOCK_BYTES = 1 << 20;
void *freeLargeBlock = nullptr;
size_t freeLargeBlockBytes = 0;

void *allocateValues(size_t bytes) {
    if (bytes >= LARGE_BLOCK_BYTES && freeLargeBlock != nullptr && freeLargeBlockBytes == bytes) {
        void *block = freeLargeBlock;
        freeLargeBlock = nullptr;
        ASAN_UNPOISON_MEMORY_REGION(block, bytes);
        return block;
    }
    return ::operator new(bytes);
}

void releaseValues(void *block, size_t bytes) {
    if (bytes >= LARGE_BLOCK_BYTES) {
        if (freeLargeBlock != nullptr) {
            ASAN_UNPOISON_MEMORY_REGION(freeLargeBlock, freeLargeBlockBytes);
            ::operator delete(freeLargeBlock);
        }
        ASAN_POISON_MEMORY_REGION(block, bytes);
        freeLargeBlock = block;
        freeLargeBlockBytes = bytes;
        return;
    }
    ::operator delete(block);
}
} // namespace
#endif

template <typename T> struct DefaultInitAllocator : std::allocator<T> {
    template <typename U> struct rebind { using other = DefaultInitAllocator<U>; };
    using std::allocator<T>::allocator;
#ifdef MXHOST_REUSE_LARGE_BLOCKS
    T *allocate(size_t n) {
        return static_cast<T *>(allocateValues(n * sizeof(T)));
    }
    void deallocate(T *place, size_t n) {
        releaseValues(place, n * sizeof(T));
    }
#endif
    template <typename U> void construct(U *place) {
        ::new (static_cast<void *>(place)) U;
    }
    template <typename U, typename... Args> void construct(U *place, Args &&...args) {
        ::new (static_cast<void *>(place)) U(std::forward<Args>(args)...);
    }
};
using Doubles = std::vector<double, DefaultInitAllocator<double>>;

struct mxArray_tag {
    mxClassID classId = mxDOUBLE_CLASS;
    bool complex = false;
    mwSize rows = 0;
    mwSize columns = 0;
    Doubles real;                 // numeric and logical values, column-major
    Doubles imaginary;            // complex numeric values only
    std::string chars;            // character arrays, column-major
    std::vector<mxArray *> cells; // cell elements, or struct values (element-major)
    std::vector<std::string> fieldNames;
};

namespace {

// State of the call in progress. Only one call runs at a time, as in the host.
struct CallState {
    std::jmp_buf *raiseTarget = nullptr;
    std::vector<mxArray *> *created = nullptr;
    std::string *identifier = nullptr;
    std::string *message = nullptr;
    std::string *printed = nullptr;
    std::vector<mxhost::Warning> *warnings = nullptr;
    std::vector<std::string> *offThread = nullptr;
    // Memory the call allocated with mxMalloc (or mxArrayToString) and has not freed; the
    // host frees it when the call ends, raised or not, as the real one does.
    std::vector<void *> *allocated = nullptr;
    std::thread::id thread;
};

CallState current;
bool echoPrints = false;
bool poisonUninit = true;
size_t liveArrays = 0;

[[noreturn]] void fatal(const char *what) {
    std::fprintf(stderr, "mxhost: %s\n", what);
    std::abort();
}

// The host's API may be called only from the thread that runs the call: a real host is not
// thread-safe and may crash. Calls from any other thread are noted for the test to see.
void noteThread(const char *function) {
    if (current.offThread != nullptr && std::this_thread::get_id() != current.thread) {
        current.offThread->push_back(function);
    }
}

mxArray *newArray(mxClassID classId, mwSize rows, mwSize columns) {
    noteThread("an array creation");
    auto *array = new mxArray_tag;
    array->classId = classId;
    array->rows = rows;
    array->columns = columns;
    ++liveArrays;
    if (current.created != nullptr) {
        current.created->push_back(array);
    }
    return array;
}

size_t elementCount(const mxArray *array) {
    return array->rows * array->columns;
}

void freeFlat(mxArray *array) {
    delete array;
    --liveArrays;
}

bool isNumericClass(mxClassID id) {
    return id >= mxDOUBLE_CLASS && id <= mxUINT64_CLASS;
}

[[noreturn]] void raise(const char *identifier, const char *message) {
    noteThread("mexErrMsgIdAndTxt");
    if (current.raiseTarget == nullptr) {
        std::fprintf(stderr, "mxhost: raise outside a call: %s\n", message);
        std::abort();
    }
    *current.identifier = identifier;
    *current.message = message;
    std::longjmp(*current.raiseTarget, 1);
}

std::string vformat(const char *format, va_list args) {
    va_list copy;
    va_copy(copy, args);
    int length = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    if (length < 0) {
        return std::string();
    }
    std::string out(static_cast<size_t>(length) + 1, '\0');
    std::vsnprintf(&out[0], out.size(), format, args);
    out.resize(static_cast<size_t>(length));
    return out;
}

} // namespace

extern "C" {

mxArray *mxCreateDoubleMatrix(mwSize m, mwSize n, mxComplexity flag) {
    mxArray *array = newArray(mxDOUBLE_CLASS, m, n);
    array->real.assign(m * n, 0.0);
    if (flag == mxCOMPLEX) {
        array->complex = true;
        array->imaginary.assign(m * n, 0.0);
    }
    return array;
}

mxArray *mxCreateDoubleScalar(double value) {
    mxArray *array = mxCreateDoubleMatrix(1, 1, mxREAL);
    array->real[0] = value;
    return array;
}

mxArray *mxCreateNumericMatrix(mwSize m, mwSize n, mxClassID classId, mxComplexity flag) {
    if (!isNumericClass(classId)) {
        fatal("mxCreateNumericMatrix: not a numeric class");
    }
    mxArray *array = mxCreateDoubleMatrix(m, n, flag);
    array->classId = classId;
    return array;
}

mxArray *mxCreateUninitNumericMatrix(size_t m, size_t n, mxClassID classId, mxComplexity flag) {
    if (!isNumericClass(classId)) {
        fatal("mxCreateUninitNumericMatrix: not a numeric class");
    }
    mxArray *array = newArray(classId, m, n);
    array->real.resize(m * n);
    if (flag == mxCOMPLEX) {
        array->complex = true;
        array->imaginary.resize(m * n);
    }
    if (poisonUninit) {
        // Undefined contents: a NaN that no decode produces, in every element.
        const double poison = -std::numeric_limits<double>::quiet_NaN();
        std::fill(array->real.begin(), array->real.end(), poison);
        std::fill(array->imaginary.begin(), array->imaginary.end(), poison);
    }
    return array;
}

mxArray *mxCreateLogicalScalar(bool value) {
    mxArray *array = newArray(mxLOGICAL_CLASS, 1, 1);
    array->real.assign(1, value ? 1.0 : 0.0);
    return array;
}

mxArray *mxCreateCellMatrix(mwSize m, mwSize n) {
    mxArray *array = newArray(mxCELL_CLASS, m, n);
    array->cells.assign(m * n, nullptr);
    return array;
}

mxArray *mxCreateString(const char *text) {
    size_t length = text == nullptr ? 0 : std::strlen(text);
    mxArray *array = newArray(mxCHAR_CLASS, length == 0 ? 0 : 1, length);
    array->chars.assign(text == nullptr ? "" : text, length);
    return array;
}

mxArray *mxCreateCharMatrixFromStrings(mwSize m, const char **texts) {
    size_t width = 0;
    for (mwSize i = 0; i < m; ++i) {
        width = std::max(width, std::strlen(texts[i]));
    }
    mxArray *array = newArray(mxCHAR_CLASS, m, width);
    array->chars.assign(m * width, ' ');
    for (mwSize i = 0; i < m; ++i) {
        for (size_t j = 0; texts[i][j] != '\0'; ++j) {
            array->chars[j * m + i] = texts[i][j];
        }
    }
    return array;
}

mxArray *mxCreateStructMatrix(mwSize m, mwSize n, int nfields, const char **names) {
    mxArray *array = newArray(mxSTRUCT_CLASS, m, n);
    for (int f = 0; f < nfields; ++f) {
        if (names[f] == nullptr || names[f][0] == '\0') {
            fatal("mxCreateStructMatrix: empty field name");
        }
        for (const std::string &seen : array->fieldNames) {
            if (seen == names[f]) {
                fatal("mxCreateStructMatrix: duplicate field name");
            }
        }
        array->fieldNames.emplace_back(names[f]);
    }
    array->cells.assign(m * n * static_cast<size_t>(nfields), nullptr);
    return array;
}

void mxDestroyArray(mxArray *array) {
    if (array == nullptr) {
        return;
    }
    for (mxArray *child : array->cells) {
        mxDestroyArray(child);
    }
    freeFlat(array);
}

mxClassID mxGetClassID(const mxArray *array) {
    return array->classId;
}
bool mxIsDouble(const mxArray *array) {
    return array->classId == mxDOUBLE_CLASS;
}
bool mxIsNumeric(const mxArray *array) {
    return isNumericClass(array->classId);
}
bool mxIsComplex(const mxArray *array) {
    return array->complex;
}
bool mxIsLogical(const mxArray *array) {
    return array->classId == mxLOGICAL_CLASS;
}
bool mxIsChar(const mxArray *array) {
    return array->classId == mxCHAR_CLASS;
}
bool mxIsCell(const mxArray *array) {
    return array->classId == mxCELL_CLASS;
}
bool mxIsStruct(const mxArray *array) {
    return array->classId == mxSTRUCT_CLASS;
}
mwSize mxGetM(const mxArray *array) {
    return array->rows;
}
mwSize mxGetN(const mxArray *array) {
    return array->columns;
}
size_t mxGetNumberOfElements(const mxArray *array) {
    return elementCount(array);
}

double mxGetScalar(const mxArray *array) {
    if (elementCount(array) == 0) {
        return 0.0;
    }
    if (array->classId == mxCHAR_CLASS) {
        return static_cast<unsigned char>(array->chars[0]);
    }
    if (!array->real.empty()) {
        return array->real[0];
    }
    return 0.0;
}

double *mxGetPr(const mxArray *array) {
    if (array->classId != mxDOUBLE_CLASS) {
        return nullptr;
    }
    return const_cast<double *>(array->real.data());
}

double *mxGetPi(const mxArray *array) {
    if (!array->complex) {
        return nullptr;
    }
    return const_cast<double *>(array->imaginary.data());
}

mxArray *mxGetCell(const mxArray *array, mwIndex index) {
    if (array->classId != mxCELL_CLASS) {
        fatal("mxGetCell: not a cell array");
    }
    if (index >= array->cells.size()) {
        fatal("mxGetCell: index out of range");
    }
    return array->cells[index];
}

void mxSetCell(mxArray *array, mwIndex index, mxArray *value) {
    if (array->classId != mxCELL_CLASS || index >= array->cells.size()) {
        fatal("mxSetCell: not a cell array or index out of range");
    }
    array->cells[index] = value;
}

// Copies the text and a terminating zero when it fits; a text that does not fit is refused
// with 1 and the buffer left untouched, which is what the real host does too.
int mxGetString(const mxArray *array, char *buffer, mwSize length) {
    if (array == nullptr || array->classId != mxCHAR_CLASS || length == 0) {
        return 1;
    }
    if (array->chars.size() + 1 > length) {
        return 1;
    }
    std::memcpy(buffer, array->chars.data(), array->chars.size());
    buffer[array->chars.size()] = '\0';
    return 0;
}

void *mxMalloc(size_t size) {
    noteThread("mxMalloc");
    void *memory = std::malloc(size > 0 ? size : 1);
    if (memory == nullptr) {
        fatal("out of memory");
    }
    if (current.allocated != nullptr) {
        current.allocated->push_back(memory);
    }
    return memory;
}

char *mxArrayToString(const mxArray *array) {
    if (array == nullptr || array->classId != mxCHAR_CLASS) {
        return nullptr;
    }
    char *out = static_cast<char *>(mxMalloc(array->chars.size() + 1));
    if (out == nullptr) {
        return nullptr;
    }
    std::memcpy(out, array->chars.data(), array->chars.size());
    out[array->chars.size()] = '\0';
    return out;
}

void mxFree(void *memory) {
    if (memory != nullptr && current.allocated != nullptr) {
        auto &list = *current.allocated;
        for (size_t i = list.size(); i-- > 0;) {
            if (list[i] == memory) {
                list.erase(list.begin() + static_cast<long>(i));
                break;
            }
        }
    }
    std::free(memory);
}

int mxGetNumberOfFields(const mxArray *array) {
    return array->classId == mxSTRUCT_CLASS ? static_cast<int>(array->fieldNames.size()) : 0;
}

const char *mxGetFieldNameByNumber(const mxArray *array, int number) {
    if (array->classId != mxSTRUCT_CLASS || number < 0 ||
        static_cast<size_t>(number) >= array->fieldNames.size()) {
        return nullptr;
    }
    return array->fieldNames[static_cast<size_t>(number)].c_str();
}

static long fieldSlot(const mxArray *array, mwIndex index, const char *name) {
    if (array->classId != mxSTRUCT_CLASS || index >= elementCount(array)) {
        return -1;
    }
    for (size_t f = 0; f < array->fieldNames.size(); ++f) {
        if (array->fieldNames[f] == name) {
            return static_cast<long>(index * array->fieldNames.size() + f);
        }
    }
    return -1;
}

mxArray *mxGetField(const mxArray *array, mwIndex index, const char *name) {
    long slot = fieldSlot(array, index, name);
    return slot < 0 ? nullptr : array->cells[static_cast<size_t>(slot)];
}

void mxSetField(mxArray *array, mwIndex index, const char *name, mxArray *value) {
    long slot = fieldSlot(array, index, name);
    if (slot < 0) {
        fatal("mxSetField: no such field");
    }
    array->cells[static_cast<size_t>(slot)] = value;
}

void mexErrMsgTxt(const char *message) {
    raise("", message == nullptr ? "" : message);
}

void mexErrMsgIdAndTxt(const char *identifier, const char *format, ...) {
    // The formatted text must outlive the jump, and the jump skips the destructors of this
    // frame: format straight into static storage, with no local string left to free.
    static std::string lastMessage;
    va_list args;
    va_start(args, format);
    lastMessage = vformat(format, args);
    va_end(args);
    raise(identifier == nullptr ? "" : identifier, lastMessage.c_str());
}

namespace {
void (*atExit)(void) = nullptr;
struct AtExitRunner {
    ~AtExitRunner() {
        if (atExit != nullptr) {
            void (*function)(void) = atExit;
            atExit = nullptr;
            function();
        }
    }
} atExitRunner;
} // namespace

int mexAtExit(void (*function)(void)) {
    atExit = function;
    return 0;
}

int mexPrintf(const char *format, ...) {
    va_list args;
    va_start(args, format);
    std::string text = vformat(format, args);
    va_end(args);
    noteThread("mexPrintf");
    if (current.printed != nullptr) {
        *current.printed += text;
    }
    if (echoPrints || current.printed == nullptr) {
        std::fputs(text.c_str(), stdout);
        std::fflush(stdout);
    }
    return static_cast<int>(text.size());
}

void mexWarnMsgIdAndTxt(const char *identifier, const char *format, ...) {
    va_list args;
    va_start(args, format);
    std::string text = vformat(format, args);
    va_end(args);
    noteThread("mexWarnMsgIdAndTxt");
    if (current.warnings != nullptr) {
        current.warnings->push_back({identifier == nullptr ? "" : identifier, text});
    }
    if (echoPrints || current.warnings == nullptr) {
        std::fprintf(stderr, "warning: %s\n", text.c_str());
    }
}

} // extern "C"

namespace mxhost {

CallResult::CallResult(CallResult &&other) noexcept {
    *this = std::move(other);
}

CallResult &CallResult::operator=(CallResult &&other) noexcept {
    if (this != &other) {
        for (mxArray *array : created) {
            freeFlat(array);
        }
        raised = other.raised;
        identifier = std::move(other.identifier);
        message = std::move(other.message);
        printed = std::move(other.printed);
        warnings = std::move(other.warnings);
        offThreadHostCalls = std::move(other.offThreadHostCalls);
        outputs = std::move(other.outputs);
        created = std::move(other.created);
        other.created.clear();
        other.outputs.clear();
    }
    return *this;
}

CallResult::~CallResult() {
    for (mxArray *array : created) {
        freeFlat(array);
    }
}

// Runs the entry point with a jump target for raises. Kept apart so that no object with a
// destructor lives in the frame that setjmp returns to twice.
static int invoke(EntryPoint entry, int nlhs, mxArray **plhs, int nrhs, const mxArray **prhs) {
    std::jmp_buf target;
    std::jmp_buf *saved = current.raiseTarget;
    current.raiseTarget = &target;
    if (setjmp(target) == 0) {
        entry(nlhs, plhs, nrhs, prhs);
        current.raiseTarget = saved;
        return 0;
    }
    current.raiseTarget = saved;
    return 1;
}

EntryPoint loadEntryPoint(const char *path) {
    void *entry = nullptr;
#if defined(_WIN32)
    HMODULE module = LoadLibraryExA(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    FARPROC symbol = module ? GetProcAddress(module, "mexFunction") : nullptr;
    std::memcpy(&entry, &symbol, sizeof entry);
#else
    void *module = dlopen(path, RTLD_NOW | RTLD_LOCAL);
    entry = module ? dlsym(module, "mexFunction") : nullptr;
#endif
    EntryPoint function = nullptr;
    std::memcpy(&function, &entry, sizeof function);
    return function;
}

CallResult call(EntryPoint entry, int nlhs, const std::vector<const mxArray *> &inputs) {
    CallResult result;
    // The host always offers at least one output slot, as the real one does for `ans`.
    result.outputs.assign(static_cast<size_t>(nlhs < 1 ? 1 : nlhs), nullptr);
    std::vector<const mxArray *> arguments(inputs);

    CallState saved = current;
    current.created = &result.created;
    current.identifier = &result.identifier;
    current.message = &result.message;
    current.printed = &result.printed;
    current.warnings = &result.warnings;
    current.offThread = &result.offThreadHostCalls;
    std::vector<void *> allocated;
    current.allocated = &allocated;
    current.thread = std::this_thread::get_id();
    int raised = invoke(entry, nlhs, result.outputs.data(), static_cast<int>(arguments.size()),
                        arguments.data());
    current = saved;
    for (void *memory : allocated) {
        std::free(memory);
    }

    result.raised = raised != 0;
    if (result.raised) {
        // A raise discards whatever the call had placed in its output slots.
        for (mxArray *&slot : result.outputs) {
            slot = nullptr;
        }
    }
    return result;
}

ArrayPtr scalar(double value) {
    return ArrayPtr(mxCreateDoubleScalar(value));
}

ArrayPtr text(const std::string &value) {
    mxArray *array = newArray(mxCHAR_CLASS, value.empty() ? 0 : 1, value.size());
    array->chars = value;
    return ArrayPtr(array);
}

ArrayPtr cellOfTexts(const std::vector<std::string> &values) {
    ArrayPtr cell(mxCreateCellMatrix(1, values.size()));
    for (size_t i = 0; i < values.size(); ++i) {
        mxSetCell(cell.get(), i, text(values[i]).release());
    }
    return cell;
}

std::string textOf(const mxArray *array) {
    if (array == nullptr || array->classId != mxCHAR_CLASS) {
        return std::string();
    }
    return array->chars;
}

std::vector<std::string> fieldNames(const mxArray *structure) {
    if (structure == nullptr || structure->classId != mxSTRUCT_CLASS) {
        return {};
    }
    return structure->fieldNames;
}

void setEcho(bool echo) {
    echoPrints = echo;
}

void setUninitPoison(bool poison) {
    poisonUninit = poison;
}

void clearModule() {
    if (atExit != nullptr) {
        void (*function)(void) = atExit;
        atExit = nullptr;
        function();
    }
}

size_t liveArrayCount() {
    return liveArrays;
}

} // namespace mxhost
