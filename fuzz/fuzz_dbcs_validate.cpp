// Fuzzes the SO/SI segment check over arbitrary bytes with an exact-size buffer, and checks its answer
// against the rule: an SI after exactly one SO, an even number of bytes between, no byte below 0x40.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "convert/kiolink.h"

namespace
{

int reference(const std::vector<unsigned char> &b)
{
    int so = -1;
    for (size_t i = 0; i < b.size(); i++) {
        if (b[i] == 0x0F) {
            return so >= 0 && (i - 1) % 2 == 0;
        }
        if (b[i] == 0x0E) {
            if (so >= 0) {
                return 0;
            }
            so = static_cast<int>(i);
        } else if (b[i] < 0x40) {
            return 0;
        }
    }
    return 0;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    std::vector<unsigned char> bytes(data, data + size);
    int got = dbcs_validate(bytes.data(), static_cast<int>(bytes.size()));
    if (got != reference(bytes)) {
        std::abort();
    }
    return 0;
}
