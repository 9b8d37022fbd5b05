// Option recognition and IBM-style names for the jobpush command front end: dataset names and
// types from file paths, node and user names from arguments.
#include <cctype>
#include <cstring>

#include "frontend/names.h"
#include "support/wire.h"

int match(const char *long_form, const char *short_form, const char *arg)
{
    if (*arg == '\0')
        return *short_form == '\0';
    size_t n = 0;
    for (; arg[n] != '\0'; ++n) {
        if (arg[n] != long_form[n]) // also stops at the end of long_form
            return 0;
    }
    return n >= std::strlen(short_form);
}

char *uppercase(char *dst, const char *src, int n)
{
    for (int i = 0; i < n && *src != '\0'; ++i, ++src) {
        unsigned char c = static_cast<unsigned char>(*src);
        if (std::isalnum(c))
            *dst++ = static_cast<char>(std::toupper(c));
        else if (c == '_')
            *dst++ = '_';
        else
            *dst++ = '$';
    }
    *dst = '\0';
    return dst;
}

void ibm_filename(const char *path, char *name, char *type)
{
    const char *slash = std::strrchr(path, '/');
    const char *base = slash ? slash + 1 : path;
    const char *dot = std::strrchr(base, '.');
    if (dot != nullptr && dot != base) {
        size_t stem = static_cast<size_t>(dot - base);
        int take = static_cast<int>(stem < NJE_NAME_CHARS ? stem : NJE_NAME_CHARS);
        uppercase(name, base, take);
        uppercase(type, dot + 1, static_cast<int>(NJE_NAME_CHARS));
    } else {
        uppercase(name, base, static_cast<int>(NJE_NAME_CHARS));
        *type = '\0';
    }
}
