// The label set: open addressing over a hash of each label, probed in
// sequence from the slot the hash picks.
#include "preview/label_set.h"

#include <sys/mman.h>

#include <cstring>

namespace kelvora {
namespace {

constexpr std::size_t FIRST_SLOTS = 4096;

std::uint64_t mix(std::uint64_t h) {
    h ^= h >> 33;
    h *= 0xff51afd7ed558ccdull;
    h ^= h >> 33;
    h *= 0xc4ceb9fe1a85ec53ull;
    h ^= h >> 33;
    return h;
}

// A 64-bit hash of the label's bytes, never 0.
std::uint64_t label_hash(const char* label, std::size_t length) {
    std::uint64_t h = 0x9e3779b97f4a7c15ull ^ (length * 0x2545f4914f6cdd1dull);
    std::size_t i = 0;
    for (; i + 8 <= length; i += 8) {
        std::uint64_t word;
        std::memcpy(&word, label + i, 8);
        h = mix(h ^ word) + 0x9e3779b97f4a7c15ull;
    }
    if (i < length) {
        std::uint64_t word = 0;
        std::memcpy(&word, label + i, length - i);
        h = mix(h ^ word) + 0x9e3779b97f4a7c15ull;
    }
    h = mix(h);
    return h != 0 ? h : 1;
}

std::size_t home_slot(std::uint64_t hash, std::size_t slots) {
    return static_cast<std::size_t>(((hash >> 32) * slots) >> 32);
}

// Zeroed memory for a table; large ones on huge pages where the system
// offers them, so that they fault in a few pieces.
void* table_memory(std::size_t bytes) {
    void* memory = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (memory == MAP_FAILED) {
        return nullptr;
    }
    if (bytes >= (std::size_t{2} << 20)) {
        madvise(memory, bytes, MADV_HUGEPAGE); // a hint: without it, ordinary pages
    }
    return memory;
}

void free_table(std::uint64_t* hashes, std::uint32_t* lines, std::size_t slots) {
    if (hashes != nullptr) {
        munmap(hashes, slots * sizeof *hashes);
    }
    if (lines != nullptr) {
        munmap(lines, slots * sizeof *lines);
    }
}

void put(std::uint64_t* hashes, std::uint32_t* lines, std::size_t slots, std::uint64_t hash,
         std::uint32_t line) {
    std::size_t at = home_slot(hash, slots);
    while (hashes[at] != 0) {
        at = at + 1 < slots ? at + 1 : 0;
    }
    hashes[at] = hash;
    lines[at] = line;
}

// A larger table for the labels held; false, with the set as it was, when
// the memory can't be had.
bool grow(LabelSet& set) {
    // Doubling, but the last step goes straight to the largest size, so
    // that the old and the new table never take more than 21 MiB together.
    std::size_t slots = set.slots == 0 ? FIRST_SLOTS : 2 * set.slots;
    if (slots > LabelSet::MAX_SLOTS / 2) {
        slots = LabelSet::MAX_SLOTS;
    }
    auto* hashes = static_cast<std::uint64_t*>(table_memory(slots * sizeof(std::uint64_t)));
    auto* lines = static_cast<std::uint32_t*>(table_memory(slots * sizeof(std::uint32_t)));
    if (hashes == nullptr || lines == nullptr) {
        free_table(hashes, lines, slots);
        return false;
    }
    for (std::size_t i = 0; i < set.slots; ++i) {
        if (set.hashes[i] != 0) {
            put(hashes, lines, slots, set.hashes[i], set.lines[i]);
        }
    }
    free_table(set.hashes, set.lines, set.slots);
    set.hashes = hashes;
    set.lines = lines;
    set.slots = slots;
    return true;
}

} // namespace

void start_label_set(LabelSet& set) {
    set.hashes = nullptr;
    set.lines = nullptr;
    set.slots = 0;
    set.labels = 0;
    set.full = false;
}

void free_label_set(LabelSet& set) {
    free_table(set.hashes, set.lines, set.slots);
    start_label_set(set);
}

LabelLookup add_label(LabelSet& set, const char* label, std::size_t length, std::int64_t at_line,
                      std::int64_t& line) {
    const std::uint64_t hash = label_hash(label, length);
    if (set.slots > 0) {
        std::size_t at = home_slot(hash, set.slots);
        while (set.hashes[at] != 0) {
            if (set.hashes[at] == hash) {
                line = set.lines[at];
                return LabelLookup::Taken;
            }
            at = at + 1 < set.slots ? at + 1 : 0;
        }
    }
    if (set.full) {
        return LabelLookup::New;
    }
    // Grown at three quarters full; the largest table takes four fifths.
    const bool largest = set.slots == LabelSet::MAX_SLOTS;
    if ((largest && set.labels == LabelSet::MAX_LABELS) ||
        (!largest && (set.labels + 1) * 4 > set.slots * 3 && !grow(set))) {
        set.full = true;
        return LabelLookup::NowFull;
    }
    // Lines past 2^32 - 1 are kept as that; no list that long fits on a disk
    // of today's size anyway.
    const auto kept_line =
        static_cast<std::uint32_t>(at_line < 0xFFFFFFFF ? at_line : std::int64_t{0xFFFFFFFF});
    put(set.hashes, set.lines, set.slots, hash, kept_line);
    ++set.labels;
    return LabelLookup::Added;
}

} // namespace kelvora
