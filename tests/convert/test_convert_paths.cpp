// The bulk text path must write exactly the data file that the character path writes, in every
// locale and setting. Random inputs print their seed; set JOBPUSH_CONVERT_SEED to replay a failure.
#include "tests/test_util.h"

#include <clocale>
#include <cstring>

#include "convert/rje_compress.h"
#include "convert/translate.h"
#include "convert/vector_scan.h"
#include "tests/dbcs_stub/dbcs_stub_loader.h"

namespace
{

// Text of many kinds: words, blank and other runs, tabs, control bytes (CR, 0x1E, SO/SI, NUL),
// Latin-1 bytes, valid and broken UTF-8, long, empty and blank-ended lines, maybe no final newline.
Bytes random_text(std::mt19937_64 &rng, std::size_t lines)
{
    auto pick = [&](std::uint64_t n) { return static_cast<std::size_t>(rng() % n); };
    static const char *const utf8[] = {"\xC3\xA9",     "\xC3\xBC",         "\xE3\x82\xA2", "\xE4\xBA\xBA",
                                       "\xE2\x82\xAC", "\xF0\x9F\x98\x80", "\xC4\x89"};
    static const unsigned char controls[] = {0x0D, 0x1E, 0x0E, 0x0F, 0x00, 0x0C, 0x1B, 0x7F, 0x09};
    Bytes t;
    for (std::size_t l = 0; l < lines; ++l) {
        const std::size_t kind = pick(10);
        const std::size_t len = kind == 0 ? 0 : kind == 1 ? 100 + pick(500) : pick(90);
        const std::size_t start = t.size();
        while (t.size() - start < len) {
            switch (pick(12)) {
            case 0:
                t.insert(t.end(), 1 + pick(20), ' ');
                break;
            case 1:
                t.insert(t.end(), 2 + pick(70), static_cast<unsigned char>("=-*0a"[pick(5)]));
                break;
            case 2:
                t.push_back('\t');
                break;
            case 3:
                t.push_back(controls[pick(sizeof controls)]);
                break;
            case 4:
                t.push_back(static_cast<unsigned char>(0x80 + pick(128))); // Latin-1 or a broken sequence
                break;
            case 5: {
                const char *c = utf8[pick(sizeof utf8 / sizeof utf8[0])];
                t.insert(t.end(), c, c + std::strlen(c) - (pick(6) == 0 ? 1 : 0)); // sometimes cut short
                break;
            }
            default:
                for (std::size_t i = 1 + pick(12); i > 0; --i)
                    t.push_back(static_cast<unsigned char>('a' + pick(26)));
                t.push_back(' ');
            }
        }
        if (pick(8) == 0)
            t.insert(t.end(), 1 + pick(5), ' ');
        t.push_back('\n');
    }
    if (pick(2) == 0 && !t.empty())
        t.pop_back();
    return t;
}

// The bulk path takes the vectors in turn: 64-byte, 32-byte, none.
Conversion run(const Bytes &in, bool wide, int lrecl, int maxdata, int tabs, int fixed)
{
    static int turn = 0;
    vector_scan::isa_cap() = static_cast<vector_scan::Isa>(2 - turn++ % 3);
    convert_force_wide_path(wide);
    Conversion c = convert(in, lrecl, maxdata, NJE_FORMAT_TEXT, tabs, fixed);
    convert_force_wide_path(false);
    vector_scan::isa_cap() = vector_scan::Isa::avx512;
    return c;
}

void expect_same_paths(const Bytes &in, const char *what)
{
    for (int fixed : {0, 1})
        for (int lrecl : {1, 3, 80, 133, 255})
            for (int tabs : {0, 8, 5})
                for (int maxdata : {300, 1024, 3820}) {
                    const Conversion fast = run(in, false, lrecl, maxdata, tabs, fixed);
                    const Conversion wide = run(in, true, lrecl, maxdata, tabs, fixed);
                    ASSERT_TRUE(fast.result == wide.result && fast.file == wide.file)
                        << what << " lrecl " << lrecl << " tabs " << tabs << " fixed " << fixed << " maxdata "
                        << maxdata;
                }
}

} // namespace

TEST(ConvertPaths, BulkAndCharacterPathsWriteTheSameFile)
{
    std::mt19937_64 rng(test_seed("JOBPUSH_CONVERT_SEED"));
    const Bytes corpus = random_text(rng, 400);
    const Bytes one_long_line(70000, 'x');
    ASSERT_NE(std::setlocale(LC_ALL, "C"), nullptr);
    expect_same_paths(corpus, "C");
    // Printable lines up to 130 bytes with blank and other pairs anywhere (their records go to the
    // compressor with the pairs found while translating).
    Bytes words;
    for (int l = 0; l < 300; ++l) {
        const std::size_t len = rng() % 131;
        for (std::size_t k = 0; k < len; ++k)
            words.push_back(static_cast<unsigned char>(rng() % 3 == 0 ? ' ' : "aab=-"[rng() % 5]));
        words.push_back('\n');
    }
    expect_same_paths(words, "C, printable");
    ASSERT_NE(std::setlocale(LC_ALL, "C.UTF-8"), nullptr);
    expect_same_paths(corpus, "C.UTF-8");
    expect_same_paths(random_text(rng, 50), "C.UTF-8 second");
    {
        DbcsStubScope dbcs;
        ASSERT_EQ(dbcs.linked, 1);
        expect_same_paths(corpus, "C.UTF-8 with the DBCS library");
    }
    std::setlocale(LC_ALL, "C");
    // A replacement table of random values (0x20 among them, so trimming matters), over every
    // printable byte in long runs as well.
    unsigned char table[256];
    for (unsigned char &t : table)
        t = static_cast<unsigned char>(rng() % 8 == 0 ? 0x20 : rng());
    Bytes printable;
    for (int b = 0; b < 3 * 97; ++b)
        printable.push_back(static_cast<unsigned char>(b % 97 == 96 ? '\n' : 0x20 + b % 97));

    unsigned char *saved = nje_usr_AtoE;
    nje_usr_AtoE = table;
    expect_same_paths(printable, "replacement table");
    expect_same_paths(random_text(rng, 60), "replacement table, text");
    nje_usr_AtoE = saved;
    // Inputs longer than the bulk buffer: a line that crosses it, and lines of one character.
    Bytes big = corpus;
    while (big.size() < 600000)
        big = cat(big, corpus);
    big = cat(big, one_long_line);
    EXPECT_EQ(run(big, false, 80, 3820, 8, 0).file, run(big, true, 80, 3820, 8, 0).file);
    EXPECT_EQ(run(one_long_line, false, 80, 3820, 8, 0).result, 1);
}
