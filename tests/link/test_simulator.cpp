// The link daemon simulator's own life cycle with rpcbind: one per machine, stale registrations
// taken over, clean unregistration at its time limit.
#include <gtest/gtest.h>
#include <rpc/pmap_clnt.h>

#include "link/rje_xdr.h"
#include "tests/link/sim_process.h"

namespace
{

u_short port_of(unsigned long program)
{
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return pmap_getport(&a, program, 1, IPPROTO_TCP);
}

} // namespace

TEST(Simulator, OnePerMachineAndUnregistersAtItsTimeLimit)
{
    temp_dir spool;
    sim_process first({"--spool", spool.path(), "--time-limit", "2"});
    ASSERT_TRUE(first.start()) << first.error();
    EXPECT_NE(port_of(NJE_LINKD_PROGRAM), 0);
    EXPECT_EQ(port_of(first.link_program()), port_of(NJE_LINKD_PROGRAM));

    sim_process second({"--spool", spool.path()});
    EXPECT_FALSE(second.start());
    EXPECT_EQ(second.stop(), 1);

    ASSERT_TRUE(first.wait_exit(10000));
    EXPECT_EQ(first.stop(), 0);
    EXPECT_EQ(port_of(NJE_LINKD_PROGRAM), 0);
    EXPECT_EQ(port_of(first.link_program()), 0);
}

TEST(Simulator, TakesOverARegistrationLeftBehind)
{
    temp_dir spool;
    ASSERT_TRUE(pmap_set(NJE_LINKD_PROGRAM, NJE_LINKD_VERSION, IPPROTO_TCP, 1)); // nobody there
    sim_process sim({"--spool", spool.path()});
    ASSERT_TRUE(sim.start()) << sim.error();
    EXPECT_NE(port_of(NJE_LINKD_PROGRAM), 1);
    EXPECT_EQ(sim.stop(), 0);
    EXPECT_EQ(port_of(NJE_LINKD_PROGRAM), 0);
}
