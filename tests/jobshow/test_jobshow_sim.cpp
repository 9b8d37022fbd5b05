// jobshow on a job that jobpush sent through the link daemon simulator: a complete job (valid mark,
// trailer, end-of-data mark) read from the simulator's sent/ folder.
#include <gtest/gtest.h>

#include <filesystem>

#include "jobpush_run.h"
#include "link/sim_process.h"

using namespace jobpush_test;

TEST(ShowSent, CompleteJobFromTheSimulatorsSpool)
{
    hold_rpcbind_lock();
    const std::string dir = fresh_dir("show-sim");
    const std::string spool = dir + "/spool";
    std::filesystem::create_directories(spool);
    sim_process sim(
        {"--spool", spool, "--link", "NODEA=LINKA", "--time-limit", "120", "--block-size", "500"});
    ASSERT_TRUE(sim.start()) << sim.error();

    std::string report;
    for (int i = 0; i < 40; ++i)
        report += "line " + std::to_string(i) + " of the report\n";
    write_file(dir + "/report.txt", report);
    write_file(dir + "/notes.txt", "a note\n");
    const run_result sent =
        run({"bob", "nodea", "-g", "localhost", "-sp", spool, dir + "/report.txt", dir + "/notes.txt"});
    ASSERT_EQ(sent.status, 0) << sent.err;
    const std::string njh = spool + "/SIMNODE/LINKA/sent/NJH1";

    run_result r = show({njh});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.substr(0, r.out.find('\n') + 1), njh + ": complete (valid mark 2)\n");
    EXPECT_EQ(show({"-dataset", "1", njh}).out, report);
    EXPECT_EQ(show({"-dataset", "2", njh}).out, "a note\n");

    r = show({"-json", njh});
    EXPECT_EQ(r.out.substr(0, 11), "{\"valid\":2,");
    const std::size_t trailer = r.out.find("\"trailer\":{\"NJTGFLG1\":");
    ASSERT_NE(trailer, std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\"NJTGSTOP\":", trailer), std::string::npos);

    // A complete job whose data file was cut: dataset 1 still reads whole, dataset 2 (its one block cut
    // short) reads to the failure and says where.
    const std::string njd = spool + "/SIMNODE/LINKA/sent/NJD1";
    const std::string data = slurp(njd);
    write_file(njd, data.substr(0, data.size() - 6));
    EXPECT_EQ(show({"-dataset", "1", njh}).out, report);
    r = show({"-dataset", "2", njh});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err.substr(0, r.err.find('(')),
              "jobshow: " + njh +
                  ": dataset 2 cannot be read to its end: a data-file record "
                  "is cut short or malformed ");
}
