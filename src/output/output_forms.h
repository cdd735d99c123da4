// The forms a sheet is written in, a row each: its name and the one function
// that renders every part of the sheet's description (sheet.h) in it. The
// text forms take their spellings from the assembler syntax of the run
// (asm_syntax.h). A new form is a row here and its rendering function.
#pragma once

#include "output/sheet.h"

namespace kelvora {

using RenderPart = void (*)(FormOutput& output, const SheetPart& part);

struct OutputForm {
    const char* name; // as messages name the form
    RenderPart render;
    // Whether it writes where records land or how many bytes they take;
    // those are worked out only for a run that has such a form.
    bool needs_places;
};

// Labels, byte and fill lines in the syntax's spelling.
void render_assembler(FormOutput& output, const SheetPart& part);
// A C header: each record's name as an array, its size and its sizes.
void render_c_header(FormOutput& output, const SheetPart& part);
// The raw bytes the assembler source assembles to at origin 0.
void render_binary(FormOutput& output, const SheetPart& part);
// The labels of the raw bytes, each given relative to the first.
void render_symbols(FormOutput& output, const SheetPart& part);

// The first words of the two files that hold no bytes, which the reader of
// outputs tells them by, to say which file to give it instead.
inline constexpr char SYMBOLS_START[] = "; The labels of a binary kelvora wrote";
inline constexpr char C_HEADER_START[] = "/* The records of a sheet kelvora converted";

enum class FormId : unsigned char { AssemblerSource, CHeader, Binary, Symbols };

inline constexpr OutputForm OUTPUT_FORMS[] = {
    /* AssemblerSource */ {"assembler source", render_assembler, false},
    /* CHeader */ {"C header", render_c_header, true},
    /* Binary */ {"binary", render_binary, true},
    /* Symbols */ {"symbols", render_symbols, true},
};

constexpr const OutputForm& output_form(FormId id) {
    return OUTPUT_FORMS[static_cast<int>(id)];
}

} // namespace kelvora
