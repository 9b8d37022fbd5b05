// Run directory and message catalogue start-up: the run directory comes from an environment variable,
// else from the program file's location (PATH search, symbolic links followed), else a default; the
// text domain is bound to "<rundir>/locale".
#include "support/rundir.h"

#include <cerrno>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <libintl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "convert/kiolink.h"
#include "support/loadmaps.h"

char *rundir = nullptr;

namespace
{

// Link chains longer than this are refused (ELOOP), in case the chain changes between the stat and
// the readlink calls.
constexpr int MAX_LINK_HOPS = 40;

// Copies src into a RJE_PATH_BUF buffer; false (nothing copied) when it does not fit.
bool copy_path(char *dst, const char *src)
{
    size_t len = std::strlen(src);
    if (len >= RJE_PATH_BUF) {
        errno = ENAMETOOLONG;
        return false;
    }
    std::memcpy(dst, src, len + 1);
    return true;
}

bool has_text(const char *s)
{
    return s != nullptr && *s != '\0';
}

} // namespace

int is_executable(const char *path)
{
    struct stat st;
    if (stat(path, &st) != 0) {
        return -1;
    }
    if (S_ISDIR(st.st_mode)) {
        errno = EISDIR;
        return -1;
    }
    if (!(st.st_mode & S_IXUSR)) {
        errno = EACCES;
        return -1;
    }
    return 0;
}

int resolve_link(const char *dir, const char *name, char *result, const char **name_out)
{
    errno = ENAMETOOLONG;
    const size_t dir_len = std::strlen(dir), name_len = std::strlen(name);
    if (dir_len + name_len + 2 > RJE_PATH_BUF) {
        return -1;
    }
    std::memcpy(result, dir, dir_len);
    result[dir_len] = '/';
    std::memcpy(result + dir_len + 1, name, name_len + 1);
    if (is_executable(result) != 0) {
        return -1;
    }
    char target[RJE_PATH_BUF];
    for (int hops = 0;; hops++) {
        ssize_t len = readlink(result, target, sizeof target);
        if (len < 0) {
            if (errno != EINVAL) {
                return -1;
            }
            break; // not a symbolic link: the end of the chain
        }
        if (hops >= MAX_LINK_HOPS) {
            errno = ELOOP;
            return -1;
        }
        if (static_cast<size_t>(len) >= sizeof target) {
            errno = ENAMETOOLONG; // the target may have been cut short
            return -1;
        }
        target[len] = '\0';
        if (target[0] == '/') {
            std::memcpy(result, target, static_cast<size_t>(len) + 1);
        } else {
            char *slash = std::strrchr(result, '/');
            size_t keep = slash ? static_cast<size_t>(slash - result) + 1 : 0;
            if (keep + static_cast<size_t>(len) >= RJE_PATH_BUF) {
                errno = ENAMETOOLONG;
                return -1;
            }
            std::memcpy(result + keep, target, static_cast<size_t>(len) + 1);
        }
    }
    char *slash = std::strrchr(result, '/');
    if (slash == nullptr) {
        errno = EINVAL; // cannot happen: every form of the path keeps a slash
        return -1;
    }
    *slash = '\0';
    if (name_out) {
        *name_out = slash + 1;
    }
    return 0;
}

int find_program(const char *program, char *cwd, char *result, const char **base_out, const char **name_out,
                 const char *search_path)
{
    if (!has_text(program) || cwd == nullptr || result == nullptr) {
        errno = EINVAL;
        return -1;
    }
    if (cwd[0] != '/' && getcwd(cwd, RJE_PATH_BUF) == nullptr) {
        return -1;
    }
    if (base_out) {
        const char *slash = std::strrchr(program, '/');
        *base_out = slash ? slash + 1 : program;
    }

    int rc = -1;
    if (program[0] == '/') {
        rc = resolve_link("", program + 1, result, name_out);
    } else if (std::strchr(program, '/') == nullptr) {
        std::string list = has_text(search_path) ? search_path : ".";
        errno = ENOENT;
        size_t start = 0;
        while (rc != 0 && start <= list.size()) {
            size_t end = list.find(':', start);
            if (end == std::string::npos) {
                end = list.size();
            }
            std::string element = list.substr(start, end - start);
            start = end + 1;
            if (element.empty()) {
                element = cwd; // an empty element is the current directory
            } else if (element[0] != '/') {
                element = std::string(cwd) + "/" + element;
            }
            rc = resolve_link(element.c_str(), program, result, name_out);
        }
    } else {
        rc = resolve_link(cwd, program, result, name_out);
    }
    if (rc != 0) {
        return rc;
    }
    size_t len = std::strlen(result);
    if (len >= 2 && result[len - 2] == '/' && result[len - 1] == '.') {
        result[len - 2] = '\0';
    }
    return 0;
}

int getrundir(const char *env_name, const char *program, const char *default_dir)
{
    const char *path = std::getenv("PATH");
    if (rundir == nullptr) {
        rundir = static_cast<char *>(std::malloc(RJE_PATH_BUF));
        if (rundir == nullptr) {
            return -1;
        }
    }
    bool found = false;
    const char *env = has_text(env_name) ? std::getenv(env_name) : nullptr;
    if (has_text(env)) {
        found = copy_path(rundir, env);
    }
    if (!found && has_text(program)) {
        char cwd[RJE_PATH_BUF] = ".";
        found = find_program(program, cwd, rundir, nullptr, nullptr, path) == 0;
    }
    if (!found && has_text(default_dir)) {
        found = copy_path(rundir, default_dir);
    }
    if (!found) {
        // No run directory: rundir stays null so that nothing is looked up in a stale path.
        std::free(rundir);
        rundir = nullptr;
        return -1;
    }
    errno = 0;
    return 0;
}

int Init_I18N(const char *domain, const char *env_name, const char *program, const char *default_dir)
{
    std::setlocale(LC_ALL, "");
    if (getrundir(env_name, program, default_dir) == 0) {
        static constexpr char locale_dir[] = "/locale";
        // Kept for the life of the process (the catalogue binding was made with it); a later call
        // replaces it. Without memory the domain stays unbound, silently.
        static char *dirname = nullptr;
        const size_t len = std::strlen(rundir);
        auto *fresh = static_cast<char *>(std::malloc(len + sizeof locale_dir));
        if (fresh != nullptr) {
            std::memcpy(fresh, rundir, len);
            std::memcpy(fresh + len, locale_dir, sizeof locale_dir);
            bindtextdomain(domain, fresh);
            textdomain(domain);
            std::free(dirname);
            dirname = fresh;
        }
    } else {
        std::fputs(gettext("Unable to find internationalization files\n"), stderr);
    }
    link_kiolib(rundir);
    return loadmaps();
}
