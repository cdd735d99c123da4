// kelvora: converts an indexed-colour picture and a resource list into
// assembler source. The exit status of a run is 0 whatever happens, on
// purpose: the build scripts that call kelvora were written against that, and
// messages on standard output say what failed. Only a command line it can't
// make sense of (an option it does not know) ends with 2, converting
// nothing; no caller of old passes options.
#include <cstdio>
#include <new>

#include "files/files.h"
#include "main/command_line.h"
#include "main/run.h"
#include "output/asm_syntax.h"

namespace {

constexpr int USAGE_ERROR = 2;

// "gnu|pasmo|z80asm|sdas", from the table of syntaxes.
void print_assembler_names(const char* separator, std::FILE* out) {
    for (int i = 0; i < kelvora::ASSEMBLER_COUNT; ++i) {
        std::fputs(i > 0 ? separator : "", out);
        std::fputs(kelvora::ASSEMBLER_SYNTAXES[i].name, out);
    }
}

void print_usage_line(std::FILE* out) {
    std::fputs("usage: kelvora [--assembler ", out);
    print_assembler_names("|", out);
    std::fputs("] [--header FILE.h | --binary [--symbols FILE]] PICTURE LIST OUTPUT\n", out);
}

// On standard output, where kelvora's callers look for its messages.
int usage_error(const char* problem, const char* argument) {
    std::printf("kelvora: %s%s\n", problem, argument);
    print_usage_line(stdout);
    return USAGE_ERROR;
}

void print_help() {
    print_usage_line(stdout);
    std::fputs("Converts the records of the resource LIST, cut from PICTURE (BMP or PNG), into\n"
               "assembler source in OUTPUT.\n"
               "  --assembler NAME  write what that assembler takes: ",
               stdout);
    print_assembler_names(", ", stdout);
    std::fputs(".\n"
               "                    Without it the output is as it has always been.\n"
               "                    sjasmplus, rasm and z88dk take pasmo's spelling; z88dk\n"
               "                    was checked once with z88dk-z80asm built from source,\n"
               "                    not in CI.\n"
               "  --header FILE.h   with --assembler sdcc, also write a C header of the\n"
               "                    records to FILE.h\n"
               "  --binary          write the raw bytes the text assembles to at origin 0\n"
               "  --symbols FILE    with --binary, also write every label but the first,\n"
               "                    relative to the first, in --assembler's syntax\n"
               "  --help, -h        print this text\n"
               "  --                end the options, for a name that starts with \"-\"\n"
               "  --version         print the version\n"
               "Options may come after the names too, there only as words that start with\n"
               "\"--\"; \"--\" ends them.\n"
               "Messages go to standard output, and the exit status of a run is 0; see\n"
               "kelvora(1).\n",
               stdout);
}

} // namespace

int main(int argc, char** argv) {
    kelvora::make_write_signals_errors();
    const kelvora::CommandLine line = kelvora::read_command_line(argc, argv);
    switch (line.action) {
    case kelvora::CommandAction::Convert:
        break;
    case kelvora::CommandAction::Help:
        print_help();
        return 0;
    case kelvora::CommandAction::Version:
        std::puts("kelvora " KELVORA_VERSION);
        return 0;
    case kelvora::CommandAction::Wrong:
        return usage_error(line.problem, line.argument);
    }
    if (line.default_names) {
        // Deliberate: the usage text and a run on the default names.
        std::fputs("Kelvora\n\tkelvora.exe file.bmp file.txt file.asm\n", stdout);
    }
    try {
        // The stores live for the whole run and are never cleared between records.
        kelvora::convert_resources(kelvora::allocate_run_memory(), line.picture, line.list,
                                   line.output, stdout, line.options);
    } catch (const std::bad_alloc&) {
        // The output, and any file made for it, went with the run's frames.
        std::printf("can't write %s: out of memory\n", line.output);
    }
    return 0;
}
