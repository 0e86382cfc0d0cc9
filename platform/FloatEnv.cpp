#include "platform/FloatEnv.h"

#include <cfenv>

#if defined(__x86_64__) || defined(__i386__)
#include <xmmintrin.h>
#define ORV_HAS_X87 1
#endif

namespace orv {

void InitThreadFloatingPoint() {
    std::feclearexcept(FE_ALL_EXCEPT);
#if defined(__GLIBC__)
    fedisableexcept(FE_ALL_EXCEPT);
#endif
#ifdef ORV_HAS_X87
    unsigned short cw = 0;
    __asm__ volatile("fnstcw %0" : "=m"(cw));
    cw = static_cast<unsigned short>(cw | 0x003F);               // mask all six exceptions
    cw = static_cast<unsigned short>((cw & ~0x0300u) | 0x0300u); // precision control: 64-bit significand
    cw = static_cast<unsigned short>(cw & ~0x0C00u);             // round to nearest
    __asm__ volatile("fldcw %0" : : "m"(cw));
    _mm_setcsr(_mm_getcsr() | 0x1F80);
#endif
}

bool ThreadFloatingPointIsDefault() {
#ifdef ORV_HAS_X87
    unsigned short cw = 0;
    __asm__ volatile("fnstcw %0" : "=m"(cw));
    const bool x87 = (cw & 0x3F) == 0x3F && (cw & 0x0300) == 0x0300 && (cw & 0x0C00) == 0;
    return x87 && (_mm_getcsr() & 0x1F80) == 0x1F80;
#else
    return true;
#endif
}

} // namespace orv
