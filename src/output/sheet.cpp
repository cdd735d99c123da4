// The sheet's description: where each record lands and how many bytes it
// takes, handed to every output's form.
#include "output/sheet.h"

#include "output/kept_names.h"
#include "output/output_forms.h"

namespace kelvora {
namespace {

void emit(SheetWriter& sheet, const SheetPart& part) {
    // The assembler source is the form nearly every run writes first, a
    // record at a time: called by name, its rendering is compiled in here.
    FormOutput& first = *sheet.outputs[0];
    if (first.form->render == render_assembler) {
        render_assembler(first, part);
    } else {
        first.form->render(first, part);
    }
    for (int i = 1; i < sheet.output_count; ++i) {
        sheet.outputs[i]->form->render(*sheet.outputs[i], part);
    }
}

// Every field is set on every path rather than the part zeroed first: a
// part is made for each record, and lists hold many small records.
SheetPart part_of(SheetPartKind kind, const SheetWriter& sheet) {
    SheetPart part;
    part.kind = kind;
    part.record = nullptr;
    part.layout = nullptr;
    part.c_name = true;
    part.offset = sheet.offset;
    part.gap = 0;
    part.bytes = 0;
    part.stores = nullptr;
    part.attributes = nullptr;
    part.holds_page_aligned = false;
    return part;
}

} // namespace

void start_form_output(FormOutput& output, const OutputForm& form, const AsmSyntax& syntax, int fd,
                       const char* path) {
    output.form = &form;
    output.syntax = &syntax;
    output.path = path;
    output.companion = "";
    // The syntax table's static_assert keeps each of them within eight bytes.
    output.global_lines = syntax.global_lead[0] != '\0';
    output.label_prefix = padded(syntax.label_prefix);
    output.label_end = padded(syntax.label_end, "\n");
    output.local_label_end = padded(syntax.local_label_end, "\n");
    output.byte_lead = padded(syntax.byte_lead);
    output.fill_lead = padded(syntax.fill_lead);
    start_output(output.buffer, fd);
}

void start_sheet(SheetWriter& sheet, FormOutput* const* outputs, int count) {
    sheet.output_count = count;
    sheet.asks_c_names = false;
    sheet.needs_places = false;
    for (int i = 0; i < count; ++i) {
        sheet.outputs[i] = outputs[i];
        sheet.asks_c_names = sheet.asks_c_names || outputs[i]->syntax->c_names;
        sheet.needs_places = sheet.needs_places || outputs[i]->form->needs_places;
    }
    sheet.offset = 0;
    sheet.holds_page_aligned = false;
    emit(sheet, part_of(SheetPartKind::Start, sheet));
}

[[gnu::flatten]] bool describe_record(SheetWriter& sheet, const Stores& stores,
                                      const ResourceRecord& record, const RecordLayout& layout) {
    SheetPart part = part_of(SheetPartKind::Record, sheet);
    part.record = &record;
    part.layout = &layout;
    if (sheet.asks_c_names) {
        part.c_name = is_c_name(std::string_view(record.name, record.label_length));
    }
    if (sheet.needs_places) {
        part.gap = layout.page_aligned ? (0 - sheet.offset) % PAGE_BYTES : 0;
        const std::int64_t band_bytes = layout.lines_per_band * layout.bytes_per_line +
                                        (layout.page_fill ? layout.fill_bytes : 0);
        part.bytes = static_cast<std::uint64_t>(layout.size_byte_count + layout.bands * band_bytes);
        sheet.offset += part.gap + part.bytes;
    }
    part.stores = &stores;
    part.attributes = sheet.attributes;
    sheet.holds_page_aligned = sheet.holds_page_aligned || layout.page_aligned;
    emit(sheet, part);
    return part.c_name;
}

void end_sheet(SheetWriter& sheet) {
    SheetPart part = part_of(SheetPartKind::End, sheet);
    part.holds_page_aligned = sheet.holds_page_aligned;
    emit(sheet, part);
    for (int i = 0; i < sheet.output_count; ++i) {
        flush_output(sheet.outputs[i]->buffer);
    }
}

} // namespace kelvora
