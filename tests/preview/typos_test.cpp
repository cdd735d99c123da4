// The typing slips the check names, as a rule table: a line, the slip it
// holds (or none), and the line as meant. Lines that kelvora reads right,
// or whose fault is not a slip, must name none.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "check/typos.h"

namespace kelvora {
namespace {

struct Row {
    const char* line;
    bool found;
    FindingKind kind;
    int field;
    const char* written;
    const char* meant;
};

using K = FindingKind;

// clang-format off
const Row ROWS[] = {
    {"logo=B,-8,0,16,8,0",            true,  K::SignTypo,          FIELD_X,      "-8",       "logo=B,8,0,16,8,0"},
    {"logo=B,0,0,16,8,+7 ; white",    true,  K::SignTypo,          FIELD_COLOUR, "+7",       "logo=B,0,0,16,8,7"},
    {"logo=B,0x10,0,16,8,0",          true,  K::HexTypo,           FIELD_X,      "0x10",     "logo=B,16,0,16,8,0"},
    {"logo=T,0,0,0X1F,8,0",           true,  K::HexTypo,           FIELD_WIDTH,  "0X1F",     "logo=T,0,0,31,8,0"},
    {"ghost s,48,0,16,16,7",          true,  K::MissingEquals,     FIELD_NAME,   "ghost s",  "ghost=s,48,0,16,16,7"},
    {"logo=B;0,0,16,8,0",             true,  K::SemicolonInRecord, FIELD_KIND,   ";",        "logo=B,0,0,16,8,0"},
    {"logo=0,0,16,8,B,0",             true,  K::FieldMisplaced,    FIELD_KIND,   "B",        "logo=B,0,0,16,8,0"},
    {"logo=B,-8,0x10,16,8,0",         true,  K::SignTypo,          FIELD_X,      "-8",       "logo=B,8,16,16,8,0"},
    {"logo=B,0,0,16,8,0",             false, K::SignTypo,          0,            "",         ""},
    {"logo=B,0,0,16;8,0",             false, K::SignTypo,          0,            "",         ""},
    {"logo=b,0,0,16,8,0",             false, K::SignTypo,          0,            "",         ""},
    {"font = T, 16, 0, 16, 8, 7",     false, K::SignTypo,          0,            "",         ""},
    {"logo=B,0,0,16,8",               false, K::SignTypo,          0,            "",         ""},
    {"logo=B,0,0,16,8,0,9",           false, K::SignTypo,          0,            "",         ""},
    {"logo,B,0,0,16,8,0",             false, K::SignTypo,          0,            "",         ""},
    {"logo=0,0,16,8,0,0",             false, K::SignTypo,          0,            "",         ""},
    {"logo=B,0x1G,0,16,8,0",          false, K::SignTypo,          0,            "",         ""},
};
// clang-format on

TEST(Typos, EachSlipIsNamedWithTheLineAsMeant) {
    for (const Row& row : ROWS) {
        const Typo typo = find_typo(row.line, std::strlen(row.line));
        EXPECT_EQ(typo.found, row.found) << row.line;
        if (!row.found || !typo.found) {
            continue;
        }
        EXPECT_EQ(typo.kind, row.kind) << row.line;
        EXPECT_EQ(typo.field, row.field) << row.line;
        EXPECT_STREQ(typo.written, row.written) << row.line;
        EXPECT_EQ(std::string(typo.meant, typo.meant_length), row.meant) << row.line;
    }
}

} // namespace
} // namespace kelvora
