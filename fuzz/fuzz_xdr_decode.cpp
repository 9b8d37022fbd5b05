// Decodes arbitrary bytes as each answer record of the link daemon protocol and as the three
// unions, through an XDR memory stream; whatever decodes must encode again.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "link/rje_xdr.h"

namespace
{

template <class T> void check(bool_t (*routine)(XDR *, T *), const uint8_t *data, size_t size)
{
    std::vector<uint8_t> in(data, data + size);
    T obj;
    std::memset(static_cast<void *>(&obj), 0, sizeof obj);
    XDR x;
    xdrmem_create(&x, reinterpret_cast<char *>(in.data()), static_cast<u_int>(in.size()), XDR_DECODE);
    bool ok = routine(&x, &obj);
    u_int used = xdr_getpos(&x);
    xdr_destroy(&x);
    if (ok) {
        // What decoded encodes again, in no more bytes (a string read up to an embedded NUL or a
        // byte value carried in a larger unit may come out shorter or different, never longer).
        std::vector<uint8_t> out(used + 8);
        xdrmem_create(&x, reinterpret_cast<char *>(out.data()), static_cast<u_int>(out.size()), XDR_ENCODE);
        if (!routine(&x, &obj) || xdr_getpos(&x) > used)
            std::abort();
        xdr_destroy(&x);
    }
    xdr_free(nje_xdrproc(routine), &obj);
}

// Decoding into caller fields of bound + 1 bytes, as the stubs do.
void check_fields(const uint8_t *data, size_t size)
{
    std::vector<uint8_t> in(data, data + size);
    char node[NJE_NAME_FIELD], user[NJE_NAME_FIELD], jobid[NJE_JOBID_FIELD];
    XDR x;
    xdrmem_create(&x, reinterpret_cast<char *>(in.data()), static_cast<u_int>(in.size()), XDR_DECODE);
    d_jobid id{0, node, jobid};
    if (xdr_d_jobid(&x, &id) && (std::strlen(node) > NJE_NAME_MAX || std::strlen(jobid) > NJE_JOBID_MAX))
        std::abort();
    xdr_destroy(&x);
    xdrmem_create(&x, reinterpret_cast<char *>(in.data()), static_cast<u_int>(in.size()), XDR_DECODE);
    d_userparms parms{node, user};
    if (xdr_d_userparms(&x, &parms) && (std::strlen(node) > NJE_NAME_MAX || std::strlen(user) > NJE_NAME_MAX))
        std::abort();
    xdr_destroy(&x);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    // The first byte picks the record, so the corpus can hold seeds for each.
    const uint8_t which = data[0];
    ++data, --size;
    switch (which % 9) {
    case 0:
        check(xdr_d_userparms, data, size);
        break;
    case 1:
        check(xdr_d_jobid, data, size);
        break;
    case 2:
        check(xdr_d_linkinfo, data, size);
        break;
    case 3:
        check(xdr_l_stats, data, size);
        break;
    case 4:
        check(xdr_d_callerid, data, size);
        break;
    case 5:
        check(xdr_d_callinfo, data, size);
        break;
    case 6:
        check(xdr_l_work, data, size);
        break;
    case 7:
        check(xdr_d_sendjob, data, size);
        break;
    default:
        check_fields(data, size);
        break;
    }
    return 0;
}
