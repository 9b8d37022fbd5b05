// Opening the files a run reads from outside (tables, maps) and the spool files it writes, so that a
// FIFO, a device or a planted symbolic link can neither block the run nor redirect its writes.
#pragma once

#include <cstdio>

// Opens `path` for reading ("rb"), only when it is a regular file. The open itself never blocks (a FIFO
// without a writer) and never takes a terminal as controlling terminal.
// @return the stream; null with errno from the open, or EINVAL when the file is not a regular file.
std::FILE *rje_open_regular(const char *path);

// Opens `path` for writing ("wb") as a regular file: created when missing (mode 0666 less the umask),
// never through a final symbolic link (errno ELOOP), and refused when anything other than a regular
// file stands there (errno EEXIST); the open never blocks. With `lock`, an exclusive advisory lock
// (flock) is taken without waiting, before anything is changed: when another process holds it, the
// file is left as it is and errno is EWOULDBLOCK. The lock lasts until the stream is closed. An
// existing file is then truncated to 0 bytes.
// @return the stream, positioned at 0; null with errno as above.
std::FILE *rje_create_regular(const char *path, bool lock);
