// dlopen and friends.
#include "platform/dynlib.h"

#include <dlfcn.h>

namespace {

thread_local std::string t_error;

void keep_error()
{
    const char *e = dlerror();
    t_error = e ? e : "";
}

} // namespace

void *dynlib_open(const std::string &path)
{
    if (path.empty() || path.find('\0') != std::string::npos) {
        t_error = "empty library name";
        return nullptr;
    }
    dlerror();
    void *lib = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!lib)
        keep_error();
    else
        t_error.clear();
    return lib;
}

void *dynlib_symbol(void *library, const char *name)
{
    if (!library || !name || !*name) {
        t_error = "no library or symbol name";
        return nullptr;
    }
    dlerror();
    void *sym = dlsym(library, name);
    if (!sym)
        keep_error();
    else
        t_error.clear();
    return sym;
}

int dynlib_close(void *library)
{
    if (!library) {
        t_error = "no library";
        return 0;
    }
    dlerror();
    if (dlclose(library) != 0) {
        keep_error();
        return 0;
    }
    t_error.clear();
    return 1;
}

std::string dynlib_last_error()
{
    return t_error;
}
