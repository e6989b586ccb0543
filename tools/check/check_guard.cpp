// check_guard.cpp - guard.prt, read by the filter's own reader.
#include "common/filter_dir.h"
#include "config/filter_config.h"
#include "config/guard_config.h"
#include "tools/shared/tool_run.h"
#include "tools/check/check_report.h"
#include "tools/check/check_run.h"

// check_guard - guard.prt, read by the filter's own reader: a wrong line is
// error 5 there, and the guard is then off.
void check_guard(void)
{
    char path[FILTER_PATH_MAX];
    config_file_path("guard.prt", path, sizeof path);
    int result = load_guard_config();
    if (result < 0)
        check_finding(true, display_path(path), -result,
                      "not a guard line, which is \"FAILURES n MINUTES m\" (n 1 to 99, m 1 to 1440) or \"EXPIRE m\"; "
                      "the filter reports error 5 and runs without the guard; write one of those, or put \"#\" first "
                      "on the line to make it a comment");
}
