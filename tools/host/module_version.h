// module_version.h - the release a filter module carries, read from its
// file as the sysop's system shows it: the version resource of the DLL
// (Explorer's Details tab), the .filter_version section of the Linux module.
#ifndef TOOLS_HOST_MODULE_VERSION_H
#define TOOLS_HOST_MODULE_VERSION_H

#include <string>

// module_version - "c_filt32 1.0.0" for the module at path; "" when the
// file cannot be read or carries no version of this filter.
std::string module_version(const std::string &path);

#endif
