// The shipped example: its generator reproduces the committed picture and
// list, and the program reproduces the committed output byte for byte.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "test_support.h"

namespace kelvora {
namespace {

namespace fs = std::filesystem;
using test::quoted;
using test::read_file;
using test::run_kelvora;
using test::TempDir;

const fs::path EXAMPLES = fs::path(KELVORA_SOURCE_DIR) / "examples";

TEST(Example, GeneratorReproducesTheCommittedFiles) {
    TempDir dir;
    const std::string command = quoted(MAKE_EXAMPLE_BINARY) + " " + quoted(dir.path().string());
    ASSERT_EQ(std::system(command.c_str()), 0);
    EXPECT_EQ(read_file(dir / "testpic.bmp"), read_file(EXAMPLES / "testpic.bmp"));
    EXPECT_EQ(read_file(dir / "testpic.txt"), read_file(EXAMPLES / "testpic.txt"));
}

TEST(Example, ProgramReproducesTheCommittedOutput) {
    TempDir dir;
    const std::string arguments = quoted((EXAMPLES / "testpic.bmp").string()) + " " +
                                  quoted((EXAMPLES / "testpic.txt").string()) + " out.asm";
    EXPECT_EQ(run_kelvora(dir.path(), arguments), "");
    const std::string expected = read_file(EXAMPLES / "testpic.asm");
    ASSERT_FALSE(expected.empty());
    EXPECT_EQ(read_file(dir / "out.asm"), expected);
}

TEST(Example, DefaultNamesConvertTheExampleFromItsFolder) {
    TempDir dir;
    for (const char* name : {"testpic.bmp", "testpic.txt"}) {
        fs::copy_file(EXAMPLES / name, dir / name);
    }
    EXPECT_EQ(run_kelvora(dir.path(), ""), "Kelvora\n\tkelvora.exe file.bmp file.txt file.asm\n");
    EXPECT_EQ(read_file(dir / "testpic.asm"), read_file(EXAMPLES / "testpic.asm"));
}

} // namespace
} // namespace kelvora
