// filter_check.cpp - check a whole setup before it goes live.
//
// Reads every file of the setup with the filter's own line parsers, in a dry
// run so that nothing is written, and prints each problem as
//   file:line: error|warning: what is wrong; what the filter will do; how to fix it
// then one line of summary. Errors are faults the filter itself reports (or
// that stop it filtering); warnings are setups that work otherwise than the
// sysop most likely meant. Exit status: 0 clean, 1 warnings, 2 errors, 100 usage.
#include "common/filter_dir.h"
#include "config/filter_config.h"
#include "filter/filter_state.h"
#include "platform/platform.h"
#include "tools/check/check_report.h"
#include "tools/check/check_run.h"
#include "tools/shared/tool_command_line.h"
#include "tools/shared/tool_run.h"
#include "tools/shared/tool_version.h"

#include <cstdio>
#include <cstdlib>
#include <string>


// note_files_read - which config.prt and users.prt the check reads, and why there.
static void note_files_read(bool morvel_option)
{
    char config[FILTER_PATH_MAX], users[FILTER_PATH_MAX];
    config_file_path("config.prt", config, sizeof config);
    config_file_path("users.prt", users, sizeof users);
    const char *morvel = plat_getenv("MORVEL");
    check_files_read(config, users, morvel ? morvel : "", morvel_option);
    dump_facts.config = shown_path(config);
    dump_facts.users = shown_path(users);
}

int main(int argc, char **argv)
{
    std::string dir, morvel;
    bool quiet = false, json = false, dump = false;
    unsigned long exposure = 0;
    CLI::App app{"filter-check: check a connection filter's setup before it goes live.\n"
                 "Reads every file with the filter's own parsers; writes nothing.\n"
                 "Exit status: 0 clean, 1 warnings, 2 errors, 100 usage."};
    app.add_option("DIR", dir, "the host's working directory (holding init.srv and morvel/)")->required();
    app.add_flag("-q,--quiet", quiet, "print only the problems: no summary, no note of the files read");
    app.add_flag("--json", json, "print one JSON object: the files read, the counts and every finding "
                                 "(file, line, severity, what, effect, fix)");
    app.add_flag("--strict", strict, "count a radio port without a port line, and a users.prt that cannot be "
                                     "read, as errors");
    CLI::Option *dump_flag = app.add_flag("--dump", dump, "print the setup as the filter will use it instead of the "
                                                          "findings: every option with its default filled in, each "
                                                          "port's method, the headers of users.prt in the order the "
                                                          "filter tries them, and what a listener has heard of each "
                                                          "password (text only: not with --json)");
    dump_flag->excludes("--json");
    app.add_option("--exposure", exposure, "print instead of the findings the passwords a listener who heard "
                                           "every answer since each was set answers at the next challenge 1 in N "
                                           "or likelier (N 100 when not given), worst first; exit status 1 when "
                                           "there are any")
        ->expected(0, 1)
        ->default_str("100")
        ->check(CLI::Range(1ul, 1000000ul));
    app.add_option("--morvel", morvel, "the directory of config.prt and users.prt, as the variable MORVEL names "
                                       "it for the BBS (relative to DIR)");
    app.set_version_flag("--version", tool_version_line("filter-check"));
    int status;
    if (!parse_tool_line(app, "filter-check", &status, argc, argv))
        return status;
    bool listing = app.count("--exposure") > 0;
    if (listing && exposure == 0)
        exposure = 100;
    if (!morvel.empty() && set_morvel(morvel.c_str()) != 0)
        return tool_fail(EXIT_USAGE, "cannot set MORVEL to " + morvel);
    if (!enter_setup(dir))
        return EXIT_USAGE;
    filter_reset_state();
    if (!plat_dry_run_begin())
        return tool_fail(EXIT_USAGE, "dry runs are not supported on this system");
    check_report_begin(dump || listing ? CHECK_SILENT : json ? CHECK_JSON : quiet ? CHECK_QUIET : CHECK_TEXT, dir);
    note_files_read(!morvel.empty());
    trace_set_sink(collect);
    if (check_startup()) {
        check_switches();
        check_access();
        ConfigFacts c = check_config();
        check_guard();
        check_users();
        if (c.read)
            check_texts(c);
        check_log_users(c);
        check_station_texts();
    }
    trace_set_sink(nullptr);
    plat_dry_run_end();
    if (dump)
        print_dump(dump_facts);
    if (listing)
        return print_exposure_list(dump_facts, exposure);
    if (json)
        check_report_member("exposure", exposure_json(dump_facts));
    return check_report_end();
}
