// Conversion of files into IBM records beyond the golden vectors: replacement tables, blocks larger
// than the write batching, pipes and pushed-back bytes, failed writes (a file
// size limit) and exhausted memory.
#include "tests/test_util.h"

#include <csignal>
#include <cstring>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include "convert/translate.h"
#include "tests/dbcs_stub/dbcs_stub_loader.h"

namespace
{

// A pipe holding `data`, read through a stream.
std::FILE *pipe_with(const Bytes &data)
{
    int fds[2];
    if (pipe(fds) != 0 || write(fds[1], data.data(), data.size()) != static_cast<ssize_t>(data.size()))
        return nullptr;
    close(fds[1]);
    return fdopen(fds[0], "rb");
}

} // namespace

TEST(ConvertText, OnlyTrailingAscii20IsTrimmed)
{
    // A replacement table that yields 0x20: trailing 0x20 bytes go, unless the record is only 0x20;
    // fixed records keep their length.
    unsigned char table[256];
    std::memcpy(table, nje_AtoE, sizeof table);
    table['x'] = 0x20;
    unsigned char *saved = nje_usr_AtoE;
    nje_usr_AtoE = table;
    EXPECT_EQ(records(convert(bytes("AxBxx\nxx\n"), 80, 3820, NJE_FORMAT_TEXT).file),
              (std::vector<Bytes>{{0xC1, 0x20, 0xC2}, {0x20, 0x20}}));
    EXPECT_EQ(records(convert(bytes("Axx\n"), 3, 3820, NJE_FORMAT_TEXT, 8, 1).file),
              (std::vector<Bytes>{{0xC1, 0x20, 0x20}}));
    nje_usr_AtoE = saved;
}

TEST(ConvertText, BlocksLargerThanTheWriteBatchGoOutWhole)
{
    std::string text;
    for (int i = 0; i < 1500; ++i) {
        for (int k = 0; k < 200; ++k)
            text += static_cast<char>('a' + (i * 7 + k * k) % 26); // few repeats: about 200 bytes each
        text += "\n";
    }
    const Conversion big = convert(bytes(text), 255, 400000, NJE_FORMAT_TEXT);
    EXPECT_EQ(big.result, 1500);
    EXPECT_EQ(records(big.file).size(), 1500u);
}

TEST(ConvertStreams, PipesAndPushedBackBytes)
{
    // From a pipe the rest of a long record is read past, not sought; a record cut short is an
    // error as it is from a file.
    const Bytes recs = {0, 0, 0, 5, 1, 2, 3, 4, 5, 0, 0, 0, 2, 7, 8, 0, 0, 0, 9, 1};
    std::FILE *p = pipe_with(recs);
    ASSERT_NE(p, nullptr);
    unsigned char buf[8];
    EXPECT_EQ(convert_read_record(p, buf, 3), 3);
    EXPECT_EQ(convert_read_record(p, buf, 3), 2);
    EXPECT_EQ(buf[1], 8);
    EXPECT_EQ(convert_read_record(p, buf, 3), NJE_CONVERT_SHORT_RECORD);
    std::fclose(p);

    // A byte the caller took to see that the pipe holds data and pushed back is converted first, and
    // the stream is left at its end.
    for (int format : {NJE_FORMAT_TEXT, NJE_FORMAT_BINARY}) {
        std::FILE *in = pipe_with(bytes("AB\nC\n"));
        ASSERT_NE(in, nullptr);
        std::ungetc(std::getc(in), in);
        const Conversion c = convert(in, 80, 3820, format);
        EXPECT_EQ(c.result, format == NJE_FORMAT_TEXT ? 2 : 1);
        EXPECT_TRUE(std::feof(in) && std::getc(in) == EOF);
        EXPECT_EQ(records(c.file)[0][0], format == NJE_FORMAT_TEXT ? 0xC1 : 'A');
        std::fclose(in);
    }
}

TEST(ConvertStreams, NewStreamIgnoresTheRestOfACutLine)
{
    // The reader keeps the rest of a cut double-byte line for its stream; a conversion of a stream
    // that the library may have placed where that one was must not begin with it.
    DbcsStubScope dbcs;
    {
        InputFile cut(bytes("\xE3\x82\xA2\xE3\x82\xA2\xE3\x82\xA2\n"));
        unsigned char buf[16];
        ASSERT_EQ(convert_read_line(cut.f, buf, 6, 8, 0), 7);
    }
    convert_force_wide_path(true);
    const Conversion c = convert(bytes("Z\n"), 6, 3820, NJE_FORMAT_TEXT);
    convert_force_wide_path(false);
    EXPECT_EQ(records(c.file), (std::vector<Bytes>{{0xE9}}));
}

// Runs `body` in a child process. @return its exit status, or -1 when it did not exit.
template <class Body> int in_child(Body body)
{
    std::fflush(nullptr);
    const pid_t pid = fork();
    if (pid == 0)
        _exit(body());
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(ConvertFailures, FailedWritesReturnMinusOne)
{
    // A file size limit lets the data file take its first blocks and refuses the rest.
    std::string text, records_in;
    for (int i = 0; i < 40000; ++i)
        text += "line " + std::to_string(i * 7919) + " of a longer report\n";
    for (int i = 0; i < 400; ++i)
        records_in += std::string("\0\0\0\x50", 4) + std::string(80, static_cast<char>(i));
    for (int format : {NJE_FORMAT_TEXT, NJE_FORMAT_BINARY, NJE_FORMAT_RECORD, NJE_FORMAT_TRANSPARENT}) {
        const int status = in_child([&] {
            InputFile in(bytes(format == NJE_FORMAT_RECORD ? records_in : text));
            std::signal(SIGXFSZ, SIG_IGN);
            const rlimit limit{16384, 16384};
            setrlimit(RLIMIT_FSIZE, &limit);
            std::FILE *df = std::tmpfile();
            unsigned char *buffer = nje_data_allocate_buffer(8192);
            const std::int64_t rc = nje_convert_toibm(in.f, df, buffer, 80, 3820, format, 0, 8, 0);
            return rc == NJE_CONVERT_WRITE_FAILED ? 0 : 1;
        });
        EXPECT_EQ(status, 0) << "format " << format;
    }
}

#if !defined(__SANITIZE_ADDRESS__)
TEST(ConvertFailures, NoMemoryIsNotAFullSpool)
{
    // An address space too small for the block: no memory, not a failed write.
    const int status = in_child([] {
        const rlimit limit{std::size_t{256} << 20, std::size_t{256} << 20};
        setrlimit(RLIMIT_AS, &limit);
        InputFile in(bytes("A\n"));
        std::FILE *df = std::tmpfile();
        unsigned char *buffer = nje_data_allocate_buffer(8192);
        const std::int64_t rc = nje_convert_toibm(in.f, df, buffer, 80, 1 << 30, NJE_FORMAT_TEXT, 0, 8, 0);
        return rc == NJE_CONVERT_NO_MEMORY ? 0 : 1;
    });
    EXPECT_EQ(status, 0);
}
#endif
