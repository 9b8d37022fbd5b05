// Registrations with the machine's rpcbind: a user callback program, and the link daemon
// simulator's own life cycle (one per machine, stale registrations taken over, clean
// unregistration at its time limit).
#include <gtest/gtest.h>

#include "link/rje_xdr.h"
#include "tests/link/sim_process.h"

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
    hold_rpcbind_lock();
    temp_dir spool;
    ASSERT_TRUE(pmap_set(NJE_LINKD_PROGRAM, NJE_LINKD_VERSION, IPPROTO_TCP, 1)); // nobody there
    sim_process sim({"--spool", spool.path()});
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
