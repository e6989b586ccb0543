// tool_command_line.h - what every tool does with its command line: CLI11
// reads it, --help and --version end the run with 0, and any usage error
// with the one status the pages document.
#ifndef TOOLS_TOOL_COMMAND_LINE_H
#define TOOLS_TOOL_COMMAND_LINE_H

#include <CLI/CLI.hpp>
#include <utility>

enum { EXIT_USAGE = 100 };

// parse_tool_line - true when the run goes on; else CLI11 has printed help,
// the version or the error, and *status is the exit status.
template <class... Args> bool parse_tool_line(CLI::App &app, int *status, Args &&...args)
{
    try {
        app.parse(std::forward<Args>(args)...);
    } catch (const CLI::ParseError &e) {
        app.exit(e);
        *status = e.get_exit_code() == 0 ? 0 : EXIT_USAGE;
        return false;
    }
    return true;
}

#endif
