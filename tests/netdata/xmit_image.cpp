// Outside-reader helpers: dasdload and dasdseq of the hercules package, and a reader of the plain
// CKD disk image that dasdload writes (512-byte device header; per track a 5-byte track header, then
// count-key-data records, each with an 8-byte count: cylinder, head, record, key length, data length).
#include "xmit_image.h"

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>

#include "spool/rje_data.h"
#include "support/byteorder.h"

namespace netdata_test
{

namespace
{

constexpr std::size_t kDeviceHeader = 512;
constexpr std::size_t kTrackHeader = 5;
constexpr std::size_t kCount = 8;

uint32_t le32(const unsigned char *p)
{
    return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24;
}

// Runs a shell command in `dir`. @return exit status; out gets standard output and error.
int shell(const std::string &dir, const std::string &cmd, std::string &out)
{
    std::string full = "cd '" + dir + "' && (" + cmd + ") 2>&1";
    FILE *p = popen(full.c_str(), "r");
    if (p == nullptr)
        return -1;
    char buf[4096];
    for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, p)) > 0;)
        out.append(buf, n);
    int st = pclose(p);
    return WIFEXITED(st) ? WEXITSTATUS(st) : -1;
}

} // namespace

Bytes xmit_of_data_file(const std::string &path)
{
    Bytes xmit;
    FILE *f = nje_data_open(path.c_str());
    EXPECT_NE(f, nullptr) << path;
    if (f == nullptr)
        return xmit;
    unsigned char rec[80];
    for (int control = 0, count = 0; nje_data_read_next(f, rec, sizeof rec, &control, &count) > 0;) {
        EXPECT_EQ(count, 80);
        xmit.insert(xmit.end(), rec, rec + count);
    }
    std::fclose(f);
    return xmit;
}

loaded dasdload(const std::string &dir, const Bytes &xmit)
{
    loaded l;
    l.image = dir + "/vol.3390";
    l.dataset = "JOBPUSH.NETDATA";
    std::filesystem::remove(l.image);
    std::ofstream(dir + "/in.xmi", std::ios::binary)
        .write(reinterpret_cast<const char *>(xmit.data()), static_cast<std::streamsize>(xmit.size()));
    std::ofstream(dir + "/load.ctl") << "VOL001 3390 2\n" << l.dataset << " xmseq in.xmi\n";
    l.status = shell(dir, "dasdload load.ctl vol.3390 3", l.log);
    return l;
}

std::vector<Bytes> records_in_image(const loaded &l)
{
    std::vector<Bytes> recs;
    std::smatch m;
    if (!std::regex_search(l.log, m,
                           std::regex("Creating dataset " + l.dataset + " at cyl (\\d+) head (\\d+)"))) {
        ADD_FAILURE() << "no extent in\n" << l.log;
        return recs;
    }
    const Bytes img = bytes(slurp(l.image));
    if (img.size() < kDeviceHeader) {
        ADD_FAILURE() << "no image";
        return recs;
    }
    const uint32_t heads = le32(&img[8]), trksize = le32(&img[12]);
    std::size_t track = std::stoul(m[1]) * heads + std::stoul(m[2]);
    for (;; ++track) {
        std::size_t p = kDeviceHeader + track * trksize + kTrackHeader;
        for (;;) {
            if (p + kCount > img.size())
                return recs;
            const unsigned char *c = &img[p];
            if (be::get32(c) == 0xFFFFFFFF)
                break; // end of track
            const unsigned key = c[5], dl = be::get16(c + 6), r = c[4];
            const unsigned char *data = c + kCount + key;
            p += kCount + key + dl;
            if (r == 0)
                continue; // the track's record 0
            if (dl == 0 || data + dl > img.data() + img.size())
                return recs; // end of file
            const unsigned bdw = be::get16(data);
            for (unsigned i = 4; i + 4 <= bdw && bdw <= dl;) {
                const unsigned rdw = be::get16(data + i);
                if (rdw < 4 || i + rdw > bdw)
                    break;
                recs.emplace_back(data + i + 4, data + i + rdw);
                i += rdw;
            }
        }
    }
}

Bytes dasdseq(const loaded &l)
{
    std::string log;
    const std::string dir = std::filesystem::path(l.image).parent_path();
    std::filesystem::remove(dir + "/seq.out");
    EXPECT_EQ(shell(dir, "dasdseq vol.3390 " + l.dataset + " && mv " + l.dataset + " seq.out", log), 0)
        << log;
    return bytes(slurp(dir + "/seq.out"));
}

} // namespace netdata_test
