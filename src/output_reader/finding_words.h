// A finding of the reader put together in words, as the reader and the
// telling of an output's form both write them: text from the output is
// quoted so that every byte shows, whatever the output holds.
#pragma once

#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "output_reader/output_reader.h"

namespace kelvora {

// A finding's text, put together in its fixed buffer; what does not fit is
// left out.
struct Words {
    OutputFinding finding;
    std::size_t length;

    void add(std::string_view text) {
        const std::size_t room = sizeof finding.text - 1 - length;
        const std::size_t count = text.size() < room ? text.size() : room;
        std::memcpy(finding.text + length, text.data(), count);
        length += count;
        finding.text[length] = '\0';
    }

    void number(std::int64_t value) {
        char digits[24];
        std::snprintf(digits, sizeof digits, "%" PRId64, value);
        add(digits);
    }

    void hex(std::uint8_t value) {
        char digits[8];
        std::snprintf(digits, sizeof digits, "0x%02x", value);
        add(digits);
    }

    // Text from the output or the list, in quotes, with every byte that
    // would not show as itself written as an escape, and cut short.
    void quoted(std::string_view text) {
        constexpr std::size_t SHOWN = 60;
        add("\"");
        for (std::size_t i = 0; i < text.size() && i < SHOWN; ++i) {
            const auto byte = static_cast<unsigned char>(text[i]);
            char escaped[8];
            if (byte == '\t') {
                add("\\t");
            } else if (byte == '\r') {
                add("\\r");
            } else if (byte < 0x20 || byte >= 0x7F || byte == '"' || byte == '\\') {
                std::snprintf(escaped, sizeof escaped, "\\x%02x", byte);
                add(escaped);
            } else {
                add(std::string_view(&text[i], 1));
            }
        }
        add(text.size() > SHOWN ? "...\"" : "\"");
    }
};

inline Words start_words(const OutputReader& reader, bool refusal, std::int64_t at) {
    Words words{};
    words.finding.refusal = refusal;
    words.finding.binary = reader.binary;
    words.finding.at = at;
    words.length = 0;
    words.finding.text[0] = '\0';
    return words;
}

} // namespace kelvora
