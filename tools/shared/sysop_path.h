// sysop_path.h - a path as the sysop types it on this system. The filter
// names its files with "\" and upper-cases the directory MORVEL names; the
// tools show every path with the system's own separator ("\" on Windows,
// "/" elsewhere), the MORVEL directory as the sysop spelt it, and an
// absolute path never behind the setup's directory.
#ifndef TOOLS_SYSOP_PATH_H
#define TOOLS_SYSOP_PATH_H

#include <string>

// path_separator - "\" on Windows, "/" elsewhere.
char path_separator(void);

// is_absolute_path - a path that names its place without a starting
// directory ("/srv", "C:\BBS", "\\server\share", "\BBS").
bool is_absolute_path(const std::string &path);

// display_path - a filter path (or one with "/" separators) as the sysop
// types it here: the system's separators, and the directory of the
// variable MORVEL in the sysop's spelling where the filter upper-cased it.
std::string display_path(const std::string &path);

// path_in - path as the sysop reaches it from where the tool was started,
// given the setup directory dir as the sysop named it: an absolute path as
// it is, a relative one below dir; both in display_path's form.
std::string path_in(const std::string &dir, const std::string &path);

#endif
