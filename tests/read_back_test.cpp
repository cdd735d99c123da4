// The read-back reader in every syntax: kelvora's output for each
// --assembler reads back as the conversion in that syntax, and the same
// output with one spelling of another syntax, one wrong byte or one wrong
// fill does not, at the line where it goes wrong. A reader that let a
// syntax's leads, label end or alignment line pass loosely would let a
// writer fault in that syntax through.
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "output/asm_syntax.h"
#include "test_support.h"

namespace kelvora {
namespace {

// A block, a tile table (its alignment, its 16-pixel band filled with 0xee)
// and a sprite: every kind of line each syntax spells.
const std::string LIST = "b=B,0,0,8,8,7\nt=T,0,0,16,8,7\ns=S,8,0,8,8,7\n";

struct Row {
    const char* assembler; // "" for the output without --assembler
    const char* from;      // a spelling in that output, its first place replaced...
    const char* to;        // ...by this one; both "" for the output as written
    const char* verdict;   // what reading it back says, "" when it fits
    bool last = false;     // the last place replaced, not the first
};

// clang-format off
const Row ROWS[] = {
    {"",       "",                   "",                   ""},
    {"gnu",    "",                   "",                   ""},
    {"pasmo",  "",                   "",                   ""},
    {"z80asm", "",                   "",                   ""},
    {"sdas",   "",                   "",                   ""},
    {"",       "\tds (-$)&0xff\n",   "\t.balign 256\n",    "line 5: \"\\tds (-$)&0xff\", this output's alignment line, expected, not \"\\t.balign 256\""},
    {"",       "b\n",                "b:\n",               "line 1: the label \"b:\" is not the list's \"b\""},
    {"gnu",    "b:\n",               "b\n",                "line 2: \"b:\", the label line, expected, not \"b\""},
    {"gnu",    "\t.global b\n",      "",                   "line 1: \"\\t.global b\", the line that makes a label global, expected, not \"b:\""},
    {"gnu",    "\t.balign 256\n",    "\tds (-$) & 0xff\n", "line 6: \"\\t.balign 256\", this output's alignment line, expected, not \"\\tds (-$) & 0xff\""},
    {"pasmo",  "\tds (-$) & 0xff\n", "\tds (-$)&0xff\n",   "line 5: \"\\tds (-$) & 0xff\", this output's alignment line, expected, not \"\\tds (-$)&0xff\""},
    {"z80asm", "\tds 0xee",          "\t.ds 0xee",         "line 9: lines that start \"\\tdb \" or \"\\tds \", as this output's syntax spells them, expected, not \"\\t.ds 0xee\""},
    {"z80asm", "\tds 0xee",          "\tds 0xef",          "line 9: \"t\", band 1: the fill is 0xef here, where the list's record fills 0xee, the rest of a page after 2 cells of 9 bytes"},
    {"sdas",   "\t.db 0x01\n",       "\tdb 0x01\n",        "line 2: lines that start \"\\t.db \" or \"\\t.ds \", as this output's syntax spells them, expected, not \"\\tdb 0x01\""},
    {"sdas",   "\t.db 0x01\n",       "\t.db 0x02\n",       "line 2: \"b\": the size bytes are 0x02, 0x01 here, where the list's record gives 0x01, 0x01 (its width and height in cells)"},
    {"sdas",   "\t.bndry 256\n",     "\t.balign 256\n",    "line 5: \"\\t.bndry 256\", this output's alignment line, expected, not \"\\t.balign 256\""},
    {"sdas",   "\t.ds ",             "\tds ",              "line 9: lines that start \"\\t.db \" or \"\\t.ds \", as this output's syntax spells them, expected, not \"\\tds 0xee\""},
    {"sdas",   "b::\n",              "b:\n",               "line 1: \"b::\", the label line, expected, not \"b:\""},
    {"sdcc",   "",                   "",                   ""},
    {"sdcc",   "\t.area _KELVORA\n", "",                   "line 1: \"\\t.area _KELVORA\", the output's first line, expected, not \"_b::\""},
    {"sdcc",   "_b::\n",             "b::\n",              "line 2: the label \"b:\" is not the list's \"b\""},
    {"sdcc",   "_b::\n",             "_b:\n",              "line 2: the label \"_b\" is not the list's \"b\""},
    {"sdcc",   "\t.bndry 256\n",     "",                   "line 22: \"\\t.bndry 256\", the line that ends an output holding a tile table on a page, expected at the end", true},
};
// clang-format on

TEST(ReadBack, ReadsEverySyntaxByItsOwnSpellings) {
    test::TempDir dir;
    const std::string picture = test::logo_picture(8);
    test::write_file(dir / "pic.bmp", picture);
    test::write_file(dir / "list.txt", LIST);
    std::map<std::string, std::string> outputs; // one run for each syntax
    for (const Row& row : ROWS) {
        const std::string assembler = row.assembler;
        const AsmSyntax& syntax =
            assembler.empty() ? DEFAULT_SYNTAX : *find_assembler(row.assembler);
        if (outputs.count(assembler) == 0) {
            std::vector<std::string> arguments{"pic.bmp", "list.txt", "out.asm"};
            if (!assembler.empty()) {
                arguments.insert(arguments.begin(), {"--assembler", assembler});
            }
            const test::Run run = test::run_kelvora(dir.path(), arguments);
            ASSERT_EQ(run.status, 0);
            outputs[assembler] = test::read_file(dir / "out.asm");
        }
        std::string output = outputs[assembler];
        const std::string from = row.from;
        if (!from.empty()) {
            const std::size_t at = row.last ? output.rfind(from) : output.find(from);
            ASSERT_NE(at, std::string::npos) << "\"" << assembler << "\": " << from;
            output.replace(at, from.size(), row.to);
        }
        EXPECT_EQ(test::read_back_fault(picture, LIST, output, "", syntax), row.verdict)
            << "\"" << assembler << "\": " << from << " -> " << row.to;
    }
}

// A wrong attribute byte, and text after the last record, each stop the
// reading at their line: the two checks a fault there would drop.
TEST(ReadBack, FindsAWrongAttributeAndTextAfterTheLastRecord) {
    test::TempDir dir;
    const std::string picture = test::logo_picture(8);
    test::write_file(dir / "pic.bmp", picture);
    test::write_file(dir / "list.txt", LIST);
    ASSERT_EQ(test::run_kelvora(dir.path(), {"pic.bmp", "list.txt", "out.asm"}).status, 0);
    const std::string output = test::read_file(dir / "out.asm");
    // The block's one cell line, the fourth after its label and two size
    // bytes, ends in its attribute: its last digit changed.
    std::size_t line_end = 0;
    for (int line = 0; line < 4; ++line) {
        line_end = output.find('\n', line_end + (line > 0 ? 1 : 0));
    }
    std::string wrong_attribute = output;
    const std::size_t last_digit = line_end - 1;
    wrong_attribute[last_digit] = wrong_attribute[last_digit] == '0' ? '1' : '0';
    EXPECT_NE(
        test::read_back_fault(picture, LIST, wrong_attribute, "", DEFAULT_SYNTAX).find("attribute"),
        std::string::npos);
    EXPECT_NE(test::read_back_fault(picture, LIST, output + "extra\n", "", DEFAULT_SYNTAX)
                  .find("text after the list's last record"),
              std::string::npos);
    // A line of bytes there is the last record's: more lines than it has.
    EXPECT_NE(test::read_back_fault(picture, LIST, output + "\tdb 0x00\n", "", DEFAULT_SYNTAX)
                  .find("they part from this line on"),
              std::string::npos);
}

} // namespace
} // namespace kelvora
