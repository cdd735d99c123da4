// Labels an assembler will not take, or reads as something else, in the
// checker's words: the names each assembler keeps are listed beside its
// syntax (output/kept_names.h); a name that one takes is not held against it.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "output/kept_names.h"

namespace kelvora {

// The text of a finding for each way the label clashes with an assembler of
// the set; none when they all take it.
std::vector<std::string> label_clashes(std::string_view label, AssemblerSet assemblers);

} // namespace kelvora
