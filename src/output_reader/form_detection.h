// Which of kelvora's forms an output is in, told from its first lines when
// the command line does not say: the binary of --binary, or assembler text
// in one of the syntaxes. Syntaxes that spell everything alike (pasmo,
// z80asm, sjasmplus, rasm and z88dk) are read alike, so telling one of them
// is enough.
#pragma once

#include <cstddef>

#include "model/resource_record.h"
#include "output/asm_syntax.h"
#include "output_reader/output_reader.h"

namespace kelvora {

struct DetectedForm {
    bool told; // else `why` says what the output's start is, as a refusal
    bool binary;
    const AsmSyntax* syntax; // for text
    OutputFinding why;
};

// Tells the form from the bytes at the start of the output, which are looked
// at but left to be read: a NUL (which no text kelvora writes holds) makes a
// binary; the first lines that are not blank or a comment make a syntax, by
// their spellings, the label line by its end (or, where the list's first
// written record is given, by how each syntax spells its name); failing
// that, bytes no text holds make a binary, and so does an empty output where
// the list writes a record. A C header or a binary's symbols, which hold no
// bytes, are named as such.
DetectedForm detect_output_form(OutputReader& reader, const ResourceRecord* first_written);

// Whether two syntaxes write the same text.
bool spelled_alike(const AsmSyntax& a, const AsmSyntax& b);

// The syntax named for messages, with those spelled alike: "the syntax of
// pasmo, z80asm, sjasmplus, rasm or z88dk"; "kelvora's own syntax, without
// --assembler" for the default.
void name_syntax(const AsmSyntax& syntax, char* text, std::size_t size);

} // namespace kelvora
