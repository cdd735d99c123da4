// Lines taken from the bytes a block at a time: the line feed is looked for
// in the bytes at hand, and what lies before it copied in one piece.
#include "output_reader/output_lines.h"

#include <cstring>

namespace kelvora {

void start_output_lines(OutputLines& lines, ByteReader& bytes) {
    lines.bytes = &bytes;
    lines.number = 0;
    lines.held = 0;
}

bool take_line(OutputLines& lines, OutputLine& line) {
    if (lines.held > 0) {
        const OutputLine& held = lines.held_lines[--lines.held];
        line.number = held.number;
        line.length = held.length;
        line.trouble = held.trouble;
        std::memcpy(line.text, held.text, static_cast<std::size_t>(held.length));
        return true;
    }
    ByteReader& in = *lines.bytes;
    if (peek_byte(in) < 0) {
        return false;
    }
    line.number = ++lines.number;
    line.length = 0;
    line.trouble = LineTrouble::None;
    bool cut = false;
    for (;;) {
        if (in.next == in.end && !refill(in)) {
            line.trouble = LineTrouble::NoLineFeed;
            break;
        }
        const auto* feed = static_cast<const unsigned char*>(
            std::memchr(in.next, '\n', static_cast<std::size_t>(in.end - in.next)));
        const unsigned char* const stop = feed != nullptr ? feed : in.end;
        const auto count = static_cast<std::size_t>(stop - in.next);
        const std::size_t room = static_cast<std::size_t>(MAX_OUTPUT_LINE - line.length);
        const std::size_t kept = count < room ? count : room;
        std::memcpy(line.text + line.length, in.next, kept);
        line.length += static_cast<int>(kept);
        cut = cut || kept < count;
        in.next = feed != nullptr ? feed + 1 : in.end;
        if (feed != nullptr) {
            break;
        }
    }
    if (cut && std::memchr(line.text, ';', static_cast<std::size_t>(line.length)) == nullptr) {
        line.trouble = LineTrouble::TooLong;
    } else if (line.trouble == LineTrouble::None && line.length > 0 &&
               line.text[line.length - 1] == '\r' && !cut) {
        line.trouble = LineTrouble::CarriageReturn;
    }
    return true;
}

void give_back_line(OutputLines& lines, const OutputLine& line) {
    OutputLine& held = lines.held_lines[lines.held++];
    held.number = line.number;
    held.length = line.length;
    held.trouble = line.trouble;
    std::memcpy(held.text, line.text, static_cast<std::size_t>(line.length));
}

} // namespace kelvora
