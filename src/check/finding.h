// A finding as data: what kind of mistake, where, and what would mend it.
// A check fills one of these; the wording is made from it apart, so the
// advice a line gives and the remedy a tool may apply are the same thing.
#pragma once

#include <cstdint>

namespace kelvora {

// Every kind of finding. The remedy a kind carries is the same form for
// every finding of that kind (see remedy_form).
enum class FindingKind : std::uint8_t {
    // The picture as a whole.
    RefusedPicture,
    PaletteOutOfOrder,
    PaletteShort,
    PictureCutShort,
    // The list and its records' own text.
    ListEndsEarly,
    LoneCr,
    FieldOnNextLine,
    RecordRunsOn,
    BlanksAfterColour,
    SemicolonAfterColour,
    TextAfterColour,
    BlanksAtSeparators,
    LostStart,
    ByteOrderMark,
    EmptyLabel,
    NulInName,
    LabelCharacter,
    LabelDigit,
    LabelKept,
    KindLetter,
    SignTypo,
    HexTypo,
    MissingEquals,
    SemicolonInRecord,
    FieldMisplaced,
    // A record's label against the others, its sizes and its place.
    LabelTaken,
    NotCName,   // for sdcc
    CNameTaken, // a name sdcc or its header gives, and another's label
    LabelsFull,
    SizeZero,
    SizeWrapped,
    XOffGrid,
    WidthOffGrid,
    YOffGrid,
    HeightOffGrid,
    Outside,
    PastPicture,
    ColourAboveSeven,
    WideTileTable,
    EmptyList,
    // What the display shows.
    CellChanged,
    BackgroundPartner,
    CellChangedWithPalette,
    MoreCells,
    PaletteCells,
    WhiteSpriteColours,
    WhiteSpriteNo15,
    WhiteSpriteWithPalette, // either, where the palette or the format must change first
    NoTransparentPixel,
    EmptyTopCell,
    TopCellOnly, // a column's change that only its top cell can mend
};

enum class RemedyForm : std::uint8_t {
    None,     // nothing a tool can apply: the mistake needs the artist's choice
    Pixels,   // in an area of the picture, pixels of some indices to others
    Field,    // one field of the record to a value
    LineText, // the record's line to the text given
    Palette,  // each index to the display index its entry looks like (as truecolour does)
    LineEnds, // lines that end in CR alone to end in LF
};

// Fields of a record, as the list orders them.
enum RecordField : std::uint8_t {
    FIELD_NAME,
    FIELD_KIND,
    FIELD_X,
    FIELD_Y,
    FIELD_WIDTH,
    FIELD_HEIGHT,
    FIELD_COLOUR,
};

struct Remedy {
    RemedyForm form;
    // Pixels: the area, and `pairs` indices each to be drawn in another.
    int x;
    int y;
    int width;
    int height;
    int pairs;
    std::uint8_t from[16];
    std::uint8_t to[16];
    // Field: which, and its value (a number, or a kind letter; a name is
    // in `text`). With `every`, for every record whose field reads `was`.
    RecordField field;
    std::int64_t value;
    bool every;
    std::uint64_t was;
    // LineText: the line; Field FIELD_NAME: the name. NUL-terminated.
    char text[160];
    // Palette: the index each used index goes to (itself when it stays).
    std::uint8_t index_to[256];
};

struct Finding {
    FindingKind kind;
    bool error;        // else a note
    std::int64_t line; // the list's line, or 0 for the picture
    int x;             // a cell's top-left pixel, or -1
    int y;
    Remedy remedy;
};

} // namespace kelvora
