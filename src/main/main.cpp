// kelvora: converts an indexed-colour picture and a resource list into
// assembler source. The exit status of a run is 0 whatever happens, on
// purpose: the build scripts that call kelvora were written against that, and
// messages on standard output say what failed. Only a command line it can't
// make sense of (an option it does not know) ends with 2, converting
// nothing; no caller of old passes options.
#include <cstdio>
#include <cstring>

#include "files/files.h"
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
    std::fputs("] [--header FILE.h] PICTURE LIST OUTPUT\n", out);
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
               "  --header FILE.h   with --assembler sdcc, also write a C header of the\n"
               "                    records to FILE.h\n"
               "  --help            print this text\n"
               "  --version         print the version\n"
               "Messages go to standard output, and the exit status of a run is 0; see\n"
               "kelvora(1).\n",
               stdout);
}

} // namespace

int main(int argc, char** argv) {
    kelvora::make_write_signals_errors();
    kelvora::RunOptions options;
    // Options come before the names; "--" ends them, for a name that starts
    // with "-". A lone "-" is a name, as it has always been.
    int first_name = 1;
    while (first_name < argc && argv[first_name][0] == '-' && argv[first_name][1] != '\0') {
        const char* option = argv[first_name++];
        if (std::strcmp(option, "--") == 0) {
            break;
        }
        if (std::strcmp(option, "--help") == 0) {
            print_help();
            return 0;
        }
        if (std::strcmp(option, "--version") == 0) {
            std::puts("kelvora " KELVORA_VERSION);
            return 0;
        }
        if (std::strcmp(option, "--assembler") == 0 ||
            std::strncmp(option, "--assembler=", 12) == 0) {
            // The name follows either after "=" or as the next argument.
            const char* name = option[11] == '='   ? option + 12
                               : first_name < argc ? argv[first_name++]
                                                   : nullptr;
            if (name == nullptr) {
                return usage_error("--assembler wants a name", "");
            }
            options.syntax = kelvora::find_assembler(name);
            if (options.syntax == nullptr) {
                return usage_error("unknown assembler ", name);
            }
            continue;
        }
        if (std::strcmp(option, "--header") == 0 || std::strncmp(option, "--header=", 9) == 0) {
            options.header = option[8] == '='    ? option + 9
                             : first_name < argc ? argv[first_name++]
                                                 : nullptr;
            if (options.header == nullptr || options.header[0] == '\0') {
                return usage_error("--header wants a file name", "");
            }
            continue;
        }
        return usage_error("unknown option ", option);
    }
    if (options.header != nullptr && !options.syntax->c_names) {
        return usage_error("--header goes with --assembler sdcc", "");
    }
    const char* picture = "testpic.bmp";
    const char* list = "testpic.txt";
    const char* output = "testpic.asm";
    if (argc - first_name >= 3) {
        // Names past the third are ignored, as they always were.
        picture = argv[first_name];
        list = argv[first_name + 1];
        output = argv[first_name + 2];
    } else if (first_name > 1) {
        return usage_error("three names are needed after the options", "");
    } else {
        // Deliberate: with fewer than three names and no option, the usage
        // text and a run on the default names, as callers of old expect.
        std::fputs("Kelvora\n\tkelvora.exe file.bmp file.txt file.asm\n", stdout);
    }
    // The stores live for the whole run and are never cleared between records.
    kelvora::convert_resources(kelvora::allocate_run_memory(), picture, list, output, stdout,
                               options);
    return 0;
}
