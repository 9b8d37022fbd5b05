// Fuzz target: job card, USR=(...), $HASP125 and programmer-name scanning over arbitrary text. Input:
// one byte that sets the sizes of the job name, account and programmer buffers (bits 0-1, 2-3, 4-5,
// each 0 to 3 bytes plus 1 to 12), then the text. Text and buffers are heap copies of exactly their
// sizes, so a read or write past them is caught; the programmer name never passes its size.
#include "support/jobcard.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    const unsigned sizes = data[0];
    const int jobname_size = 1 + static_cast<int>(sizes & 3) * 4;
    const int jobno_size = 1 + static_cast<int>((sizes >> 2) & 3) * 4;
    const int progname_size = 1 + static_cast<int>((sizes >> 4) & 3) * 4;
    const std::size_t n = size - 1;
    const int len = static_cast<int>(n);

    std::vector<char> text(data + 1, data + size);
    text.shrink_to_fit();
    std::unique_ptr<char[]> jobname(new char[static_cast<std::size_t>(jobname_size)]());
    std::unique_ptr<char[]> jobno(new char[static_cast<std::size_t>(jobno_size)]());
    std::unique_ptr<char[]> progname(new char[static_cast<std::size_t>(progname_size)]());
    const int found = jobcard(text.data(), len, jobname.get(), jobname_size, jobno.get(), jobno_size,
                              progname.get(), progname_size, (sizes & 0x40) != 0);
    if (found != 0 && found != 1)
        std::abort();

    const int reader = skipped(text.data(), len);
    if (reader < -1 || reader > 6)
        std::abort();

    std::unique_ptr<char[]> copy(new char[n > 0 ? n : 1]);
    std::memcpy(copy.get(), text.data(), n);
    if (usrcard(copy.get(), len) == 1 && n > 0 && std::memchr(copy.get(), 0, n) == nullptr)
        std::abort(); // what usrcard copies is always terminated inside the length

    std::unique_ptr<char[]> field(new char[n + 1]);
    std::memcpy(field.get(), text.data(), n);
    field[n] = '\0';
    const int named = setupname(field.get());
    if ((named != 1 && named != -1) || (named == 1 && std::strlen(field.get()) > 20))
        std::abort();
    return 0;
}
