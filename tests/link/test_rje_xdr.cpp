// XDR records of the link daemon protocol: golden bytes, bounds, round trips through a memory
// stream.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "link/rje_xdr.h"

namespace
{

using bytes = std::vector<uint8_t>;

template <class T> bool encode(bool_t (*routine)(XDR *, T *), T &obj, bytes &out)
{
    out.assign(8192, 0);
    XDR x;
    xdrmem_create(&x, reinterpret_cast<char *>(out.data()), static_cast<u_int>(out.size()), XDR_ENCODE);
    bool ok = routine(&x, &obj);
    out.resize(xdr_getpos(&x));
    xdr_destroy(&x);
    return ok;
}

// Decodes all of `in` into `obj` (zeroed first, strings allocated); the caller frees with
// release().
template <class T> bool decode(bool_t (*routine)(XDR *, T *), const bytes &in, T &obj)
{
    std::memset(static_cast<void *>(&obj), 0, sizeof obj);
    bytes copy = in;
    XDR x;
    xdrmem_create(&x, reinterpret_cast<char *>(copy.data()), static_cast<u_int>(copy.size()), XDR_DECODE);
    bool ok = routine(&x, &obj) && xdr_getpos(&x) == copy.size();
    xdr_destroy(&x);
    return ok;
}

template <class T> void release(bool_t (*routine)(XDR *, T *), T &obj)
{
    xdr_free(nje_xdrproc(routine), &obj);
}

// Encodes, decodes and encodes again: both encodings must be the same bytes.
template <class T>::testing::AssertionResult round_trip(bool_t (*routine)(XDR *, T *), T obj)
{
    bytes first, second;
    if (!encode(routine, obj, first))
        return ::testing::AssertionFailure() << "encode failed";
    T back;
    if (!decode(routine, first, back)) {
        release(routine, back);
        return ::testing::AssertionFailure() << "decode failed";
    }
    bool ok = encode(routine, back, second);
    release(routine, back);
    if (!ok || first != second)
        return ::testing::AssertionFailure() << "bytes differ";
    return ::testing::AssertionSuccess();
}

bytes hex(const char *h)
{
    bytes b;
    for (const char *p = h; *p; p += *p == ' ' ? 1 : 2)
        if (*p != ' ')
            b.push_back(static_cast<uint8_t>(std::stoi(std::string(p, 2), nullptr, 16)));
    return b;
}

char NODEA[] = "NODEA", USER1[] = "USER1", LINKA[] = "LINKA", ID78[] = "78";
char LONGTEXT[] = "a longer text, with spaces and 33+ characters in all";
char ALIAS[] = "AN-ALIAS-OF-EXACTLY-33-CHARACTERS";
u_char MSG[] = {'a', 'b', 'c'};

} // namespace

TEST(RjeXdr, GoldenBytes)
{
    d_sendjob job{2, NODEA, USER1, ID78};
    bytes out;
    ASSERT_TRUE(encode(xdr_d_sendjob, job, out));
    EXPECT_EQ(out, hex("00000002 00000005 4E4F444541 000000 00000005 5553455231 000000 "
                       "00000002 3738 0000")); // 36 bytes

    l_stats st{{1, 2, 3, 4, 5}, {-1, 7, 8, 9}, 10, 4096};
    ASSERT_TRUE(encode(xdr_l_stats, st, out));
    EXPECT_EQ(out, hex("00000001 00000002 00000003 00000004 00000005 FFFFFFFF 00000007 00000008 "
                       "00000009 0000000A 00001000"));
    EXPECT_EQ(out.size(), NJE_L_STATS_SIZE);
    l_stats back;
    ASSERT_TRUE(decode(xdr_l_stats, out, back));
    EXPECT_EQ(back.totals[0], -1); // long is sign-extended back
    EXPECT_EQ(back.blocksize, 4096);

    char empty[] = "";
    d_linkinfo info{};
    info.link = info.node = info.host = info.alias = empty;
    for (char *&t : info.text)
        t = empty;
    info.program = 0x4BADBEEF;
    ASSERT_TRUE(encode(xdr_d_linkinfo, info, out));
    ASSERT_EQ(out.size(), NJE_LINKINFO_EMPTY_SIZE);
    bytes expected(120, 0);
    expected[76] = 0x4B, expected[77] = 0xAD, expected[78] = 0xBE, expected[79] = 0xEF;
    EXPECT_EQ(out, expected);

    d_userinfo hello{0x4BADBEEF, 0x01, 0xFF, 0xFF};
    ASSERT_TRUE(encode(xdr_d_userinfo, hello, out));
    EXPECT_EQ(out, hex("4BADBEEF 00000001 000000FF 000000FF"));

    d_msgarray msg{3, MSG};
    ASSERT_TRUE(encode(xdr_d_msgarray, msg, out));
    EXPECT_EQ(out, hex("00000003 00000061 00000062 00000063"));

    d_jobid id{0, LINKA, ID78};
    ASSERT_TRUE(encode(xdr_d_jobid, id, out));
    EXPECT_EQ(out, hex("00000000 00000005 4C494E4B41 000000 00000002 3738 0000"));
}

TEST(RjeXdr, BoundsRefuseOverlongStringsAndMessages)
{
    bytes out;
    char ten[] = "ABCDEFGHIJ", nine[] = "ABCDEFGHI";
    d_destname d{ten};
    EXPECT_FALSE(encode(xdr_d_destname, d, out));
    d.name = nine;
    ASSERT_TRUE(encode(xdr_d_destname, d, out));
    // A 9-character name fills a caller field of bound + 1 bytes; 10 characters are refused.
    char field[NJE_NAME_FIELD];
    d_destname into{field};
    XDR x;
    xdrmem_create(&x, reinterpret_cast<char *>(out.data()), static_cast<u_int>(out.size()), XDR_DECODE);
    EXPECT_TRUE(xdr_d_destname(&x, &into));
    EXPECT_STREQ(field, "ABCDEFGHI");
    bytes wire = hex("0000000A 41424344454647484950 0000");
    d_destname alloc;
    EXPECT_FALSE(decode(xdr_d_destname, wire, alloc));
    release(xdr_d_destname, alloc);

    std::vector<u_char> m(257, 'x');
    d_msgarray msg{257, m.data()};
    EXPECT_FALSE(encode(xdr_d_msgarray, msg, out));
    msg.msg_len = 256;
    ASSERT_TRUE(encode(xdr_d_msgarray, msg, out));
    EXPECT_EQ(out.size(), 4u + 4u * 256u);
    out[2] = 0x01, out[3] = 0x01; // count 257
    d_msgarray back;
    EXPECT_FALSE(decode(xdr_d_msgarray, out, back));
    release(xdr_d_msgarray, back);

    // A truncated record fails rather than reading past the end.
    wire = hex("00000002 00000005 4E4F444541 000000 00000005 5553");
    d_sendjob job;
    EXPECT_FALSE(decode(xdr_d_sendjob, wire, job));
    release(xdr_d_sendjob, job);
}

TEST(RjeXdr, JobidAnswersNamingSpoolPaths)
{
    d_jobid id;
    EXPECT_TRUE(decode(xdr_d_jobid, hex("00000000 00000005 4C494E4B41 000000 00000002 3738 0000"), id));
    EXPECT_STREQ(id.linkname, "LINKA");
    EXPECT_STREQ(id.jobid, "78");
    release(xdr_d_jobid, id);
    // The stubs refuse names that would step out of the spool directory.
    for (const char *bad : {"", ".", "..", "A/B", "../x", "/"})
        EXPECT_FALSE(nje_safe_path_component(bad)) << bad;
    for (const char *good : {"LINKA", "...", "78", ".a"})
        EXPECT_TRUE(nje_safe_path_component(good)) << good;
    // The identifier takes at most 31 characters (a 32-byte field).
    std::string id31(31, '7'), id32(32, '7');
    d_jobid res{0, LINKA, id31.data()};
    bytes out;
    ASSERT_TRUE(encode(xdr_d_jobid, res, out));
    d_jobid back;
    EXPECT_TRUE(decode(xdr_d_jobid, out, back));
    release(xdr_d_jobid, back);
    res.jobid = id32.data();
    EXPECT_FALSE(encode(xdr_d_jobid, res, out));
}

// The call queue and link work records are checked as the arms of the unions below.
TEST(RjeXdr, EveryRecordRoundTrips)
{
    d_msgarray msg{3, MSG};
    d_linkinfo info{};
    info.link = LINKA;
    info.state = -3;
    info.node = NODEA;
    info.host = LONGTEXT;
    info.alias = ALIAS;
    for (int i = 0; i < NJE_LINKINFO_COUNTERS; ++i)
        info.counters[i] = i * 1000 - 7;
    info.program = 0x40021200;
    for (char *&t : info.text)
        t = LONGTEXT;

    EXPECT_TRUE(round_trip(xdr_d_msgarray, msg));
    EXPECT_TRUE(round_trip(xdr_d_userinfo, d_userinfo{0x4BADBEEF, 1, 0xFE, 0x80}));
    EXPECT_TRUE(round_trip(xdr_d_userparms, d_userparms{NODEA, USER1}));
    EXPECT_TRUE(round_trip(xdr_d_destname, d_destname{NODEA}));
    EXPECT_TRUE(round_trip(xdr_d_jobid, d_jobid{0, LINKA, ID78}));
    EXPECT_TRUE(round_trip(xdr_d_sendjob, d_sendjob{2, NODEA, USER1, ID78}));
    EXPECT_TRUE(round_trip(xdr_d_linkinfo, info));
    EXPECT_TRUE(round_trip(xdr_l_stats, l_stats{{1, 2, 3, 4, 0xFFFFFFFF}, {-5, 6, -7, 8}, 9, 4096}));
    EXPECT_TRUE(round_trip(xdr_d_linkparms, d_linkparms{0x40000001, LINKA}));
    EXPECT_TRUE(round_trip(xdr_d_nodeparms, d_nodeparms{1, NODEA, 175, info}));
    EXPECT_TRUE(round_trip(xdr_d_rcvjob, d_rcvjob{LINKA, ID78}));
    EXPECT_TRUE(round_trip(xdr_d_rcvmsg, d_rcvmsg{LINKA, msg}));
    EXPECT_TRUE(round_trip(xdr_d_userstat, d_userstat{NJE_U_DISCONNECTED, 3, 0x4BADBEEF, LONGTEXT}));
    EXPECT_TRUE(round_trip(xdr_d_linkstat, d_linkstat{NJE_L_STOPPED, LINKA}));
    EXPECT_TRUE(round_trip(xdr_d_checkroute, d_checkroute{NODEA, LINKA}));
    EXPECT_TRUE(round_trip(xdr_d_setport, d_setport{LINKA, 175}));
    EXPECT_TRUE(round_trip(xdr_d_setlogging, d_setlogging{2, LONGTEXT, -1}));
    EXPECT_TRUE(round_trip(xdr_d_nodeinfo, d_nodeinfo{LONGTEXT, 4}));
    EXPECT_TRUE(round_trip(xdr_d_stoplink, d_stoplink{1, LINKA}));
    EXPECT_TRUE(round_trip(xdr_d_starttrace, d_starttrace{3, LINKA, LONGTEXT}));
    EXPECT_TRUE(round_trip(xdr_d_route, d_route{NODEA, LINKA}));
    EXPECT_TRUE(round_trip(xdr_d_alias, d_alias{LINKA, ALIAS}));
    EXPECT_TRUE(round_trip(xdr_d_username, d_username{USER1}));
    EXPECT_TRUE(round_trip(xdr_d_canceljob, d_canceljob{LINKA, ID78}));
    EXPECT_TRUE(round_trip(xdr_d_cancelled, d_cancelled{LINKA, ID78, 21, NJE_C_NOT_FOUND}));
    EXPECT_TRUE(round_trip(xdr_d_log, d_log{LONGTEXT}));
    EXPECT_TRUE(round_trip(xdr_l_canceljob, l_canceljob{ID78, 3}));
}

// A union encodes as its discriminant followed by the record of the arm it selects.
template <class U, class A>
void expect_arm(bool_t (*routine)(XDR *, U *), U obj, bool_t (*arm)(XDR *, A *), A &value)
{
    bytes whole, part;
    ASSERT_TRUE(encode(routine, obj, whole));
    ASSERT_TRUE(encode(arm, value, part));
    bytes expected{0, 0, 0, static_cast<uint8_t>(obj.type)};
    expected.insert(expected.end(), part.begin(), part.end());
    EXPECT_EQ(whole, expected) << "arm " << obj.type;
    EXPECT_TRUE(round_trip(routine, obj)) << "arm " << obj.type;
}

TEST(RjeXdr, UnionsSelectTheirArms)
{
    d_msgarray msg{3, MSG};
    d_callerid caller{};
    caller.type = NJE_CALLER_LINK, caller.u.link = {1, LINKA};
    expect_arm(xdr_d_callerid, caller, xdr_cq_link_id, caller.u.link);
    caller.type = NJE_CALLER_USER, caller.u.user = {2, 1000, ALIAS};
    expect_arm(xdr_d_callerid, caller, xdr_cq_user_id, caller.u.user);

    d_callinfo call{};
    call.type = NJE_CALL_LINK_MESSAGE, call.u.link_message = {3, LINKA, msg};
    expect_arm(xdr_d_callinfo, call, xdr_cq_link_message, call.u.link_message);
    call.type = NJE_CALL_LINK_JOB, call.u.link_job = {4, LINKA, 2, 1, ID78};
    expect_arm(xdr_d_callinfo, call, xdr_cq_link_job, call.u.link_job);
    call.type = NJE_CALL_USER_MESSAGE, call.u.user_message = {5, 6, ALIAS, USER1, msg};
    expect_arm(xdr_d_callinfo, call, xdr_cq_user_message, call.u.user_message);
    call.type = NJE_CALL_USER_JOB, call.u.user_job = {7, 8, ALIAS, USER1, NODEA, 78};
    expect_arm(xdr_d_callinfo, call, xdr_cq_user_job, call.u.user_job);
    call.type = NJE_CALL_LINK_STOP, call.u.link_stop = {9, LINKA, 1};
    expect_arm(xdr_d_callinfo, call, xdr_cq_link_stop, call.u.link_stop);
    call.type = NJE_CALL_TRACELINK, call.u.tracelink = {10, LINKA, 2, 3, LONGTEXT};
    expect_arm(xdr_d_callinfo, call, xdr_cq_tracelink, call.u.tracelink);
    call.type = NJE_CALL_CANCELJOB, call.u.canceljob = {11, LINKA, 0, ID78};
    expect_arm(xdr_d_callinfo, call, xdr_cq_canceljob, call.u.canceljob);
    call.type = NJE_CALL_CANCELALL, call.u.cancelall = {12, LINKA};
    expect_arm(xdr_d_callinfo, call, xdr_cq_cancelall, call.u.cancelall);

    l_work work{};
    work.type = NJE_WORK_OUTJOB, work.u.outjob = {2, ID78, 5};
    expect_arm(xdr_l_work, work, xdr_l_outjob, work.u.outjob);
    work.type = NJE_WORK_OUTMSG, work.u.outmsg = {msg};
    expect_arm(xdr_l_work, work, xdr_l_outmsg, work.u.outmsg);
    work.type = NJE_WORK_FLAG, work.u.flag = 0xAB;
    expect_arm(xdr_l_work, work, xdr_u_char, work.u.flag);
    work.type = NJE_WORK_TRACELINK, work.u.tracelink = {1, 2, LONGTEXT};
    expect_arm(xdr_l_work, work, xdr_l_tracelink, work.u.tracelink);

    // Any other discriminant carries one long: exactly 8 bytes.
    bytes out;
    work.type = 99, work.u.other = -2;
    ASSERT_TRUE(encode(xdr_l_work, work, out));
    EXPECT_EQ(out, hex("00000063 FFFFFFFE"));
    caller.type = 0, caller.u.other = 0x12345678;
    ASSERT_TRUE(encode(xdr_d_callerid, caller, out));
    EXPECT_EQ(out, hex("00000000 12345678"));
    call.type = -1, call.u.other = 7;
    ASSERT_TRUE(encode(xdr_d_callinfo, call, out));
    EXPECT_EQ(out, hex("FFFFFFFF 00000007"));
    d_callinfo back;
    ASSERT_TRUE(decode(xdr_d_callinfo, out, back));
    EXPECT_EQ(back.type, -1);
    EXPECT_EQ(back.u.other, 7);
}
