// The files of a run: the picture and the list opened for reading, the output
// for writing, each closed when its handle goes out of scope. Both programs
// open their files here, so a directory given as an input, an output that is
// also an input, and an output that must be replaced whole or not at all are
// handled the same way by both.
#pragma once

#include <limits.h>
#include <sys/stat.h>

#include <initializer_list>

namespace kelvora {

// Makes a reader that went away (SIGPIPE) and a file-size limit (SIGXFSZ)
// fail the write with an error the run reports, rather than end the process
// without a word. Called first thing by both programs.
void make_write_signals_errors();

// A file descriptor that is closed when the handle goes out of scope.
class FileHandle {
  public:
    FileHandle() = default;
    explicit FileHandle(int fd) : fd_(fd) {}
    ~FileHandle();
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;

    int fd() const { return fd_; }
    bool is_open() const { return fd_ >= 0; }
    // Takes charge of `fd`, closing the one held before.
    void reset(int fd);
    // Hands the descriptor over to the caller, who closes it.
    int release();
    // Closes now; 0, or the errno of a failed close (a late write error).
    int close();

  private:
    int fd_ = -1;
};

struct InputFile {
    FileHandle handle;
    struct stat info;
};

// Opens a picture or list for reading: 0, or the errno why it can't be. A
// directory may open for reading but yields no bytes, so it is refused
// (EISDIR) rather than taken for an empty file.
int open_input(const char* path, InputFile& file);

// How an output is written.
enum class OutputMode : unsigned char {
    Direct,  // not a regular file (a device, a FIFO, a terminal): written as it is
    Replace, // into a new file beside the output, which takes its place when complete
    InPlace, // a regular file beside which no new file can be made: the bytes go to a
             // spare file elsewhere first, and are copied over the output when complete
    Held,    // a regular file named through a descriptor the process holds (/dev/stdout):
             // through a spare file too, then written through that descriptor where it stands
};

// Which way open_output writes a regular output. Only the tests choose: they
// force each fallback, which the file systems they run on would otherwise
// never take.
enum class OutputWay : unsigned char {
    Chosen,         // a new file beside the output, without a name where possible
    InPlace,        // an existing output is written in place, as in a folder that
                    // takes no new file
    NamedTemporary, // the new file beside the output has a name from the start
};

inline constexpr int TEMPORARY_NAME_SIZE = 32;

// The output of a run. A regular file, or one that does not exist yet, is
// written into a temporary file in the same directory (one without a name,
// where the file system allows it) and takes the output's place only when
// commit_output succeeds: until then the output is exactly as it was, and a
// run that fails or is killed leaves it so. A symbolic link keeps its link:
// the file at its end is the one replaced, and the new file gets the old
// one's owner and group where allowed, and its mode. An output that can only
// be written in place is changed only once the whole output is ready.
// Whatever was not committed is removed when the OutputFile goes out of
// scope, and a temporary file with a name also when the run is interrupted
// (SIGINT, SIGTERM, SIGHUP, SIGQUIT). A run may have several outputs open at
// once, each committed on its own.
struct OutputFile {
    OutputFile() = default;
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    FileHandle handle; // where the bytes are written
    // The output itself while its bytes go to a spare file (InPlace, Held).
    FileHandle target;
    OutputMode mode = OutputMode::Direct;
    struct stat info = {}; // the output as opened; all zero when it is still to be made
    FileHandle folder;     // the directory of the entry that is replaced
    char entry[NAME_MAX + 1] = {};
    // The temporary file's name in `folder` once it has one; empty before.
    char temporary[TEMPORARY_NAME_SIZE] = {};
};

enum class OutputOpening {
    Opened,
    CannotOpen,  // `error` says why
    AlsoAnInput, // writing would overwrite a file the run reads
};

// Opens an existing output for writing, without truncating it, and makes the
// temporary file beside it; an output that does not exist is made (its
// temporary file) only when `create` is set, and one that another run makes
// in the meantime is replaced like any other. The same-file check is made on
// what was opened, so no rename or link made in between can turn the output
// into an input. Only regular files count: devices such as /dev/null lose
// nothing.
OutputOpening open_output(const char* path, std::initializer_list<const InputFile*> inputs,
                          bool create, OutputFile& file, int& error,
                          OutputWay way = OutputWay::Chosen);

// Whether two opened outputs would end up as one file: the same file opened
// twice (a device that takes anything, such as /dev/null, aside), or the same
// name in the same folder still to be made.
bool same_output(const OutputFile& a, const OutputFile& b);

// Readies an opened output to be written from the start: one written in
// place (or through a held descriptor) gets the spare file its bytes go to
// first. 0, or the errno of the failure, the output untouched.
int start_writing(OutputFile& file);

// Ends the writing once every byte was written: the temporary file gets
// the earlier output's owner, group and mode, and is linked, closed and
// renamed over the output; or the spare file's bytes are copied over it,
// once it is locked against other runs' copies and room for the bytes is
// reserved, with interruptions held off until the copy ends. 0, or the
// errno of the first failure, in which case the output is left as it was.
// Only SIGKILL (or a crash of the system) during that copy leaves an output
// written in place part new, part old.
int commit_output(OutputFile& file);

} // namespace kelvora
