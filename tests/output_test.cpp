// The assembler writer's fast sprite rows against its plain form, for random
// stores, sprite widths and buffer fill levels, so that the fast paths (a
// sprite one cell wide, lines written in batches that fill the buffer) write
// exactly the same bytes.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "output/asm_output.h"
#include "output/asm_syntax.h"
#include "test_support.h"

namespace kelvora {
namespace {

std::string literal(int value) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%02x", value & 0xFF);
    return text;
}

std::string reference_sprite_rows(const AsmSyntax& syntax, const Stores& stores, int first_column,
                                  int row, int columns, int rows) {
    std::string text;
    for (int r = row; r < row + rows; ++r) {
        text += syntax.byte_lead;
        for (int c = first_column; c < first_column + columns; ++c) {
            const int mask = stores.mask.bytes[c][r];
            if (c > first_column) {
                text += ',';
            }
            text += literal(mask);
            text += ',';
            text += literal(mask ^ stores.bitmap.bytes[c][r]);
        }
        text += "\n";
    }
    return text;
}

// Everything written through an output buffer into a temporary file.
class Written {
  public:
    explicit Written(const AsmSyntax& syntax = DEFAULT_SYNTAX)
        : file_(std::tmpfile()), out_(std::make_unique<OutputBuffer>()) {
        start_output(*out_, fileno(file_), syntax);
    }
    ~Written() { std::fclose(file_); }
    Written(const Written&) = delete;
    Written& operator=(const Written&) = delete;
    OutputBuffer& out() { return *out_; }
    std::string text() {
        flush_output(*out_);
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
    std::unique_ptr<OutputBuffer> out_;
};

TEST(Output, SpriteRowsAgreeWithPlainFormatting) {
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
    for (int trial = 0; trial < 200; ++trial) {
        // Every syntax in turn: their leads differ in length.
        const AsmSyntax& syntax =
            trial % 5 == 0 ? DEFAULT_SYNTAX : ASSEMBLER_SYNTAXES[trial % 5 - 1];
        Written written(syntax);
        // Fill the buffer part of the way first, so the rows meet its end.
        const std::string before(next(OutputBuffer::CAPACITY), 'x');
        write_text(written.out(), before.data(), before.size());
        const int columns = 1 + static_cast<int>(next(trial % 2 == 0 ? 1 : 4));
        const int first =
            static_cast<int>(next(static_cast<std::uint32_t>(CELL_COLUMNS - columns)));
        const int rows = 1 + static_cast<int>(next(trial % 3 == 0 ? 1024 : 16));
        const int row = static_cast<int>(next(static_cast<std::uint32_t>(GRID_ROWS - rows + 1)));
        Written plain(syntax);
        write_text(plain.out(), before.data(), before.size());
        write_sprite_rows(*stores, first, row, columns, rows, written.out());
        write_sprite_rows_plain(*stores, first, row, columns, rows, plain.out());
        const std::string want =
            before + reference_sprite_rows(syntax, *stores, first, row, columns, rows);
        ASSERT_TRUE(written.text() == want && plain.text() == want)
            << "trial " << trial << ": " << columns << " columns, " << rows << " rows, syntax \""
            << syntax.name << '"';
    }
}

// A record's header, a cell line and a fill line, in each syntax, with the
// buffer filled to just below its end, so that the padded copies of the label
// end and the leads meet it.
TEST(Output, HeadersAndLinesAgreeWithPlainFormattingInEverySyntax) {
    auto stores = test::fresh_stores();
    for (int i = 0; i < 8; ++i) {
        stores->bitmap.bytes[3][16 + i] = static_cast<std::uint8_t>(0x11 * i);
    }
    stores->attributes.bytes[3] = 0x47;
    std::vector<const AsmSyntax*> syntaxes{&DEFAULT_SYNTAX};
    for (const AsmSyntax& syntax : ASSEMBLER_SYNTAXES) {
        syntaxes.push_back(&syntax);
    }
    for (const AsmSyntax* syntax : syntaxes) {
        for (const int label_length : {1, 15, 16, 79}) {
            for (const char kind : {'B', 'T', 'S'}) {
                for (std::size_t room = 0; room < 120; room += 7) {
                    ResourceRecord record{};
                    const std::string label(static_cast<std::size_t>(label_length), 'n');
                    label.copy(record.name, label.size());
                    record.label_length = static_cast<std::uint8_t>(label_length);
                    record.kind_char = kind;
                    record.kind = kind_of(kind);
                    record.width = 24;
                    record.height = 264;
                    const RecordLayout layout = record_layout(record);

                    Written written(*syntax);
                    const std::string before(OutputBuffer::CAPACITY - room, 'x');
                    write_text(written.out(), before.data(), before.size());
                    write_record_header(record, layout, written.out());
                    write_cell_line(*stores, 3, 16, written.out());
                    write_fill_line(0x1ee, written.out());

                    std::string expected = before;
                    if (kind == 'T') {
                        expected += syntax->page_align;
                    }
                    expected += label + syntax->label_end + "\n";
                    if (kind == 'B') {
                        expected += syntax->byte_lead + literal(3) + "\n" + syntax->byte_lead +
                                    literal(33) + "\n";
                    } else if (kind == 'S') {
                        expected += syntax->byte_lead + literal(3) + "\n" + syntax->byte_lead +
                                    literal(8) + "\n";
                    }
                    expected += syntax->byte_lead;
                    for (int i = 0; i < 8; ++i) {
                        expected += literal(0x11 * i) + ",";
                    }
                    expected += literal(0x47) + "\n";
                    expected += syntax->fill_lead + literal(0xee) + "\n";
                    ASSERT_TRUE(written.text() == expected)
                        << "syntax \"" << syntax->name << "\", kind " << kind << ", label of "
                        << label_length << ", room " << room;
                }
            }
        }
    }
}

} // namespace
} // namespace kelvora
