// The link client against the link daemon simulator over the machine's rpcbind on loopback:
// the calls of a run, every failure path with its exact message, and the error printers.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "link/link_client.h"
#include "tests/link/sim_process.h"

namespace fs = std::filesystem;
using ::testing::internal::CaptureStderr;
using ::testing::internal::GetCapturedStderr;

namespace
{

const std::string not_active = "jobpush: SNA RJE Link: <nodea> on machine: <localhost> is not active\n";
const std::string cannot_contact = "jobpush: Cannot contact SNA RJE Link: <nodea> on machine: <localhost>\n";

// A complete job as the job builder leaves it: header file with valid mark `mark` and one job
// header record of one 8-byte section; data file with one 3-byte block and the end-of-data mark.
void write_job(const fs::path &input, const std::string &id, char mark)
{
    std::ofstream(input / ("NJH" + id), std::ios::binary)
        << mark << std::string("\0\0\0\0\0\0\0\xC0\0\0\0\x08\0\x08\0\0\x01\x02\x03\x04", 20);
    std::ofstream(input / ("NJD" + id), std::ios::binary)
        << std::string("\0\0\0\x07\x80SNA\x01\xC1\x1E\0\0\0\0", 15);
}

class LinkClient : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        hold_rpcbind_lock();
        ctx = link_context{"jobpush", "localhost", "NODEA", "nodea", false, nullptr};
    }
    void TearDown() override
    {
        end_link(ctx);
    }
    // Starts the simulator with the standard identity and links plus the space-separated
    // options `extra`, and contacts it.
    ::testing::AssertionResult start(const std::string &extra = "")
    {
        std::vector<std::string> args = {"--spool", spool.path(), "--node",      "MYNODE",       "--user",
                                         "ME",      "--link",     "NODEA=LINKA", "--time-limit", "120"};
        std::istringstream words(extra);
        for (std::string w; words >> w;)
            args.push_back(w);
        sim = std::make_unique<sim_process>(args);
        if (!sim->start())
            return ::testing::AssertionFailure() << sim->error();
        clnt = nje_xdr_contactdisp("localhost");
        if (clnt == nullptr)
            return ::testing::AssertionFailure() << clnt_spcreateerror("contact");
        return ::testing::AssertionSuccess();
    }
    fs::path input() const { return fs::path(spool.path()) / "MYNODE" / "LINKA" / "input"; }

    temp_dir spool;
    std::unique_ptr<sim_process> sim;
    link_context ctx;
    CLIENT *&clnt = ctx.clnt;
};

} // namespace

TEST(Rpcbind, PortmapperAnswersOnLoopback)
{
    EXPECT_EQ(port_of(100000, 2), 111)
        << "rpcbind is not running here; the link tests need it (start it with: rpcbind -w)";
}

TEST_F(LinkClient, RunOfCallsAgainstTheSimulator)
{
    ASSERT_TRUE(start("--block-size 2048 --first-id 10005"));
    char node[NJE_NAME_FIELD], user[NJE_NAME_FIELD];
    ASSERT_EQ(nje_xdr_userparms(clnt, node, user), 0);
    EXPECT_STREQ(node, "MYNODE");
    EXPECT_STREQ(user, "ME");

    ctx.trace = true;
    CaptureStderr();
    EXPECT_EQ(getmaxdata(ctx), 2048);
    EXPECT_EQ(GetCapturedStderr(), "maxdata = 2048\n");

    char link[NJE_NAME_FIELD], id[NJE_JOBID_FIELD];
    ASSERT_EQ(nje_xdr_getid(clnt, "NODEA", link, id), 0);
    EXPECT_STREQ(link, "LINKA");
    EXPECT_STREQ(id, "10005");
    ASSERT_EQ(nje_xdr_getid(clnt, "NODEA", link, id), 0);
    EXPECT_STREQ(id, "10006");
    EXPECT_EQ(nje_xdr_getid(clnt, "NODEZ", link, id), NJE_E_UNKNOWN_LINK);
    EXPECT_EQ(nje_xdr_getid(clnt, "TOOLONGNAME", link, id), -1);

    write_job(input(), "10006", 2);
    EXPECT_EQ(nje_xdr_sendjob(clnt, 2, "NODEA", "ME", "10006"), 0);
    EXPECT_FALSE(fs::exists(input() / "NJH10006"));
    EXPECT_TRUE(fs::exists(input().parent_path() / "sent" / "NJH10006"));
    EXPECT_TRUE(fs::exists(input().parent_path() / "sent" / "NJD10006"));
    EXPECT_NE(sim->output().find("sent job 10006 type 2 from ME@MYNODE to NODEA via LINKA"),
              std::string::npos)
        << sim->output();

    EXPECT_EQ(nje_xdr_userhello(clnt, 1, 0, 0), 0);
    EXPECT_NE(sim->output().find(": 01 ff ff"), std::string::npos) << sim->output();
    const unsigned char hi[] = {'h', 'i'};
    EXPECT_EQ(nje_xdr_sendmsg(clnt, hi), 0);
    EXPECT_NE(sim->output().find("message (2 bytes): hi"), std::string::npos);
    std::vector<unsigned char> too_long(257, 'x');
    EXPECT_EQ(nje_xdr_sendmsg(clnt, too_long), -1);
    EXPECT_EQ(nje_xdr_userbye(clnt), 0);
    EXPECT_EQ(sim->stop(), 0);
}

TEST_F(LinkClient, SendChecksTheJobInTheSpool)
{
    ASSERT_TRUE(start("--link NODEB=LINKB"));
    write_job(input(), "5", 0); // valid mark still 0: incomplete
    write_job(input(), "6", 1); // mark differs from the job type
    write_job(input(), "7", 2);
    fs::resize_file(input() / "NJD7", 11); // end-of-data mark missing
    write_job(input(), "8", 2);
    std::ofstream(input() / "NJD8", std::ios::app) << "junk"; // bytes after the mark
    write_job(input(), "9", 2);
    fs::resize_file(input() / "NJH9", 1); // valid mark but no header record
    write_job(input(), "10", 2);
    fs::resize_file(input() / "NJH10", 18); // last record cut short
    for (const char *id : {"5", "6", "7", "8", "9", "10"})
        EXPECT_EQ(nje_xdr_sendjob(clnt, 2, "NODEA", "ME", id), NJE_E_BAD_JOB) << id;
    EXPECT_EQ(nje_xdr_sendjob(clnt, 2, "NODEA", "ME", "404"), NJE_E_JOB_NOT_FOUND);
    EXPECT_EQ(nje_xdr_sendjob(clnt, 2, "NODEZ", "ME", "5"), NJE_E_UNKNOWN_LINK);
    EXPECT_TRUE(fs::exists(input() / "NJH5"));
    EXPECT_TRUE(fs::is_directory(fs::path(spool.path()) / "MYNODE" / "LINKB" / "input"));
}

TEST_F(LinkClient, ContactRefusedWithoutLinkDaemon)
{
    EXPECT_EQ(nje_xdr_contactdisp("localhost"), nullptr);
    EXPECT_EQ(rpc_createerr.cf_stat, RPC_PROGNOTREGISTERED);
    EXPECT_EQ(nje_xdr_contactdisp(nullptr), nullptr);
}

TEST_F(LinkClient, IdentityCallFails)
{
    ASSERT_TRUE(start("--close-on 2"));
    char node[NJE_NAME_FIELD] = "x", user[NJE_NAME_FIELD] = "y";
    EXPECT_EQ(nje_xdr_userparms(clnt, node, user), -1);
    EXPECT_STREQ(node, "");
    std::string expected =
        std::string("jobpush: ") + clnt_sperror(clnt, "could not get local name and node") + "\n";
    EXPECT_NE(expected.find("RPC: "), std::string::npos);
    CaptureStderr();
    rpcerr("jobpush", clnt, "could not get local name and node", -1);
    EXPECT_EQ(GetCapturedStderr(), expected);
}

// Every way the block size query fails, with its exact messages under TRACE.
TEST_F(LinkClient, BlockSizeFailures)
{
    const struct {
        const char *options, *node;
        std::string messages;
    } cases[] = {
        // The link information call fails: the not-active message twice.
        {"--close-on 23", "NODEA", not_active + "-1 return from 'getlinkrpcid'\n" + not_active},
        // No link process for the node (program number 0): once.
        {"--zero-program NODEA", "NODEA", not_active},
        {"", "nodez", not_active}, // a node the link daemon does not serve
        {"--no-link-process", "NODEA", cannot_contact + "Zero return from 'contact_link'\n" + not_active},
        {"--close-on link", "NODEA", not_active},
        {"--block-size 273", "NODEA", not_active}, // too small for one record
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.options);
        ASSERT_TRUE(start(c.options));
        ctx.remote_node = c.node;
        ctx.trace = true;
        CaptureStderr();
        EXPECT_EQ(getmaxdata(ctx), -1);
        EXPECT_EQ(GetCapturedStderr(), c.messages);
        TearDown();
        sim.reset();
    }
}

TEST_F(LinkClient, RefusalsReturnTheStatus)
{
    ASSERT_TRUE(start("--getid-status 5 --send-status 22"));
    char link[NJE_NAME_FIELD], id[NJE_JOBID_FIELD];
    EXPECT_EQ(nje_xdr_getid(clnt, "NODEA", link, id), 5);
    write_job(input(), "1", 2);
    EXPECT_EQ(nje_xdr_sendjob(clnt, 2, "NODEA", "ME", "1"), 22);
    EXPECT_TRUE(fs::exists(input() / "NJH1"));
    CaptureStderr();
    rpcerr("jobpush", clnt, "could not get job id", 5);
    rpcerr("jobpush", clnt, "send job", 22);
    EXPECT_EQ(GetCapturedStderr(), "jobpush: could not get job id: NJE file error\n"
                                   "jobpush: send job: Permission denied\n");
}

// Answers too long for their fields fail the call; answers that decode but cannot be used are refused,
// and the refusal names the field and its value.
TEST_F(LinkClient, FaultyAnswersFailTheCall)
{
    const struct {
        const char *kind;
        int result;
        const char *field, *value;
    } cases[] = {
        {"long-jobid", -1, nullptr, ""},
        {"long-link", -1, nullptr, ""},
        {"slash-jobid", NJE_XDR_REFUSED, "job identifier", "../../etc/78"},
        {"slash-link", NJE_XDR_REFUSED, "link name", "../X"},
        {"dotdot-link", NJE_XDR_REFUSED, "link name", ".."},
        {"empty-jobid", NJE_XDR_REFUSED, "job identifier", ""},
        {"quote-link", NJE_XDR_REFUSED, "link name", "a\\\\\\\"\\x01/"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.kind);
        ASSERT_TRUE(start(std::string("--bad-answer ") + c.kind));
        char link[NJE_NAME_FIELD] = "old", id[NJE_JOBID_FIELD] = "old";
        nje_refusal refused;
        EXPECT_EQ(nje_xdr_getid(clnt, "NODEA", link, id, &refused), c.result);
        EXPECT_STREQ(link, "");
        EXPECT_STREQ(id, "");
        EXPECT_STREQ(refused.field, c.field);
        EXPECT_STREQ(refused.value, c.value);
        const timeval five{5, 0};
        EXPECT_EQ(
            clnt_call(clnt, NULLPROC, nje_xdrproc(xdr_void), nullptr, nje_xdrproc(xdr_void), nullptr, five),
            RPC_SUCCESS); // the connection is still sound
        TearDown();
        sim.reset();
    }
    ASSERT_TRUE(start("--bad-answer long-node"));
    char node[NJE_NAME_FIELD], user[NJE_NAME_FIELD];
    EXPECT_EQ(nje_xdr_userparms(clnt, node, user), -1);
    for (const char *kind : {"empty-node", "empty-user"}) {
        TearDown();
        sim.reset();
        ASSERT_TRUE(start(std::string("--bad-answer ") + kind));
        nje_refusal refused;
        EXPECT_EQ(nje_xdr_userparms(clnt, node, user, &refused), NJE_XDR_REFUSED);
        EXPECT_STREQ(refused.field, kind[6] == 'n' ? "local node" : "local user");
        EXPECT_STREQ(node, "");
        CaptureStderr();
        refusal_error("jobpush", "could not get local name and node", refused);
        EXPECT_EQ(GetCapturedStderr(), std::string("jobpush: could not get local name and node: refused ") +
                                           refused.field + " \"\" in the link daemon's answer\n");
    }
}

TEST_F(LinkClient, CallThatTimesOut)
{
    ASSERT_TRUE(start("--silent-on 3"));
    timeval one{1, 0};
    clnt_control(clnt, CLSET_TIMEOUT, reinterpret_cast<char *>(&one));
    char link[NJE_NAME_FIELD], id[NJE_JOBID_FIELD];
    EXPECT_EQ(nje_xdr_getid(clnt, "NODEA", link, id), -1);
    CaptureStderr();
    rpcerr("jobpush", clnt, "could not get job id", -1);
    EXPECT_EQ(GetCapturedStderr(), "jobpush: could not get job id: RPC: Timed out\n");
}

TEST_F(LinkClient, ErrorPrinters)
{
    CaptureStderr();
    rpcerr("jobpush", nullptr, "send job", 21);
    rpcerr("jobpush", nullptr, "send job", 23);
    rpcerr("jobpush", nullptr, "send job", -2);
    errno = 4000;
    myperror("jobpush", "stat of file failed");
    errno = ENOENT;
    myperror("jobpush", "/no/such");
    EXPECT_EQ(GetCapturedStderr(), "jobpush: send job: Job not found\n"
                                   "jobpush: send job: unknown error 23\n"
                                   "jobpush: send job: unknown error -2\n"
                                   "jobpush: stat of file failed: unknown error 4000\n"
                                   "jobpush: /no/such: No such file or directory\n");
}

TEST_F(LinkClient, UnresolvableGatewayForLinkProcess)
{
    ctx.gateway = "no-such-gateway.invalid";
    int status = 0;
    CaptureStderr();
    EXPECT_EQ(contact_link(ctx, 0x40000000, &status), nullptr);
    EXPECT_EQ(status, NJE_GATEWAY_UNRESOLVED);
    EXPECT_EQ(GetCapturedStderr(), "jobpush: contact_link: cannot get address for gateway<no-such-gateway.invalid>\n");
    EXPECT_EQ(nje_xdr_contactdisp(ctx.gateway), nullptr);
}
