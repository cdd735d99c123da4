// The labels a list has given so far, each with the line it was given on,
// for finding a label given twice. Each label is kept as a 64-bit hash of
// its bytes, not as text: the hashes and lines in the order the labels came
// (written in sequence), and an index to them small enough to stay in the
// processor's cache for lists of many thousand labels. Both grow with the
// list up to a fixed size; past that, later labels are still looked up but
// no longer added.
//
// What is sound about it: every label given twice among the first
// MAX_LABELS is found, with the line of its first use. Two different labels
// are taken for one only when their 64-bit hashes are equal, which for a
// million labels happens about once in thirty million lists. A label whose
// first use came after the set was full is not found again, and the check
// says so once, at the first label it had no room for.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>

namespace kelvora {

// One label: its hash and the line of its first use.
struct LabelEntry {
    std::uint32_t hash_low;
    std::uint32_t hash_high;
    std::uint32_t line;
};

struct LabelSet {
    // About a million labels: 12 MiB of entries and 5 MiB of index at most.
    static constexpr std::size_t MAX_LABELS = (std::size_t{1} << 20) - 1;
    static constexpr std::size_t MAX_SLOTS = std::size_t{5} << 18;
    LabelEntry* entries; // room for MAX_LABELS, taken page by page as written
    std::size_t labels;
    // Open addressing over the hashes: each slot 0 (empty) or 12 more bits
    // of the hash above the entry's number + 1.
    std::uint32_t* slot;
    std::size_t slots;
    bool full;
};

void start_label_set(LabelSet& set);

// Makes room for about `labels` labels at once, sparing the steps of growing
// to that size (the list's size foretells its labels).
void reserve_labels(LabelSet& set, std::size_t labels);
void free_label_set(LabelSet& set);

enum class LabelLookup : std::uint8_t {
    Added,   // new, and kept
    Taken,   // given before, on `line`
    NowFull, // new, and the first label the set had no room for
    New,     // new, and not kept: the set is full
};

// The 64-bit hash a label is kept as.
std::uint64_t label_hash(const char* label, std::size_t length);

// Starts fetching the memory the label will be looked up in.
void prefetch_label(const LabelSet& set, std::uint64_t hash);

// Whether a label with the hash was given before, and on which `line`.
bool find_label(const LabelSet& set, std::uint64_t hash, std::int64_t& line);

// Looks the label up by its hash and adds it when it is new and there is
// room. On Taken, `line` is the line of its first use.
LabelLookup add_label(LabelSet& set, std::uint64_t hash, std::int64_t at_line, std::int64_t& line);

// The plain twin: the labels themselves, kept whole, so that two labels are
// one only when every byte is; at most MAX_LABELS, like the hashed set. What
// a build of the plain forms checks with, and what the hashed set is tested
// against: a fault in the hash shows as a difference.
struct PlainLabelSet {
    std::unordered_map<std::string, std::int64_t> lines; // each label's first line
    bool full;
};

void start_plain_label_set(PlainLabelSet& set);
void free_plain_label_set(PlainLabelSet& set);

// add_label by the label's bytes.
LabelLookup add_plain_label(PlainLabelSet& set, std::string_view label, std::int64_t at_line,
                            std::int64_t& line);

} // namespace kelvora
