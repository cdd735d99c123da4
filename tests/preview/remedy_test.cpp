// Advice that works when followed: every finding of every case in
// tests/checks carries its remedy as data; the test applies it to the
// picture or the list, checks again, and expects that finding gone and
// nothing new. A kind whose mistake needs the artist's choice carries no
// remedy, and only by its kind: FINDINGS in check/finding.h says which.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "check/finding.h"
#include "input/picture.h"
#include "preview/preview_run.h"
#include "test_support.h"

namespace kelvora {
namespace {

namespace fs = std::filesystem;
using K = FindingKind;

// Each kind and a case that shows one; "" for a kind no case shows.
struct KindRow {
    FindingKind kind;
    const char* example;
};

// clang-format off
constexpr KindRow KINDS[] = {
    {K::RefusedPicture,         "picture-refused"},
    {K::PaletteOutOfOrder,      "palette-reordered-by-imagemagick"},
    {K::PaletteShort,           "palette-shorter-than-indices"},
    {K::PictureCutShort,        "picture-cut-short"},
    {K::ListEndsEarly,          "list-ends-at-an-empty-name"},
    {K::LoneCr,                 "cr-only-line-ends"},
    {K::FieldOnNextLine,        "field-missing"},
    {K::RecordRunsOn,           ""},
    {K::BlanksAfterColour,      "blanks-after-the-colour"},
    {K::SemicolonAfterColour,   "semicolon-right-after-the-colour"},
    {K::TextAfterColour,        "a-field-too-many"},
    {K::BlanksAtSeparators,     "fields-with-blanks"},
    {K::LostStart,              "fields-with-blanks"},
    {K::ByteOrderMark,          "byte-order-mark"},
    {K::EmptyLabel,             "labels"},
    {K::NulInName,              "labels"},
    {K::LabelCharacter,         "labels"},
    {K::LabelDigit,             "labels"},
    {K::LabelKept,              "labels-the-assemblers-keep"},
    {K::KindLetter,             "kinds"},
    {K::SignTypo,               "typo-a-sign"},
    {K::HexTypo,                "typo-hexadecimal"},
    {K::MissingEquals,          "typo-a-blank-for-equals"},
    {K::SemicolonInRecord,      "typo-semicolon-inside-a-record"},
    {K::FieldMisplaced,         "typo-kind-among-the-numbers"},
    {K::LabelTaken,             "same-label-twice"},
    {K::NotCName,               "c-names-for-sdcc"},
    {K::CNameTaken,             "c-names-for-sdcc"},
    {K::LabelsFull,             ""},
    {K::SizeZero,               "sizes-zero-or-wrapped"},
    {K::SizeWrapped,            "sizes-zero-or-wrapped"},
    {K::XOffGrid,               "not-on-cell-edges"},
    {K::WidthOffGrid,           "not-on-cell-edges"},
    {K::YOffGrid,               "not-on-cell-edges"},
    {K::HeightOffGrid,          "not-on-cell-edges"},
    {K::Outside,                "outside-the-area"},
    {K::PastPicture,            "past-the-picture"},
    {K::ColourAboveSeven,       "colour-field-above-seven"},
    {K::WideTileTable,          "tile-table-sprite-notes"},
    {K::EmptyList,              "empty-list"},
    {K::CellChanged,            "cells-shown-in-other-colours"},
    {K::BackgroundPartner,      "colour-0-as-background"},
    {K::CellChangedWithPalette, "palette-reordered-by-imagemagick"},
    {K::MoreCells,              "cells-shown-in-other-colours"},
    {K::PaletteCells,           "palette-reordered-by-imagemagick"},
    {K::WhiteSpriteColours,     "white-sprite-in-white-7"},
    {K::WhiteSpriteNo15,        "white-sprite-without-15"},
    {K::WhiteSpriteWithPalette, "white-sprite-entry-15-moved"},
    {K::NoTransparentPixel,     "tile-table-sprite-notes"},
    {K::EmptyTopCell,           "tile-table-sprite-notes"},
    {K::TopCellOnly,            ""},
};
// clang-format on

constexpr bool a_row_for_each_kind() {
    int at = 0;
    for (const KindRow& row : KINDS) {
        if (row.kind != FINDINGS[at++].kind) {
            return false;
        }
    }
    return at == static_cast<int>(std::size(FINDINGS));
}
static_assert(a_row_for_each_kind(), "KINDS has a row for each kind, in FINDINGS's order");

const fs::path CHECKS = test::SOURCE_DIR / "tests" / "checks";

// A finding is the same finding after a change when its kind and place
// are. What a cell shows is one finding whichever rule the note names (a
// remedy may change the rule: a palette put in order leaves a real clash),
// and so is what a white sprite shows; a colour field's note is one for
// each value.
using Identity = std::tuple<int, std::int64_t, int, int>;

constexpr int CELL = 1000;
constexpr int WHITE_SPRITE = 1001;

Identity identity(const Finding& finding) {
    switch (finding.kind) {
    case FindingKind::CellChanged:
    case FindingKind::BackgroundPartner:
    case FindingKind::CellChangedWithPalette:
    case FindingKind::EmptyTopCell:
    case FindingKind::TopCellOnly:
        return {CELL, finding.line, finding.x, finding.y};
    case FindingKind::WhiteSpriteColours:
    case FindingKind::WhiteSpriteNo15:
    case FindingKind::WhiteSpriteWithPalette:
        return {WHITE_SPRITE, finding.line, 0, 0};
    case FindingKind::ColourAboveSeven:
        return {static_cast<int>(finding.kind), 0, static_cast<int>(finding.remedy.was), 0};
    default:
        return {static_cast<int>(finding.kind), finding.line, finding.x, finding.y};
    }
}

void collect(const Finding& finding, void*) {
    // Written whole to the child's standard output, for the parent to read.
    const ssize_t written = write(STDOUT_FILENO, &finding, sizeof finding);
    static_cast<void>(written);
}

// The findings of a check of the picture and the list, as data: the check
// runs in a process of its own, on fresh memory, as the program does.
std::vector<Finding> check(const std::string& picture, const std::string& list,
                           AssemblerSet assemblers) {
    test::TempDir dir;
    test::write_file(dir / "pic.bmp", picture);
    test::write_file(dir / "list.txt", list);
    const test::Run run = test::run_in_child(dir.path(), [assemblers] {
        PreviewRequest request{"pic.bmp", "list.txt", nullptr, 0, false, assemblers};
        request.collect = collect;
        std::FILE* const lines = std::fopen("/dev/null", "w");
        const int status = run_check(allocate_preview_memory(), request, lines, stderr);
        std::fclose(lines);
        return status;
    });
    std::vector<Finding> findings(run.out.size() / sizeof(Finding));
    if (!findings.empty()) {
        std::memcpy(findings.data(), run.out.data(), findings.size() * sizeof(Finding));
    }
    return findings;
}

// The picture as an 8-bit BMP with its own palette, each pixel's index
// through `index_of`; truecolour and palette remedies give the display's
// palette instead.
std::string redraw(const std::string& picture, const std::function<int(int, int, int)>& index_of,
                   bool display_palette) {
    const auto stores = test::fresh_stores();
    PictureFacts facts{};
    const PictureVerdict verdict =
        read_picture(*test::reader_over(picture), test::picture_scratch(), stores->grid, facts);
    EXPECT_TRUE(verdict.taken);
    test::BmpLayout layout{facts.width, picture_rows(facts), 8};
    const int entries = display_palette || !facts.indexed ? 16 : facts.palette_entries;
    for (int i = 0; i < entries; ++i) {
        layout.palette.push_back(display_palette || !facts.indexed ? display_colour(i)
                                                                   : facts.palette[i]);
    }
    layout.colours_used_field = entries;
    const PictureGrid& grid = stores->grid;
    return test::make_bmp(layout, [&](int x, int y) {
        return static_cast<std::uint8_t>(index_of(x, y, grid.at(x, y)));
    });
}

// The list's lines, each with its line end.
std::vector<std::string> lines_of(const std::string& list) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < list.size()) {
        const std::size_t end = list.find('\n', start);
        const std::size_t next = end == std::string::npos ? list.size() : end + 1;
        lines.push_back(list.substr(start, next - start));
        start = next;
    }
    return lines;
}

// The record on the line, with one field set to the value when it reads
// `was` (or whatever it reads, when `was` is empty).
std::string with_field(const std::string& line, RecordField field, const std::string& value,
                       const std::string& was) {
    std::size_t start = 0;
    for (int f = 0; f < field; ++f) {
        start = line.find(f == 0 ? '=' : ',', start);
        if (start == std::string::npos || line[0] == ';') {
            return line;
        }
        ++start;
    }
    const std::size_t end =
        std::min(line.find_first_of(field == FIELD_NAME ? "=" : ",;\r\n \t", start), line.size());
    if (!was.empty() && line.substr(start, end - start) != was) {
        return line;
    }
    return line.substr(0, start) + value + line.substr(end);
}

struct Sheet {
    std::string picture;
    std::string list;
};

// The sheet with the finding's remedy applied.
Sheet apply(const Sheet& sheet, const Finding& finding) {
    const Remedy& remedy = finding.remedy;
    Sheet mended = sheet;
    std::vector<std::string> lines = lines_of(sheet.list);
    std::string& line =
        lines.at(static_cast<std::size_t>(std::max<std::int64_t>(finding.line, 1) - 1));
    switch (remedy.form) {
    case RemedyForm::Pixels:
        mended.picture = redraw(
            sheet.picture,
            [&remedy](int x, int y, int index) {
                const bool inside = x >= remedy.x && x < remedy.x + remedy.width && y >= remedy.y &&
                                    y < remedy.y + remedy.height;
                for (int i = 0; i < remedy.pairs && inside; ++i) {
                    if (remedy.from[i] == index) {
                        return static_cast<int>(remedy.to[i]);
                    }
                }
                return index;
            },
            false);
        return mended;
    case RemedyForm::Palette:
        mended.picture = redraw(
            sheet.picture, [&remedy](int, int, int index) { return remedy.index_to[index]; }, true);
        return mended;
    case RemedyForm::Field: {
        const std::string value = remedy.field == FIELD_NAME ? std::string(remedy.text)
                                  : remedy.field == FIELD_KIND
                                      ? std::string(1, static_cast<char>(remedy.value))
                                      : std::to_string(remedy.value);
        if (!remedy.every) {
            line = with_field(line, remedy.field, value, "");
        }
        for (std::string& each : lines) {
            if (remedy.every) {
                each = with_field(each, remedy.field, value, std::to_string(remedy.was));
            }
        }
        break;
    }
    case RemedyForm::LineEnds:
        mended.list.clear();
        for (std::size_t i = 0; i < sheet.list.size(); ++i) {
            const bool lone =
                sheet.list[i] == '\r' && (i + 1 == sheet.list.size() || sheet.list[i + 1] != '\n');
            mended.list += lone ? '\n' : sheet.list[i];
        }
        return mended;
    case RemedyForm::LineText: {
        const std::size_t comment = line.find(" ;");
        const std::size_t end = line.find_first_of("\r\n");
        line = remedy.text +
               line.substr(std::min(comment, end == std::string::npos ? line.size() : end));
        break;
    }
    default:
        ADD_FAILURE() << "no remedy to apply";
    }
    mended.list.clear();
    for (const std::string& text : lines) {
        mended.list += text;
    }
    return mended;
}

// Whether the finding is an error or a note, on the picture, a line or a
// cell, as its row in FINDINGS says.
bool said_as_its_row(const Finding& finding) {
    switch (finding_row(finding.kind).said) {
    case SaidAs::PictureError:
        return finding.error && finding.line == 0 && finding.x < 0;
    case SaidAs::LineError:
        return finding.error && finding.line > 0 && finding.x < 0;
    case SaidAs::LineNote:
        return !finding.error && finding.line > 0 && finding.x < 0;
    case SaidAs::CellNote:
        return !finding.error && finding.x >= 0;
    case SaidAs::ItsSprite:
        return finding.line > 0;
    }
    return false;
}

// What applying a sheet's remedies came to.
struct Tally {
    int cleared = 0;     // the finding gone, nothing new
    int not_cleared = 0; // the finding left, or another one new
    int not_applicable = 0;
    std::map<int, int> not_applicable_by_kind;
    std::map<int, int> not_cleared_by_kind;
    std::set<FindingKind> seen;
};

// Applies each remedy of the sheet's findings in turn (a few of each kind)
// and checks again. Failures are test failures when `expect` is set.
void try_remedies(const std::string& name, const Sheet& sheet, AssemblerSet assemblers, bool expect,
                  Tally& tally) {
    const std::vector<Finding> before = check(sheet.picture, sheet.list, assemblers);
    std::set<Identity> had;
    const Finding* more = nullptr;        // a record's cells past those listed
    std::set<std::int64_t> palette_cells; // records with cells changed by the palette
    bool palette_error = false;
    for (const Finding& finding : before) {
        had.insert(identity(finding));
        palette_error = palette_error || finding.kind == FindingKind::PaletteOutOfOrder;
        more = finding.kind == FindingKind::MoreCells ? &finding : more;
        if (finding.kind == FindingKind::PaletteCells) {
            palette_cells.insert(finding.line);
        }
    }
    // A cell counted among the unlisted ones is listed once one before it
    // is mended, and one the palette changed was a finding before.
    const auto known = [&](const Finding& left) {
        const bool cell =
            std::get<0>(identity(left)) == CELL || left.kind == FindingKind::MoreCells;
        const bool unlisted = more != nullptr && cell &&
                              (left.y > more->y || (left.y == more->y && left.x >= more->x));
        // Cells the palette changes are its error's, wherever they show.
        return had.count(identity(left)) > 0 || unlisted ||
               (cell && palette_cells.count(left.line) > 0) ||
               (palette_error && left.kind == FindingKind::PaletteCells);
    };
    std::map<FindingKind, int> tried; // a sheet's many findings of one kind: a few of them
    for (const Finding& finding : before) {
        tally.seen.insert(finding.kind);
        EXPECT_EQ(finding.remedy.form, remedy_form(finding.kind))
            << name << ": kind " << static_cast<int>(finding.kind) << " on line " << finding.line
            << " at " << finding.x << "," << finding.y;
        EXPECT_TRUE(said_as_its_row(finding))
            << name << ": kind " << static_cast<int>(finding.kind) << " on line " << finding.line
            << " at " << finding.x << "," << finding.y << " is not said as FINDINGS says";
        if (finding.remedy.form == RemedyForm::None) {
            ++tally.not_applicable;
            ++tally.not_applicable_by_kind[static_cast<int>(finding.kind)];
            continue;
        }
        if (++tried[finding.kind] > 8) {
            continue;
        }
        const Sheet mended = apply(sheet, finding);
        const std::vector<Finding> after = check(mended.picture, mended.list, assemblers);
        bool gone = true;
        bool nothing_new = true;
        for (const Finding& left : after) {
            // A record read wrong is not checked as meant: once its line is
            // mended (or, for line ends, the lines a comment ran over), its
            // own findings are new to the check, not to the sheet.
            // Likewise a record moved onto the grid covers other pixels.
            const bool moved = finding.remedy.form == RemedyForm::Field &&
                               (finding.remedy.field == FIELD_X || finding.remedy.field == FIELD_Y);
            const bool mended_record =
                ((finding.remedy.form == RemedyForm::LineText || moved) &&
                 left.line == finding.line) ||
                (finding.remedy.form == RemedyForm::LineEnds && left.line >= finding.line);
            const bool fine = known(left) || mended_record;
            nothing_new = nothing_new && fine;
            EXPECT_TRUE(fine || !expect)
                << name << ": the remedy of kind " << static_cast<int>(finding.kind) << " on line "
                << finding.line << " at " << finding.x << "," << finding.y << " brought kind "
                << static_cast<int>(left.kind) << " on line " << left.line << " at " << left.x
                << "," << left.y;
            gone = gone && identity(left) != identity(finding);
        }
        EXPECT_TRUE(gone || !expect)
            << name << ": the remedy of kind " << static_cast<int>(finding.kind) << " on line "
            << finding.line << " at " << finding.x << "," << finding.y << " did not clear it";
        ++(gone && nothing_new ? tally.cleared : tally.not_cleared);
        if (!gone || !nothing_new) {
            ++tally.not_cleared_by_kind[static_cast<int>(finding.kind)];
        }
    }
}

void print_tally(const char* what, const Tally& tally) {
    std::printf("%s: %d remedies cleared their finding with nothing new, %d did not; %d findings "
                "have no remedy by their kind\n",
                what, tally.cleared, tally.not_cleared, tally.not_applicable);
    for (const auto& [kind, count] : tally.not_applicable_by_kind) {
        std::printf("  kind %d: %d without a remedy\n", kind, count);
    }
    for (const auto& [kind, count] : tally.not_cleared_by_kind) {
        std::printf("  kind %d: %d not cleared\n", kind, count);
    }
}

TEST(Remedies, EachClearsItsFindingWithNothingNew) {
    Tally tally;
    for (const std::string& name : test::case_names(CHECKS)) {
        const fs::path png = CHECKS / (name + ".png");
        const Sheet sheet{test::read_file(fs::exists(png) ? png : CHECKS / (name + ".bmp")),
                          test::read_file(CHECKS / (name + ".txt"))};
        // The assembler a case names in its options, as the check is run.
        AssemblerSet assemblers = DEFAULT_ASSEMBLERS;
        std::istringstream options(fs::exists(CHECKS / (name + ".args"))
                                       ? test::read_file(CHECKS / (name + ".args"))
                                       : "");
        for (std::string option, value; options >> option;) {
            if (option == "--assembler" && options >> value) {
                assemblers = assembler_set(*find_assembler(value));
            }
        }
        try_remedies(name, sheet, assemblers, true, tally);
    }
    for (const KindRow& row : KINDS) {
        if (row.example[0] != '\0') {
            EXPECT_TRUE(tally.seen.count(row.kind) > 0)
                << "no finding of kind " << static_cast<int>(row.kind) << " in " << row.example;
        }
    }
    print_tally("tests/checks", tally);
}

// A measurement, not a test (run with --gtest_also_run_disabled_tests):
// the remedies of random sheets as artists draw them, cells of one to three
// colours with black among them, records of every kind on and off the
// grid, colours 0 to 15, and now and then a palette out of order.
TEST(Remedies, DISABLED_OnRandomSheets) {
    std::uint32_t state = 2027;
    const auto below = [&state](int n) {
        state = state * 1664525u + 1013904223u;
        return static_cast<int>((state >> 8) % static_cast<std::uint32_t>(n));
    };
    Tally tally;
    for (int sheet_number = 0; sheet_number < 200; ++sheet_number) {
        std::vector<Rgb> palette;
        for (int i = 0; i < 16; ++i) {
            palette.push_back(display_colour(i));
        }
        if (below(8) == 0) {
            std::swap(palette[1 + below(7)], palette[8 + below(8)]);
        }
        std::uint8_t colours[8][8][3];
        for (auto& row : colours) {
            for (auto& cell : row) {
                cell[0] = 0;
                cell[1] = static_cast<std::uint8_t>(below(16));
                cell[2] = static_cast<std::uint8_t>(below(3) == 0 ? below(16) : cell[1]);
            }
        }
        test::BmpLayout layout{64, 64, 8};
        layout.palette = palette;
        const std::string picture = test::make_bmp(layout, [&](int x, int y) {
            const std::uint8_t* cell = colours[y / 8][x / 8];
            return cell[(x * 7 + y * 3 + (x ^ y)) % (below(4) == 0 ? 3 : 2)];
        });
        std::string list;
        const char kinds[] = {'B', 'T', 'S', 's'};
        for (int r = 0, records = 3 + below(5); r < records; ++r) {
            const int x = 8 * below(6) + (below(10) == 0 ? 4 : 0);
            const int y = 8 * below(6);
            const int width = 8 * (1 + below(2)) + (below(12) == 0 ? 4 : 0);
            const int height = 8 * (1 + below(3));
            const int colour = below(3) == 0 ? 0 : (below(2) == 0 ? 7 : below(16));
            // Built by appending: g++ 12 warns falsely on "r" + std::string.
            list += 'r';
            list += std::to_string(r);
            list += '=';
            list += kinds[below(4)];
            for (const int number : {x, y, width, height, colour}) {
                list += ',';
                list += std::to_string(number);
            }
            list += '\n';
        }
        try_remedies("random sheet " + std::to_string(sheet_number), Sheet{picture, list},
                     DEFAULT_ASSEMBLERS, false, tally);
    }
    print_tally("200 random sheets", tally);
}

} // namespace
} // namespace kelvora
