// Which form the hot loops take. Each fast form sits beside a plain one that
// does the same in the simplest way; a build with KELVORA_PORTABLE=ON defines
// KELVORA_PLAIN_FORMS and runs everything through the plain forms, so that
// the whole suite, the cases and the corpus can check them too.
#pragma once

namespace kelvora {

#if defined(KELVORA_PLAIN_FORMS)
inline constexpr bool USE_FAST_FORMS = false;
#else
inline constexpr bool USE_FAST_FORMS = true;
#endif

} // namespace kelvora
