// filter_report.cpp - one page that shows the sysop what the filter has been
// doing: connections per day and hour and port, the most frequent stations,
// password failures and exclusions, the guard's lockouts, the one-time codes
// and the last error, read from the filter's logs and state files in a dry
// run, so that nothing of the BBS directory changes.
//
// The page is one HTML file with everything inline (report_page.cpp); --json
// prints the same figures. Exit status: 0 written, 1 written but some file
// could not be read (the page names it), 2 the output could not be written,
// 100 usage.
#include "filter/filter_state.h"
#include "platform/dry_run.h"
#include "platform/platform.h"
#include "tools/report/report_figures.h"
#include "tools/report/report_page.h"
#include "tools/shared/tool_command_line.h"
#include "tools/shared/tool_messages.h"
#include "tools/shared/tool_run.h"
#include "tools/shared/tool_version.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace fs = std::filesystem;

enum { EXIT_WRITTEN = 0, EXIT_SOME_UNREADABLE = 1, EXIT_NOT_WRITTEN = 2 };

// ReportOptions - the command line.
struct ReportOptions {
    std::string dir = ".";
    std::string morvel;
    std::string since, until;
    std::string out;
    bool json = false;
    bool quiet = false;
};

// read_period - --since and --until as days; false after a message.
static bool read_period(const ReportOptions &o, DayNumber *since, DayNumber *until)
{
    *since = o.since.empty() ? NO_DAY : parse_day(o.since);
    *until = o.until.empty() ? NO_DAY : parse_day(o.until);
    for (const std::string *given : {&o.since, &o.until})
        if (!given->empty() && parse_day(*given) == NO_DAY) {
            tool_fail(EXIT_USAGE, *given + " is not a date: give it as 2026-11-01 or 01-11-2026");
            return false;
        }
    if (*since != NO_DAY && *until != NO_DAY && *since > *until) {
        tool_fail(EXIT_USAGE, "--since " + o.since + " comes after --until " + o.until);
        return false;
    }
    return true;
}

// write_output - the text into the file, or to standard output for "-"; false after a message.
static bool write_output(const std::string &path, const std::string &text)
{
    FILE *f = path == "-" ? stdout : fopen(path.c_str(), "wb");
    if (!f) {
        tool_fail(EXIT_NOT_WRITTEN, "cannot write " + path);
        return false;
    }
    bool ok = fwrite(text.data(), 1, text.size(), f) == text.size();
    ok = (path == "-" ? fflush(f) == 0 : fclose(f) == 0) && ok;
    if (!ok)
        tool_fail(EXIT_NOT_WRITTEN, "writing " + path + " failed");
    return ok;
}

// tell - each file that could not be read, on standard error, and the
// summary line, on standard output unless the page or figures went there.
static void tell(const ReportFigures &f, const std::string &out, bool page)
{
    FILE *summary = out == "-" ? stderr : stdout;
    for (const FileSeen &s : f.files)
        if (s.state == FILE_UNREADABLE)
            fprintf(stderr, "filter-report: cannot read %s: %s\n", s.path.c_str(), s.why.c_str());
    std::string span = f.first == NO_DAY ? "no entries in the period"
                                         : day_text(f.first) + " to " + day_text(f.last);
    fprintf(summary, "filter-report: %s%s: %ld connections, %ld password failures, %ld exclusions, %s\n",
            page ? "wrote " : "figures ", out == "-" ? "to standard output" : out.c_str(), f.connections, f.failures,
            f.exclusions, span.c_str());
}

int main(int argc, char **argv)
{
    ReportOptions o;
    CLI::App app{"filter-report: one page that shows what the connection filter has been doing.\n"
                 "Reads the filter's logs and state files with the filter's own readers; writes nothing there.\n"
                 "Exit status: 0 written, 1 written but some file could not be read, 2 not written, 100 usage."};
    app.add_option("--dir", o.dir, "the BBS's working directory, holding init.srv and morvel/ (default: .)")
        ->type_name("DIR");
    app.add_option("--morvel", o.morvel, "the directory of config.prt, users.prt and guard.prt, as the variable "
                                         "MORVEL names it for the BBS (relative to --dir)")->type_name("DIR");
    app.add_option("--since", o.since, "leave out what happened before this day (2026-11-01 or 01-11-2026)")
        ->type_name("DATE");
    app.add_option("--until", o.until, "leave out what happened after this day")->type_name("DATE");
    app.add_option("--out", o.out, "the file to write (default: report.html here, or standard output with "
                                   "--json); - for standard output")->type_name("FILE");
    app.add_flag("--json", o.json, "write the same figures as one JSON object instead of the page");
    app.add_flag("-q,--quiet", o.quiet, "print nothing but errors: the exit status tells");
    app.set_version_flag("--version", tool_version_line("filter-report"));
    int status;
    if (!parse_tool_line(app, "filter-report", &status, argc, argv))
        return status;
    DayNumber since, until;
    if (!read_period(o, &since, &until))
        return EXIT_USAGE;
    if (o.out.empty())
        o.out = o.json ? "-" : "report.html";
    std::error_code ec;
    std::string out = o.out == "-" ? o.out : fs::absolute(o.out, ec).string();
    if (!o.morvel.empty() && set_morvel(o.morvel.c_str()) != 0)
        return tool_fail(EXIT_USAGE, "cannot set MORVEL to " + o.morvel);
    if (!enter_setup(o.dir))
        return EXIT_USAGE;
    filter_reset_state();
    if (!plat_dry_run_begin())
        return tool_fail(EXIT_USAGE, "dry runs are not supported on this system");
    ReportFigures figures;
    figures.directory = o.dir == "." ? fs::current_path(ec).string() : o.dir;
    gather_figures(since, until, &figures);
    plat_dry_run_end();
    if (!write_output(out, o.json ? report_json(figures) : report_page(figures)))
        return EXIT_NOT_WRITTEN;
    if (!o.quiet)
        tell(figures, o.out, !o.json);
    return files_unreadable(figures) ? EXIT_SOME_UNREADABLE : EXIT_WRITTEN;
}
