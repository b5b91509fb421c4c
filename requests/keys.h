// The keys the module sends to the feed, and the price-type scaling every price goes through.
#ifndef QUORVEX_KEYS_H
#define QUORVEX_KEYS_H

#include "pcqw32_layout.h"

#include <cfloat>
#include <cstddef>
#include <cstdint>

// Every conversion must round each operation to double, whatever the target: a build that
// leaves doubles to the x87 unit on 32-bit x86 would return values that differ in the last bit.
#if defined(_MSC_VER) && defined(_M_IX86)
// MSVC, and clang in its mode: _M_IX86_FP is the /arch choice, 2 for SSE2 (the default since
// Visual Studio 2012) and the AVX sets, 0 for /arch:IA32 and 1 for /arch:SSE, which both
// leave doubles to the x87 unit. FLT_EVAL_METHOD is no witness there: MSVC predefines no
// evaluation method, so the macro is whatever its library's <float.h> says, if anything.
constexpr bool DOUBLES_EVALUATED_AS_DOUBLE = _M_IX86_FP == 2;
#elif defined(_MSC_VER)
// MSVC's other targets (x64, ARM) have no x87 code generation.
constexpr bool DOUBLES_EVALUATED_AS_DOUBLE = true;
#elif defined(__i386__) && !defined(__SSE2_MATH__)
// GCC and clang on 32-bit x86 without SSE2 arithmetic (-msse2 -mfpmath=sse): x87. Checked
// apart from FLT_EVAL_METHOD, which clang gives as 0 with SSE but no SSE2 (-msse), where
// doubles still go to the x87 unit.
constexpr bool DOUBLES_EVALUATED_AS_DOUBLE = false;
#else
constexpr bool DOUBLES_EVALUATED_AS_DOUBLE = FLT_EVAL_METHOD == 0;
#endif
static_assert(DOUBLES_EVALUATED_AS_DOUBLE,
              "build with SSE2 arithmetic on 32-bit x86: /arch:SSE2 (MSVC's default), "
              "-msse2 -mfpmath=sse (GCC, clang)");

// Fills the 18 bytes at `key` from a symbol of at most 11 characters and a qualifier of at
// most 4 (longer texts are cut to their field).
void buildSecurityKey(unsigned char *key, const char *symbol, const char *qualifier);

// Fills the 32 bytes at `key`: spaces, then the SecurityKey at its start.
void buildBarKey(unsigned char *key, const char *symbol, const char *qualifier);

// Fills the 25 bytes at `key`: the SecurityKey, spaces at 18 to 20, "CANT" at 21.
void buildTaggedKey(unsigned char *key, const char *symbol, const char *qualifier);

// Divisor of a price-type code: codes outside the table give 1.
double PriceTypeDivisor(int16_t code);

// A raw signed price scaled by its record's divisor.
inline double scalePrice(int32_t raw, double divisor) {
    return static_cast<double>(raw) / divisor;
}

// The same scaling made cheap: a power-of-two divisor (1, 64, 256) becomes a multiplication by
// its reciprocal, which gives exactly the quotient, since both only move the exponent; the
// decimal divisors (10 to 100,000) stay divisions, whose reciprocals are not exact.
struct PriceScale {
    double factor; // the reciprocal, or the divisor itself when `divides`
    bool divides;
};

// A power-of-two divisor as the multiplication by its reciprocal, a decimal one as a division.
constexpr bool isPowerOfTwo(double value) {
    return value == 1.0 || (value > 1.0 && isPowerOfTwo(value / 2.0));
}
constexpr PriceScale scaleOfDivisor(double divisor) {
    return isPowerOfTwo(divisor) ? PriceScale{1.0 / divisor, false} : PriceScale{divisor, true};
}

// The scales of price-type codes 0 to 15, from the layout's one table of divisors.
constexpr PriceScale PRICE_SCALES[PRICE_TYPE_CODES] = {
    scaleOfDivisor(PRICE_TYPE_DIVISORS[0]),  scaleOfDivisor(PRICE_TYPE_DIVISORS[1]),
    scaleOfDivisor(PRICE_TYPE_DIVISORS[2]),  scaleOfDivisor(PRICE_TYPE_DIVISORS[3]),
    scaleOfDivisor(PRICE_TYPE_DIVISORS[4]),  scaleOfDivisor(PRICE_TYPE_DIVISORS[5]),
    scaleOfDivisor(PRICE_TYPE_DIVISORS[6]),  scaleOfDivisor(PRICE_TYPE_DIVISORS[7]),
    scaleOfDivisor(PRICE_TYPE_DIVISORS[8]),  scaleOfDivisor(PRICE_TYPE_DIVISORS[9]),
    scaleOfDivisor(PRICE_TYPE_DIVISORS[10]), scaleOfDivisor(PRICE_TYPE_DIVISORS[11]),
    scaleOfDivisor(PRICE_TYPE_DIVISORS[12]), scaleOfDivisor(PRICE_TYPE_DIVISORS[13]),
    scaleOfDivisor(PRICE_TYPE_DIVISORS[14]), scaleOfDivisor(PRICE_TYPE_DIVISORS[15]),
};
static_assert(PRICE_SCALES[12].divides && !PRICE_SCALES[1].divides,
              "power-of-two divisors scale by their reciprocal, decimal ones divide");

// The scale of a price-type code: the same results as PriceTypeDivisor and scalePrice. Inline,
// since the bars look it up for every record.
inline PriceScale PriceTypeScale(int16_t code) {
    if (code < 0 || code >= PRICE_TYPE_CODES) {
        return PriceScale{1.0, false};
    }
    return PRICE_SCALES[code];
}

inline double applyPriceScale(int32_t raw, PriceScale scale) {
    const double value = static_cast<double>(raw);
    return scale.divides ? value / scale.factor : value * scale.factor;
}

#endif
