// Checks and reads the caller's inputs. Every check runs before the first feed call of the
// request and raises a "quorvex:badInput" error that names the input (and cell) concerned.
#ifndef QUORVEX_INPUTS_H
#define QUORVEX_INPUTS_H

#include "request_call.h"

#include <cstddef>
#include <cstdint>

// Room for a symbol or qualifier text: at most 11 characters and a terminating zero.
constexpr size_t TEXT_BUFFER_SIZE = 12;
// The longest qualifier a key can carry.
constexpr size_t QUALIFIER_LENGTH = 4;

// Input 1 as a number: raises when it is missing or not a real finite numeric scalar.
double requestCodeValue(int inputCount, const mxArray **inputs);

// Input `position` (numbered from 1) truncated toward zero: raises when it is missing, not a
// real finite numeric scalar, or outside the signed 32-bit range. `name` says what it is.
int32_t readIntegerInput(const RequestCall &call, int position, const char *name);

// Inputs 4 and 5 name `securities` securities: both must be cell arrays holding at least
// that many texts, and every qualifier must fit its key field.
void checkSecurityLists(const RequestCall &call, int32_t securities);

// The input checks of the requests, run before the attach: the snapshots check the first
// `count` securities of inputs 4 and 5, the history and bar requests the first one, and the
// attach check and version query read nothing beyond the database number.
void checkListedSecurities(RequestCall &call);
void checkFirstSecurity(RequestCall &call);
void checkNothing(RequestCall &call);

// The symbol and qualifier of security `index` (checked by checkSecurityLists), each cut to
// its first 11 characters and zero-terminated.
void readSecurityTexts(const RequestCall &call, int32_t index, char (&symbol)[TEXT_BUFFER_SIZE],
                       char (&qualifier)[TEXT_BUFFER_SIZE]);

#endif
