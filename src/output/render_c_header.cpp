// The sheet as a C header, for a program built with sdcc: each record that
// has a C name is an array the program can reach, with the bytes it takes
// and, where its kind writes them, the size bytes as written.
#include <charconv>
#include <cstring>

#include "output/output_forms.h"

namespace kelvora {
namespace {

void put_number(OutputBuffer& out, std::uint64_t value) {
    char digits[24];
    const std::to_chars_result end = std::to_chars(digits, digits + sizeof digits, value);
    write_text(out, digits, static_cast<std::size_t>(end.ptr - digits));
}

void put_label(OutputBuffer& out, const ResourceRecord& record) {
    write_text(out, record.name, record.label_length);
}

// "#define NAME_WHAT value".
void put_define(OutputBuffer& out, const ResourceRecord& record, const char* what,
                std::uint64_t value) {
    write_text(out, "#define ");
    put_label(out, record);
    write_text(out, what);
    put_number(out, value);
    write_text(out, "\n");
}

// The include guard: the header's file name in capitals, anything but a
// letter or a digit as "_", after "KELVORA_".
void put_guard(OutputBuffer& out, const char* path) {
    const char* const slash = std::strrchr(path, '/');
    const char* name = slash != nullptr ? slash + 1 : path;
    write_text(out, "KELVORA_");
    char guard[256];
    std::size_t length = 0;
    for (; *name != '\0' && length < sizeof guard; ++name, ++length) {
        const char c = *name;
        const bool digit = c >= '0' && c <= '9';
        const bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
        guard[length] = letter ? static_cast<char>(c & ~0x20) : digit ? c : '_';
    }
    write_text(out, guard, length);
}

void write_record(OutputBuffer& out, const SheetPart& part) {
    if (!part.c_name) {
        return; // no C program can name it; its bytes still keep their place
    }
    const ResourceRecord& record = *part.record;
    const RecordLayout& layout = *part.layout;
    write_text(out, "\nextern const unsigned char ");
    put_label(out, record);
    write_text(out, "[];\n");
    put_define(out, record, "_BYTES ", part.bytes);
    if (layout.size_byte_count == 2) {
        put_define(out, record, "_WIDTH ", layout.size_bytes[0]);
        put_define(out, record, "_HEIGHT ", layout.size_bytes[1]);
    }
    if (layout.page_aligned) {
        put_define(out, record, "_PAGE_ALIGNED ", 1);
    }
}

} // namespace

void render_c_header(FormOutput& output, const SheetPart& part) {
    OutputBuffer& out = output.buffer;
    switch (part.kind) {
    case SheetPartKind::Start:
        write_text(out, C_HEADER_START);
        write_text(out, " for sdcc. Each is an array of\n"
                        "   its bytes in the area _KELVORA; a record marked PAGE_ALIGNED is on a\n"
                        "   256-byte page when the link puts the area on one. */\n"
                        "#ifndef ");
        put_guard(out, output.path);
        write_text(out, "\n#define ");
        put_guard(out, output.path);
        write_text(out, "\n");
        break;
    case SheetPartKind::Record:
        write_record(out, part);
        break;
    case SheetPartKind::End:
        write_text(out, "\n#endif\n");
        break;
    }
}

} // namespace kelvora
