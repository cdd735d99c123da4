// The assembler writer's fast sprite rows against its plain form, for random
// stores, sprite widths and buffer fill levels, so that the fast paths (a
// sprite one cell wide, lines written in batches that fill the buffer) write
// exactly the same bytes.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <memory>
#include <string>

#include "output/asm_output.h"
#include "test_support.h"

namespace kelvora {
namespace {

// Everything written through an output buffer into a temporary file.
class Written {
  public:
    Written() : file_(std::tmpfile()), out_(std::make_unique<OutputBuffer>()) {
        start_output(*out_, fileno(file_));
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
        Written written;
        // Fill the buffer part of the way first, so the rows meet its end.
        const std::string before(next(OutputBuffer::CAPACITY), 'x');
        write_text(written.out(), before.data(), before.size());
        const int columns = 1 + static_cast<int>(next(trial % 2 == 0 ? 1 : 4));
        const int first =
            static_cast<int>(next(static_cast<std::uint32_t>(CELL_COLUMNS - columns)));
        const int rows = 1 + static_cast<int>(next(trial % 3 == 0 ? 1024 : 16));
        const int row = static_cast<int>(next(static_cast<std::uint32_t>(GRID_ROWS - rows + 1)));
        write_sprite_rows(*stores, first, row, columns, rows, written.out());
        Written plain;
        write_text(plain.out(), before.data(), before.size());
        write_sprite_rows_plain(*stores, first, row, columns, rows, plain.out());
        ASSERT_TRUE(written.text() == plain.text())
            << "trial " << trial << ": " << columns << " columns, " << rows << " rows";
    }
}

} // namespace
} // namespace kelvora
