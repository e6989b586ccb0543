// tool_version.h - the line every tool prints for --version: the tool, the
// product and the release's one version, which the build sets
// (filter_release_tool in cmake/release.cmake).
#ifndef TOOLS_TOOL_VERSION_H
#define TOOLS_TOOL_VERSION_H

#include <string>

#ifndef FILTER_VERSION
#error "FILTER_VERSION comes from the build: list the tool with filter_release_tool"
#endif

// tool_version_line - "filter-check (c_filt32) 1.0.0".
inline std::string tool_version_line(const char *tool)
{
    return std::string(tool) + " (c_filt32) " FILTER_VERSION;
}

#endif
