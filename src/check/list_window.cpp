// The list window: bytes move to the front as the reading moves on, and the
// line ends of the bytes that leave are counted as they go.
#include "check/list_window.h"

#include "cells/swar.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace kelvora {
namespace {

bool is_line_end(const unsigned char* p, const unsigned char* end) {
    return *p == '\n' || (*p == '\r' && p + 1 < end && p[1] != '\n');
}

// Notes the first CR that no LF follows, at the line it ends.
void note_lone_cr(ListWindow& window, std::uint64_t offset, std::int64_t line) {
    if (window.first_lone_cr == ListWindow::NONE) {
        window.first_lone_cr = offset;
        window.lone_cr_line = line;
    }
}

// Counts the line ends from `counted` up to `offset`, which must be held
// with the byte after it (or be at the end of the list).
void count_forward(ListWindow& window, std::uint64_t offset) {
    const unsigned char* p = window.bytes + (window.counted - window.start);
    const unsigned char* const stop = window.bytes + (offset - window.start);
    const unsigned char* const end = window.bytes + window.held;
    std::int64_t line = window.line;
    // Eight bytes at a time where there is no CR among them: then only the
    // LFs count.
    while (p < stop) {
        if (stop - p >= 8) {
            const std::uint64_t word = load8(p);
            if (equal_bytes(word, '\r') == 0) {
                line +=
                    static_cast<std::int64_t>(((equal_bytes(word, '\n') >> 7) * LOW_BITS) >> 56);
                p += 8;
                continue;
            }
        }
        if (*p == '\n') {
            ++line;
        } else if (*p == '\r' && is_line_end(p, end)) {
            note_lone_cr(window, window.start + static_cast<std::uint64_t>(p - window.bytes), line);
            ++line;
        }
        ++p;
    }
    window.line = line;
    window.counted = offset;
}

void count_back(ListWindow& window, std::uint64_t offset) {
    const unsigned char* const stop = window.bytes + (offset - window.start);
    const unsigned char* p = window.bytes + (window.counted - window.start);
    const unsigned char* const end = window.bytes + window.held;
    while (p > stop) {
        --p;
        window.line -= is_line_end(p, end) ? 1 : 0;
    }
    window.counted = offset;
}

// Moves the kept bytes to the front and reads more after them. The line
// ends of the bytes that leave are counted first; a CR last among them
// waits for the byte after it. Returns false at the end of the list.
bool read_more(ListWindow& window) {
    if (window.at_end || window.error != 0) {
        return false;
    }
    std::uint64_t drop = window.keep_from > window.start ? window.keep_from - window.start : 0;
    if (drop > window.held) {
        drop = window.held;
    }
    // A record longer than the window: its oldest bytes go all the same.
    const std::size_t least_room = ListWindow::CAPACITY / 4;
    if (window.held - drop > ListWindow::CAPACITY - least_room) {
        drop = window.held - (ListWindow::CAPACITY - least_room);
    }
    if (drop > 1) {
        const std::uint64_t new_start = window.start + drop - 1; // keep one byte for a CR
        if (window.counted < new_start) {
            count_forward(window, new_start);
        }
        drop -= 1;
        std::memmove(window.bytes, window.bytes + drop, window.held - drop);
        window.start += drop;
        window.held -= drop;
    }
    for (;;) {
        const ssize_t got =
            read(window.fd, window.bytes + window.held, ListWindow::CAPACITY - window.held);
        if (got > 0) {
            window.held += static_cast<std::size_t>(got);
            return true;
        }
        if (got == 0) {
            window.at_end = true;
            return false;
        }
        if (errno != EINTR) {
            window.error = errno;
            return false;
        }
    }
}

// Points the reader at the held bytes from its own offset on.
void place_reader(ListWindow& window, ByteReader& reader, std::uint64_t offset) {
    reader.next = window.bytes + (offset - window.start);
    reader.end = window.bytes + window.held;
    reader.offset_of_end = window.start + window.held;
}

bool give_bytes(ByteReader& reader, void* context) {
    ListWindow& window = *static_cast<ListWindow*>(context);
    const std::uint64_t offset = bytes_taken(reader);
    const bool more = read_more(window);
    place_reader(window, reader, offset);
    if (window.error != 0) {
        reader.error = window.error;
    }
    return more;
}

} // namespace

void start_list_window(ListWindow& window, int fd, ByteReader& reader) {
    window.fd = fd;
    window.error = 0;
    window.at_end = false;
    window.start = 0;
    window.held = 0;
    window.keep_from = 0;
    window.counted = 0;
    window.line = 1;
    window.first_lone_cr = ListWindow::NONE;
    window.lone_cr_line = 0;
    start_reading_source(reader, give_bytes, &window);
    place_reader(window, reader, 0);
}

void keep_list_bytes(ListWindow& window, std::uint64_t offset) {
    window.keep_from = offset;
}

bool read_list_bytes(ListWindow& window, ByteReader& reader, std::uint64_t offset) {
    const std::uint64_t place = bytes_taken(reader);
    while (window.start + window.held < offset) {
        const std::uint64_t keep = window.keep_from;
        if (keep > place) {
            window.keep_from = place; // the reader's own bytes stay too
        }
        const bool more = read_more(window);
        window.keep_from = keep;
        place_reader(window, reader, place);
        if (!more) {
            return false;
        }
    }
    return true;
}

std::int64_t line_at(ListWindow& window, ByteReader& reader, std::uint64_t offset) {
    if (offset < window.start) {
        offset = window.start;
    }
    if (offset >= window.counted) {
        hold_list_bytes(window, reader, offset + 1); // a CR just before waits for it
        if (offset > window.start + window.held) {
            offset = window.start + window.held;
        }
        count_forward(window, offset);
    } else {
        count_back(window, offset);
    }
    return window.line;
}

void record_lines(ListWindow& window, ByteReader& reader, std::uint64_t first, std::uint64_t last,
                  std::int64_t& first_line, std::int64_t& last_line) {
    hold_list_bytes(window, reader, last + 2); // a CR last waits for the byte after it
    const std::uint64_t end = window.start + window.held;
    if (first < window.counted || last + 1 > end) {
        // Counted past already (a record longer than the window), or at
        // the end of the list: the general way.
        first_line = line_at(window, reader, first);
        last_line = line_at(window, reader, last);
        line_at(window, reader, last + 1);
        return;
    }
    count_forward(window, first);
    first_line = window.line;
    count_forward(window, last);
    last_line = window.line;
    count_forward(window, last + 1);
}

std::int64_t take_bare_line(ListWindow& window, std::uint64_t first, std::uint64_t end) {
    if (first != window.counted || end <= first || first < window.start ||
        end > window.start + window.held) {
        return 0;
    }
    const unsigned char* const p = window.bytes + (first - window.start);
    const std::size_t before_lf = end - first - 1;
    if (p[before_lf] != '\n') {
        return 0;
    }
    // Eight bytes at a time, the last eight overlapping the ones before.
    if (before_lf >= 8) {
        for (std::size_t i = 0; i + 8 <= before_lf; i += 8) {
            if (any_byte_below(load8(p + i), '!')) {
                return 0;
            }
        }
        if (any_byte_below(load8(p + before_lf - 8), '!')) {
            return 0;
        }
    } else {
        for (std::size_t i = 0; i < before_lf; ++i) {
            if (p[i] < '!') {
                return 0;
            }
        }
    }
    const std::int64_t line = window.line;
    window.line = line + 1;
    window.counted = end;
    return line;
}

bool ends_line(ListWindow& window, ByteReader& reader, std::uint64_t offset) {
    const int c = list_byte(window, offset);
    if (c == '\n') {
        return true;
    }
    if (c != '\r') {
        return false;
    }
    hold_list_bytes(window, reader, offset + 2);
    const int after = list_byte(window, offset + 1);
    return after >= 0 && after != '\n';
}

bool read_to_end(ListWindow& window, ByteReader& reader, std::uint64_t offset) {
    // The reader is done with the list: it is moved along with the scan, so
    // that the bytes behind the scan can go.
    bool more_text = false;
    for (;;) {
        const std::uint64_t end = window.start + window.held;
        for (std::uint64_t at = offset < window.start ? window.start : offset;
             at < end && !more_text; ++at) {
            const unsigned char c = window.bytes[at - window.start];
            more_text = c != ' ' && c != '\t' && c != '\r' && c != '\n';
        }
        offset = end;
        place_reader(window, reader, end);
        keep_list_bytes(window, end);
        const bool more = hold_list_bytes(window, reader, end + 1);
        line_at(window, reader, window.start + window.held);
        if (!more) {
            return more_text;
        }
    }
}

} // namespace kelvora
