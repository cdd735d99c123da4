// The labels a list has given so far, each with the line it was given on,
// for finding a label given twice. Each label is kept as a 64-bit hash of
// its bytes, not as text, in a table that grows with the list up to a fixed
// size; past that, later labels are still looked up but no longer added.
//
// What is sound about it: every label given twice among the first
// MAX_LABELS is found, with the line of its first use. Two different labels
// are taken for one only when their 64-bit hashes are equal, which for a
// million labels happens about once in thirty million lists. A label whose
// first use came after the table was full is not found again, and the
// check says so once, at the first label it had no room for.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kelvora {

struct LabelSet {
    // Room for 1,048,576 labels: 16 MiB at most, reached in steps.
    static constexpr std::size_t MAX_SLOTS = std::size_t{5} << 18;
    static constexpr std::size_t MAX_LABELS = MAX_SLOTS / 5 * 4;
    std::uint64_t* hashes; // 0 marks an empty slot
    std::uint32_t* lines;  // the line of each label's first use
    std::size_t slots;
    std::size_t labels;
    bool full;
};

void start_label_set(LabelSet& set);
void free_label_set(LabelSet& set);

enum class LabelLookup : std::uint8_t {
    Added,   // new, and kept
    Taken,   // given before, on `line`
    NowFull, // new, and the first label the set had no room for
    New,     // new, and not kept: the set is full
};

// Looks the label up and adds it when it is new and there is room. On
// Taken, `line` is the line of its first use.
LabelLookup add_label(LabelSet& set, const char* label, std::size_t length, std::int64_t at_line,
                      std::int64_t& line);

} // namespace kelvora
