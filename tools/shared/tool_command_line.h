// tool_command_line.h - what every tool does with its command line: CLI11
// reads it, --help and --version end the run with 0, and any usage error
// with the one status the pages document, named by the tool ("filter-check:
// unknown option --bogus; see --help") and, in a --json run, as JSON too.
#ifndef TOOLS_TOOL_COMMAND_LINE_H
#define TOOLS_TOOL_COMMAND_LINE_H

#include "tools/shared/tool_messages.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cctype>
#include <string>
#include <vector>

// find_tool_option - the option of app or of one of its subcommands named
// name ("--port", "-q"); null when none has that name.
inline const CLI::Option *find_tool_option(const CLI::App &app, const std::string &name)
{
    if (const CLI::Option *o = app.get_option_no_throw(name))
        return o;
    for (const CLI::App *sub : app.get_subcommands([](const CLI::App *) { return true; }))
        if (const CLI::Option *o = find_tool_option(*sub, name))
            return o;
    return nullptr;
}

// looks_like_option - an argument in the form of an option, not a value
// such as "-" alone or a negative number.
inline bool looks_like_option(const std::string &arg)
{
    return arg.size() > 1 && arg[0] == '-' && !(isdigit((unsigned char)arg[1]) && arg.find_first_not_of("0123456789", 1) == std::string::npos);
}

// unknown_option - the first argument in the form of an option that the tool
// does not know, passing over the values of the options it knows; "" when none.
// CLI11 alone would take an unknown "-V" for a directory, or name only the
// argument it found missing after it.
inline std::string unknown_option(const CLI::App &app, const std::vector<std::string> &args)
{
    for (size_t i = 0; i < args.size(); i++) {
        const std::string &a = args[i];
        if (a == "--")
            break;
        if (!looks_like_option(a))
            continue;
        size_t equals = a.find('=');
        const CLI::Option *o = find_tool_option(app, a.substr(0, equals));
        if (!o)
            return a.substr(0, equals);
        if (equals == std::string::npos && o->get_expected_min() > 0)
            i += (size_t)o->get_expected_min();
    }
    return "";
}

// parse_tool_line - args (without the program's name) into app; true when
// the run goes on, else the help, the version or the usage error has been
// printed and *status is the exit status.
inline bool parse_tool_line(CLI::App &app, const char *tool, int *status, std::vector<std::string> args)
{
    auto end = std::find(args.begin(), args.end(), std::string("--"));
    tool_messages_begin(tool, std::find(args.begin(), end, std::string("--json")) != end);
    std::string unknown = unknown_option(app, args);
    if (!unknown.empty() && std::find(args.begin(), end, std::string("--help")) == end &&
        std::find(args.begin(), end, std::string("-h")) == end) {
        *status = tool_fail(EXIT_USAGE, "unknown option " + unknown + "; see --help");
        return false;
    }
    std::reverse(args.begin(), args.end());
    try {
        app.parse(args);
    } catch (const CLI::Success &e) {
        *status = app.exit(e);
        return false;
    } catch (const CLI::ParseError &e) {
        *status = tool_fail(EXIT_USAGE, std::string(e.what()) + "; see --help");
        return false;
    }
    return true;
}

// parse_tool_line - the same for main's arguments.
inline bool parse_tool_line(CLI::App &app, const char *tool, int *status, int argc, char **argv)
{
    return parse_tool_line(app, tool, status, std::vector<std::string>(argv + 1, argv + argc));
}

#endif
