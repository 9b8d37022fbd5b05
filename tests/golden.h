// Golden vectors held as files under tests/data/<folder>/<operation>/, one file per fault they caught.
// A file holds vectors separated by "---" lines; each line is a key and its value, "#" begins a
// comment. Byte values are written as hex() reads them, texts quoted with the escapes \n, \t, \f, \r,
// \\, \" and \xHH.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "tests/test_util.h"

// A quoted text.
inline std::string text(const std::string &q)
{
    std::string r;
    for (std::size_t i = 1; i + 1 < q.size(); ++i) {
        if (q[i] != '\\') {
            r.push_back(q[i]);
            continue;
        }
        const char e = q[++i];
        if (e == 'x') {
            r.push_back(static_cast<char>(std::stoul(q.substr(i + 1, 2), nullptr, 16)));
            i += 2;
        } else {
            r.push_back(e == 'n' ? '\n' : e == 't' ? '\t' : e == 'f' ? '\f' : e == 'r' ? '\r' : e);
        }
    }
    return r;
}

struct Vector {
    std::string file;
    std::vector<std::pair<std::string, std::string>> lines; // in file order
    std::vector<std::string> all(const std::string &k) const
    {
        std::vector<std::string> v;
        for (const auto &[key, value] : lines)
            if (key == k)
                v.push_back(value);
        return v;
    }
    bool has(const std::string &k) const { return !all(k).empty(); }
    std::string get(const std::string &k, const std::string &def = "") const
    {
        const std::vector<std::string> v = all(k);
        return v.empty() ? def : v[0];
    }
    int num(const std::string &k, int def) const
    {
        return std::stoi(get(k, std::to_string(def)), nullptr, 0);
    }
    std::vector<Bytes> hexes(const std::string &k) const // every value of k, hex
    {
        std::vector<Bytes> v;
        for (const std::string &h : all(k))
            v.push_back(hex(h));
        return v;
    }
    std::string str(const std::string &k) const { return text(get(k, "\"\"")); } // the value of k, quoted
};

inline std::vector<Vector> parse_golden(const std::filesystem::path &path)
{
    std::vector<Vector> out;
    std::ifstream in(path);
    Vector v{path.filename().string(), {}};
    for (std::string line; std::getline(in, line);) {
        if (line == "---") {
            out.push_back(v);
            v.lines.clear();
        } else if (!line.empty() && line[0] != '#') {
            const std::size_t sp = line.find(' ');
            v.lines.emplace_back(line.substr(0, sp), sp == std::string::npos ? "" : line.substr(sp + 1));
        }
    }
    out.push_back(v);
    return out;
}

// Every vector of tests/data/<op> ("convert/compress").
inline std::vector<Vector> load_golden(const std::string &op)
{
    std::vector<Vector> out;
    for (const auto &entry :
         std::filesystem::directory_iterator(std::filesystem::path(JOBPUSH_TEST_DATA) / op))
        for (Vector &v : parse_golden(entry.path()))
            out.push_back(std::move(v));
    EXPECT_FALSE(out.empty()) << op;
    return out;
}
