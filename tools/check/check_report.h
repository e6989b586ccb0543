// check_report.h - how filter-check shows its findings: one line each
// (FILE:LINE: error|warning: what; effect; fix) and a summary, only the
// problems (-q), or one JSON object for scripts (--json). Paths are shown
// from the directory the check was started in, as the sysop types them
// there (sysop_path.h).
#ifndef TOOLS_CHECK_REPORT_H
#define TOOLS_CHECK_REPORT_H

#include <string>

enum CheckOutputMode { CHECK_TEXT, CHECK_QUIET, CHECK_JSON, CHECK_SILENT };

// check_report_begin - the mode, and the setup directory as the sysop named it.
void check_report_begin(CheckOutputMode mode, const std::string &dir);

// shown_path - a path of the setup (relative to it, or absolute) as the sysop can use it from where the check began.
std::string shown_path(const std::string &path);

// check_files_read - which config.prt and users.prt the check reads (paths
// as the filter names them), and the directory that chose them: the
// variable MORVEL ("" unset), or --morvel when from_option.
void check_files_read(const std::string &config, const std::string &users, const std::string &morvel,
                      bool from_option);

// check_finding - one finding; file relative to the setup, line 0 when none.
void check_finding(bool error, const std::string &file, int line, const std::string &text);

// check_report_member - one more member of the JSON object: name and a JSON value.
void check_report_member(const std::string &name, const std::string &json);

// check_report_end - the summary line or the JSON object; the exit status (0 clean, 1 warnings, 2 errors).
int check_report_end(void);

#endif
