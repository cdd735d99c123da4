// The conversion run: open the three files in order, read the picture, and
// convert every record of the list into the output.
#pragma once

#include <cstdio>

#include "cells/stores.h"

namespace kelvora {

// The whole run. Failures are reported only as messages on `messages`; there
// is nothing to return, as kelvora's exit status is always 0.
void convert_resources(Stores& stores, const char* picture_path, const char* list_path,
                       const char* output_path, std::FILE* messages);

} // namespace kelvora
