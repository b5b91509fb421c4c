#include "feed_call.h"

#include <cstring>

#if GUARDED_CALL_MEASURES && defined(_MSC_VER) && !defined(__clang__) && !defined(__GNUC__)
#define GUARDED_CALL_MSVC_ASM 1
#elif GUARDED_CALL_MEASURES && defined(_MSC_VER)
// clang in MSVC mode takes MSVC's inline assembly too (with -fms-extensions / -fasm-blocks).
#define GUARDED_CALL_MSVC_ASM 1
#else
#define GUARDED_CALL_MSVC_ASM 0
#endif

#if GUARDED_CALL_MEASURES && !GUARDED_CALL_MSVC_ASM

// GNU assembler (MinGW): a cdecl function of seven arguments,
//   int32_t quorvexGuardedCall(entry, controlBlock, operation, key, record, parameter,
//                              int32_t *removedBytes)
// ebp anchors the frame and esi holds the stack pointer across the call; both are callee-saved
// in every 32-bit x86 convention, so the callee gives them back whatever it does with its
// arguments. After the call the stack pointer lies 20 - removed bytes below esi.
extern "C" int32_t quorvexGuardedCall(const void *entry, void *controlBlock, int32_t operation,
                                      void *key, void *record, int32_t parameter,
                                      int32_t *removedBytes);

asm(R"(
    .text
    .p2align 4
    .globl _quorvexGuardedCall
    .def _quorvexGuardedCall; .scl 2; .type 32; .endef
_quorvexGuardedCall:
    pushl %ebp
    movl %esp, %ebp
    pushl %esi
    movl %esp, %esi
    pushl 28(%ebp)
    pushl 24(%ebp)
    pushl 20(%ebp)
    pushl 16(%ebp)
    pushl 12(%ebp)
    call *8(%ebp)
    movl %esp, %ecx
    subl %esi, %ecx
    addl $20, %ecx
    movl %esi, %esp
    movl 32(%ebp), %edx
    movl %ecx, (%edx)
    popl %esi
    popl %ebp
    ret
)");

int32_t guardedDbaxCall(const void *entry, void *controlBlock, int32_t operation, void *key,
                        void *record, int32_t parameter, int32_t *removedBytes) {
    return quorvexGuardedCall(entry, controlBlock, operation, key, record, parameter, removedBytes);
}

#elif GUARDED_CALL_MSVC_ASM

// MSVC's inline assembler. The compiler saves esi for the function, since the block uses it,
// and addresses the parameters and locals through ebp, which the callee preserves. The block
// names every register the callee may change (eax, ecx, edx), so that no compiler keeps a
// value of its own in one of them across the block.
int32_t guardedDbaxCall(const void *entry, void *controlBlock, int32_t operation, void *key,
                        void *record, int32_t parameter, int32_t *removedBytes) {
    int32_t status = 0;
    __asm {
        mov esi, esp
        push parameter
        push record
        push key
        push operation
        push controlBlock
        call entry
        mov ecx, esp
        sub ecx, esi
        add ecx, 20
        mov esp, esi
        mov edx, removedBytes
        mov [edx], ecx
        mov status, eax
    }
    return status;
}

#else

// One convention on every other target: the call is direct.
int32_t guardedDbaxCall(const void *entry, void *controlBlock, int32_t operation, void *key,
                        void *record, int32_t parameter, int32_t *removedBytes) {
    DbaxFunction function;
    std::memcpy(&function, &entry, sizeof function);
    *removedBytes = GUARDED_CALL_NOT_MEASURED;
    return function(controlBlock, operation, key, record, parameter);
}

#endif

FeedConvention conventionOfRemovedBytes(int32_t removedBytes) {
    return removedBytes == DBAX_ARGUMENT_BYTES ? FEED_CONVENTION_STDCALL
           : removedBytes == 0                 ? FEED_CONVENTION_CDECL
                                               : FEED_CONVENTION_UNKNOWN;
}

const char *conventionName(FeedConvention convention) {
    return convention == FEED_CONVENTION_STDCALL ? "stdcall"
           : convention == FEED_CONVENTION_CDECL ? "cdecl"
                                                 : "unknown";
}

FeedConvention parseConvention(const char *text) {
    if (text != nullptr && std::strcmp(text, "stdcall") == 0) {
        return FEED_CONVENTION_STDCALL;
    }
    if (text != nullptr && std::strcmp(text, "cdecl") == 0) {
        return FEED_CONVENTION_CDECL;
    }
    return FEED_CONVENTION_UNKNOWN;
}

ConventionCheck checkConvention(FeedConvention *fixed, int32_t removedBytes) {
    if (removedBytes == GUARDED_CALL_NOT_MEASURED) {
        return CONVENTION_KEPT;
    }
    const FeedConvention now = conventionOfRemovedBytes(removedBytes);
    if (now == FEED_CONVENTION_UNKNOWN) {
        return CONVENTION_NEITHER;
    }
    if (*fixed != FEED_CONVENTION_UNKNOWN && *fixed != now) {
        return CONVENTION_CHANGED;
    }
    *fixed = now;
    return CONVENTION_KEPT;
}
