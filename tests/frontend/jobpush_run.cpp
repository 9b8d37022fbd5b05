// Runs the jobpush binary for the tests and reads back the spool files it writes.
#include "jobpush_run.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "convert/rje_expand.h"
#include "convert/translate.h"
#include "spool/rje_data.h"
#include "spool/rje_fields.h"
#include "spool/rje_header.h"

namespace fs = std::filesystem;

namespace jobpush_test
{

namespace
{

std::string slurp(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

} // namespace

std::string fresh_dir(const std::string &name)
{
    fs::path dir = fs::path(JOBPUSH_BINARY_DIR) / "frontend-tests" / name;
    fs::remove_all(dir);
    fs::create_directories(dir);
    return dir.string();
}

void write_file(const std::string &path, const std::string &data)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << data;
}

bool exists(const std::string &path)
{
    return fs::exists(fs::symlink_status(path));
}

std::string usage_text()
{
    std::string text = "usage: jobpush System gateway_name -g hostname\n";
    for (const char *line : {"[-sp spool-directory]\n", "[-l record-size]\n", "[-job]\n",
                             "[-text | -binary | -bu | -record]\n", "[-tab]\n", "[-fixed | -variable]\n",
                             "[-s beginjcl_filename]\n", "[-e endjcl_filename]\n", "filenames... | - \n"})
        text += std::string(20, ' ') + line;
    return text;
}

run_result run(const std::vector<std::string> &args, const run_options &options)
{
    std::string io = fresh_dir("io-" + std::to_string(getpid())); // tests run in parallel
    write_file(io + "/in", options.stdin_data);
    auto quote = [](const std::string &text) {
        std::string q = "'";
        for (char c : text)
            q += c == '\'' ? std::string("'\\''") : std::string(1, c);
        return q + "'";
    };
    // A run directory without catalogues: messages as they stand. Sanitizer builds: keep the leak
    // checker's statistics out of the compared messages.
    std::string cmd = (options.pipe ? "cat " + quote(io + "/in") + " | " : std::string()) +
                      "env -i PATH=/usr/bin:/bin SNARJEHOME=" + quote(io) +
                      " LSAN_OPTIONS=print_suppressions=0";
    for (const auto &[name, value] : options.env)
        cmd += " " + name + "=" + quote(value);
    std::string limit = options.file_limit_kb > 0 ? "ulimit -f " + std::to_string(options.file_limit_kb) + "; " : "";
    cmd += " bash -c '" + limit + "exec -a jobpush \"$0\" \"$@\"' " +
           quote(options.binary.empty() ? JOBPUSH_BIN : options.binary);
    for (const std::string &arg : args)
        cmd += " " + quote(arg);
    cmd += std::string(options.pipe ? "" : " </dev/null") + " >" + quote(io + "/out") + " 2>" +
           quote(io + "/err");
    int status = std::system(cmd.c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, slurp(io + "/out"), slurp(io + "/err")};
}

namespace
{

void extract_group(const unsigned char *section, size_t length, const char *prefix,
                   std::map<std::string, std::string> &fields)
{
    for (const nje_field *f = nje_field_dictionary; f->name != nullptr; ++f) {
        if (std::string(f->name).rfind(prefix, 0) != 0)
            continue;
        std::span<const unsigned char> bytes(section, length);
        if (nje_field_type(f->descriptor) == NJE_FIELD_CHARACTER) {
            char text[80] = {};
            if (nje_section_extract_fields(bytes, {{f->descriptor, text}}) == 0)
                fields[f->name] = text;
        } else {
            uint32_t number = 0;
            if (nje_section_extract_fields(bytes, {{f->descriptor, &number}}) == 0)
                fields[f->name] = std::to_string(number);
        }
    }
}

} // namespace

header_file read_header_file(const std::string &path)
{
    header_file file;
    FILE *stream = nje_header_open(path.c_str(), &file.mark);
    if (stream == nullptr)
        return file;
    std::vector<unsigned char> buffer(8192);
    for (;;) {
        int length = nje_header_read_next(stream, buffer.data(), buffer.size());
        if (length <= 0) {
            file.clean_end = length == 0;
            break;
        }
        header_record record;
        record.offset = nje_header_offset(buffer.data());
        record.type = nje_header_type(buffer.data());
        const unsigned char *section = nullptr;
        while ((section = nje_section_read_next(buffer.data(), section)) != nullptr) {
            uint32_t id = nje_section_id(section);
            size_t section_length = nje_section_length(section);
            if (id == NJE_SECTION_GENERAL) {
                const char *prefix = record.type == NJE_JOB_HEADER       ? "NJHG"
                                     : record.type == NJE_DATASET_HEADER ? "NDHG"
                                                                         : "NJTG";
                extract_group(section, section_length, prefix, record.fields);
            } else if (id == NJE_SECTION_RSCS) {
                extract_group(section, section_length, "NDHV", record.fields);
            }
            record.fields["sections"] += std::to_string(id) + ":" + std::to_string(section_length) + " ";
        }
        file.records.push_back(std::move(record));
    }
    std::fclose(stream);
    return file;
}

data_file read_data_file(const std::string &path)
{
    data_file file;
    FILE *stream = nje_data_open(path.c_str());
    if (stream == nullptr)
        return file;
    std::vector<unsigned char> out(70000);
    for (;;) {
        long offset = std::ftell(stream);
        int control = 0, count = 0;
        int n = nje_data_read_next(stream, out.data(), out.size(), &control, &count);
        if (n < 0)
            break;
        if (n == 0) {
            file.eod = true;
            file.trailing = std::fgetc(stream) != EOF;
            break;
        }
        file.blocks.push_back({offset, std::vector<unsigned char>(out.begin(), out.begin() + n)});
    }
    std::fclose(stream);
    return file;
}

std::vector<std::string> records_from(const data_file &file, long from, long to)
{
    std::vector<std::string> records;
    for (const data_block &block : file.blocks) {
        if (block.offset < from || block.offset >= to || block.data.empty())
            continue;
        rje_expand_ctx ctx;
        ctx.scb = block.data[0];
        const unsigned char *in = block.data.data() + 1;
        const unsigned char *last = block.data.data() + block.data.size() - 1;
        unsigned char record[600];
        for (;;) {
            unsigned char *out = record;
            unsigned rc = rje_expand(&in, &out, sizeof record, last, &ctx, 0, record);
            std::string text(reinterpret_cast<char *>(record), static_cast<size_t>(out - record));
            if (rc == EOB_SPANNED) {
                if (!text.empty())
                    records.push_back("<cut>" + text);
                break;
            }
            if (!text.empty() && text.back() == '\x15')
                text.pop_back();
            records.push_back(text);
            if (rc == EOR_EOB)
                break;
        }
    }
    return records;
}

std::string ebcdic(const std::string &ascii)
{
    std::string out;
    for (unsigned char c : ascii)
        out += static_cast<char>(nje_AtoE[c]);
    return out;
}

} // namespace jobpush_test
