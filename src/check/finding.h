// A finding as data: what kind of mistake, where, and what would mend it.
// A check fills one of these; the wording is made from it apart, so the
// advice a line gives and the remedy a tool may apply are the same thing.
#pragma once

#include <cstdint>

namespace kelvora {

// Every kind of finding; the table FINDINGS below says what each is.
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
    TopCellOnly, // last: FINDINGS is checked against it
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

// How a finding is said (see findings.h for the forms of the lines).
enum class SaidAs : std::uint8_t {
    PictureError, // PICTURE: error: TEXT
    LineError,    // LIST:LINE: error: TEXT
    LineNote,     // LIST:LINE: note: TEXT
    CellNote,     // PICTURE:X,Y: note: TEXT, kept with its record's line
    ItsSprite,    // as the white sprite's finding it stands for
};

struct FindingRow {
    FindingKind kind;
    SaidAs said;
    RemedyForm remedy; // the form every finding of the kind carries
    const char* mistake;
};

// Every finding the check makes, in the order of FindingKind.
// clang-format off
inline constexpr FindingRow FINDINGS[] = {
    // The picture as a whole.
    {FindingKind::RefusedPicture,         SaidAs::PictureError, RemedyForm::None,     "a picture kelvora refuses, and why"},
    {FindingKind::PaletteOutOfOrder,      SaidAs::PictureError, RemedyForm::Palette,  "palette entries of indices drawn that the display shows in other colours"},
    {FindingKind::PaletteShort,           SaidAs::PictureError, RemedyForm::None,     "indices drawn past the end of the palette"},
    {FindingKind::PictureCutShort,        SaidAs::PictureError, RemedyForm::None,     "a file that ends before its pixels do"},
    // The list and its records' own text.
    {FindingKind::ListEndsEarly,          SaidAs::LineError,    RemedyForm::None,     "the list ending at an empty name while lines follow"},
    {FindingKind::LoneCr,                 SaidAs::LineError,    RemedyForm::LineEnds, "lines that end in CR alone"},
    {FindingKind::FieldOnNextLine,        SaidAs::LineError,    RemedyForm::None,     "a field read from a later line, so one is missing"},
    {FindingKind::RecordRunsOn,           SaidAs::LineError,    RemedyForm::None,     "a record that runs on over lines"},
    {FindingKind::BlanksAfterColour,      SaidAs::LineError,    RemedyForm::LineText, "blanks after the colour, read as the next record's start"},
    {FindingKind::SemicolonAfterColour,   SaidAs::LineError,    RemedyForm::LineText, "a \";\" right after the colour, which starts no comment"},
    {FindingKind::TextAfterColour,        SaidAs::LineError,    RemedyForm::LineText, "a field too many, or text after the colour that is no comment"},
    {FindingKind::BlanksAtSeparators,     SaidAs::LineError,    RemedyForm::LineText, "blanks around \"=\" and \",\", read into the fields"},
    {FindingKind::LostStart,              SaidAs::LineNote,     RemedyForm::None,     "a label whose start the record before took"},
    {FindingKind::ByteOrderMark,          SaidAs::LineError,    RemedyForm::Field,    "a byte-order mark, read into the first label"},
    {FindingKind::EmptyLabel,             SaidAs::LineError,    RemedyForm::None,     "an empty label: the name starts with a NUL"},
    {FindingKind::NulInName,              SaidAs::LineError,    RemedyForm::Field,    "a NUL in the name, where the label ends"},
    {FindingKind::LabelCharacter,         SaidAs::LineError,    RemedyForm::Field,    "a character in the label that the assembler will not take"},
    {FindingKind::LabelDigit,             SaidAs::LineError,    RemedyForm::Field,    "a label that starts with a digit"},
    {FindingKind::LabelKept,              SaidAs::LineError,    RemedyForm::Field,    "a label an assembler keeps, or reads as something else"},
    {FindingKind::KindLetter,             SaidAs::LineError,    RemedyForm::Field,    "a kind other than B, T, S or s"},
    {FindingKind::SignTypo,               SaidAs::LineError,    RemedyForm::LineText, "a number with a sign"},
    {FindingKind::HexTypo,                SaidAs::LineError,    RemedyForm::LineText, "a hexadecimal number"},
    {FindingKind::MissingEquals,          SaidAs::LineError,    RemedyForm::LineText, "a blank typed for \"=\""},
    {FindingKind::SemicolonInRecord,      SaidAs::LineError,    RemedyForm::LineText, "a \";\" after the kind, which starts a comment"},
    {FindingKind::FieldMisplaced,         SaidAs::LineError,    RemedyForm::LineText, "the kind written among the numbers"},
    // A record's label against the others, its sizes and its place.
    {FindingKind::LabelTaken,             SaidAs::LineError,    RemedyForm::Field,    "a label given before"},
    {FindingKind::NotCName,               SaidAs::LineError,    RemedyForm::None,     "for sdcc, a label that is no C name"},
    {FindingKind::CNameTaken,             SaidAs::LineError,    RemedyForm::None,     "for sdcc, a name sdcc or its header gives one record, and another's label"},
    {FindingKind::LabelsFull,             SaidAs::LineNote,     RemedyForm::None,     "the first label the check has no room to keep"},
    {FindingKind::SizeZero,               SaidAs::LineError,    RemedyForm::None,     "a width or height of 0"},
    {FindingKind::SizeWrapped,            SaidAs::LineError,    RemedyForm::None,     "a width or height past 2^31, read as negative"},
    {FindingKind::XOffGrid,               SaidAs::LineError,    RemedyForm::Field,    "x not a multiple of 8"},
    {FindingKind::WidthOffGrid,           SaidAs::LineError,    RemedyForm::Field,    "a width not a multiple of 8"},
    {FindingKind::YOffGrid,               SaidAs::LineError,    RemedyForm::Field,    "a block's or tile table's y not a multiple of 8"},
    {FindingKind::HeightOffGrid,          SaidAs::LineError,    RemedyForm::Field,    "a block's or tile table's height not a multiple of 8"},
    {FindingKind::Outside,                SaidAs::LineError,    RemedyForm::None,     "a record outside the picture area, which is not converted"},
    {FindingKind::PastPicture,            SaidAs::LineError,    RemedyForm::None,     "a record that reaches past the picture"},
    {FindingKind::ColourAboveSeven,       SaidAs::LineNote,     RemedyForm::Field,    "a colour above 7, of which only bits 0-2 count"},
    {FindingKind::WideTileTable,          SaidAs::LineNote,     RemedyForm::None,     "a tile table wider than a page"},
    {FindingKind::EmptyList,              SaidAs::LineNote,     RemedyForm::None,     "a list that holds no record"},
    // What the display shows.
    {FindingKind::CellChanged,            SaidAs::CellNote,     RemedyForm::Pixels,   "a cell shown in other colours than drawn"},
    {FindingKind::BackgroundPartner,      SaidAs::CellNote,     RemedyForm::Field,    "a cell whose colour 0 the record's colour gave a partner"},
    {FindingKind::CellChangedWithPalette, SaidAs::CellNote,     RemedyForm::None,     "a changed cell that waits for the palette's remedy"},
    {FindingKind::MoreCells,              SaidAs::CellNote,     RemedyForm::None,     "a record's changed cells past those described"},
    {FindingKind::PaletteCells,           SaidAs::CellNote,     RemedyForm::None,     "a record's cells changed only through the palette"},
    {FindingKind::WhiteSpriteColours,     SaidAs::CellNote,     RemedyForm::Pixels,   "a white sprite drawn in other colours than 15"},
    {FindingKind::WhiteSpriteNo15,        SaidAs::LineError,    RemedyForm::Pixels,   "a white sprite with no pixel in 15, which comes out all black"},
    {FindingKind::WhiteSpriteWithPalette, SaidAs::ItsSprite,    RemedyForm::None,     "either of those, where the palette or the format must change first"},
    {FindingKind::NoTransparentPixel,     SaidAs::LineNote,     RemedyForm::None,     "a sprite with no pixel in 0, so nothing transparent"},
    {FindingKind::EmptyTopCell,           SaidAs::CellNote,     RemedyForm::None,     "a sprite's column whose empty top cell carries colours from the left"},
    {FindingKind::TopCellOnly,            SaidAs::CellNote,     RemedyForm::None,     "a column's change that only its top cell can mend"},
};
// clang-format on

constexpr bool rows_in_kind_order() {
    int at = 0;
    for (const FindingRow& row : FINDINGS) {
        if (static_cast<int>(row.kind) != at++) {
            return false;
        }
    }
    return at == static_cast<int>(FindingKind::TopCellOnly) + 1;
}
static_assert(rows_in_kind_order(), "FINDINGS has one row a kind, in the order of FindingKind");

constexpr const FindingRow& finding_row(FindingKind kind) {
    return FINDINGS[static_cast<std::uint8_t>(kind)];
}

constexpr RemedyForm remedy_form(FindingKind kind) {
    return finding_row(kind).remedy;
}

struct Finding {
    FindingKind kind;
    bool error;        // else a note
    std::int64_t line; // the list's line, or 0 for the picture
    int x;             // a cell's top-left pixel, or -1
    int y;
    Remedy remedy;
};

} // namespace kelvora
