// Registration of a user callback program with the machine's portmapper.
#include <gtest/gtest.h>
#include <rpc/pmap_clnt.h>

#include "link/rje_xdr.h"

namespace
{

u_short port_of(unsigned long program)
{
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return pmap_getport(&a, program, NJIUSER_VERSION, IPPROTO_TCP);
}

void no_calls(svc_req *, SVCXPRT *xprt)
{
    svcerr_noproc(xprt);
}

} // namespace

TEST(Registration, TakesTheNextNumberWhenTheFirstIsHeld)
{
    ASSERT_EQ(port_of(NJIUSER_PROGRAM_FIRST + 1), 0) << "0x4BADBEF0 is registered already";
    ASSERT_TRUE(pmap_set(NJIUSER_PROGRAM_FIRST, NJIUSER_VERSION, IPPROTO_TCP, 1))
        << "the portmapper refused a registration (is rpcbind running?)";
    EXPECT_EQ(NJIUSER_PROGRAM, 0u); // nothing registered yet

    SVCXPRT *transport = nje_xdr_registeruser(no_calls);
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
