// XDR records of the link daemon protocol: golden bytes, the unions' layout, bounds.
#include <gtest/gtest.h>

#include <cstring>

#include "link/rje_xdr.h"
#include "tests/test_util.h"

namespace
{

// The encoding of `obj`, or "refused".
template <class T> Bytes encode(bool_t (*routine)(XDR *, T *), T obj)
{
    Bytes out(8192);
    XDR x;
    xdrmem_create(&x, reinterpret_cast<char *>(out.data()), static_cast<u_int>(out.size()), XDR_ENCODE);
    const bool ok = routine(&x, &obj);
    out.resize(ok ? xdr_getpos(&x) : 0);
    xdr_destroy(&x);
    return ok ? out : bytes("refused");
}

// Decodes all of `in` into `obj` (zeroed first, strings allocated, freed at once): whether it decoded.
template <class T> bool decodes(bool_t (*routine)(XDR *, T *), Bytes in, T &obj)
{
    std::memset(static_cast<void *>(&obj), 0, sizeof obj);
    XDR x;
    xdrmem_create(&x, reinterpret_cast<char *>(in.data()), static_cast<u_int>(in.size()), XDR_DECODE);
    const bool ok = routine(&x, &obj) && xdr_getpos(&x) == in.size();
    xdr_destroy(&x);
    return ok;
}

template <class T> bool decodes(bool_t (*routine)(XDR *, T *), const Bytes &in)
{
    T obj;
    const bool ok = decodes(routine, in, obj);
    xdr_free(nje_xdrproc(routine), &obj);
    return ok;
}

char NODEA[] = "NODEA", USER1[] = "USER1", LINKA[] = "LINKA", ID78[] = "78", EMPTY[] = "";
char ALIAS[] = "AN-ALIAS-OF-EXACTLY-33-CHARACTERS";
u_char MSG[] = {'a', 'b', 'c'};

} // namespace

TEST(RjeXdr, GoldenBytes)
{
    EXPECT_EQ(encode(xdr_d_sendjob, d_sendjob{2, NODEA, USER1, ID78}),
              hex("00000002 00000005 4E4F444541 000000 00000005 5553455231 000000 00000002 3738 0000"));
    const Bytes stats = hex("00000001 00000002 00000003 00000004 00000005 FFFFFFFF 00000007 00000008 "
                            "00000009 0000000A 00001000");
    EXPECT_EQ(encode(xdr_l_stats, l_stats{{1, 2, 3, 4, 5}, {-1, 7, 8, 9}, 10, 4096}), stats);
    EXPECT_EQ(stats.size(), NJE_L_STATS_SIZE);
    l_stats back;
    ASSERT_TRUE(decodes(xdr_l_stats, stats, back));
    EXPECT_EQ(back.totals[0], -1); // long is sign-extended back
    EXPECT_EQ(back.blocksize, 4096);

    d_linkinfo info{};
    info.link = info.node = info.host = info.alias = EMPTY;
    for (char *&t : info.text)
        t = EMPTY;
    info.program = 0x4BADBEEF;
    EXPECT_EQ(encode(xdr_d_linkinfo, info), hex("00*76 4BADBEEF 00*40"));
    EXPECT_EQ(NJE_LINKINFO_EMPTY_SIZE, 120u);
    EXPECT_EQ(encode(xdr_d_userinfo, d_userinfo{0x4BADBEEF, 0x01, 0xFF, 0xFF}),
              hex("4BADBEEF 00000001 000000FF 000000FF"));
    EXPECT_EQ(encode(xdr_d_msgarray, d_msgarray{3, MSG}), hex("00000003 00000061 00000062 00000063"));
    EXPECT_EQ(encode(xdr_d_jobid, d_jobid{0, LINKA, ID78}),
              hex("00000000 00000005 4C494E4B41 000000 00000002 3738 0000")); // decoded in every run
}

// A union encodes as its discriminant followed by the record of the arm it selects; any other
// discriminant carries one long.
TEST(RjeXdr, UnionsSelectTheirArms)
{
    // Sets the union's type and arm, and compares its encoding with the discriminant and the arm's.
#define ARM(routine, obj, type_, field, arm_routine, ...)                                                    \
    obj.type = type_, obj.u.field = __VA_ARGS__;                                                             \
    EXPECT_EQ(encode(routine, obj),                                                                          \
              cat({0, 0, 0, static_cast<unsigned char>(type_)}, encode(arm_routine, obj.u.field)))
    d_msgarray msg{3, MSG};
    d_callerid caller{};
    ARM(xdr_d_callerid, caller, NJE_CALLER_LINK, link, xdr_cq_link_id, {1, LINKA});
    ARM(xdr_d_callerid, caller, NJE_CALLER_USER, user, xdr_cq_user_id, {2, 1000, ALIAS});
    d_callinfo call{};
    ARM(xdr_d_callinfo, call, NJE_CALL_LINK_MESSAGE, link_message, xdr_cq_link_message, {3, LINKA, msg});
    ARM(xdr_d_callinfo, call, NJE_CALL_LINK_JOB, link_job, xdr_cq_link_job, {4, LINKA, 2, 1, ID78});
    ARM(xdr_d_callinfo, call, NJE_CALL_USER_MESSAGE, user_message, xdr_cq_user_message,
        {5, 6, ALIAS, USER1, msg});
    ARM(xdr_d_callinfo, call, NJE_CALL_USER_JOB, user_job, xdr_cq_user_job, {7, 8, ALIAS, USER1, NODEA, 78});
    ARM(xdr_d_callinfo, call, NJE_CALL_LINK_STOP, link_stop, xdr_cq_link_stop, {9, LINKA, 1});
    ARM(xdr_d_callinfo, call, NJE_CALL_TRACELINK, tracelink, xdr_cq_tracelink, {10, LINKA, 2, 3, ALIAS});
    ARM(xdr_d_callinfo, call, NJE_CALL_CANCELJOB, canceljob, xdr_cq_canceljob, {11, LINKA, 0, ID78});
    ARM(xdr_d_callinfo, call, NJE_CALL_CANCELALL, cancelall, xdr_cq_cancelall, {12, LINKA});
    l_work work{};
    ARM(xdr_l_work, work, NJE_WORK_OUTJOB, outjob, xdr_l_outjob, {2, ID78, 5});
    ARM(xdr_l_work, work, NJE_WORK_OUTMSG, outmsg, xdr_l_outmsg, {msg});
    ARM(xdr_l_work, work, NJE_WORK_FLAG, flag, xdr_u_char, 0xAB);
    ARM(xdr_l_work, work, NJE_WORK_TRACELINK, tracelink, xdr_l_tracelink, {1, 2, ALIAS});
#undef ARM

    work.type = 99, work.u.other = -2;
    EXPECT_EQ(encode(xdr_l_work, work), hex("00000063 FFFFFFFE"));
    caller.type = 0, caller.u.other = 0x12345678;
    EXPECT_EQ(encode(xdr_d_callerid, caller), hex("00000000 12345678"));
    call.type = -1, call.u.other = 7;
    EXPECT_EQ(encode(xdr_d_callinfo, call), hex("FFFFFFFF 00000007"));
    d_callinfo back;
    ASSERT_TRUE(decodes(xdr_d_callinfo, hex("FFFFFFFF 00000007"), back));
    EXPECT_EQ(back.type, -1);
    EXPECT_EQ(back.u.other, 7);
}

TEST(RjeXdr, BoundsAndSafeNames)
{
    char ten[] = "ABCDEFGHIJ", nine[] = "ABCDEFGHI";
    EXPECT_EQ(encode(xdr_d_destname, d_destname{ten}), bytes("refused"));
    // A 9-character name fills a caller field of bound + 1 bytes; 10 characters are refused.
    Bytes out = encode(xdr_d_destname, d_destname{nine});
    char field[NJE_NAME_FIELD];
    d_destname into{field};
    XDR x;
    xdrmem_create(&x, reinterpret_cast<char *>(out.data()), static_cast<u_int>(out.size()), XDR_DECODE);
    EXPECT_TRUE(xdr_d_destname(&x, &into));
    EXPECT_STREQ(field, "ABCDEFGHI");
    EXPECT_FALSE(decodes(xdr_d_destname, hex("0000000A 41424344454647484950 0000")));
    EXPECT_EQ(encode(xdr_d_alias, d_alias{LINKA, ALIAS}).size(), 4 + 8 + 4 + 36u);

    std::vector<u_char> m(257, 'x');
    EXPECT_EQ(encode(xdr_d_msgarray, d_msgarray{257, m.data()}), bytes("refused"));
    out = encode(xdr_d_msgarray, d_msgarray{256, m.data()});
    EXPECT_EQ(out.size(), 4u + 4u * 256u);
    out[2] = 0x01, out[3] = 0x01; // count 257
    EXPECT_FALSE(decodes(xdr_d_msgarray, out));
    // A truncated record fails rather than reading past the end.
    EXPECT_FALSE(decodes(xdr_d_sendjob, hex("00000002 00000005 4E4F444541 000000 00000005 5553")));

    // The identifier takes at most 31 characters (a 32-byte field).
    std::string id31(31, '7'), id32(32, '7');
    EXPECT_TRUE(decodes(xdr_d_jobid, encode(xdr_d_jobid, d_jobid{0, LINKA, id31.data()})));
    EXPECT_EQ(encode(xdr_d_jobid, d_jobid{0, LINKA, id32.data()}), bytes("refused"));
    // The stubs refuse names that would step out of the spool directory.
    for (const char *bad : {"", ".", "..", "A/B", "../x", "/"})
        EXPECT_FALSE(nje_safe_path_component(bad)) << bad;
    for (const char *good : {"LINKA", "...", "78", ".a"})
        EXPECT_TRUE(nje_safe_path_component(good)) << good;
}
