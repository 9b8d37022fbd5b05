// Link to the optional DBCS conversion library "<dir>/<LANG>lib" (entry points "xibmtoeuc",
// "xeuctoibm", "xeuclen") and the SO/SI segment check. Without the library every wrapper answers
// with its fallback, so that all text is single-byte.
#include "convert/kiolink.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <string>

#include "convert/translate.h"

namespace
{

// Link state: valid only while `linked` is set (all three entry points found).
bool linked = false;
void *kio_handle = nullptr;
kio_ibmtoeuc_fn kio_ibmtoeuc = nullptr;
kio_euctoibm_fn kio_euctoibm = nullptr;
kio_euclen_fn kio_euclen = nullptr;

void *lookup(const char *name)
{
    dlerror();
    void *sym = dlsym(kio_handle, name);
    if (dlerror() != nullptr) {
        return nullptr;
    }
    return sym;
}

void unlink_kiolib()
{
    linked = false;
    kio_ibmtoeuc = nullptr;
    kio_euctoibm = nullptr;
    kio_euclen = nullptr;
    if (kio_handle) {
        dlclose(kio_handle);
        kio_handle = nullptr;
    }
}

} // namespace

int link_kiolib(const char *dir)
{
    unlink_kiolib();
    const char *lang = std::getenv("LANG");
    // LANG only names a file in the run directory: a value that could step out of it is no locale.
    if (lang == nullptr || *lang == '\0' || dir == nullptr || std::strchr(lang, '/') != nullptr ||
        std::strcmp(lang, ".") == 0 || std::strcmp(lang, "..") == 0) {
        return -1;
    }
    std::string path = std::string(dir) + "/" + lang + KIO_LIB_SUFFIX;
    if (path.size() > KIO_PATH_MAX) {
        return -1;
    }
    kio_handle = dlopen(path.c_str(), RTLD_LAZY);
    if (kio_handle == nullptr) {
        dlerror();
        return -1;
    }
    static constexpr const char *names[] = {"xibmtoeuc", "xeuctoibm", "xeuclen"};
    void *syms[3];
    for (int i = 0; i < 3; i++) {
        syms[i] = lookup(names[i]);
        if (syms[i] == nullptr) {
            unlink_kiolib();
            std::perror(names[i]);
            return 0;
        }
    }
    kio_ibmtoeuc = reinterpret_cast<kio_ibmtoeuc_fn>(syms[0]);
    kio_euctoibm = reinterpret_cast<kio_euctoibm_fn>(syms[1]);
    kio_euclen = reinterpret_cast<kio_euclen_fn>(syms[2]);
    linked = true;
    return 1;
}

euc_char ibmtoeuc(uint16_t code)
{
    euc_char ch{};
    if (linked) {
        ch = kio_ibmtoeuc(code);
    } else {
        ch.c[0] = EBCDIC_BLANK;
        ch.c[1] = EBCDIC_BLANK;
    }
    if (ch.c[0] == 0xFF) {
        ch.c[0] = '-';
        ch.c[1] = '-';
    }
    return ch;
}

uint16_t euctoibm(euc_char ch)
{
    if (!linked) {
        return 0;
    }
    return static_cast<uint16_t>(kio_euctoibm(ch) & 0xFFFF);
}

int rje_euclen(int byte)
{
    if (!linked) {
        return 1;
    }
    return kio_euclen(byte & 0xFF);
}

int dbcs_validate(const unsigned char *p, int n)
{
    bool seen_so = false;
    for (int i = 0; i < n; i++) {
        unsigned char b = p[i];
        if (b == EBCDIC_SI) {
            return (seen_so && (i - 1) % 2 == 0) ? 1 : 0;
        }
        if (b == EBCDIC_SO) {
            if (seen_so) {
                return 0;
            }
            seen_so = true;
        } else if (b < 0x40) {
            return 0;
        }
    }
    return 0;
}
