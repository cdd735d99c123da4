// The assembler rendering's fast lines against its plain ones, and a record
// rendered near the buffer's end against the same record rendered into an
// empty buffer, in every syntax of the table: the fixed-size copies of leads,
// labels and literals must never show past what they write.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "output/output_forms.h"
#include "output/text_lines.h"
#include "test_support.h"

namespace kelvora {
namespace {

std::vector<const AsmSyntax*> every_syntax() {
    std::vector<const AsmSyntax*> syntaxes{&DEFAULT_SYNTAX};
    for (const AsmSyntax& syntax : ASSEMBLER_SYNTAXES) {
        syntaxes.push_back(&syntax);
    }
    return syntaxes;
}

// Everything written through a form output into a temporary file, after
// `before` filled its buffer part of the way.
class Written {
  public:
    Written(const AsmSyntax& syntax, const std::string& before)
        : file_(std::tmpfile()), output_(std::make_unique<FormOutput>()) {
        start_form_output(*output_, output_form(FormId::AssemblerSource), syntax, fileno(file_),
                          "out.asm");
        write_text(out(), before.data(), before.size());
    }
    ~Written() { std::fclose(file_); }
    Written(const Written&) = delete;
    Written& operator=(const Written&) = delete;
    FormOutput& output() { return *output_; }
    OutputBuffer& out() { return output_->buffer; }
    std::string text() {
        flush_output(out());
        std::string bytes;
        char chunk[1 << 16];
        lseek(fileno(file_), 0, SEEK_SET);
        for (ssize_t got; (got = read(fileno(file_), chunk, sizeof chunk)) > 0;) {
            bytes.append(chunk, static_cast<std::size_t>(got));
        }
        return bytes;
    }

  private:
    std::FILE* file_;
    std::unique_ptr<FormOutput> output_;
};

// A record part over random stores, for the rendering to read.
struct RandomRecord {
    ResourceRecord record{};
    RecordLayout layout{};
    std::uint8_t attributes[MAX_RECORD_ATTRIBUTES];
    SheetPart part{};
};

TEST(Output, FastBandLinesAgreeWithPlainOnes) {
    auto stores = test::fresh_stores();
    std::uint32_t state = 99;
    const auto next = [&state](std::uint32_t below) {
        state = state * 1664525u + 1013904223u;
        return (state >> 8) % below;
    };
    for (int c = 0; c < CELL_COLUMNS; ++c) {
        for (int r = 0; r < GRID_ROWS; ++r) {
            stores->mask.bytes[c][r] = static_cast<std::uint8_t>(next(256));
            stores->bitmap.bytes[c][r] = static_cast<std::uint8_t>(next(256));
        }
    }
    auto random = std::make_unique<RandomRecord>();
    for (std::uint8_t& attribute : random->attributes) {
        attribute = static_cast<std::uint8_t>(next(256));
    }
    const std::vector<const AsmSyntax*> syntaxes = every_syntax();
    for (int trial = 0; trial < 300; ++trial) {
        const AsmSyntax& syntax = *syntaxes[static_cast<std::size_t>(trial) % syntaxes.size()];
        // Sprites one cell wide and wider, blocks, of few rows and of many.
        ResourceRecord& record = random->record;
        record.kind = trial % 3 == 0 ? RecordKind::Block : RecordKind::Sprite;
        record.width = 8 * (1 + static_cast<int>(next(trial % 2 == 0 ? 1 : CELL_COLUMNS)));
        record.height = 8 * (1 + static_cast<int>(next(trial % 5 == 0 ? 128 : 2)));
        record.x = 8 * static_cast<int>(
                           next(static_cast<std::uint32_t>(CELL_COLUMNS - record.width / 8 + 1)));
        record.y = 8 * static_cast<int>(
                           next(static_cast<std::uint32_t>((GRID_ROWS - record.height) / 8 + 1)));
        random->layout = record_layout(record);
        random->part =
            SheetPart{SheetPartKind::Record, &record, &random->layout, true, 0, 0, 0, stores.get(),
                      random->attributes,    false};
        const std::string before(next(OutputBuffer::CAPACITY), 'x');
        Written fast(syntax, before);
        Written plain(syntax, before);
        for (std::int64_t band = 0; band < random->layout.bands; ++band) {
            write_band_lines(fast.out(), fast.output().byte_lead, random->part, band);
            write_band_lines_plain(plain.out(), plain.output().byte_lead, random->part, band);
        }
        ASSERT_TRUE(fast.text() == plain.text())
            << "trial " << trial << ": " << record.width << " x " << record.height << ", syntax \""
            << syntax.name << '"';
    }
}

// A record's header and a band, rendered with the buffer filled to just below
// its end, must be what they are in an empty buffer.
TEST(Output, RecordsNearTheBufferEndAgreeWithThoseInAnEmptyOne) {
    auto stores = test::fresh_stores();
    for (int r = 0; r < 16; ++r) {
        stores->bitmap.bytes[0][r] = static_cast<std::uint8_t>(0x11 * r);
        stores->mask.bytes[0][r] = static_cast<std::uint8_t>(0x0f * r);
    }
    std::uint8_t attributes[MAX_RECORD_ATTRIBUTES] = {0x47, 0x16, 0x38};
    for (const AsmSyntax* syntax : every_syntax()) {
        for (const int label_length : {1, 15, 16, 79}) {
            for (const char kind : {'B', 'T', 'S'}) {
                for (const bool c_name : {true, false}) {
                    ResourceRecord record{};
                    std::string(static_cast<std::size_t>(label_length), 'n').copy(record.name, 80);
                    record.label_length = static_cast<std::uint8_t>(label_length);
                    record.kind_char = kind;
                    record.kind = kind_of(kind);
                    record.width = 24;
                    record.height = 16;
                    const RecordLayout layout = record_layout(record);
                    const SheetPart part{
                        SheetPartKind::Record, &record,    &layout, c_name, 0, 0, 0,
                        stores.get(),          attributes, false};
                    const auto rendered = [&](std::size_t room) {
                        const std::string before(OutputBuffer::CAPACITY - room, 'x');
                        Written written(*syntax, before);
                        render_assembler(written.output(), part);
                        return written.text().substr(before.size());
                    };
                    const std::string alone = rendered(OutputBuffer::CAPACITY);
                    for (std::size_t room = 0; room < 400; room += 3) {
                        ASSERT_EQ(rendered(room), alone)
                            << "syntax \"" << syntax->name << "\", kind " << kind << ", label of "
                            << label_length << ", room " << room;
                    }
                }
            }
        }
    }
}

} // namespace
} // namespace kelvora
