// Whole runs as data. Each case in tests/cases is a picture (NAME.bmp or
// NAME.png), a list (NAME.txt), kelvora's output expected byte for byte
// (NAME.asm, or NAME.bin for --binary; none when no output may be created),
// the messages expected on standard output (NAME.out; none when there are
// none), the exit status when it is not 0 (NAME.exit) and, when there are
// any, the options (NAME.args), which go before the names unless they place
// them as PICTURE, LIST and OUTPUT, with every further file they make the run
// write, expected byte for byte under the name the options give it (a header
// NAME.h, say). Each case in tests/checks is a picture and a list with what
// `kelvora-preview --check` must print (NAME.check: a first line "# exit N",
// then the finding lines) and, when there are any, its extra arguments
// (NAME.args). Adding a case is adding files.
//
// Each recorded output is also read back and compared with the picture and
// the list converted in this process, so a recorded file that is itself
// wrong fails too. The recorded files are rewritten from the programs' runs
// only when KELVORA_REGENERATE=1 is set (or by the regenerate_cases
// target), and an output only when it reads back as the conversion.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "output/asm_syntax.h"
#include "test_support.h"

namespace kelvora {
namespace {

namespace fs = std::filesystem;
using test::read_file;

const fs::path CASES = test::SOURCE_DIR / "tests" / "cases";
const fs::path CHECKS = test::SOURCE_DIR / "tests" / "checks";

// The expected contents of an optional case file, and whether it is there.
struct Expected {
    bool present;
    std::string bytes;
};

Expected expected(const fs::path& folder, const std::string& name, const char* extension) {
    const fs::path path = folder / (name + extension);
    return {fs::exists(path), fs::exists(path) ? read_file(path) : std::string()};
}

// Copies the case's picture and list into `dir`; returns the picture's name.
std::string copy_inputs(const fs::path& folder, const std::string& name, const fs::path& dir) {
    const std::string picture = name + (fs::exists(folder / (name + ".png")) ? ".png" : ".bmp");
    fs::copy_file(folder / picture, dir / picture);
    fs::copy_file(folder / (name + ".txt"), dir / (name + ".txt"));
    return picture;
}

bool regenerating() {
    const char* const value = std::getenv("KELVORA_REGENERATE");
    return value != nullptr && std::string_view(value) == "1";
}

// Rewrites a recorded file with what a run gave, or removes it when the run
// gave nothing.
void record(const fs::path& path, bool present, const std::string& bytes) {
    if (present) {
        test::write_file(path, bytes);
    } else {
        fs::remove(path);
    }
}

// The case's arguments (NAME.args, blank-separated): its options, then the
// names; or, where the case places the names as PICTURE, LIST and OUTPUT,
// everything where it puts it.
std::vector<std::string> with_options(const fs::path& folder, const std::string& name,
                                      const std::vector<std::string>& names) {
    const std::string placeholders[] = {"PICTURE", "LIST", "OUTPUT"};
    std::vector<std::string> arguments;
    bool placed = false;
    std::istringstream words(expected(folder, name, ".args").bytes);
    for (std::string word; words >> word;) {
        for (std::size_t i = 0; i < names.size(); ++i) {
            if (word == placeholders[i]) {
                word = names[i];
                placed = true;
            }
        }
        arguments.push_back(word);
    }
    if (!placed) {
        arguments.insert(arguments.end(), names.begin(), names.end());
    }
    return arguments;
}

// The files a case's run writes besides its output, as recorded: every
// NAME.* but the inputs, the output, the messages and the options.
std::vector<std::string> further_outputs(const fs::path& folder, const std::string& name) {
    std::vector<std::string> files;
    for (const auto& entry : fs::directory_iterator(folder)) {
        const std::string file = entry.path().filename().string();
        const std::string extension = entry.path().extension().string();
        if (entry.path().stem() == name && extension != ".bmp" && extension != ".png" &&
            extension != ".txt" && extension != ".asm" && extension != ".bin" &&
            extension != ".out" && extension != ".args" && extension != ".exit") {
            files.push_back(file);
        }
    }
    std::sort(files.begin(), files.end());
    return files;
}

// The files a run wrote in `dir` besides the case's inputs and output.
std::vector<std::string> written_besides(const fs::path& dir,
                                         const std::vector<std::string>& known) {
    std::vector<std::string> files;
    for (const auto& entry : fs::directory_iterator(dir)) {
        const std::string file = entry.path().filename().string();
        if (std::find(known.begin(), known.end(), file) == known.end()) {
            files.push_back(file);
        }
    }
    std::sort(files.begin(), files.end());
    return files;
}

bool has(const std::vector<std::string>& arguments, const char* option) {
    return std::find(arguments.begin(), arguments.end(), option) != arguments.end();
}

// The syntax a case's options ask for: what its output is read back in.
const AsmSyntax& syntax_of(const std::vector<std::string>& arguments) {
    const AsmSyntax* asked = &DEFAULT_SYNTAX;
    for (std::size_t i = 0; i < arguments.size() && arguments[i] != "--"; ++i) {
        const std::string_view word = arguments[i];
        const AsmSyntax* syntax =
            word == "--assembler" && i + 1 < arguments.size() ? find_assembler(arguments[i + 1])
            : word.rfind("--assembler=", 0) == 0              ? find_assembler(word.substr(12))
                                                              : nullptr;
        asked = syntax != nullptr ? syntax : asked;
    }
    return *asked;
}

class Case : public testing::TestWithParam<std::string> {};

TEST_P(Case, ConvertsAsRecorded) {
    const std::string& name = GetParam();
    test::TempDir dir;
    const std::string picture = copy_inputs(CASES, name, dir.path());
    // A binary is NAME.bin; assembler text, NAME.asm.
    const bool binary = has(with_options(CASES, name, {}), "--binary");
    const std::string output = name + (binary ? ".bin" : ".asm");
    const std::vector<std::string> arguments =
        with_options(CASES, name, {picture, name + ".txt", output});
    // A C header beside the output is read back with it.
    const auto reads_back = [&](const std::string& text, const std::string& messages,
                                const fs::path& folder) {
        const fs::path header = folder / (name + ".h");
        const std::string header_text = fs::exists(header) ? read_file(header) : "";
        return test::read_back_fault(read_file(dir / picture), read_file(dir / (name + ".txt")),
                                     text, messages, syntax_of(arguments),
                                     fs::exists(header) ? &header_text : nullptr, binary);
    };
    const test::Run run = test::run_kelvora(dir.path(), arguments);
    const std::vector<std::string> further =
        written_besides(dir.path(), {picture, name + ".txt", output});
    if (regenerating()) {
        const bool written = fs::exists(dir / output);
        const std::string text = written ? read_file(dir / output) : "";
        if (written) {
            const std::string fault = reads_back(text, run.out, dir.path());
            ASSERT_EQ(fault, "") << output << " not recorded: it does not read back";
        }
        record(CASES / output, written, text);
        record(CASES / (name + ".out"), !run.out.empty(), run.out);
        record(CASES / (name + ".exit"), run.status != 0, std::to_string(run.status) + "\n");
        for (const std::string& file : further_outputs(CASES, name)) {
            fs::remove(CASES / file);
        }
        for (const std::string& file : further) {
            test::write_file(CASES / file, read_file(dir / file));
        }
    }
    ASSERT_EQ(further, further_outputs(CASES, name)) << "the files written besides the output";
    for (const std::string& file : further) {
        EXPECT_TRUE(read_file(dir / file) == read_file(CASES / file))
            << file << " differs from the recorded one";
    }
    const Expected exit_status = expected(CASES, name, ".exit");
    EXPECT_EQ(run.status, exit_status.present ? std::stoi(exit_status.bytes) : 0);
    EXPECT_EQ(run.out, expected(CASES, name, ".out").bytes);
    const Expected asm_file = expected(CASES, name, binary ? ".bin" : ".asm");
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
    if (asm_file.present) {
        EXPECT_EQ(reads_back(asm_file.bytes, expected(CASES, name, ".out").bytes, CASES), "")
            << "the recorded " << output << " read back";
    }
}

std::string test_name(const testing::TestParamInfo<std::string>& info) {
    std::string name = info.param;
    std::replace_if(
        name.begin(), name.end(), [](char c) { return !std::isalnum(c); }, '_');
    return name;
}

INSTANTIATE_TEST_SUITE_P(Cases, Case, testing::ValuesIn(test::case_names(CASES)), test_name);

class Check : public testing::TestWithParam<std::string> {};

TEST_P(Check, FindsWhatIsRecorded) {
    const std::string& name = GetParam();
    test::TempDir dir;
    const std::string picture = copy_inputs(CHECKS, name, dir.path());
    std::vector<std::string> arguments = with_options(CHECKS, name, {picture, name + ".txt"});
    arguments.insert(arguments.begin(), "--check");

    const test::Run run = test::run_preview(dir.path(), arguments);
    if (regenerating()) {
        test::write_file(CHECKS / (name + ".check"),
                         "# exit " + std::to_string(run.status) + "\n" + run.out);
    }
    const std::string recorded = read_file(CHECKS / (name + ".check"));
    const std::size_t first_line_end = recorded.find('\n');
    ASSERT_EQ(recorded.rfind("# exit ", 0), 0u) << name << ".check starts with \"# exit N\"";
    EXPECT_EQ(run.out, recorded.substr(first_line_end + 1));
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.status, std::stoi(recorded.substr(7, first_line_end - 7)));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator{}), 2)
        << "the check wrote a file";
}

INSTANTIATE_TEST_SUITE_P(Checks, Check, testing::ValuesIn(test::case_names(CHECKS)), test_name);

} // namespace
} // namespace kelvora
