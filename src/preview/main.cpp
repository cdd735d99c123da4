// kelvora-preview: shows what the display will show for each record of a
// resource list, beside the picture as drawn, counts the pixels the
// conversion changed and names every mistake in the sheet; with --check it
// only names the mistakes. Unlike kelvora it fails with a non-zero exit
// status, so a build stops at the cause.
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <new>
#include <string>

#include "check/label_check.h"
#include "files/files.h"
#include "model/stores.h"
#include "output/asm_syntax.h"
#include "png/png_writer.h"
#include "preview/from_run.h"
#include "preview/preview_run.h"

namespace {

// The preview's image, 7 MiB of which a preview touches only what its
// picture covers.
kelvora::PreviewImage image;

const char USAGE[] =
    "usage: kelvora-preview [--scale N] [--assembler NAME] picture list.txt preview.png\n"
    "       kelvora-preview --check [--strict] [--assembler NAME] picture list.txt\n"
    "       kelvora-preview --from [--scale N] [--assembler NAME | --binary] output list.txt "
    "preview.png\n"
    "       kelvora-preview --check --from [--assembler NAME | --binary] output list.txt\n"
    "A preview, of a picture or of an output, also takes --picture FILE.\n"
    "Writes a PNG of the picture as drawn (left) beside what the display shows for\n"
    "each record of the list (right), and prints how many pixels each record's\n"
    "conversion changed and every mistake it finds in the sheet. Changed pixels are\n"
    "outlined (tinted below scale 3), records are framed, transparent sprite pixels\n"
    "are a checkerboard.\n"
    "  --scale N  draw each picture pixel as N x N (1 to 16); by default small\n"
    "             pictures are zoomed up to 8 times, to about 1024 pixels across\n"
    "  --check    write nothing; print the mistakes, one a line, and exit with 1\n"
    "             when there is an error, 0 when there is none\n"
    "  --strict   with --check, notes count as errors too\n"
    "  --assembler NAME\n"
    "             check the labels against that assembler only: gnu, pasmo, z80asm,\n"
    "             sdas, sdcc (C names), sjasmplus, rasm or z88dk; by default against\n"
    "             gnu, pasmo, z80asm and sdas\n"
    "  --picture FILE\n"
    "             also write what the display shows as an indexed PNG kelvora converts:\n"
    "             a pixel a pixel, in the display's 16 colours, black as 8, transparent\n"
    "             and outside every record 0\n"
    "  --from     read one of kelvora's outputs (assembler text, or --binary's bytes)\n"
    "             with the list it was written from, instead of a picture: draw what\n"
    "             the display shows, or with --check say where the two disagree;\n"
    "             --assembler names the output's syntax (by default it is told from\n"
    "             the output's first lines), --binary says it is a binary\n"
    "  --help, -h print this text\n"
    "  --version  print the version\n";

// A scale of 1 to MAX_SCALE, digits only; 0 when the text is anything else.
int parse_scale(const char* text) {
    int scale = 0;
    for (const char* p = text; *p != '\0'; ++p) {
        if (*p < '0' || *p > '9' || scale > kelvora::MAX_SCALE) {
            return 0;
        }
        scale = scale * 10 + (*p - '0');
    }
    return scale <= kelvora::MAX_SCALE ? scale : 0;
}

int usage_error(const char* problem, const char* argument) {
    std::fprintf(stderr, "kelvora-preview: %s%s\n%s", problem, argument, USAGE);
    return kelvora::PREVIEW_USAGE;
}

// "--assembler wants gnu, pasmo, ... or z88dk, not ", from the table of
// syntaxes, so that it names every assembler the option takes.
std::string unknown_assembler_problem() {
    std::string problem = "--assembler wants ";
    for (int i = 0; i < kelvora::ASSEMBLER_COUNT; ++i) {
        problem += i == 0 ? "" : (i + 1 < kelvora::ASSEMBLER_COUNT ? ", " : " or ");
        problem += kelvora::ASSEMBLER_SYNTAXES[i].name;
    }
    return problem + ", not ";
}

} // namespace

int main(int argc, char** argv) {
    kelvora::make_write_signals_errors();
    // A sheet can have many findings: written 64 KiB at a time, not in the
    // few KiB a pipe or file gets by default. A terminal keeps its lines.
    static char report_buffer[1 << 16];
    if (isatty(STDOUT_FILENO) == 0) {
        std::setvbuf(stdout, report_buffer, _IOFBF, sizeof report_buffer);
    }
    const char* names[3] = {nullptr, nullptr, nullptr};
    int name_count = 0;
    int scale = 0;
    bool check = false;
    bool strict = false;
    bool from = false;
    bool binary = false;
    const char* view = nullptr;
    const kelvora::AsmSyntax* syntax = nullptr;
    bool options_end = false;
    kelvora::AssemblerSet assemblers = kelvora::DEFAULT_ASSEMBLERS;
    for (int i = 1; i < argc; ++i) {
        const char* argument = argv[i];
        if (!options_end && std::strcmp(argument, "--") == 0) {
            options_end = true;
        } else if (!options_end &&
                   (std::strcmp(argument, "--help") == 0 || std::strcmp(argument, "-h") == 0)) {
            std::fputs(USAGE, stdout);
            return kelvora::PREVIEW_DONE;
        } else if (!options_end && (std::strcmp(argument, "--scale") == 0 ||
                                    std::strncmp(argument, "--scale=", 8) == 0)) {
            // The value follows either after "=" or as the next argument.
            const char* value = argument[7] == '=' ? argument + 8 : (i + 1 < argc ? argv[++i] : "");
            scale = parse_scale(value);
            if (scale == 0) {
                return usage_error("--scale wants a whole number from 1 to 16, not ",
                                   value[0] != '\0' ? value : "nothing");
            }
        } else if (!options_end && std::strcmp(argument, "--version") == 0) {
            std::puts("kelvora-preview " KELVORA_VERSION);
            return kelvora::PREVIEW_DONE;
        } else if (!options_end && (std::strcmp(argument, "--assembler") == 0 ||
                                    std::strncmp(argument, "--assembler=", 12) == 0)) {
            const char* name =
                argument[11] == '=' ? argument + 12 : (i + 1 < argc ? argv[++i] : "");
            const kelvora::AsmSyntax* found = kelvora::find_assembler(name);
            if (found == nullptr) {
                return usage_error(unknown_assembler_problem().c_str(),
                                   name[0] != '\0' ? name : "nothing");
            }
            assemblers = kelvora::assembler_set(*found);
            syntax = found;
        } else if (!options_end && (std::strcmp(argument, "--picture") == 0 ||
                                    std::strncmp(argument, "--picture=", 10) == 0)) {
            view = argument[9] == '=' ? argument + 10 : (i + 1 < argc ? argv[++i] : "");
            if (view[0] == '\0') {
                return usage_error("--picture wants a file name", "");
            }
        } else if (!options_end && std::strcmp(argument, "--from") == 0) {
            from = true;
        } else if (!options_end && std::strcmp(argument, "--binary") == 0) {
            binary = true;
        } else if (!options_end && std::strcmp(argument, "--check") == 0) {
            check = true;
        } else if (!options_end && std::strcmp(argument, "--strict") == 0) {
            strict = true;
        } else if (!options_end && argument[0] == '-' && argument[1] != '\0') {
            return usage_error("unknown option ", argument);
        } else if (name_count == 3) {
            return usage_error("one name too many: ", argument);
        } else {
            names[name_count++] = argument;
        }
    }
    if (strict && !check) {
        return usage_error("--strict goes with --check", "");
    }
    if (strict && from) {
        return usage_error("--strict does not go with --from", "");
    }
    if (binary && !from) {
        return usage_error("--binary goes with --from", "");
    }
    if (binary && syntax != nullptr) {
        return usage_error("--binary and --assembler name two forms; give one", "");
    }
    if (check && view != nullptr) {
        return usage_error("--picture does not go with --check", "");
    }
    if (check && scale != 0) {
        return usage_error("--scale does not go with --check", "");
    }
    if (check && name_count != 2) {
        return usage_error(name_count < 2 ? "two names are needed with --check"
                                          : "one name too many with --check: ",
                           name_count < 2 ? "" : names[2]);
    }
    if (!check && name_count < 3) {
        return usage_error("three names are needed", "");
    }
    kelvora::PreviewRequest request{names[0], names[1], names[2], scale, strict, assemblers};
    request.view_path = view;
    const kelvora::FromRequest from_request{names[0], names[1], names[2], view,
                                            scale,    syntax,   binary};
    try {
        if (from && check) {
            return kelvora::run_check_from(kelvora::allocate_from_memory(), from_request, stdout,
                                           stderr);
        }
        if (from) {
            return kelvora::run_from(kelvora::allocate_from_memory(), image, from_request, stdout,
                                     stderr);
        }
        if (check) {
            return kelvora::run_check(kelvora::allocate_preview_memory(), request, stdout, stderr);
        }
        return kelvora::run_preview(kelvora::allocate_preview_memory(), image, request, stdout,
                                    stderr);
    } catch (const std::bad_alloc&) {
        // The output, and any file made for it, went with the run's frames.
        std::fflush(stdout);
        if (check) {
            std::fprintf(stderr, "kelvora-preview: can't check %s: out of memory\n", names[0]);
            return kelvora::CHECK_CANNOT_RUN;
        }
        std::fprintf(stderr, "kelvora-preview: can't write %s: out of memory\n", names[2]);
        return kelvora::PREVIEW_FAILED;
    }
}
