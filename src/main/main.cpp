// kelvora: converts an indexed-colour picture and a resource list into
// assembler source. The exit status is 0 whatever happens, on purpose: the
// build scripts that call kelvora were written against that, and messages on
// standard output say what failed.
#include <cstdio>

#include "files/files.h"
#include "main/run.h"

int main(int argc, char** argv) {
    kelvora::make_write_signals_errors();
    const char* picture = "testpic.bmp";
    const char* list = "testpic.txt";
    const char* output = "testpic.asm";
    if (argc >= 4) {
        picture = argv[1];
        list = argv[2];
        output = argv[3];
    } else {
        std::fputs("Kelvora\n\tkelvora.exe file.bmp file.txt file.asm\n", stdout);
    }
    // The stores live for the whole run and are never cleared between records.
    kelvora::convert_resources(kelvora::allocate_run_memory(), picture, list, output, stdout);
    return 0;
}
