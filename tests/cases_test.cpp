// Whole runs of kelvora as data: each case in tests/cases is a picture
// (NAME.bmp or NAME.png), a list (NAME.txt), the output expected byte for byte (NAME.asm;
// none when no output may be created) and the messages expected on standard
// output (NAME.out; none when there are none). Adding a case is adding files.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "test_support.h"

namespace kelvora {
namespace {

namespace fs = std::filesystem;
using test::read_file;

const fs::path CASES = test::SOURCE_DIR / "tests" / "cases";

std::vector<std::string> case_names() {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(CASES)) {
        if (entry.path().extension() == ".txt") {
            names.push_back(entry.path().stem().string());
        }
    }
    std::sort(names.begin(), names.end());
    return names;
}

// The expected contents of an optional case file, and whether it is there.
struct Expected {
    bool present;
    std::string bytes;
};

Expected expected(const std::string& name, const char* extension) {
    const fs::path path = CASES / (name + extension);
    return {fs::exists(path), fs::exists(path) ? read_file(path) : std::string()};
}

class Case : public testing::TestWithParam<std::string> {};

TEST_P(Case, ConvertsAsRecorded) {
    const std::string& name = GetParam();
    test::TempDir dir;
    const std::string picture = name + (fs::exists(CASES / (name + ".png")) ? ".png" : ".bmp");
    const std::string list = name + ".txt";
    const std::string output = name + ".asm";
    fs::copy_file(CASES / picture, dir / picture);
    fs::copy_file(CASES / list, dir / list);

    const test::Run run = test::run_kelvora(dir.path(), {picture, list, output});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, expected(name, ".out").bytes);
    const Expected asm_file = expected(name, ".asm");
    ASSERT_EQ(fs::exists(dir / output), asm_file.present);
    // Compared whole, but reported as a count: outputs can be long.
    const std::string written = asm_file.present ? read_file(dir / output) : "";
    EXPECT_TRUE(written == asm_file.bytes)
        << output << " differs from the recorded one: " << written.size() << " bytes against "
        << asm_file.bytes.size() << ", first difference at byte "
        << std::mismatch(written.begin(), written.end(), asm_file.bytes.begin(),
                         asm_file.bytes.end())
                   .first -
               written.begin();
}

std::string test_name(const testing::TestParamInfo<std::string>& info) {
    std::string name = info.param;
    std::replace_if(
        name.begin(), name.end(), [](char c) { return !std::isalnum(c); }, '_');
    return name;
}

INSTANTIATE_TEST_SUITE_P(Cases, Case, testing::ValuesIn(case_names()), test_name);

} // namespace
} // namespace kelvora
