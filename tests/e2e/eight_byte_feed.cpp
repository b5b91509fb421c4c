// A feed library whose `dbax` removes 8 bytes of arguments from the stack instead of the 20 of
// a stdcall entry point or the none of a cdecl one: a library with another entry point under
// the expected name. The module must refuse it with a clean error and keep its stack whole.
#include "dbax.h"

#include <cstdint>

extern "C" __declspec(dllexport) int32_t __stdcall dbax(void *, int32_t operation) {
    return operation == DBA_ATTACH ? 0 : 1;
}
