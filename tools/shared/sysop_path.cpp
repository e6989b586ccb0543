// sysop_path.cpp - paths as the sysop types them, on Windows and elsewhere.
#include "tools/shared/sysop_path.h"
#include "platform/platform.h"

#include <cctype>

char path_separator(void)
{
#if defined(_WIN32)
    return '\\';
#else
    return '/';
#endif
}

// is_separator - "/" or, where the system takes it, "\".
static bool is_separator(char c)
{
    return c == '/' || (path_separator() == '\\' && c == '\\');
}

bool is_absolute_path(const std::string &path)
{
#if defined(_WIN32)
    if (path.size() >= 2 && isalpha((unsigned char)path[0]) && path[1] == ':')
        return true;
#endif
    return !path.empty() && is_separator(path[0]);
}

// with_separators - every "\" and "/" as the system's separator.
static std::string with_separators(std::string path)
{
    for (char &c : path)
        if (c == '\\' || c == '/')
            c = path_separator();
    return path;
}

// morvel_spelt - path with the MORVEL directory, which the filter holds in
// upper case and without one trailing "\", given back as the sysop spelt it.
static std::string morvel_spelt(const std::string &path)
{
    const char *value = plat_getenv("MORVEL");
    if (!value || !value[0])
        return path;
    std::string typed = value, upper = value;
    if (!upper.empty() && upper.back() == '\\')
        upper.pop_back();
    for (char &c : upper)
        c = (char)toupper((unsigned char)c);
    if (path.size() <= upper.size() || path.compare(0, upper.size(), upper) != 0 || path[upper.size()] != '\\')
        return path;
    while (typed.size() > 1 && (typed.back() == '\\' || typed.back() == '/'))
        typed.pop_back();
    return typed + path.substr(upper.size());
}

std::string display_path(const std::string &path)
{
    return with_separators(morvel_spelt(path));
}

std::string path_in(const std::string &dir, const std::string &path)
{
    std::string shown = display_path(path), from = with_separators(dir);
    while (from.size() > 1 && from.back() == path_separator())
        from.pop_back();
    if (shown.empty() || is_absolute_path(shown) || from.empty() || from == ".")
        return shown;
    return from + path_separator() + shown;
}
