// A text output line by line, in a fixed amount of memory whatever the
// file's size: each line is handed out without its line feed, and a line
// that runs on past what any line kelvora writes holds keeps only its start,
// which must then hold the ";" of a comment (the rest of a comment is never
// looked at). Lines are numbered from 1 as editors number them.
#pragma once

#include <cstdint>

#include "input/byte_reader.h"

namespace kelvora {

// The bytes of a line kept: more than the longest line kelvora writes (a
// sprite row of 128 cell columns, 1,287 bytes) and its longest label line.
inline constexpr int MAX_OUTPUT_LINE = 2048;

// What is wrong with a line whatever it should hold.
enum class LineTrouble : std::uint8_t {
    None,
    TooLong,        // longer than MAX_OUTPUT_LINE before any comment
    CarriageReturn, // it ends in CR: the file's lines end in CR LF
    NoLineFeed,     // the file ends in it, without a line feed
};

struct OutputLine {
    std::int64_t number;
    int length; // bytes of `text`: the whole line, or its start where it is too long
    LineTrouble trouble;
    char text[MAX_OUTPUT_LINE];
};

// Lines given back to be handed out again: the reader looks one line past a
// record's last to find where it ends, and telling the form gives back the
// first line with content and a line before it.
inline constexpr int HELD_LINES = 2;

struct OutputLines {
    ByteReader* bytes;
    std::int64_t number; // of the last line read from the bytes
    int held;
    OutputLine held_lines[HELD_LINES];
};

// Starts handing out the lines of `bytes`, which are read from their start.
void start_output_lines(OutputLines& lines, ByteReader& bytes);

// The next line into `line`: a line given back first, the last given back
// first; false at the end of the bytes (or at a read error, which `bytes`
// keeps).
bool take_line(OutputLines& lines, OutputLine& line);

// Gives a line back, to be handed out by the next take_line.
void give_back_line(OutputLines& lines, const OutputLine& line);

} // namespace kelvora
