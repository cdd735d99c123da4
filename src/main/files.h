// The files of a run: the picture and the list opened for reading, the output
// for writing, each closed when its handle goes out of scope. Both programs
// open their files here, so a directory given as an input and an output that
// is also an input are refused the same way by both.
#pragma once

#include <sys/stat.h>

#include <initializer_list>

namespace kelvora {

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

struct OutputFile {
    FileHandle handle;
    struct stat info;
};

enum class OutputOpening {
    Opened,
    CannotOpen,  // `error` says why
    AlsoAnInput, // writing would overwrite a file the run reads
};

// Opens the output for writing without truncating it, creating it only when
// `create` is set. The same-file check is made on what was opened, so no
// rename or link made in between can turn the output into an input. Only
// regular files count: devices such as /dev/null lose nothing.
OutputOpening open_output(const char* path, std::initializer_list<const InputFile*> inputs,
                          bool create, OutputFile& file, int& error);

// Empties an opened regular output before it is written from the start.
// 0, or the errno of the failure.
int start_writing(OutputFile& file);

} // namespace kelvora
