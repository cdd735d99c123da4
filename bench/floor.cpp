// The benchmark's floor: what any converter of these files must at least do.
// It reads every byte of the picture and the list, then writes the bytes of
// the expected output to standard output, with plain read and write through
// one 64 KiB buffer and nothing else: no standard streams, no mapping, no
// copying inside the kernel. Linked statically, it also pays the least a
// process can pay to start.
// Usage: floor PICTURE LIST EXPECTED_OUTPUT
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstring>

namespace {

constexpr std::size_t BLOCK = 1 << 16;
char buffer[BLOCK];

void say(const char* text) {
    const ssize_t ignored = write(2, text, std::strlen(text));
    static_cast<void>(ignored);
}

bool fail(const char* what, const char* path) {
    say("floor: can't ");
    say(what);
    say(" ");
    say(path);
    say("\n");
    return false;
}

// Reads into the buffer, retrying when interrupted: the count read, 0 at the
// end, -1 on an error.
ssize_t read_block(int fd) {
    for (;;) {
        const ssize_t got = read(fd, buffer, BLOCK);
        if (got >= 0 || errno != EINTR) {
            return got;
        }
    }
}

bool write_all(const char* p, std::size_t left) {
    while (left > 0) {
        const ssize_t wrote = write(1, p, left);
        if (wrote > 0) {
            p += wrote;
            left -= static_cast<std::size_t>(wrote);
        } else if (wrote < 0 && errno == EINTR) {
            continue;
        } else {
            return false;
        }
    }
    return true;
}

// Reads the whole file; with `copy`, writes each block to standard output.
bool pass_through(const char* path, bool copy) {
    const int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return fail("open", path);
    }
    bool ok = true;
    for (;;) {
        const ssize_t got = read_block(fd);
        if (got == 0) {
            break;
        }
        if (got < 0) {
            ok = fail("read", path);
            break;
        }
        if (copy && !write_all(buffer, static_cast<std::size_t>(got))) {
            ok = fail("write the bytes of", path);
            break;
        }
    }
    close(fd);
    return ok;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        say("usage: floor PICTURE LIST EXPECTED_OUTPUT\n");
        return 2;
    }
    const bool ok =
        pass_through(argv[1], false) && pass_through(argv[2], false) && pass_through(argv[3], true);
    return ok ? 0 : 1;
}
