// Safe opening of the files a run reads from outside and of the spool files it writes.
#include "support/rje_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace
{

// Puts the descriptor back into blocking mode and wraps it in a stream; closes it on failure.
std::FILE *stream_of(int fd, const char *mode)
{
    int flags = fcntl(fd, F_GETFL);
    if (flags == -1 || fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) == -1) {
        int e = errno;
        close(fd);
        errno = e;
        return nullptr;
    }
    std::FILE *f = fdopen(fd, mode);
    if (f == nullptr) {
        int e = errno;
        close(fd);
        errno = e;
    }
    return f;
}

// Closes fd and fails with errno e.
std::FILE *refuse(int fd, int e)
{
    close(fd);
    errno = e;
    return nullptr;
}

} // namespace

std::FILE *rje_open_regular(const char *path)
{
    int fd = open(path, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd == -1)
        return nullptr;
    struct stat st;
    if (fstat(fd, &st) != 0)
        return refuse(fd, errno);
    if (!S_ISREG(st.st_mode))
        return refuse(fd, EINVAL);
    return stream_of(fd, "rb");
}

std::FILE *rje_create_regular(const char *path, bool lock)
{
    // Told apart first for a clear error; the checks on the open descriptor below are the safe ones.
    struct stat seen;
    if (lstat(path, &seen) == 0 && !S_ISREG(seen.st_mode)) {
        errno = S_ISLNK(seen.st_mode) ? ELOOP : EEXIST;
        return nullptr;
    }
    int fd = open(path, O_WRONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0666);
    if (fd == -1)
        return nullptr;
    struct stat st;
    if (fstat(fd, &st) != 0)
        return refuse(fd, errno);
    if (!S_ISREG(st.st_mode))
        return refuse(fd, EEXIST);
    if (lock && flock(fd, LOCK_EX | LOCK_NB) != 0)
        return refuse(fd, errno == EINTR ? EWOULDBLOCK : errno);
    // A new file is not truncated: on some file systems (ext4) a truncation to size 0 makes the
    // close write the whole file out at once, a cost the job would pay for nothing.
    if (st.st_size != 0 && ftruncate(fd, 0) != 0)
        return refuse(fd, errno);
    return stream_of(fd, "wb");
}
