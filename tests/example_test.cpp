// The shipped example: its generator reproduces the committed picture and
// list, and the program reproduces the committed output byte for byte, an
// output that reads back as the example's conversion.
#include <gtest/gtest.h>

#include <filesystem>

#include "test_support.h"

namespace kelvora {
namespace {

namespace fs = std::filesystem;
using test::read_file;
using test::run_kelvora;
using test::TempDir;

const fs::path EXAMPLES = test::SOURCE_DIR / "examples";

TEST(Example, GeneratorReproducesTheCommittedFiles) {
    TempDir dir;
    ASSERT_EQ(test::run_program(dir.path(), {MAKE_EXAMPLE_BINARY, dir.path().string()}).status, 0);
    EXPECT_EQ(read_file(dir / "testpic.bmp"), read_file(EXAMPLES / "testpic.bmp"));
    EXPECT_EQ(read_file(dir / "testpic.txt"), read_file(EXAMPLES / "testpic.txt"));
}

TEST(Example, DefaultNamesConvertTheExampleFromItsFolder) {
    TempDir dir;
    for (const char* name : {"testpic.bmp", "testpic.txt"}) {
        fs::copy_file(EXAMPLES / name, dir / name);
    }
    EXPECT_EQ(run_kelvora(dir.path(), {}).out,
              "Kelvora\n\tkelvora.exe file.bmp file.txt file.asm\n");
    EXPECT_EQ(read_file(dir / "testpic.asm"), read_file(EXAMPLES / "testpic.asm"));
    // The committed output is itself what the example converts to.
    EXPECT_EQ(test::read_back_fault(read_file(EXAMPLES / "testpic.bmp"),
                                    read_file(EXAMPLES / "testpic.txt"),
                                    read_file(EXAMPLES / "testpic.asm"), ""),
              "");
}

} // namespace
} // namespace kelvora
