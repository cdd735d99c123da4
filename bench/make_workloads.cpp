// Writes the benchmark inputs into the folder given: pictures of varied cells
// and the resource lists of the workloads W1-W6 (W6 also at a million
// records), and in sheets/ 200 small clean sheets for a build through
// examples/Makefile. With --scaling it also writes the inputs of the scaling
// runs: a 128 x 128 picture with its W1 list, and W6 lists of 1,000 to
// 100,000 records.
// Usage: make_workloads [--scaling] DIRECTORY
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace {

// A fixed generator, so every run measures the same bytes.
struct Random {
    std::uint32_t state = 12345;
    std::uint32_t next() {
        state = state * 1664525u + 1013904223u;
        return state >> 8;
    }
    int below(int n) { return static_cast<int>(next() % static_cast<std::uint32_t>(n)); }
};

void put_le(std::FILE* out, std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) {
        std::fputc(static_cast<int>((value >> (8 * i)) & 0xFF), out);
    }
}

// Cells of one to three colours in varied shapes, as drawn sheets have.
std::vector<std::uint8_t> varied_cells(int width, int height, Random& random) {
    std::vector<std::uint8_t> pixels(static_cast<std::size_t>(width) * height);
    for (int cy = 0; cy < height; cy += 8) {
        for (int cx = 0; cx < width; cx += 8) {
            const int colours[3] = {random.below(16), random.below(16),
                                    random.below(4) == 0 ? 0 : random.below(16)};
            const std::uint32_t shape = random.next();
            for (int y = 0; y < 8; ++y) {
                for (int x = 0; x < 8; ++x) {
                    const int pick = ((shape >> ((x + y) % 16)) & 1) +
                                     ((x * y + static_cast<int>(shape)) % 7 == 0 ? 1 : 0);
                    pixels[static_cast<std::size_t>(cy + y) * width + cx + x] =
                        static_cast<std::uint8_t>(colours[pick]);
                }
            }
        }
    }
    return pixels;
}

bool write_bmp(const std::string& path, int width, int height, int bits,
               const std::vector<std::uint8_t>& pixels) {
    std::FILE* out = std::fopen(path.c_str(), "wb");
    if (out == nullptr) {
        return false;
    }
    const int colours = bits == 8 ? 256 : 16;
    const std::uint32_t offset = 14 + 40 + 4 * colours;
    const std::uint32_t row_bytes = static_cast<std::uint32_t>(width * bits / 8);
    std::fputs("BM", out);
    put_le(out, offset + row_bytes * height, 4);
    put_le(out, 0, 4);
    put_le(out, offset, 4);
    put_le(out, 40, 4);
    put_le(out, static_cast<std::uint32_t>(width), 4);
    put_le(out, static_cast<std::uint32_t>(height), 4);
    put_le(out, 1, 2);
    put_le(out, static_cast<std::uint32_t>(bits), 2);
    put_le(out, 0, 4);
    put_le(out, row_bytes * height, 4);
    put_le(out, 2835, 4);
    put_le(out, 2835, 4);
    put_le(out, static_cast<std::uint32_t>(colours), 4);
    put_le(out, 0, 4);
    // The display's colours, in its order, as an artist's sheet has them
    // (black past 15): the check then reports what a real sheet would give.
    for (int i = 0; i < colours; ++i) {
        const std::uint32_t level = (i & 8) != 0 ? 0xFF : 0xCD;
        const std::uint32_t blue = (i & 1) != 0 ? level : 0;
        const std::uint32_t red = (i & 2) != 0 ? level : 0;
        const std::uint32_t green = (i & 4) != 0 ? level : 0;
        put_le(out, i < 16 ? red << 16 | green << 8 | blue : 0, 4);
    }
    for (int y = height - 1; y >= 0; --y) {
        for (int x = 0; x < width; x += 8 / bits == 2 ? 2 : 1) {
            const std::uint8_t* p = &pixels[static_cast<std::size_t>(y) * width + x];
            std::fputc(bits == 8 ? p[0] : (p[0] << 4 | (p[1] & 15)), out);
        }
    }
    return std::fclose(out) == 0;
}

bool write_text(const std::string& path, const std::string& text) {
    std::FILE* out = std::fopen(path.c_str(), "wb");
    if (out == nullptr) {
        return false;
    }
    std::fwrite(text.data(), 1, text.size(), out);
    return std::fclose(out) == 0;
}

std::string record(const std::string& name, char kind, int x, int y, int w, int h, int colour) {
    return name + "=" + kind + "," + std::to_string(x) + "," + std::to_string(y) + "," +
           std::to_string(w) + "," + std::to_string(h) + "," + std::to_string(colour) + "\n";
}

// Small records spread over the 256 x 192 sheet: 8 x 8 pixels each, kinds
// cycling B, T, S, s. The generator is the list's own, so the other inputs
// keep their bytes and a shorter list is the start of a longer one.
std::string spread_records(int count) {
    Random random;
    random.state = 67890;
    const char kinds[] = {'B', 'T', 'S', 's'};
    std::string list;
    list.reserve(static_cast<std::size_t>(count) * 24);
    for (int i = 0; i < count; ++i) {
        const int x = 8 * random.below(256 / 8);
        const int y = 8 * random.below(192 / 8);
        std::string name = "r";
        name += std::to_string(i);
        list += record(name, kinds[i % 4], x, y, 8, 8, random.below(16));
    }
    return list;
}

// A small sheet as an artist leaves it for a build: cells of one colour
// on black, records on the cell grid, colour 0 as the records' colour, so
// that the check finds no error.
std::vector<std::uint8_t> clean_cells(int width, int height, Random& random) {
    std::vector<std::uint8_t> pixels(static_cast<std::size_t>(width) * height);
    for (int cy = 0; cy < height; cy += 8) {
        for (int cx = 0; cx < width; cx += 8) {
            const int colour = 1 + random.below(7) + (random.below(2) == 0 ? 8 : 0);
            const std::uint32_t shape = random.next();
            for (int y = 0; y < 8; ++y) {
                for (int x = 0; x < 8; ++x) {
                    const bool ink = ((shape >> ((x * 3 + y) % 24)) & 1) != 0;
                    pixels[static_cast<std::size_t>(cy + y) * width + cx + x] =
                        static_cast<std::uint8_t>(ink ? colour : 0);
                }
            }
        }
    }
    return pixels;
}

std::string clean_records(int sheet, Random& random) {
    std::string list = "; sheet " + std::to_string(sheet) + "\n";
    const char kinds[] = {'B', 'T', 'S'};
    for (int i = 0; i < 8; ++i) {
        const int w = 8 * (1 + random.below(4));
        const int h = 8 * (1 + random.below(4));
        const int x = 8 * random.below((64 - w) / 8 + 1);
        const int y = 8 * random.below((64 - h) / 8 + 1);
        std::string name = "s";
        name += std::to_string(sheet);
        name += '_';
        name += std::to_string(i);
        list += record(name, kinds[i % 3], x, y, w, h, 0);
    }
    return list;
}

} // namespace

int main(int argc, char** argv) {
    const bool scaling = argc == 3 && std::string(argv[1]) == "--scaling";
    if (argc != 2 && !scaling) {
        std::fputs("usage: make_workloads [--scaling] DIRECTORY\n", stderr);
        return 2;
    }
    const char* folder = argv[argc - 1];
    const std::string dir = std::string(folder) + "/";
    Random random;
    bool ok = true;
    for (int size : {256, 512, 1024}) {
        const std::string n = std::to_string(size);
        ok = ok &&
             write_bmp(dir + "pic" + n + ".bmp", size, size, 8, varied_cells(size, size, random));
        ok = ok && write_text(dir + "w1_" + n + ".txt", record("all", 'B', 0, 0, size, size, 7));
    }
    ok = ok && write_text(dir + "w2.txt", record("all", 'T', 0, 0, 1024, 1024, 7));
    ok = ok && write_text(dir + "w3.txt", record("all", 'S', 0, 0, 1024, 1024, 7));
    std::string cells;
    for (int y = 0; y < 1024; y += 8) {
        for (int x = 0; x < 1024; x += 8) {
            // Built by appending: g++ 12 warns falsely on "s" + std::string.
            std::string name = "s";
            name += std::to_string(x);
            name += '_';
            name += std::to_string(y);
            cells += record(name, 'S', x, y, 8, 8, 7);
        }
    }
    ok = ok && write_text(dir + "w4.txt", cells);

    // The everyday case: a 256 x 192 sheet with 200 resources of mixed kinds.
    ok = ok && write_bmp(dir + "sheet.bmp", 256, 192, 4, varied_cells(256, 192, random));
    std::string sheet;
    const char kinds[] = {'B', 'T', 'S', 's'};
    for (int i = 0; i < 200; ++i) {
        const int w = 8 * (1 + random.below(8));
        const int h = 8 * (1 + random.below(6));
        const int x = 8 * random.below((256 - w) / 8 + 1);
        const int y = 8 * random.below((192 - h) / 8 + 1);
        std::string name = "res";
        name += std::to_string(i);
        sheet += record(name, kinds[i % 4], x, y, w, h, random.below(16));
    }
    ok = ok && write_text(dir + "w5.txt", sheet);

    // Many small records: the cost per record, over the same sheet.
    ok = ok && write_text(dir + "w6.txt", spread_records(100000));
    // And a million of them, for the check's memory.
    ok = ok && write_text(dir + "w6_1000000.txt", spread_records(1000000));

    // A folder of small sheets for a build through examples/Makefile.
    const std::string sheets = dir + "sheets/";
    std::error_code made;
    std::filesystem::create_directories(sheets, made);
    for (int i = 0; i < 200; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "sheet%03d", i);
        ok = ok && write_bmp(sheets + name + ".bmp", 64, 64, 4, clean_cells(64, 64, random));
        ok = ok && write_text(sheets + name + ".txt", clean_records(i, random));
    }

    if (scaling) {
        ok = ok && write_bmp(dir + "pic128.bmp", 128, 128, 8, varied_cells(128, 128, random));
        ok = ok && write_text(dir + "w1_128.txt", record("all", 'B', 0, 0, 128, 128, 7));
        for (int count : {1000, 10000, 100000}) {
            ok = ok &&
                 write_text(dir + "w6_" + std::to_string(count) + ".txt", spread_records(count));
        }
    }

    if (!ok) {
        std::fprintf(stderr, "make_workloads: cannot write into %s\n", folder);
        return 1;
    }
    return 0;
}
