// Bulk input of the conversion: regular files mapped in bounded windows (no copy of the input into a
// buffer; peak memory stays at one window), other streams read into a buffer.
#include "convert/convert_input.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace
{

constexpr std::size_t MAP_WINDOW = std::size_t{1} << 20; // bytes mapped at once
constexpr off_t MAP_MIN = off_t{1} << 20;                // smaller inputs are read: mapping costs more
// The last bytes of a file are read through the stream: its end is then where reading leaves it, and
// the scans' reads past the data stay inside the buffer.
constexpr off_t MAP_TAIL = 4096;

std::size_t page_size()
{
    static const auto size = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
    return size;
}

} // namespace

ConvertInput::ConvertInput(std::FILE *file, std::size_t buffer_size)
    : f(file), buf(static_cast<unsigned char *>(std::calloc(buffer_size + PAD, 1))), cap(buffer_size), base(buf)
{
    struct stat st;
    if (buf == nullptr || fstat(fileno(f), &st) != 0 || !S_ISREG(st.st_mode))
        return;
    const off_t start = ftello(f);
    if (start < 0 || st.st_size - start < MAP_MIN)
        return;
    // A byte pushed back with ungetc is taken first; mapping goes on only when it is the file's own
    // byte at that position.
    const int c = std::getc(f);
    if (c == EOF)
        return;
    file_size = st.st_size;
    if (map_at(start) && base[0] == static_cast<unsigned char>(c)) {
        mapping = true;
        return;
    }
    unmap();
    base = buf;
    pos = end = 0;
    std::ungetc(c, f);
}

ConvertInput::~ConvertInput()
{
    if (mapping) // stopped early: the stream goes on behind what was used
        fseeko(f, map_off + static_cast<off_t>(data() - static_cast<const unsigned char *>(map)), SEEK_SET);
    unmap();
    std::free(buf);
}

void ConvertInput::unmap()
{
    if (map != nullptr)
        munmap(map, map_len);
    map = nullptr;
}

// Maps the window that holds file offset fpos and makes the bytes from fpos on available, short of
// the file's tail and of PAD bytes before the window's end. @return false when mapping failed.
bool ConvertInput::map_at(off_t fpos)
{
    const off_t off = fpos & ~static_cast<off_t>(page_size() - 1);
    const auto len = static_cast<std::size_t>(std::min<off_t>(MAP_WINDOW, file_size - off));
    void *m = mmap(nullptr, len, PROT_READ, MAP_PRIVATE | MAP_POPULATE, fileno(f), off);
    if (m == MAP_FAILED)
        return false;
    map = m;
    map_len = len;
    map_off = off;
    const off_t shown = std::min<off_t>(off + static_cast<off_t>(len - PAD), file_size - MAP_TAIL);
    base = static_cast<const unsigned char *>(m) + (fpos - off);
    pos = 0;
    end = shown > fpos ? static_cast<std::size_t>(shown - fpos) : 0;
    return true;
}

// Goes on reading through the stream from file offset fpos.
bool ConvertInput::read_from(off_t fpos)
{
    mapping = false;
    base = buf;
    pos = end = 0;
    if (fseeko(f, fpos, SEEK_SET) != 0) {
        eof = true;
        return false;
    }
    return refill();
}

bool ConvertInput::refill_mapped()
{
    const off_t fpos = map_off + static_cast<off_t>(data() - static_cast<const unsigned char *>(map));
    unmap();
    if (file_size - fpos > MAP_TAIL && map_at(fpos) && end > 0)
        return true;
    unmap();
    return read_from(fpos);
}

bool ConvertInput::refill()
{
    if (mapping)
        return refill_mapped();
    if (eof)
        return false;
    if (pos > 0) {
        std::memmove(buf, buf + pos, end - pos);
        end -= pos;
        pos = 0;
    }
    const std::size_t want = cap - end;
    const std::size_t got = std::fread(buf + end, 1, want, f);
    end += got;
    if (got < want)
        eof = true;
    return got > 0;
}
