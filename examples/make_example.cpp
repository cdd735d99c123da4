// Writes the example sheet: testpic.bmp (64 x 32, 4 bits per pixel) and
// testpic.txt (its resource list, with CR LF line ends), into the folder given.
// Usage: make_example DIRECTORY
#include <cstdint>
#include <cstdio>
#include <string>

namespace {

constexpr int WIDTH = 64;
constexpr int HEIGHT = 32;

// One character a pixel: '.' is colour 0, lower case the normal colours,
// upper case the bright ones.
int colour_of(char c) {
    static const std::string normal = ".brmgcyw";
    static const std::string bright = "KBRMGCYW";
    if (auto i = normal.find(c); i != std::string::npos) {
        return static_cast<int>(i);
    }
    return 8 + static_cast<int>(bright.find(c));
}

void draw(std::uint8_t (&picture)[HEIGHT][WIDTH], int left, int top,
          std::initializer_list<const char*> rows) {
    int y = top;
    for (const char* row : rows) {
        for (int x = 0; row[x] != '\0'; ++x) {
            picture[y][left + x] = static_cast<std::uint8_t>(colour_of(row[x]));
        }
        ++y;
    }
}

void paint(std::uint8_t (&picture)[HEIGHT][WIDTH]) {
    draw(picture, 0, 0,
         {"..YYYY..", ".YYYYYY.", "YY.YY.YY", "YYYYYYYY", "Y.YYYY.Y", "YY....YY", ".YYYYYY.",
          "..YYYY.."});
    draw(picture, 8, 0,
         {"wwwwwwww", "wrrwwrrw", "rrrrrrrr", "rrrrrrrr", "wrrrrrrw", "wwrrrrww", "wwwrrwww",
          "wwwwwwww"});
    draw(picture, 16, 0,
         {"bGbbbGbbbGbbbbGb", "bGbbGbbbbGbbbbGb", "bGbGbbbbbGbbbbGb", "bGGbbbbbbbGbbGbb",
          "bGbGbbbbbbGbbGbb", "bGbbGbbbbbbGGbbb", "bGbbbGbbbbbGGbbb", "bbbbbbbbbbbbbbbb"});
    draw(picture, 32, 0,
         {".......WW.......", "......WCCW......", "......WCCW......", ".....WCCCCW.....",
          ".....WCCCCW.....", "....WCCWWCCW....", "....WCCWWCCW....", "...WCCCCCCCCW...",
          "..WCCCCCCCCCCW..", ".WCCCCCCCCCCCCW.", "WCCCCCWWWWCCCCCW", "WCCCWW....WWCCCW",
          "WCCW........WCCW", "WCW..........WCW", ".W............W.", "................"});
    draw(picture, 48, 0,
         {"..yyyy..", ".yYYYYy.", "yYYyyYYy", "yYYyYYYy", "yYYyYYYy", "yYYyyYYy", ".yYYYYy.",
          "..yyyy.."});
    // A brick wall: red bricks, yellow mortar, each course offset by half a brick.
    for (int y = 16; y < 32; ++y) {
        for (int x = 0; x < 32; ++x) {
            const bool mortar = y % 4 == 3 || (x + (y / 4 % 2) * 4) % 8 == 7;
            picture[y][x] = static_cast<std::uint8_t>(mortar ? 6 : 2);
        }
    }
    // A scene of three colours a cell in places: sky, sun and grass, so the
    // conversion has to drop colours where they meet.
    for (int y = 16; y < 32; ++y) {
        for (int x = 32; x < 64; ++x) {
            const int dx = x - 52;
            const int dy = y - 21;
            std::uint8_t colour = 9; // bright blue sky
            if (dx * dx + dy * dy <= 12) {
                colour = 14; // bright yellow sun
            }
            if (y >= 27 + (x / 5) % 2) {
                colour = 4; // green grass, with a ragged edge
            }
            picture[y][x] = colour;
        }
    }
}

void put_le(std::FILE* out, std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) {
        std::fputc(static_cast<int>((value >> (8 * i)) & 0xFF), out);
    }
}

bool write_bmp(const std::string& path, const std::uint8_t (&picture)[HEIGHT][WIDTH]) {
    std::FILE* out = std::fopen(path.c_str(), "wb");
    if (out == nullptr) {
        return false;
    }
    const std::uint32_t pixel_offset = 14 + 40 + 16 * 4;
    const std::uint32_t pixel_bytes = WIDTH / 2 * HEIGHT;
    std::fputs("BM", out);
    put_le(out, pixel_offset + pixel_bytes, 4);
    put_le(out, 0, 4);
    put_le(out, pixel_offset, 4);
    put_le(out, 40, 4); // info header
    put_le(out, WIDTH, 4);
    put_le(out, HEIGHT, 4);
    put_le(out, 1, 2); // planes
    put_le(out, 4, 2); // bits per pixel
    put_le(out, 0, 4); // no compression
    put_le(out, pixel_bytes, 4);
    put_le(out, 2835, 4);
    put_le(out, 2835, 4);
    put_le(out, 16, 4); // colours used
    put_le(out, 0, 4);
    // The display's sixteen colours: black, blue, red, magenta, green, cyan,
    // yellow, white, then the same bright. Entries are blue, green, red, 0.
    for (int i = 0; i < 16; ++i) {
        const int level = i < 8 ? 0xD7 : 0xFF;
        const int blue = (i & 1) != 0 ? level : 0;
        const int red = (i & 2) != 0 ? level : 0;
        const int green = (i & 4) != 0 ? level : 0;
        std::fputc(blue, out);
        std::fputc(green, out);
        std::fputc(red, out);
        std::fputc(0, out);
    }
    for (int y = HEIGHT - 1; y >= 0; --y) { // bottom row first
        for (int x = 0; x < WIDTH; x += 2) {
            std::fputc(picture[y][x] << 4 | picture[y][x + 1], out);
        }
    }
    return std::fclose(out) == 0;
}

bool write_list(const std::string& path) {
    std::FILE* out = std::fopen(path.c_str(), "wb");
    if (out == nullptr) {
        return false;
    }
    std::fputs("; Kelvora example sheet: name=kind,x,y,width,height,colour\r\n"
               "smiley=B,0,0,8,8,7\r\n"
               "heart=B,8,0,8,8,7\r\n"
               "font=T,16,0,16,8,7\r\n"
               "ship=S,32,0,16,16,7 ; the hero\r\n"
               "ghost=s,32,0,16,16,7\r\n"
               "coin=S,48,0,8,8,6\r\n"
               "wall=B,0,16,32,16,7\r\n"
               "scene=B,32,16,32,16,7\r\n",
               out);
    return std::fclose(out) == 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fputs("usage: make_example DIRECTORY\n", stderr);
        return 2;
    }
    static std::uint8_t picture[HEIGHT][WIDTH] = {};
    paint(picture);
    const std::string directory = argv[1];
    if (!write_bmp(directory + "/testpic.bmp", picture) ||
        !write_list(directory + "/testpic.txt")) {
        std::fprintf(stderr, "make_example: cannot write into %s\n", directory.c_str());
        return 1;
    }
    return 0;
}
