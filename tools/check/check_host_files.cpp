// check_host_files.cpp - the host's files: the start-up file, the system
// directory it names, the port file there and the mail import file's directory.
#include "config/host_files.h"
#include "platform/platform.h"
#include "tools/check/check_report.h"
#include "tools/check/check_run.h"
#include "tools/shared/tool_run.h"

enum { SYSTEM_DIRECTORY_LINE = 5, MAIL_IMPORT_LINE = 14 };

// check_startup - init.srv, its system directory and mail import file, and
// the port file in that directory.
bool check_startup(void)
{
    const char *startup = nullptr;
    for (const char *n : startup_file_names)
        if (!startup && plat_exists(n))
            startup = n;
    if (!startup) {
        check_finding(true, "init.srv", 0,
                      "no start-up file (init_w.srv, init_d.srv or init.srv) in this directory; the filter reports "
                      "error 1, knows no port names and mails nobody; run the check in the host's working directory");
        return false;
    }
    load_host_info();
    int dir_line = nth_significant_line(startup, SYSTEM_DIRECTORY_LINE);
    if (!host_info.system_directory[0] || !plat_exists(host_info.system_directory)) {
        check_finding(true, startup, dir_line,
                      "the system directory " + in_quotes(host_info.system_directory) +
                          " does not exist (the filter drops the last character of the line, meant to be a trailing "
                          "\\); the filter cannot read the host's port file, so every port line that names a port is "
                          "error 5 and every station is admitted; write the host's system directory with a trailing \\");
        return true;
    }
    std::string dir = host_info.system_directory;
    bool port_file = false;
    for (const char *n : port_file_names)
        port_file = port_file || plat_exists((dir + "\\" + n).c_str());
    if (!port_file)
        check_finding(true, display_path(dir + "\\port.sys"), 0,
                      "the host's port file (prot_w.sys, port_d.sys or port.sys) is missing; every port line that "
                      "names a port is error 5 and every station is admitted; check line " +
                          std::to_string(dir_line) + " of " + startup);
    // The lookup loads the port table at its first need; a name no port has makes it do so.
    port_from_name("?", 0, false);
    std::string import = host_info.mail_import_path;
    size_t cut = import.find_last_of("\\/");
    if (cut != std::string::npos && cut > 0 && !plat_exists(import.substr(0, cut).c_str()))
        check_finding(false, startup, nth_significant_line(startup, MAIL_IMPORT_LINE),
                      "the directory of the mail import file " + in_quotes(import) +
                          " does not exist; the filter's mails (errors, notices, logs) cannot be delivered and error 2 "
                          "follows; give the host's mail import file");
    return true;
}
