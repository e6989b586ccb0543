// check_guard.cpp - guard.prt, read by the filter's own reader, and the
// guard's own file, which the filter must read and replace while it is on.
#include "common/filter_dir.h"
#include "common/records.h"
#include "config/filter_config.h"
#include "config/guard_config.h"
#include "platform/platform.h"
#include "tools/shared/tool_run.h"
#include "tools/check/check_report.h"
#include "tools/check/check_run.h"

// check_guard_file - guard.dat, while guard.prt turns the guard on: a name
// that is no plain file, or one the account may not read or write, leaves
// the filter without the guard.
static void check_guard_file(void)
{
    const std::string path = filter_file("guard.dat"), shown = shown_path(display_path(path));
    const std::string effect = "the filter reports error 10 (guard.dat) and runs without the guard: it counts no "
                               "failure and locks no callsign out";
    PlatFileKind kind = plat_file_kind(path.c_str());
    if (kind == PLAT_NO_FILE)
        return;
    if (kind == PLAT_OTHER_FILE) {
        check_finding(true, display_path(path), 0,
                      "is not a plain file (a directory, a symbolic link or a file with other names), which the "
                      "filter never reads or writes through; " + effect + "; remove " + shown +
                          ": the filter makes the file anew");
        return;
    }
    const struct {
        int what;
        const char *verb, *permission;
    } needs[] = {{PLAT_MAY_READ, "read", "read"}, {PLAT_MAY_WRITE, "written", "write"}};
    for (const auto &n : needs)
        if (!plat_may_access(path.c_str(), n.what)) {
            check_finding(true, display_path(path), 0,
                          std::string("cannot be ") + n.verb + ": the " + n.permission +
                              " permission is missing for the account running this check; " + effect +
                              "; give the account that runs the BBS " + n.permission + " permission on " + shown);
            return;
        }
}

// check_guard - guard.prt, read by the filter's own reader: a wrong line is
// error 5 there, and the guard is then off; then the guard's own file.
void check_guard(void)
{
    char path[FILTER_PATH_MAX];
    config_file_path("guard.prt", path, sizeof path);
    int result = load_guard_config();
    if (result < 0)
        check_finding(true, display_path(path), -result,
                      "not a guard line, which is \"FAILURES n MINUTES m\" (n 1 to 99, m 1 to 1440), \"EXPIRE m\" or "
                      "\"EXPOSURE n\" (n 1 to 1000000); "
                      "the filter reports error 5 and runs without the guard; write one of those, or put \"#\" first "
                      "on the line to make it a comment");
    else if (result > 0 && guard_config.guard_on)
        check_guard_file();
}
