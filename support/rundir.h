// Start-up of the message catalogue and the run directory: the directory holding the program's
// support files ("locale" catalogues, the DBCS conversion library, the "ebcdictoiso" map file), taken
// from an environment variable, else from the program file's own location, else a built-in default.
#pragma once

#include <cstddef>

// Size of rundir and of every path buffer handed to find_program / resolve_link.
inline constexpr std::size_t RJE_PATH_BUF = 1024;

// The run directory: a 1024-byte heap buffer allocated by the first getrundir and kept for the life of
// the process; a NUL-terminated path without trailing slash. Null before getrundir ran.
extern char *rundir;

// Sets the locale from the environment, fills rundir (getrundir), binds the text domain `domain` to
// "<rundir>/locale" and makes it current, links the DBCS conversion library from rundir and loads the
// translate map. When no run directory is found, prints "Unable to find internationalization files\n"
// (translated) on stderr and goes on without a bound domain.
// @return the result of loadmaps().
int Init_I18N(const char *domain, const char *env_name, const char *program, const char *default_dir);

// Fills rundir from, in order: the environment variable env_name (set and not empty), the directory of
// `program` (see find_program, searched along $PATH), default_dir (not empty). A value that does not fit
// the buffer is passed over like an unset one.
// @return 0 with errno 0 when found; -1 otherwise, errno as the last step left it.
int getrundir(const char *env_name, const char *program, const char *default_dir);

// Locates the program file `program` as a shell would (absolute, relative with a "/", or a bare name
// searched along search_path, "." when null or empty) and stores its directory, after following symbolic
// links, in result. cwd (RJE_PATH_BUF bytes) holds an absolute directory or anything else, in which case
// it is filled with the current directory. result must hold RJE_PATH_BUF bytes. Optional out-params:
// *base_out points at program's base name (in program), *name_out at the real file name (in result).
// @return 0 when found; -1 otherwise (errno EINVAL for bad arguments, ENOENT when not on the path,
//         ENAMETOOLONG when a path does not fit, or as stat/readlink/getcwd left it).
int find_program(const char *program, char *cwd, char *result, const char **base_out, const char **name_out,
                 const char *search_path);

// Builds "dir/name" in result (RJE_PATH_BUF bytes), requires it to be executable (is_executable),
// follows its chain of symbolic links (absolute targets replace the path, relative ones its last
// component) and cuts result down to the final file's directory; *name_out (optional) points at the
// final file name inside result.
// @return 0, or -1 (errno ENAMETOOLONG when a path does not fit, else as stat/readlink left it).
int resolve_link(const char *dir, const char *name, char *result, const char **name_out);

// @return 0 when path names an existing non-directory file with the owner-execute bit, else -1.
int is_executable(const char *path);
