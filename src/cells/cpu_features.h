// Forms of the hottest loops for processors with AVX2 are compiled beside
// the portable ones on x86-64 and chosen at run time, so that the program
// still runs on any x86-64.
#pragma once

#if defined(__x86_64__) && defined(__GNUC__) && !defined(KELVORA_PLAIN_FORMS)
#define KELVORA_X86_DISPATCH 1

namespace kelvora::detail {

inline bool cpu_has_avx2() {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("popcnt") &&
           __builtin_cpu_supports("bmi");
}

} // namespace kelvora::detail
#endif
