// The label set: entries in the order given, and open addressing over their
// hashes, probed in sequence from the slot the hash picks.
#include "check/label_set.h"

#include <sys/mman.h>

#include <cstring>

#include "model/zeroed_block.h"

namespace kelvora {
namespace {

// Most lists hold a few hundred labels; this many slots take 16 KiB.
constexpr std::size_t FIRST_SLOTS = 4096;
constexpr int NUMBER_BITS = 20; // an entry's number + 1, in the low bits of a slot
constexpr std::uint32_t NUMBER_MASK = (std::uint32_t{1} << NUMBER_BITS) - 1;

// A 128-bit product is one instruction on the machines this runs on.
__extension__ typedef unsigned __int128 Product;

// The high and low halves of the 128-bit product, folded into one word.
std::uint64_t fold_multiply(std::uint64_t a, std::uint64_t b) {
    const Product product = static_cast<Product>(a) * b;
    return static_cast<std::uint64_t>(product) ^ static_cast<std::uint64_t>(product >> 64);
}

constexpr std::uint64_t SEED_A = 0xa0761d6478bd642full;
constexpr std::uint64_t SEED_B = 0xe7037ed1a0b428dbull;

// The slot a hash starts at, from its high half; its low bits go into the
// slot, so a probe rarely needs to look at an entry that is not the one.
std::size_t home_slot(std::uint64_t hash, std::size_t slots) {
    return static_cast<std::size_t>(((hash >> 32) * slots) >> 32);
}

std::uint32_t slot_tag(std::uint64_t hash) {
    return static_cast<std::uint32_t>(hash) << NUMBER_BITS;
}

std::uint64_t entry_hash(const LabelEntry& entry) {
    return std::uint64_t{entry.hash_high} << 32 | entry.hash_low;
}

constexpr int POPULATE_WRITE = 23; // MADV_POPULATE_WRITE, Linux 5.14 on

// Takes the pages of [memory, memory + bytes) in one call rather than a
// fault each, which costs far more; a hint, like the huge pages.
void take_pages(void* memory, std::size_t bytes) {
    madvise(memory, bytes, POPULATE_WRITE);
}

// An index this large goes on a huge page of its own: one entry of the
// processor's page table covers it, where small pages would each need one
// for the index's random reads.
constexpr std::size_t HUGE_INDEX = std::size_t{2} << 20;
constexpr std::size_t HUGE_PAGE = std::size_t{2} << 20;

std::size_t index_bytes(std::size_t slots) {
    const std::size_t bytes = slots * sizeof(std::uint32_t);
    return bytes >= HUGE_INDEX ? (bytes + HUGE_PAGE - 1) & ~(HUGE_PAGE - 1) : bytes;
}

// Zeroed memory of ordinary pages; they are taken at once when `populate`
// is set. (The entries are written in sequence, so small pages serve them
// well, and a small list does not pay for zeroing a huge page.)
void* table_memory(std::size_t bytes, bool populate) {
    void* memory = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (memory == MAP_FAILED) {
        return nullptr;
    }
    if (populate) {
        take_pages(memory, bytes);
    }
    return memory;
}

// Entries are taken in pieces of this many bytes as the list goes on.
constexpr std::size_t ENTRY_PIECE = std::size_t{64} << 10;

void put(std::uint32_t* slot, std::size_t slots, std::uint64_t hash, std::size_t number) {
    std::size_t at = home_slot(hash, slots);
    while (slot[at] != 0) {
        at = at + 1 < slots ? at + 1 : 0;
    }
    slot[at] = slot_tag(hash) | static_cast<std::uint32_t>(number + 1);
}

// A larger index for the entries held, built from the entries in order;
// false, with the set as it was, when the memory can't be had.
bool grow(LabelSet& set, std::size_t least_slots) {
    // Doubling, but the last step goes straight to the largest size.
    std::size_t slots = set.slots == 0 ? FIRST_SLOTS : 2 * set.slots;
    while (slots < least_slots) {
        slots *= 2;
    }
    if (slots > LabelSet::MAX_SLOTS / 2) {
        slots = LabelSet::MAX_SLOTS;
    }
    const std::size_t bytes = index_bytes(slots);
    auto* slot = static_cast<std::uint32_t*>(bytes >= HUGE_INDEX ? allocate_zeroed_block(bytes)
                                                                 : table_memory(bytes, true));
    if (slot == nullptr) {
        return false;
    }
    // The entries come in the order given, so their slots are far apart:
    // each is fetched a few entries ahead.
    constexpr std::size_t AHEAD = 16;
    for (std::size_t i = 0; i < set.labels; ++i) {
        if (i + AHEAD < set.labels) {
            __builtin_prefetch(&slot[home_slot(entry_hash(set.entries[i + AHEAD]), slots)], 1);
        }
        put(slot, slots, entry_hash(set.entries[i]), i);
    }
    if (set.slot != nullptr) {
        munmap(set.slot, index_bytes(set.slots));
    }
    set.slot = slot;
    set.slots = slots;
    return true;
}

} // namespace

void start_label_set(LabelSet& set) {
    set.entries = nullptr;
    set.labels = 0;
    set.slot = nullptr;
    set.slots = 0;
    set.full = false;
}

void reserve_labels(LabelSet& set, std::size_t labels) {
    if (labels * 4 > set.slots * 3 && set.slots < LabelSet::MAX_SLOTS) {
        grow(set, labels / 3 * 4 + 1);
    }
}

void free_label_set(LabelSet& set) {
    if (set.entries != nullptr) {
        munmap(set.entries, LabelSet::MAX_LABELS * sizeof(LabelEntry));
    }
    if (set.slot != nullptr) {
        munmap(set.slot, index_bytes(set.slots));
    }
    start_label_set(set);
}

std::uint64_t label_hash(const char* label, std::size_t length) {
    // Sixteen bytes at a time, each pair of words multiplied together and
    // folded: a label is 79 bytes at most, most far fewer.
    std::uint64_t h = SEED_A ^ length;
    std::size_t i = 0;
    do {
        std::uint64_t words[2] = {0, 0};
        const std::size_t take = length - i < 16 ? length - i : 16;
        std::memcpy(words, label + i, take);
        h = fold_multiply(words[0] ^ SEED_B ^ h, words[1] ^ SEED_A);
        i += take;
    } while (i < length);
    return fold_multiply(h ^ SEED_B, h ^ SEED_A ^ length);
}

void prefetch_label(const LabelSet& set, std::uint64_t hash) {
    if (set.slots > 0) {
        __builtin_prefetch(&set.slot[home_slot(hash, set.slots)]);
    }
}

bool find_label(const LabelSet& set, std::uint64_t hash, std::int64_t& line) {
    if (set.slots == 0) {
        return false;
    }
    const std::uint32_t tag = slot_tag(hash);
    std::size_t at = home_slot(hash, set.slots);
    for (std::uint32_t s = set.slot[at]; s != 0; s = set.slot[at]) {
        if ((s & ~NUMBER_MASK) == tag) {
            const LabelEntry& entry = set.entries[(s & NUMBER_MASK) - 1];
            if (entry_hash(entry) == hash) {
                line = entry.line;
                return true;
            }
        }
        at = at + 1 < set.slots ? at + 1 : 0;
    }
    return false;
}

LabelLookup add_label(LabelSet& set, std::uint64_t hash, std::int64_t at_line, std::int64_t& line) {
    if (find_label(set, hash, line)) {
        return LabelLookup::Taken;
    }
    if (set.full) {
        return LabelLookup::New;
    }
    if (set.entries == nullptr) {
        // Reserved whole, but only the pages written are taken.
        set.entries = static_cast<LabelEntry*>(
            table_memory(LabelSet::MAX_LABELS * sizeof(LabelEntry), false));
    }
    // The index grows at three quarters full; the largest takes four fifths.
    const bool largest = set.slots == LabelSet::MAX_SLOTS;
    if (set.entries == nullptr || set.labels == LabelSet::MAX_LABELS ||
        (!largest && (set.labels + 1) * 4 > set.slots * 3 && !grow(set, 0))) {
        set.full = true;
        return LabelLookup::NowFull;
    }
    // Lines past 2^32 - 1 are kept as that; no list that long fits on a disk
    // of today's size anyway.
    const auto kept_line =
        static_cast<std::uint32_t>(at_line < 0xFFFFFFFF ? at_line : std::int64_t{0xFFFFFFFF});
    const std::size_t offset = set.labels * sizeof(LabelEntry);
    if (offset % ENTRY_PIECE < sizeof(LabelEntry)) {
        const std::size_t piece = offset - offset % ENTRY_PIECE;
        const std::size_t reserved = LabelSet::MAX_LABELS * sizeof(LabelEntry);
        take_pages(reinterpret_cast<char*>(set.entries) + piece,
                   piece + ENTRY_PIECE < reserved ? ENTRY_PIECE : reserved - piece);
    }
    set.entries[set.labels] = LabelEntry{static_cast<std::uint32_t>(hash),
                                         static_cast<std::uint32_t>(hash >> 32), kept_line};
    put(set.slot, set.slots, hash, set.labels);
    ++set.labels;
    return LabelLookup::Added;
}

void start_plain_label_set(PlainLabelSet& set) {
    set.lines.clear();
    set.full = false;
}

void free_plain_label_set(PlainLabelSet& set) {
    std::unordered_map<std::string, std::int64_t>().swap(set.lines);
    set.full = false;
}

LabelLookup add_plain_label(PlainLabelSet& set, std::string_view label, std::int64_t at_line,
                            std::int64_t& line) {
    const auto found = set.lines.find(std::string(label));
    if (found != set.lines.end()) {
        line = found->second;
        return LabelLookup::Taken;
    }
    if (set.full) {
        return LabelLookup::New;
    }
    if (set.lines.size() == LabelSet::MAX_LABELS) {
        set.full = true;
        return LabelLookup::NowFull;
    }
    // Lines are kept as the hashed set keeps them.
    set.lines.emplace(label, at_line < 0xFFFFFFFF ? at_line : std::int64_t{0xFFFFFFFF});
    return LabelLookup::Added;
}

} // namespace kelvora
