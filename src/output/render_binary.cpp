// The sheet as raw bytes: what its assembler text assembles to at origin 0,
// the gap before a tile table and every fill as zeros, the last fill
// included. For a compressor, or an incbin; the symbols file says where
// each label lands.
#include "output/output_forms.h"

namespace kelvora {
namespace {

constexpr char ZEROS[PAGE_BYTES] = {};

void write_zeros(OutputBuffer& out, std::uint64_t count) {
    while (count > 0) {
        const std::uint64_t part = count < PAGE_BYTES ? count : PAGE_BYTES;
        write_text(out, ZEROS, part);
        count -= part;
    }
}

} // namespace

void render_binary(FormOutput& output, const SheetPart& part) {
    if (part.kind != SheetPartKind::Record) {
        return;
    }
    OutputBuffer& out = output.buffer;
    const RecordLayout& layout = *part.layout;
    write_zeros(out, part.gap);
    write_text(out, reinterpret_cast<const char*>(layout.size_bytes),
               static_cast<std::size_t>(layout.size_byte_count));
    for (std::int64_t band = 0; band < layout.bands; ++band) {
        for_each_body_line(part, band, [&out](const std::uint8_t* bytes, auto count) {
            write_text(out, reinterpret_cast<const char*>(bytes), static_cast<std::size_t>(count));
        });
        if (layout.page_fill) {
            write_zeros(out, layout.fill_bytes);
        }
    }
}

} // namespace kelvora
