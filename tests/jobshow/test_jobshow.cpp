// jobshow on jobs the real jobpush builds (DEBUG_LOCAL): what was sent comes back in every format,
// the JSON form carries the header fields jobpush was given, hostile spool files give clear messages
// and never write outside -o DIR, console lines become nodal messages, output errors are status 5.
#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <regex>

#include "jobpush_run.h"
#include "support/byteorder.h"

using namespace jobpush_test;
namespace fs = std::filesystem;

namespace
{

struct Show : LocalJob {
    // A job built by jobpush in the spool (a fresh one each time).
    void push(const v &tail, const std::string &binary = JOBPUSH_BIN)
    {
        fs::remove(njh);
        fs::remove(njd);
        const run_result r = run(local(tail), {.binary = binary});
        ASSERT_EQ(r.status, 0) << r.err;
    }
    // Overwrites bytes of a spool file.
    static void patch(const std::string &path, std::size_t at, const std::string &bytes)
    {
        std::string data = slurp(path);
        data.replace(at, bytes.size(), bytes);
        write_file(path, data);
    }
};

// Text as jobshow gives it back: tabs expanded to their stops, lines cut to lrecl, trailing blanks gone.
std::string text_back(const std::string &input, std::size_t lrecl, std::size_t tabs)
{
    std::string out;
    std::istringstream lines(input);
    for (std::string line; std::getline(lines, line);) {
        std::string rec;
        for (std::size_t i = 0; i < line.size() && rec.size() < lrecl; ++i)
            rec += line[i] != '\t' || tabs == 0
                       ? std::string(1, line[i])
                       : std::string(std::min(lrecl, (rec.size() / tabs + 1) * tabs) - rec.size(), ' ');
        rec.erase(rec.find_last_not_of(' ') + 1);
        out += rec + "\n";
    }
    return out;
}

std::string random_bytes(std::size_t n, unsigned seed, std::size_t lrecl)
{
    std::mt19937 rng(seed);
    std::string s(n, '\0');
    for (auto &c : s)
        c = static_cast<char>(rng());
    for (std::size_t i = lrecl - 1; i < n; i += lrecl)
        s[i] = s[i] == '\x1E' ? '\x1F' : s[i]; // a chunk ending in IRS would give it up as separator
    s[lrecl - 1] = '\x15';                     // a record ending in the new line byte stays whole
    return s;
}

std::string length_prefixed(const std::vector<std::string> &records)
{
    std::string s;
    for (const std::string &r : records) {
        Bytes n(4);
        be::put32(n.data(), static_cast<uint32_t>(r.size()));
        s += std::string(n.begin(), n.end()) + r;
    }
    return s;
}

// Whether python's JSON reader takes the text.
bool valid_json(const std::string &text)
{
    const std::string doc = fresh_dir("json") + "/doc";
    write_file(doc, text);
    return std::system(
               ("python3 -c 'import json,sys; json.load(open(sys.argv[1]))' '" + doc + "'").c_str()) == 0;
}

} // namespace

TEST_F(Show, RoundTripsThroughBothPrograms)
{
    std::string text;
    for (int i = 0; i < 120; ++i)
        text += "line " + std::to_string(i) + "\tcol\t\tend   \n\n" + std::string(150, 'a' + i % 26) + "\n";
    text += "\tlast line without newline";
    const std::string binary = random_bytes(9000, 7, 80);
    std::vector<std::string> records;
    for (std::size_t n = 1; n <= 255; n += 23)
        records.push_back(random_bytes(n + 1, static_cast<unsigned>(n), n + 1).substr(0, n));
    const struct {
        v options;
        std::string input, format, want;
    } cases[] = {
        {{"-l", "80", "-tab", "8"}, text, "-text", text_back(text, 80, 8)},
        {{"-l", "20", "-tab", "4", "-fixed"}, text, "-text", text_back(text, 20, 4)},
        {{"-l", "133", "-tab", "0", "-max", "300"}, text, "-text", text_back(text, 133, 0)},
        {{"-binary", "-l", "80", "-max", "400"}, binary, "-raw", binary},
        {{"-bu", "-l", "255"}, binary, "-raw", binary},
        {{"-record", "-l", "255"}, length_prefixed(records), "-records", length_prefixed(records)},
    };
    for (const auto &c : cases) {
        const std::string in = file("input.dat", c.input);
        v tail = c.options;
        tail.insert(tail.end(), {in, "-text", "-variable", file("second.txt", "the second dataset\n")});
        push(tail);
        const run_result r = show({"-dataset", "1", c.format, njh});
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.err, "");
        EXPECT_TRUE(r.out == c.want) << c.options[0] << " " << c.options[1] << ": " << r.out.size()
                                     << " bytes back";
        EXPECT_EQ(show({"-d", "2", njh}).out, "the second dataset\n");
    }
}

// The JSON form against tests/data/frontend/summary_job.json, the time of the run taken out.
TEST_F(Show, SummaryAndJsonCarryTheHeaderFields)
{
    push({"-q", "NJHGJNAM", "PAYROLL", "-q", "NJHGROOM", "R12", "-q", "NDHGFORM", "FORMX", "-l", "40",
          "-fixed", file("deck.jcl", "//MYJOB  JOB (1234),'PROG NAME',CLASS=A\n//S EXEC PGM=X\n"), "-binary",
          "-l", "100", file("b.dat", std::string(250, 'x'))});
    run_result r = show({njh});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, njh + ": incomplete (valid mark 0)\n"
                           "  job PAYROLL, number 78, class B\n"
                           "  from LOCUSR@MYNODE to SYS@NODEA\n"
                           "  dataset 1: DECK.JCL, lrecl 40, 2 records\n"
                           "    job card: job MYJOB, account 1234, programmer PROG NAME\n"
                           "  dataset 2: B.DAT, lrecl 100, 3 records\n");
    r = show({"-json", njh});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(std::regex_replace(r.out, std::regex("\"NJHGETS\":[0-9]+"), "\"NJHGETS\":0"),
              slurp(JOBPUSH_TEST_DATA "/frontend/summary_job.json"));
}

TEST_F(Show, HostileSpoolFiles)
{
    std::string text;
    for (int i = 0; i < 60; ++i)
        text += "record " + std::to_string(i) + " of a report\n";
    push({"-max", "300", file("report.txt", text)});
    const std::string header = slurp(njh), data = slurp(njd);
    const std::size_t dataset = 1 + 12 + 200; // valid mark, job header record
    const std::string offset_past = "\x7F\xFF\xFF\xF0";

    // A dataset offset past the end of the data file.
    patch(njh, dataset, offset_past);
    const std::string past =
        "jobshow: " + njh +
        ": dataset 1 cannot be read to its end: its data offset lies past the end of the "
        "data file (data-file offset 2147483632)\n";
    run_result r = show({"-d", "1", njh});
    EXPECT_EQ(outcome(r), "2: " + past);
    EXPECT_EQ(show({njh}).err, past);

    // A header file cut inside a record, and one whose record claims too many bytes.
    const std::string damaged = "jobshow: " + njh + ": the header file cannot be read from offset 213 on\n";
    write_file(njh, header.substr(0, dataset + 20));
    r = show({njh});
    EXPECT_EQ(outcome(r), "2: " + damaged);
    EXPECT_NE(r.out.find("  no datasets\n"), std::string::npos);
    write_file(njh, header);
    patch(njh, dataset + 8, std::string("\x00\xFF\xFF\xFF", 4));
    EXPECT_EQ(show({"-json", njh}).err, damaged);

    // A data file cut inside a block: the records before it are written, the message says where.
    write_file(njh, header);
    write_file(njd, data.substr(0, 700));
    r = show({"-d", "1", njh});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err.substr(0, r.err.find('(')),
              "jobshow: " + njh +
                  ": dataset 1 cannot be read to its end: a data-file record "
                  "is cut short or malformed ");
    EXPECT_GT(r.out.size(), 100u);
    EXPECT_EQ(r.out, text.substr(0, r.out.size()));

    // Not spool files at all, and files that are not there.
    const std::string junk = file("NJH5", "junk");
    file("NJD5", "junk");
    r = show({junk, dir + "/NJH6", njh});
    EXPECT_EQ(outcome(r),
              "1: jobshow: " + junk + ": not a spool file\njobshow: " + dir + "/NJH6: could not open\n");
    EXPECT_NE(r.out.find("dataset 1: REPORT.TXT"), std::string::npos); // the good job is still shown
}

TEST_F(Show, DirectoryOutputStaysInsideAndReplacesNothing)
{
    push({file("report.txt", "a\nb\n"), file("data.txt", "c\n")});
    // Dataset names with "/", ".." and bytes that JSON must escape.
    std::string header = slurp(njh);
    const std::size_t fnam = header.rfind(ebcdic("REPORT"));
    const std::size_t second = header.rfind(ebcdic("DATA"));
    patch(njh, fnam, ebcdic("../../EVIL") + "\x40\x40");
    patch(njh, second, std::string("\x05\x15\x7F\xE0\x41\x00", 6) + ebcdic("/"));
    const std::string out = dir + "/out";
    fs::create_directories(out);
    write_file(dir + "/victim", "keep");
    fs::create_symlink(dir + "/victim", out + "/_._.._EVIL.TXT");

    run_result r = show({"-o", out, njh});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, out + "/_._.._EVIL.TXT.1\n" + out + "/_______.TXT\n");
    EXPECT_EQ(slurp(dir + "/victim"), "keep");
    EXPECT_EQ(slurp(out + "/_._.._EVIL.TXT.1"), "a\nb\n");
    EXPECT_EQ(slurp(out + "/_______.TXT"), "c\n");
    v outside;
    for (const auto &e : fs::directory_iterator(dir))
        outside.push_back(e.path().filename().string());
    std::sort(outside.begin(), outside.end());
    EXPECT_EQ(outside, (v{"data.txt", "out", "report.txt", "spool", "victim"}));

    r = show({"-json", njh});
    EXPECT_NE(r.out.find("\"NDHVFNAM\":\"\\t\\n\\\"\\\\\\u00a0 /\""), std::string::npos) << r.out;
    EXPECT_TRUE(valid_json(r.out));
}

TEST_F(Show, ConsoleLinesBecomeNodalMessages)
{
    push({file("console.txt", "JOB 1234 $HASP100 MYJOB ON R1\nX $UXJOE HELLO\nPLAIN\n")});
    const std::string nmr = dir + "/nmr.bin";
    run_result r = show({"-console", "MYNODE", "-conuids", "$UX", "-nmr", nmr, njh});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "MYJOB@MYNODE: JOB 1234 $HASP100 MYJOB ON R1\n"
                     "JOE HE@MYNODE: X $UXJOE HELLO\n"
                     "JOE HE@MYNODE: PLAIN\n");
    const std::string records = slurp(nmr);
    ASSERT_EQ(records.size(), 3u * 162);
    EXPECT_EQ(records.substr(0, 4), std::string("\x20\x77\x04\x1E"));
    EXPECT_EQ(records.substr(13, 8), ebcdic("MYJOB ") + std::string(2, '\0'));

    r = show({"-json", "-console", "N1", "-index", "4", njh});
    EXPECT_EQ(
        r.out.substr(0, r.out.find('\n')),
        "{\"flag\":32,\"user\":\"MYJOB\",\"to\":\"N1\",\"from\":\"N1\",\"length\":30,\"text\":\"JOB 1234 "
        "$HASP100 MYJOB ON R1\"}");
}

TEST_F(Show, NetdataDatasets)
{
    const std::string text = "first line\n\n  third\n";
    push({file("report.txt", text)}, JOBPUSH_NETDATA_BIN); // its text read back: tests/frontend/sim
    run_result r = show({njh});
    EXPECT_NE(r.out.find("  dataset 1: REPORT.TXT, lrecl 80, "), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\n    NETDATA dataset REPORT.TXT\n"), std::string::npos) << r.out;
    r = show({"-d", "1", "-xmit", njh});
    EXPECT_EQ(r.out.size() % 80, 0u);
    EXPECT_EQ(r.out.substr(2, 6), ebcdic("INMR01"));
    EXPECT_NE(show({"-json", njh}).out.find("\"netdata\":\"REPORT.TXT\""), std::string::npos);
    push({file("plain.txt", text)});
    r = show({"-d", "1", "-x", njh});
    EXPECT_EQ(outcome(r), "1: jobshow: " + njh + ": dataset 1 is not a NETDATA dataset\n");
}

// The vectors of tests/data/frontend/jobshow_failures.
TEST_F(Show, UsageAndOutputErrors)
{
    push({"-binary", file("data.bin", std::string(5000, 'z'))});
    const run_result r = show({"-d", "1", "-raw", njh}, {.file_limit_kb = 1});
    EXPECT_EQ(outcome(r), "5: jobshow: standard output: write error\n");
    for (const Vector &f : parse_golden(JOBPUSH_TEST_DATA "/frontend/jobshow_failures"))
        run_failure(f, {{"$NJH", njh}, {"$DIR", dir}}, {.binary = JOBSHOW_BIN, .argv0 = "jobshow"});
}
