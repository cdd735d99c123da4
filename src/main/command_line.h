// kelvora's command line: the options, read by a table of rows, and the
// three names. Options may come before the names and after them; before the
// first name any word that starts with "-" is one, after it only a word that
// starts with "--", so that a name such as "-o3.asm" stays a name. "--" ends
// the options. A lone "-" is a name, as it has always been.
#pragma once

#include "main/run.h"

namespace kelvora {

enum class CommandAction : unsigned char {
    Convert, // convert the picture and the list into the output
    Help,    // print the help and convert nothing
    Version, // print the version and convert nothing
    Wrong,   // print `problem` with the usage line, convert nothing, exit with 2
};

struct CommandLine {
    CommandAction action = CommandAction::Convert;
    RunOptions options; // what the options ask of the run
    const char* picture = "testpic.bmp";
    const char* list = "testpic.txt";
    const char* output = "testpic.asm";
    // Fewer than three names and no option: the usage text of old, then a
    // run on the default names, as callers of old expect.
    bool default_names = false;
    // When Wrong: what is wrong, and the word it is about (or "").
    const char* problem = "";
    const char* argument = "";
};

// Reads the words after the program's name. Names past the third are
// ignored, as they always were; the last of an option given twice counts.
CommandLine read_command_line(int argc, const char* const* argv);

} // namespace kelvora
