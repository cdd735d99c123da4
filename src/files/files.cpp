// Opening and closing the files of a run, and replacing the output whole.
#include "files/files.h"

#include <fcntl.h>
#include <signal.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace kelvora {
namespace {

// As many symbolic links as the kernel itself follows in one path.
constexpr int MAX_LINKS = 40;
// Attempts at a temporary name that is not taken yet.
constexpr int NAME_ATTEMPTS = 100;

bool same_file(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// Opens the directory part of `path` (relative to `at`, as a symbolic link's
// target is) and keeps the last part as the entry's name: 0, or an errno.
int open_folder_of(int at, const char* path, FileHandle& folder, char (&entry)[NAME_MAX + 1]) {
    const char* slash = std::strrchr(path, '/');
    const char* name = slash != nullptr ? slash + 1 : path;
    const std::size_t length = std::strlen(name);
    if (length == 0 || std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) {
        return EISDIR;
    }
    if (length > NAME_MAX) {
        return ENAMETOOLONG;
    }
    char folder_path[PATH_MAX] = ".";
    if (slash == path) {
        std::strcpy(folder_path, "/");
    } else if (slash != nullptr) {
        const auto folder_length = static_cast<std::size_t>(slash - path);
        if (folder_length >= sizeof folder_path) {
            return ENAMETOOLONG;
        }
        std::memcpy(folder_path, path, folder_length);
        folder_path[folder_length] = '\0';
    }
    const int fd = openat(at, folder_path, O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        return errno;
    }
    folder.reset(fd);
    std::memcpy(entry, name, length + 1);
    return 0;
}

// Follows `path` through its symbolic links to the entry at their end, which
// is the one to replace: 0 with its directory and name in `file` and, when it
// exists, its status in `found` (st_mode 0 when it does not); or an errno.
int find_entry(const char* path, OutputFile& file, struct stat& found) {
    int error = open_folder_of(AT_FDCWD, path, file.folder, file.entry);
    for (int links = 0; error == 0; ++links) {
        if (fstatat(file.folder.fd(), file.entry, &found, AT_SYMLINK_NOFOLLOW) != 0) {
            found.st_mode = 0;
            return errno == ENOENT ? 0 : errno;
        }
        if (!S_ISLNK(found.st_mode)) {
            return 0;
        }
        if (links == MAX_LINKS) {
            return ELOOP;
        }
        char target[PATH_MAX];
        const ssize_t length = readlinkat(file.folder.fd(), file.entry, target, sizeof target);
        if (length < 0) {
            return errno;
        }
        if (static_cast<std::size_t>(length) == sizeof target) {
            return ENAMETOOLONG;
        }
        target[length] = '\0';
        FileHandle next;
        error = open_folder_of(file.folder.fd(), target, next, file.entry);
        file.folder.reset(next.release());
    }
    return error;
}

// Whether renaming a new file over the entry can work: not when the entry is
// a mount point (a file mounted on its own, as containers do) or sits in a
// sticky directory that lets only its owner replace it.
bool entry_can_be_replaced(const OutputFile& file) {
    struct stat folder;
    if (fstat(file.folder.fd(), &folder) != 0 || folder.st_dev != file.info.st_dev) {
        return false;
    }
#ifdef STATX_ATTR_MOUNT_ROOT
    struct statx entry;
    if (statx(file.folder.fd(), file.entry, AT_SYMLINK_NOFOLLOW, STATX_INO, &entry) == 0 &&
        (entry.stx_attributes & entry.stx_attributes_mask & STATX_ATTR_MOUNT_ROOT) != 0) {
        return false;
    }
#endif
    const uid_t user = geteuid();
    return (folder.st_mode & S_ISVTX) == 0 || user == 0 || user == file.info.st_uid ||
           user == folder.st_uid;
}

// A name for the temporary file that says what it is and differs from the
// entry's: ".kelvora-" and eight hexadecimal digits, ".tmp".
void next_temporary_name(OutputFile& file) {
    static unsigned counter = 0;
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    unsigned mix = static_cast<unsigned>(getpid()) * 2654435761u ^
                   static_cast<unsigned>(now.tv_nsec) ^ (++counter * 40503u);
    do {
        std::snprintf(file.temporary, sizeof file.temporary, ".kelvora-%08x.tmp", mix++);
    } while (std::strcmp(file.temporary, file.entry) == 0);
}

// The name the kernel gives an open file, through which a file made without a
// name can be linked into its directory.
void proc_name_of(int fd, char (&name)[32]) {
    std::snprintf(name, sizeof name, "/proc/self/fd/%d", fd);
}

// An unnamed file can be given a name only through /proc; without it the
// temporary file is made with a name from the start.
bool can_be_linked(int fd) {
    char name[32];
    proc_name_of(fd, name);
    struct stat by_name;
    struct stat by_fd;
    return stat(name, &by_name) == 0 && fstat(fd, &by_fd) == 0 && same_file(by_name, by_fd);
}

// Makes the temporary file in the entry's directory: the descriptor, or -1
// with errno set. It has a name (in `file.temporary`) only where the file
// system can't make a file without one.
int make_temporary(OutputFile& file, mode_t mode) {
    int fd = openat(file.folder.fd(), ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, mode);
    if (fd >= 0) {
        if (can_be_linked(fd)) {
            return fd;
        }
        ::close(fd);
    }
    for (int attempt = 0; attempt < NAME_ATTEMPTS; ++attempt) {
        next_temporary_name(file);
        fd =
            openat(file.folder.fd(), file.temporary, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
        if (fd >= 0 || errno != EEXIST) {
            break;
        }
    }
    if (fd < 0) {
        const int error = errno;
        file.temporary[0] = '\0';
        errno = error;
    }
    return fd;
}

void remove_temporary(OutputFile& file) {
    if (file.temporary[0] != '\0') {
        unlinkat(file.folder.fd(), file.temporary, 0);
        file.temporary[0] = '\0';
    }
}

// Gives the unnamed temporary file a name in its directory, to rename it
// from: 0, or an errno.
int link_temporary(OutputFile& file) {
    char name[32];
    proc_name_of(file.handle.fd(), name);
    for (int attempt = 0; attempt < NAME_ATTEMPTS; ++attempt) {
        next_temporary_name(file);
        if (linkat(AT_FDCWD, name, file.folder.fd(), file.temporary, AT_SYMLINK_FOLLOW) == 0) {
            return 0;
        }
        if (errno != EEXIST) {
            break;
        }
    }
    const int error = errno;
    file.temporary[0] = '\0';
    return error;
}

// An existing regular output: the bytes go to a new file beside it that
// keeps its permission bits, when its entry can be found and replaced and a
// file can be made there. Otherwise (a directory that takes no new file, an
// entry renamed since it was opened) it is written in place, through what was
// opened and checked.
void prepare_replacement(const char* path, OutputFile& file) {
    file.mode = OutputMode::InPlace;
    struct stat found;
    if (find_entry(path, file, found) != 0 || found.st_mode == 0 || !same_file(found, file.info) ||
        !entry_can_be_replaced(file)) {
        return;
    }
    FileHandle temporary(make_temporary(file, 0600));
    if (!temporary.is_open()) {
        return;
    }
    // The owner is kept where this user may give the file away (root), and
    // the group where this user belongs to it; elsewhere the file is ours.
    if (fchown(temporary.fd(), file.info.st_uid, file.info.st_gid) != 0 &&
        fchown(temporary.fd(), static_cast<uid_t>(-1), file.info.st_gid) != 0) {
        // not allowed: the new file keeps this user's group
    }
    if (fchmod(temporary.fd(), file.info.st_mode & (S_IRWXU | S_IRWXG | S_IRWXO)) != 0) {
        remove_temporary(file);
        return;
    }
    file.handle.reset(temporary.release());
    file.mode = OutputMode::Replace;
}

// An output that does not exist yet: 0 once its temporary file is made, or
// the errno why it can't be (its directory is missing or takes no new file).
int prepare_new_output(const char* path, OutputFile& file) {
    struct stat found;
    const int error = find_entry(path, file, found);
    if (error != 0) {
        return error;
    }
    if (found.st_mode != 0) {
        return EEXIST; // made by someone else since it was not there
    }
    const int fd = make_temporary(file, 0666);
    if (fd < 0) {
        return errno;
    }
    file.handle.reset(fd);
    file.mode = OutputMode::Replace;
    return 0;
}

} // namespace

void make_write_signals_errors() {
    signal(SIGPIPE, SIG_IGN);
    signal(SIGXFSZ, SIG_IGN);
}

FileHandle::~FileHandle() {
    close();
}

void FileHandle::reset(int fd) {
    close();
    fd_ = fd;
}

int FileHandle::release() {
    const int fd = fd_;
    fd_ = -1;
    return fd;
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

OutputFile::~OutputFile() {
    remove_temporary(*this);
}

OutputOpening open_output(const char* path, std::initializer_list<const InputFile*> inputs,
                          bool create, OutputFile& file, int& error) {
    const int fd = open(path, O_WRONLY | O_CLOEXEC);
    if (fd < 0) {
        error = errno;
        if (error == ENOENT && create) {
            error = prepare_new_output(path, file);
        }
        return error == 0 ? OutputOpening::Opened : OutputOpening::CannotOpen;
    }
    file.handle.reset(fd);
    if (fstat(fd, &file.info) != 0) {
        error = errno;
        file.handle.close();
        return OutputOpening::CannotOpen;
    }
    if (!S_ISREG(file.info.st_mode)) {
        file.mode = OutputMode::Direct;
        return OutputOpening::Opened;
    }
    for (const InputFile* input : inputs) {
        if (same_file(file.info, input->info)) {
            file.handle.close();
            return OutputOpening::AlsoAnInput;
        }
    }
    prepare_replacement(path, file);
    return OutputOpening::Opened;
}

int start_writing(OutputFile& file) {
    if (file.mode == OutputMode::InPlace && ftruncate(file.handle.fd(), 0) != 0) {
        return errno;
    }
    return 0;
}

int commit_output(OutputFile& file) {
    if (file.mode != OutputMode::Replace) {
        return file.handle.close();
    }
    // Not synced to the disk first: a failed or killed run can't leave a
    // part, as the name changes only after the last byte was written, and a
    // sync would cost a build step more than the conversion itself (about a
    // millisecond here, far more on a spinning disk). Compilers do not sync
    // their outputs either; only a crash of the whole system could lose it.
    int error = 0;
    if (file.temporary[0] == '\0') {
        error = link_temporary(file);
    }
    const int close_error = file.handle.close();
    error = error != 0 ? error : close_error;
    if (error == 0 &&
        renameat(file.folder.fd(), file.temporary, file.folder.fd(), file.entry) != 0) {
        error = errno;
    }
    if (error == 0) {
        file.temporary[0] = '\0'; // it is the output now
    }
    return error;
}

} // namespace kelvora
