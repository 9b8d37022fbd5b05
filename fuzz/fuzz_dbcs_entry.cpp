// Fuzzes the lookups behind the DBCS conversion library's entry points ("xeuclen", "xeuctoibm",
// "xibmtoeuc") with arbitrary character bytes and codes, for each host set and workstation encoding.
// Input: one byte choosing the pair, then records of 4 character bytes and a 3-byte big-endian code.
// Checks: lengths 1-4; a host answer is the substitution code or a double-byte code; a workstation
// answer is a whole character (nothing after its last byte) that goes back to a host code whose
// answer is that same character.
#include <array>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "convert/dbcs/dbcs_iconv.h"

namespace
{

constexpr dbcs_pair pairs[] = {
    {dbcs_host::ibm939, dbcs_workstation::euc_jp}, {dbcs_host::ibm939, dbcs_workstation::utf8},
    {dbcs_host::ibm933, dbcs_workstation::euc_kr}, {dbcs_host::ibm933, dbcs_workstation::utf8},
    {dbcs_host::ibm935, dbcs_workstation::euc_cn}, {dbcs_host::ibm935, dbcs_workstation::utf8},
    {dbcs_host::ibm937, dbcs_workstation::euc_tw}, {dbcs_host::ibm937, dbcs_workstation::utf8},
};
constexpr std::size_t PAIRS = std::size(pairs);
constexpr std::size_t RECORD = 7; // 4 character bytes, 3 code bytes

const dbcs_tables &tables_of(std::size_t i)
{
    static std::array<std::unique_ptr<dbcs_tables>, PAIRS> built;
    if (!built[i]) {
        built[i] = std::make_unique<dbcs_tables>();
        if (dbcs_build_tables(pairs[i], *built[i]) != 0) {
            std::abort(); // a converter is missing
        }
    }
    return *built[i];
}

bool host_answer_ok(uint16_t code)
{
    unsigned hi = code >> 8, lo = code & 0xFF;
    return code == DBCS_SUBSTITUTE || code == DBCS_BLANK ||
           (hi >= DBCS_BYTE_FIRST && hi <= DBCS_BYTE_LAST && lo >= DBCS_BYTE_FIRST && lo <= DBCS_BYTE_LAST);
}

void check(const dbcs_tables &t, const unsigned char *rec)
{
    auto ch = std::make_unique<dbcs_bytes>(); // exact size on the heap: a read past it is caught
    std::memcpy(ch->data(), rec, DBCS_CHAR_MAX);
    int n = dbcs_char_length(t.pair.ws, (*ch)[0]);
    if (n < 1 || n > static_cast<int>(DBCS_CHAR_MAX) || !host_answer_ok(dbcs_lookup_host(t, *ch))) {
        std::abort();
    }
    unsigned code = static_cast<unsigned>(rec[4]) << 16 | rec[5] << 8 | rec[6];
    dbcs_bytes w = dbcs_lookup_workstation(t, code);
    if (w[0] == DBCS_NO_CHARACTER) {
        return;
    }
    if (code > 0xFFFF) {
        std::abort();
    }
    std::size_t len = static_cast<std::size_t>(dbcs_char_length(t.pair.ws, w[0]));
    for (std::size_t i = len; i < DBCS_CHAR_MAX; i++) {
        if (w[i] != 0) {
            std::abort();
        }
    }
    uint16_t back = dbcs_lookup_host(t, w);
    if (back == DBCS_SUBSTITUTE || dbcs_lookup_workstation(t, back) != w) {
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1) {
        return 0;
    }
    const dbcs_tables &t = tables_of(data[0] % PAIRS);
    for (std::size_t pos = 1; pos + RECORD <= size; pos += RECORD) {
        check(t, data + pos);
    }
    return 0;
}
