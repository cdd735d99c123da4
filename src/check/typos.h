// Typing slips in a record's line that kelvora reads as something else: a
// sign or "0x" before a number, a blank typed for "=", a ";" inside the
// record, the kind among the numbers. Each shifts the fields after it, so
// every finding about those fields would only follow from the slip; the
// check names the slip instead, with the line as it was meant.
#pragma once

#include <cstddef>

#include "check/finding.h"

namespace kelvora {

struct Typo {
    bool found;
    FindingKind kind; // SignTypo, HexTypo, MissingEquals, SemicolonInRecord or FieldMisplaced
    int field;        // the RecordField the slip stands in
    char written[24]; // the slip as written: "-8", "0x10", "ghost s", ";", "B"
    std::size_t meant_length;
    char meant[160]; // the line as meant, its comment left out
};

// Looks at the text of a record's line (its first line, from its name on,
// without the line end) for the first slip. Finds none in a line whose
// fields need no mending, or that a slip alone does not explain.
Typo find_typo(const char* line, std::size_t length);

} // namespace kelvora
