// A band's body lines as assembler text: "LEAD0x12,0x34\n" a line. The fast
// form writes a band that fits in the buffer's room through a local pointer;
// the plain one makes room for each line on its own.
#pragma once

#include <cstdint>

#include "output/output_buffer.h"
#include "output/sheet.h"

namespace kelvora {

void write_band_lines(OutputBuffer& out, const PaddedText& lead, const SheetPart& part,
                      std::int64_t band);
void write_band_lines_plain(OutputBuffer& out, const PaddedText& lead, const SheetPart& part,
                            std::int64_t band);

} // namespace kelvora
