// Opening and closing the files of a run, and replacing the output whole, or
// writing it in place once it is complete.
#include "files/files.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace kelvora {
namespace {

// As many symbolic links as the kernel itself follows in one path.
constexpr int MAX_LINKS = 40;
// Attempts at a temporary name that is not taken yet.
constexpr int NAME_ATTEMPTS = 100;
// Attempts at opening an output that comes and goes meanwhile.
constexpr int OPEN_ATTEMPTS = 8;

bool same_file(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// The signals a user or a build tool ends a run with.
constexpr int INTERRUPTIONS[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};

// Holds the interruptions off while it lives, where `hold` is set: one that
// comes meanwhile waits, and arrives, with the end it would have brought, as
// soon as this ends.
class HeldInterruptions {
  public:
    explicit HeldInterruptions(bool hold = true) : held_(hold) {
        if (held_) {
            sigset_t interruptions;
            sigemptyset(&interruptions);
            for (const int number : INTERRUPTIONS) {
                sigaddset(&interruptions, number);
            }
            sigprocmask(SIG_BLOCK, &interruptions, &before_);
        }
    }
    ~HeldInterruptions() {
        if (held_) {
            sigprocmask(SIG_SETMASK, &before_, nullptr);
        }
    }
    HeldInterruptions(const HeldInterruptions&) = delete;
    HeldInterruptions& operator=(const HeldInterruptions&) = delete;

  private:
    bool held_;
    sigset_t before_{};
};

// The named temporary files to remove when the run is interrupted, one for
// each output of a run that has one. A name is in place before its `armed`
// is set, and the handler reads it only while it is.
struct Leftover {
    volatile sig_atomic_t armed;
    int folder;
    char name[TEMPORARY_NAME_SIZE];
};
constexpr int MAX_LEFTOVERS = 8;
Leftover leftovers[MAX_LEFTOVERS];

void on_interruption(int number) {
    for (const Leftover& leftover : leftovers) {
        if (leftover.armed != 0) {
            unlinkat(leftover.folder, leftover.name, 0);
        }
    }
    // Then the end the signal would have brought: its default action, with
    // the exit status (and core dump) that goes with it. It is blocked while
    // this runs, so it arrives as soon as this returns.
    struct sigaction action = {};
    action.sa_handler = SIG_DFL;
    sigaction(number, &action, nullptr);
    raise(number);
}

// Installs the handler that removes the named temporary files, once, before
// the first of them exists: a signal that comes before it finds no file.
void watch_interruptions() {
    static bool watching = false;
    if (watching) {
        return;
    }
    watching = true;
    for (const int number : INTERRUPTIONS) {
        struct sigaction action = {};
        // A signal ignored from the start (a run under nohup) stays ignored.
        if (sigaction(number, nullptr, &action) == 0 && action.sa_handler == SIG_IGN) {
            continue;
        }
        action = {};
        action.sa_handler = on_interruption;
        sigfillset(&action.sa_mask);
        sigaction(number, &action, nullptr);
    }
}

// From now until disarm_removal, an interruption removes the temporary file.
// Called with the interruptions held, right after the file was made: false
// when every place is taken, and the file must go at once.
bool arm_removal(const OutputFile& file) {
    for (Leftover& leftover : leftovers) {
        if (leftover.armed == 0) {
            leftover.folder = file.folder.fd();
            std::memcpy(leftover.name, file.temporary, sizeof leftover.name);
            std::atomic_signal_fence(std::memory_order_seq_cst);
            leftover.armed = 1;
            return true;
        }
    }
    return false;
}

// Called once the name is gone (removed or renamed over the output): a
// signal in between only finds nothing left to remove.
void disarm_removal(const OutputFile& file) {
    for (Leftover& leftover : leftovers) {
        if (leftover.armed != 0 && leftover.folder == file.folder.fd() &&
            std::strcmp(leftover.name, file.temporary) == 0) {
            leftover.armed = 0;
            std::atomic_signal_fence(std::memory_order_seq_cst);
        }
    }
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

// Whether `folder` lists this process's own descriptors (/proc/self/fd, where
// /dev/fd and /dev/stdout lead): its entries are links to what each
// descriptor holds, not names of files.
bool is_own_descriptor_folder(int folder) {
    struct stat info;
    struct stat own;
    if (fstat(folder, &info) != 0) {
        return false;
    }
    for (const char* own_path : {"/proc/self/fd", "/proc/thread-self/fd"}) {
        if (stat(own_path, &own) == 0 && same_file(own, info)) {
            return true;
        }
    }
    return false;
}

// The descriptor such an entry stands for, or -1.
int descriptor_named(const char* entry) {
    int fd = 0;
    for (const char* p = entry; *p != '\0'; ++p) {
        if (*p < '0' || *p > '9' || fd > 99999999) {
            return -1;
        }
        fd = fd * 10 + (*p - '0');
    }
    return entry[0] != '\0' ? fd : -1;
}

// Follows `path` through its symbolic links to the entry at their end, which
// is the one to replace: 0 with its directory and name in `file` and, when it
// exists, its status in `found` (st_mode 0 when it does not); or an errno.
// A path that leads to one of this process's descriptors ends there, with
// `held` set to it (-1 otherwise): what that descriptor holds is the output.
int find_entry(const char* path, OutputFile& file, struct stat& found, int& held) {
    held = -1;
    int error = open_folder_of(AT_FDCWD, path, file.folder, file.entry);
    for (int links = 0; error == 0; ++links) {
        if (fstatat(file.folder.fd(), file.entry, &found, AT_SYMLINK_NOFOLLOW) != 0) {
            found.st_mode = 0;
            return errno == ENOENT ? 0 : errno;
        }
        if (!S_ISLNK(found.st_mode)) {
            return 0;
        }
        if (is_own_descriptor_folder(file.folder.fd())) {
            held = descriptor_named(file.entry);
            if (held >= 0) {
                return 0;
            }
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
// system can't make a file without one, or where `way` asks for one.
int make_temporary(OutputFile& file, mode_t mode, OutputWay way) {
    int fd = -1;
    if (way != OutputWay::NamedTemporary) {
        fd = openat(file.folder.fd(), ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, mode);
        if (fd >= 0) {
            if (can_be_linked(fd)) {
                return fd;
            }
            ::close(fd);
        }
    }
    watch_interruptions();
    for (int attempt = 0; attempt < NAME_ATTEMPTS; ++attempt) {
        next_temporary_name(file);
        // Made and armed with the interruptions held, so that none finds the
        // file there but not yet known to the handler.
        const HeldInterruptions hold;
        fd =
            openat(file.folder.fd(), file.temporary, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
        if (fd >= 0 && !arm_removal(file)) {
            unlinkat(file.folder.fd(), file.temporary, 0);
            ::close(fd);
            fd = -1;
            errno = EMFILE;
        }
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
        disarm_removal(file);
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

// Gives the written temporary file the earlier output's owner where this
// user may give files away (root), its group where this user belongs to it,
// and then its mode: in that order, as the kernel clears the set-user-ID and
// set-group-ID bits on a write, and on a change of owner or group, by any
// user but root. 0, or an errno.
int take_owner_and_mode(int fd, const struct stat& earlier) {
    if (fchown(fd, earlier.st_uid, earlier.st_gid) != 0 &&
        fchown(fd, static_cast<uid_t>(-1), earlier.st_gid) != 0) {
        // not allowed: the new file keeps this user's group
    }
    // The set-user-ID, set-group-ID and sticky bits were set for an owner and
    // a group: kept only where the new file has both, so that they never
    // give another user's rights to this one's file.
    constexpr mode_t PERMISSIONS = S_IRWXU | S_IRWXG | S_IRWXO;
    mode_t mode = earlier.st_mode & (PERMISSIONS | S_ISUID | S_ISGID | S_ISVTX);
    struct stat made;
    if (fstat(fd, &made) != 0) {
        return errno;
    }
    if (made.st_uid != earlier.st_uid || made.st_gid != earlier.st_gid) {
        mode &= PERMISSIONS;
    }
    return fchmod(fd, mode) == 0 ? 0 : errno;
}

// An existing regular output: the bytes go to a new file beside it that
// keeps its mode, when its entry can be found and replaced and a file can be
// made there. One named through a descriptor the process holds is written
// through that descriptor. Otherwise (a directory that takes no new file, an
// entry renamed since it was opened) it is written in place, through what
// was opened and checked. 0, or the errno why it can't be written at all.
int prepare_replacement(const char* path, OutputFile& file, OutputWay way) {
    file.mode = OutputMode::InPlace;
    struct stat found;
    int held = -1;
    if (find_entry(path, file, found, held) != 0) {
        return 0;
    }
    struct stat held_info;
    if (held >= 0 && fstat(held, &held_info) == 0 && same_file(held_info, file.info)) {
        // Its own open file, with its position and its O_APPEND: what was
        // opened by name would start at the top and write over it.
        const int fd = fcntl(held, F_DUPFD_CLOEXEC, 0);
        if (fd < 0) {
            return errno;
        }
        file.handle.reset(fd);
        file.mode = OutputMode::Held;
        return 0;
    }
    if (way == OutputWay::InPlace || held >= 0 || found.st_mode == 0 ||
        !same_file(found, file.info) || !entry_can_be_replaced(file)) {
        return 0;
    }
    const int temporary = make_temporary(file, 0600, way);
    if (temporary < 0) {
        return 0;
    }
    // It gets the earlier output's owner, group and mode only once written
    // (see commit_output): until then it is this user's alone.
    file.handle.reset(temporary);
    file.mode = OutputMode::Replace;
    return 0;
}

// An output that did not exist when opened: 0 once its temporary file is
// made, or the errno why it can't be (its directory is missing or takes no
// new file). EEXIST when it has appeared since: it may have appeared as a
// link to an input, which would then be replaced, so it is to be opened and
// checked again. Should another run make the output once this one's file is
// made, this one's replaces it when complete, just as it would have
// replaced it a moment later.
int prepare_new_output(const char* path, OutputFile& file, OutputWay way) {
    struct stat found;
    int held = -1;
    const int error = find_entry(path, file, found, held);
    if (error != 0) {
        return error;
    }
    if (found.st_mode != 0) {
        return EEXIST;
    }
    const int fd = make_temporary(file, 0666, way);
    if (fd < 0) {
        return errno;
    }
    file.handle.reset(fd);
    file.mode = OutputMode::Replace;
    return 0;
}

// A file without a name outside the output's folder, for the bytes of an
// output that is written in place: in $TMPDIR or /tmp, or else in memory.
// The descriptor, or -1 with errno set.
int make_spare() {
    const char* folder = std::getenv("TMPDIR");
    int fd = -1;
    if (folder != nullptr && folder[0] != '\0') {
        fd = open(folder, O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    }
    if (fd < 0) {
        fd = open("/tmp", O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    }
    if (fd < 0) {
        fd = memfd_create("kelvora-output", MFD_CLOEXEC);
    }
    return fd;
}

// Makes sure `length` bytes from `at` can be written without changing what
// the file holds yet, so that a full disk, a quota or a file-size limit is
// found before its first byte changes: 0, or an errno. Where the file system
// can't set room aside, a full disk is only found as the bytes are written.
int reserve_room(int fd, off_t at, off_t length) {
    rlimit limit{};
    if (getrlimit(RLIMIT_FSIZE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY &&
        static_cast<rlim_t>(at) + static_cast<rlim_t>(length) > limit.rlim_cur) {
        return EFBIG;
    }
    if (length == 0 || fallocate(fd, FALLOC_FL_KEEP_SIZE, at, length) == 0) {
        return 0;
    }
    return errno == EOPNOTSUPP || errno == ENOSYS ? 0 : errno;
}

// Writes all of `bytes`: from `at` on, or where the descriptor stands when
// `at` is negative. 0, or an errno.
int write_all(int fd, const char* bytes, std::size_t length, off_t at) {
    while (length > 0) {
        const ssize_t wrote = at >= 0 ? pwrite(fd, bytes, length, at) : write(fd, bytes, length);
        if (wrote < 0 && errno == EINTR) {
            continue;
        }
        if (wrote <= 0) {
            return wrote < 0 ? errno : ENOSPC; // a write of nothing makes no progress
        }
        bytes += wrote;
        length -= static_cast<std::size_t>(wrote);
        at = at >= 0 ? at + wrote : at;
    }
    return 0;
}

// Keeps another run from writing the same output in place until this one's
// copy has ended (the kernel drops the lock with `lock`, or with the
// process). On a new open file description of the output where it can be
// had, so that runs sharing one descriptor (a shell's `>>`) are kept apart
// too. 0, or an errno; where the file system keeps no such locks, the copy
// goes on without one.
int lock_output(const OutputFile& file, FileHandle& lock) {
    int fd = file.target.fd();
    if (file.mode == OutputMode::Held) {
        char name[32];
        proc_name_of(fd, name);
        struct stat reopened;
        lock.reset(open(name, O_WRONLY | O_CLOEXEC));
        if (lock.is_open() && fstat(lock.fd(), &reopened) == 0 && same_file(reopened, file.info)) {
            fd = lock.fd();
        }
    }
    struct flock whole = {};
    whole.l_type = F_WRLCK;
    whole.l_whence = SEEK_SET;
    while (fcntl(fd, F_OFD_SETLKW, &whole) != 0) {
        if (errno == EINVAL || errno == ENOLCK || errno == EOPNOTSUPP) {
            return 0;
        }
        if (errno != EINTR) {
            return errno;
        }
    }
    return 0;
}

// Copies `length` bytes of the spare file to the output: from `at` on, or
// where the descriptor stands when `at` is negative. Through a buffer of
// its own, so that the copy needs no memory the run might not get. 0, or an
// errno.
int copy_bytes(int from, int to, off_t length, off_t at) {
    static char buffer[256 << 10];
    for (off_t done = 0; done < length;) {
        const ssize_t got = pread(from, buffer, sizeof buffer, done);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            return got < 0 ? errno : EIO; // the spare file is shorter than it was
        }
        const int error =
            write_all(to, buffer, static_cast<std::size_t>(got), at >= 0 ? at + done : -1);
        if (error != 0) {
            return error;
        }
        done += got;
    }
    return 0;
}

// Puts the spare file's bytes in the output: over it from its start, cutting
// off what is left of the earlier one (InPlace), or where its descriptor
// stands (Held: after what was written before, or appended). 0, or an errno;
// the output is untouched unless the copy itself fails. Another run's copy
// onto the same output is waited for, and an interruption during the copy
// waits for it to end: a run stopped there would leave the output part new,
// part old.
int copy_spare(OutputFile& file) {
    const int to = file.target.fd();
    struct stat spare;
    if (fstat(file.handle.fd(), &spare) != 0) {
        return errno;
    }
    FileHandle lock;
    int error = lock_output(file, lock);
    if (error != 0) {
        return error;
    }
    // Only a regular file: a pipe or a terminal may wait on its reader for
    // ever, and must stay interruptible.
    const HeldInterruptions hold(S_ISREG(file.info.st_mode));
    off_t at = 0;
    if (file.mode == OutputMode::Held) {
        struct stat now;
        const int flags = fcntl(to, F_GETFL);
        at = flags < 0                 ? -1
             : (flags & O_APPEND) == 0 ? lseek(to, 0, SEEK_CUR)
             : fstat(to, &now) == 0    ? now.st_size
                                       : -1;
        if (at < 0) {
            return errno;
        }
    }
    error = reserve_room(to, at, spare.st_size);
    if (error == 0) {
        error = copy_bytes(file.handle.fd(), to, spare.st_size,
                           file.mode == OutputMode::InPlace ? 0 : -1);
    }
    if (error == 0 && file.mode == OutputMode::InPlace && ftruncate(to, spare.st_size) != 0) {
        error = errno;
    }
    return error;
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
                          bool create, OutputFile& file, int& error, OutputWay way) {
    // An output that comes or goes while it is being made (another program
    // at work in the folder) is looked at again from the start, a few times.
    int fd = -1;
    for (int attempt = 1; fd < 0; ++attempt) {
        fd = open(path, O_WRONLY | O_CLOEXEC);
        if (fd >= 0) {
            break;
        }
        error = errno;
        if (error == ENOENT && create) {
            error = prepare_new_output(path, file, way);
            if ((error == EEXIST || error == ENOENT) && attempt < OPEN_ATTEMPTS) {
                continue;
            }
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
    error = prepare_replacement(path, file, way);
    return error == 0 ? OutputOpening::Opened : OutputOpening::CannotOpen;
}

bool same_output(const OutputFile& a, const OutputFile& b) {
    if (a.info.st_ino != 0 && b.info.st_ino != 0) {
        return same_file(a.info, b.info) && !S_ISCHR(a.info.st_mode);
    }
    struct stat folder_a;
    struct stat folder_b;
    return a.folder.is_open() && b.folder.is_open() && std::strcmp(a.entry, b.entry) == 0 &&
           fstat(a.folder.fd(), &folder_a) == 0 && fstat(b.folder.fd(), &folder_b) == 0 &&
           same_file(folder_a, folder_b);
}

int start_writing(OutputFile& file) {
    if (file.mode != OutputMode::InPlace && file.mode != OutputMode::Held) {
        return 0;
    }
    const int spare = make_spare();
    if (spare < 0) {
        return errno;
    }
    file.target.reset(file.handle.release());
    file.handle.reset(spare);
    return 0;
}

int commit_output(OutputFile& file) {
    if (file.mode == OutputMode::Direct) {
        return file.handle.close();
    }
    if (file.mode != OutputMode::Replace) {
        const int error = copy_spare(file);
        file.handle.close();
        const int close_error = file.target.close();
        return error != 0 ? error : close_error;
    }
    // Not synced to the disk first: a failed or killed run can't leave a
    // part, as the name changes only after the last byte was written, and a
    // sync would cost a build step more than the conversion itself (about a
    // millisecond here, far more on a spinning disk). Compilers do not sync
    // their outputs either; only a crash of the whole system could lose it.
    int error = file.info.st_mode != 0 ? take_owner_and_mode(file.handle.fd(), file.info) : 0;
    // A file made without a name gets one only for the rename: interruptions
    // wait meanwhile, so that none can leave that name behind. (One named
    // from the start is removed by the signal handler instead.)
    const bool unnamed = file.temporary[0] == '\0';
    const HeldInterruptions hold(unnamed);
    if (error == 0 && unnamed) {
        error = link_temporary(file);
    }
    const int close_error = file.handle.close();
    error = error != 0 ? error : close_error;
    if (error == 0 &&
        renameat(file.folder.fd(), file.temporary, file.folder.fd(), file.entry) != 0) {
        error = errno;
    }
    if (error == 0) {
        disarm_removal(file);
        file.temporary[0] = '\0'; // it is the output now
    } else {
        remove_temporary(file);
    }
    return error;
}

} // namespace kelvora
