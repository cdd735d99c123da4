// Finding a typing slip: the line is read as it was meant (name, "=", the
// kind, five numbers), each slip mended on the way; a line that reads so
// only through a slip had one.
#include "check/typos.h"

#include <cinttypes>
#include <cstdio>
#include <cstring>

#include "check/finding_line.h"
#include "model/resource_record.h"

namespace kelvora {
namespace {

struct Piece {
    const char* text;
    std::size_t length;
};

bool digits_only(const char* text, std::size_t length) {
    if (length == 0) {
        return false;
    }
    for (std::size_t i = 0; i < length; ++i) {
        if (!is_digit(text[i])) {
            return false;
        }
    }
    return true;
}

int hex_value(char c) {
    if (is_digit(c)) {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    return c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
}

bool is_kind_piece(Piece piece) {
    return piece.length == 1 && is_kind_letter(piece.text[0]);
}

void append(Typo& typo, const char* text, std::size_t length) {
    const std::size_t room = sizeof typo.meant - 1 - typo.meant_length;
    const std::size_t taken = length < room ? length : room;
    std::memcpy(typo.meant + typo.meant_length, text, taken);
    typo.meant_length += taken;
    typo.meant[typo.meant_length] = '\0';
}

void note_slip(Typo& typo, FindingKind kind, int field, const char* written, std::size_t length) {
    if (typo.found) {
        return; // the first slip is named; the line as meant mends them all
    }
    typo.found = true;
    typo.kind = kind;
    typo.field = field;
    const std::size_t taken = length < sizeof typo.written - 1 ? length : sizeof typo.written - 1;
    std::memcpy(typo.written, written, taken);
    typo.written[taken] = '\0';
}

// A number as meant: plain digits, or digits after a sign, or "0x" and
// hexadecimal digits; false for anything else.
bool mend_number(Typo& typo, int field, Piece piece, char (&mended)[24], std::size_t& length) {
    if (digits_only(piece.text, piece.length) && piece.length < sizeof mended) {
        std::memcpy(mended, piece.text, piece.length);
        length = piece.length;
        return true;
    }
    if (piece.length >= 2 && (piece.text[0] == '-' || piece.text[0] == '+') &&
        digits_only(piece.text + 1, piece.length - 1) && piece.length - 1 < sizeof mended) {
        note_slip(typo, FindingKind::SignTypo, field, piece.text, piece.length);
        std::memcpy(mended, piece.text + 1, piece.length - 1);
        length = piece.length - 1;
        return true;
    }
    if (piece.length >= 3 && piece.length <= 10 && piece.text[0] == '0' &&
        (piece.text[1] == 'x' || piece.text[1] == 'X')) {
        std::uint64_t value = 0;
        for (std::size_t i = 2; i < piece.length; ++i) {
            const int digit = hex_value(piece.text[i]);
            if (digit < 0) {
                return false;
            }
            value = value * 16 + static_cast<std::uint64_t>(digit);
        }
        note_slip(typo, FindingKind::HexTypo, field, piece.text, piece.length);
        length = static_cast<std::size_t>(std::snprintf(mended, sizeof mended, "%" PRIu64, value));
        return true;
    }
    return false;
}

} // namespace

Typo find_typo(const char* line, std::size_t length) {
    Typo typo{};
    // A comment starts at a ";" after a blank; one right after a byte of
    // the record is a slip of its own, looked at below.
    std::size_t end = length;
    for (std::size_t i = 1; i < length; ++i) {
        if (line[i] == ';' && is_blank(line[i - 1])) {
            end = i;
            break;
        }
    }
    while (end > 0 && is_blank(line[end - 1])) {
        --end;
    }
    const char* const stop = line + end;
    const char* equals = static_cast<const char*>(std::memchr(line, '=', end));
    const char* comma = static_cast<const char*>(std::memchr(line, ',', end));
    Piece name{line, 0};
    Piece pieces[8];
    int count = 0;
    const char* fields = nullptr;
    if (equals != nullptr && (comma == nullptr || equals < comma)) {
        name.length = static_cast<std::size_t>(equals - line);
        fields = equals + 1;
    } else if (comma != nullptr) {
        // No "=" before the first ",": a blank typed for it leaves the
        // kind at the end of the name.
        const char* blank = comma;
        while (blank > line && !is_blank(blank[-1])) {
            --blank;
        }
        name.length = static_cast<std::size_t>(blank - line);
        while (name.length > 0 && is_blank(line[name.length - 1])) {
            --name.length;
        }
        if (blank == line || blank == comma || name.length == 0) {
            return Typo{};
        }
        note_slip(typo, FindingKind::MissingEquals, FIELD_NAME, line,
                  static_cast<std::size_t>(comma - line));
        pieces[count++] = Piece{blank, static_cast<std::size_t>(comma - blank)};
        fields = comma + 1;
    } else {
        return Typo{};
    }
    for (std::size_t i = 0; i < name.length; ++i) {
        if (is_blank(name.text[i]) || name.text[i] == ';') {
            return Typo{};
        }
    }
    // The fields, split at "," and at a ";" typed for one.
    const char* start = fields;
    for (const char* p = fields;; ++p) {
        if (p == stop || *p == ',' || *p == ';') {
            if (count == 8) {
                return Typo{};
            }
            pieces[count++] = Piece{start, static_cast<std::size_t>(p - start)};
            if (p == stop) {
                break;
            }
            // Between numbers any byte but a digit separates, a ";" too;
            // after the kind it starts a comment, which drops the kind with
            // the rest of the line.
            if (*p == ';' && count == 1) {
                note_slip(typo, FindingKind::SemicolonInRecord, FIELD_KIND, ";", 1);
            }
            start = p + 1;
        }
    }
    if (count != 6) {
        return Typo{};
    }
    // The kind first; or a number there and the kind among the numbers.
    int kind_at = 0;
    if (!is_kind_piece(pieces[0])) {
        for (int i = 1; i < 6; ++i) {
            if (is_kind_piece(pieces[i])) {
                kind_at = kind_at == 0 ? i : -1;
            }
        }
        if (kind_at <= 0 || !digits_only(pieces[0].text, pieces[0].length)) {
            return Typo{};
        }
        note_slip(typo, FindingKind::FieldMisplaced, FIELD_KIND, pieces[kind_at].text, 1);
    }
    append(typo, name.text, name.length);
    append(typo, "=", 1);
    append(typo, pieces[kind_at].text, 1);
    int field = FIELD_X;
    for (int i = 0; i < 6; ++i) {
        if (i == kind_at) {
            continue;
        }
        char mended[24];
        std::size_t mended_length = 0;
        if (!mend_number(typo, field, pieces[i], mended, mended_length)) {
            return Typo{};
        }
        append(typo, ",", 1);
        append(typo, mended, mended_length);
        ++field;
    }
    return typo.found ? typo : Typo{};
}

} // namespace kelvora
