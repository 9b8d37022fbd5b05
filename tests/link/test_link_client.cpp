// The link client against the link daemon simulator over the machine's rpcbind on loopback: the calls
// of a run, the simulator's checks of a job and the error printers (the failures
// of a run's calls are checked end to end, through jobpush); the registrations with rpcbind.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "link/link_client.h"
#include "tests/link/sim_process.h"

namespace fs = std::filesystem;
using ::testing::internal::CaptureStderr;
using ::testing::internal::GetCapturedStderr;

namespace
{

// A complete job as the job builder leaves it: header file with valid mark `mark` and one job
// header record of one 8-byte section; data file with one 3-byte block and the end-of-data mark.
void write_job(const fs::path &input, const std::string &id, char mark)
{
    write_file(input / ("NJH" + id),
               mark + std::string("\0\0\0\0\0\0\0\xC0\0\0\0\x08\0\x08\0\0\x01\x02\x03\x04", 20));
    write_file(input / ("NJD" + id), std::string("\0\0\0\x07\x80SNA\x01\xC1\x1E\0\0\0\0", 15));
}

class LinkClient : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        hold_rpcbind_lock();
        ctx = link_context{"jobpush", "localhost", "NODEA", "nodea", false, nullptr};
    }
    void TearDown() override { end_link(ctx); }
    // Starts the simulator with the standard identity and links plus the space-separated
    // options `extra`, and contacts it.
    ::testing::AssertionResult start(const std::string &extra = "")
    {
        sim = std::make_unique<sim_process>(words(
            "--spool " + spool + " --node MYNODE --user ME --link NODEA=LINKA --time-limit 120 " + extra));
        if (!sim->start())
            return ::testing::AssertionFailure() << sim->error();
        clnt = nje_xdr_contactdisp("localhost");
        if (clnt == nullptr)
            return ::testing::AssertionFailure() << clnt_spcreateerror("contact");
        return ::testing::AssertionSuccess();
    }
    fs::path input() const { return fs::path(spool) / "MYNODE" / "LINKA" / "input"; }

    std::string spool = fresh_dir();
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

// The calls a run makes are checked end to end; here their refusals and the other calls.
TEST_F(LinkClient, CallsAgainstTheSimulator)
{
    ASSERT_TRUE(start("--block-size 2048"));
    ctx.trace = true;
    CaptureStderr();
    EXPECT_EQ(getmaxdata(ctx), 2048);
    EXPECT_EQ(GetCapturedStderr(), "maxdata = 2048\n");
    char link[NJE_NAME_FIELD], id[NJE_JOBID_FIELD];
    EXPECT_EQ(nje_xdr_getid(clnt, "NODEZ", link, id), NJE_E_UNKNOWN_LINK);
    EXPECT_EQ(nje_xdr_getid(clnt, "TOOLONGNAME", link, id), -1);
    EXPECT_EQ(nje_xdr_userhello(clnt, 1, 0, 0), 0);
    EXPECT_NE(sim->output().find(": 01 ff ff"), std::string::npos) << sim->output();
    const unsigned char hi[] = {'h', 'i'};
    EXPECT_EQ(nje_xdr_sendmsg(clnt, hi), 0);
    EXPECT_NE(sim->output().find("message (2 bytes): hi"), std::string::npos);
    EXPECT_EQ(nje_xdr_sendmsg(clnt, std::vector<unsigned char>(257, 'x')), -1);
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
    write_file(input() / "NJD8", slurp(input() / "NJD8") + "junk"); // bytes after the mark
    write_job(input(), "9", 2);
    fs::resize_file(input() / "NJH9", 1); // valid mark but no header record
    write_job(input(), "10", 2);
    fs::resize_file(input() / "NJH10", 18); // last record cut short
    for (const char *id : {"5", "6", "7", "8", "9", "10"})
        EXPECT_EQ(nje_xdr_sendjob(clnt, 2, "NODEA", "ME", id), NJE_E_BAD_JOB) << id;
    EXPECT_EQ(nje_xdr_sendjob(clnt, 2, "NODEA", "ME", "404"), NJE_E_JOB_NOT_FOUND);
    EXPECT_EQ(nje_xdr_sendjob(clnt, 2, "NODEZ", "ME", "5"), NJE_E_UNKNOWN_LINK);
    EXPECT_TRUE(fs::exists(input() / "NJH5"));
    EXPECT_TRUE(fs::is_directory(fs::path(spool) / "MYNODE" / "LINKB" / "input"));
}

TEST_F(LinkClient, ErrorPrinters)
{
    CaptureStderr();
    rpcerr("jobpush", nullptr, "send job", -2);
    errno = 4000;
    myperror("jobpush", "stat of file failed"); // (a known error: the runs with a missing spool)
    EXPECT_EQ(GetCapturedStderr(), "jobpush: send job: unknown error -2\n"
                                   "jobpush: stat of file failed: unknown error 4000\n");
}

TEST_F(LinkClient, UnresolvableGatewayForLinkProcess)
{
    ctx.gateway = "no-such-gateway.invalid";
    int status = 0;
    CaptureStderr();
    EXPECT_EQ(contact_link(ctx, 0x40000000, &status), nullptr);
    EXPECT_EQ(status, NJE_GATEWAY_UNRESOLVED);
    EXPECT_EQ(GetCapturedStderr(),
              "jobpush: contact_link: cannot get address for gateway<no-such-gateway.invalid>\n");
    EXPECT_EQ(nje_xdr_contactdisp(ctx.gateway), nullptr);
}

// The simulator itself: one per machine, stale registrations taken over, clean unregistration at its
// time limit; and a user callback program registered next to a number held already.
TEST(Simulator, OnePerMachineAndUnregistersAtItsTimeLimit)
{
    std::string spool = fresh_dir();
    sim_process first({"--spool", spool, "--time-limit", "2"});
    ASSERT_TRUE(first.start()) << first.error();
    EXPECT_NE(port_of(NJE_LINKD_PROGRAM), 0);
    EXPECT_EQ(port_of(first.link_program()), port_of(NJE_LINKD_PROGRAM));

    sim_process second({"--spool", spool});
    EXPECT_FALSE(second.start());
    EXPECT_EQ(second.stop(), 1);

    ASSERT_TRUE(first.wait_exit(10000));
    EXPECT_EQ(first.stop(), 0);
    EXPECT_EQ(port_of(NJE_LINKD_PROGRAM), 0);
    EXPECT_EQ(port_of(first.link_program()), 0);
}

TEST(Simulator, TakesOverARegistrationLeftBehind)
{
    hold_rpcbind_lock();
    std::string spool = fresh_dir();
    ASSERT_TRUE(pmap_set(NJE_LINKD_PROGRAM, NJE_LINKD_VERSION, IPPROTO_TCP, 1)); // nobody there
    sim_process sim({"--spool", spool});
    ASSERT_TRUE(sim.start()) << sim.error();
    EXPECT_NE(port_of(NJE_LINKD_PROGRAM), 1);
    EXPECT_EQ(sim.stop(), 0);
    EXPECT_EQ(port_of(NJE_LINKD_PROGRAM), 0);
}

TEST(Registration, TakesTheNextNumberWhenTheFirstIsHeld)
{
    hold_rpcbind_lock();
    ASSERT_EQ(port_of(NJIUSER_PROGRAM_FIRST + 1), 0) << "0x4BADBEF0 is registered already";
    ASSERT_TRUE(pmap_set(NJIUSER_PROGRAM_FIRST, NJIUSER_VERSION, IPPROTO_TCP, 1))
        << "the portmapper refused a registration (is rpcbind running?)";
    EXPECT_EQ(NJIUSER_PROGRAM, 0u); // nothing registered yet

    SVCXPRT *transport = nje_xdr_registeruser([](svc_req *, SVCXPRT *x) { svcerr_noproc(x); });
    ASSERT_NE(transport, nullptr);
    EXPECT_EQ(NJIUSER_PROGRAM, 0x4BADBEF0u);
    EXPECT_EQ(port_of(NJIUSER_PROGRAM), transport->xp_port);
    EXPECT_EQ(port_of(NJIUSER_PROGRAM_FIRST), 1); // the holder keeps its mapping

    nje_xdr_unregisteruser(transport);
    EXPECT_EQ(port_of(0x4BADBEF0), 0);
    pmap_unset(NJIUSER_PROGRAM_FIRST, NJIUSER_VERSION);
    EXPECT_EQ(port_of(NJIUSER_PROGRAM_FIRST), 0);
    EXPECT_EQ(validate_user(), 0);
}
