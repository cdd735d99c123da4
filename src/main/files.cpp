// Opening and closing the files of a run.
#include "main/files.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

namespace kelvora {
namespace {

bool same_file(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

} // namespace

FileHandle::~FileHandle() {
    close();
}

void FileHandle::reset(int fd) {
    close();
    fd_ = fd;
}

int FileHandle::close() {
    if (fd_ < 0) {
        return 0;
    }
    const int result = ::close(fd_);
    fd_ = -1;
    return result == 0 || errno == EINTR ? 0 : errno;
}

int open_input(const char* path, InputFile& file) {
    const int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return errno;
    }
    file.handle.reset(fd);
    if (fstat(fd, &file.info) != 0) {
        const int error = errno;
        file.handle.close();
        return error;
    }
    if (S_ISDIR(file.info.st_mode)) {
        file.handle.close();
        return EISDIR;
    }
    return 0;
}

OutputOpening open_output(const char* path, std::initializer_list<const InputFile*> inputs,
                          bool create, OutputFile& file, int& error) {
    const int fd = open(path, O_WRONLY | O_CLOEXEC | (create ? O_CREAT : 0), 0666);
    if (fd < 0) {
        error = errno;
        return OutputOpening::CannotOpen;
    }
    file.handle.reset(fd);
    if (fstat(fd, &file.info) != 0) {
        error = errno;
        file.handle.close();
        return OutputOpening::CannotOpen;
    }
    if (S_ISREG(file.info.st_mode)) {
        for (const InputFile* input : inputs) {
            if (same_file(file.info, input->info)) {
                file.handle.close();
                return OutputOpening::AlsoAnInput;
            }
        }
    }
    return OutputOpening::Opened;
}

int start_writing(OutputFile& file) {
    if (S_ISREG(file.info.st_mode) && ftruncate(file.handle.fd(), 0) != 0) {
        return errno;
    }
    return 0;
}

} // namespace kelvora
