// check_access.cpp - the files the filter reads that the account cannot
// read, and the directories and files it writes that the account cannot
// write. The check can only ask for the account it runs as, so each finding
// names the permission and who needs it: the account that runs the BBS.
#include "common/filter_dir.h"
#include "common/records.h"
#include "config/filter_config.h"
#include "config/host_files.h"
#include "platform/platform.h"
#include "tools/check/check_report.h"
#include "tools/check/check_run.h"
#include "tools/shared/tool_run.h"

#include <cstring>
#include <string>

// ReadEffect - what the filter does when it cannot read a file of this name or extension.
struct ReadEffect {
    const char *name;          // a name, or ".EXT" for every name of that extension
    const char *effect;
};

static const ReadEffect read_effects[] = {
    {"GUARD.PRT", "the filter runs without the guard"},
    {"LOGUSR.PRT", "no station gets a log of its own"},
    {"OTPUSED.PRT", "the filter cannot tell which one-time codes were used"},
    {".TBL", "the filter reports error 4 at each connection of the table's station and gives it its port's method"},
    {".ENT", "the station is shown no text of its own"},
    {".PRT", "the filter takes the text for missing: error 8, 9 or 11 where the text is required, nothing sent "
             "otherwise"},
};

// The files the filter writes (their directory must let it) and the switch
// files whose being there is all it asks.
static const char *const not_read[] = {"ERROR.PRT", "LOGEXCLD.PRT", "LOGNOPAS.PRT", "MORVEL.STA", "MORVEL.LCK"};

// unreadable - the file is there and the account may not read it.
bool unreadable(const std::string &path)
{
    return plat_exists(path.c_str()) && !plat_may_access(path.c_str(), PLAT_MAY_READ);
}

// report_unreadable - a finding for a file the filter cannot read; false when it can.
bool report_unreadable(const std::string &path, const std::string &effect)
{
    if (!unreadable(path))
        return false;
    check_finding(true, display_path(path), 0,
                  "cannot be read: the read permission is missing for the account running this check; " + effect +
                      "; give the account that runs the BBS read permission on " + shown_path(path));
    return true;
}

// report_unwritable - a finding for a directory or file the filter writes and cannot.
static void report_unwritable(const std::string &path, bool directory, const std::string &effect)
{
    if (!plat_exists(path.c_str()) || plat_may_access(path.c_str(), PLAT_MAY_WRITE))
        return;
    std::string shown = shown_path(path) + (directory ? std::string(1, path_separator()) : "");
    check_finding(true, display_path(path), 0,
                  std::string("cannot be written: the write permission") +
                      (directory ? " (and, on POSIX systems, the search permission)" : "") +
                      " is missing for the account running this check; " + effect +
                      "; give the account that runs the BBS write permission on " + shown);
}

// is_port_switch - a port reservation, "N.prt": the filter asks only whether it is there.
static bool is_port_switch(const std::string &n)
{
    return n.size() > 4 && n.compare(n.size() - 4, 4, ".PRT") == 0 &&
           n.find_first_not_of("0123456789-") == n.size() - 4;
}

// read_effect - what the filter does without a file of the filter directory; null for one it never reads.
static const char *read_effect(const std::string &name)
{
    std::string n = upper(name);
    for (const char *w : not_read)
        if (n == w)
            return nullptr;
    if (is_port_switch(n))
        return nullptr;
    if (n == upper(filter_config.language_file))
        return "the filter keeps the English texts";
    for (const ReadEffect &r : read_effects) {
        size_t len = strlen(r.name);
        if (n == r.name || (r.name[0] == '.' && n.size() > len && n.compare(n.size() - len, len, r.name) == 0))
            return r.effect;
    }
    return nullptr;
}

// check_filter_dir_reads - every file of the filter directory the filter reads.
static void check_filter_dir_reads(void)
{
    PlatListing listing;
    if (!plat_open_listing(FILTER_DIR, &listing))
        return;
    std::vector<std::string> names;
    char name[260];
    while (plat_next_name(&listing, name, sizeof name))
        names.push_back(name);
    plat_close_listing(&listing);
    for (const std::string &n : names) {
        const char *effect = read_effect(n);
        if (effect && upper(n) != "CONFIG.PRT" && upper(n) != "USERS.PRT")
            report_unreadable(filter_file(n), effect);
    }
}

// check_host_reads - the start-up file and the port file.
static void check_host_reads(void)
{
    for (const char *n : startup_file_names)
        report_unreadable(n, "the filter reports error 1, knows no port names and mails nobody");
    std::string dir = host_info.system_directory;
    if (dir.empty())
        return;
    for (const char *n : port_file_names)
        report_unreadable(dir + "\\" + n, "every port line that names a port is error 5 and every station is admitted");
}

// check_writes - the directories the filter makes files in, and the files it appends to.
static void check_writes(void)
{
    report_unwritable(FILTER_DIR, true,
                      "the filter can keep no challenge's state file, so every station it would challenge is "
                      "refused with error 10, and it writes no error record, log or switch file there");
    report_unwritable(filter_file("logcnx"), true, "the filter writes no connection log");
    report_unwritable(filter_file("error.prt"), false, "the filter records no error in it");
    report_unwritable(filter_file("logexcld.prt"), false, "the filter logs no refused EXCLUDED station");
    report_unwritable(filter_file("lognopas.prt"), false, "the filter logs no wrong answer");
    std::string import = host_info.mail_import_path;
    size_t cut = import.find_last_of("\\/");
    if (cut != std::string::npos && cut > 0)
        report_unwritable(import.substr(0, cut), true,
                          "the filter's mails (errors, notices, logs) cannot be delivered and error 2 follows");
}

void check_access(void)
{
    check_host_reads();
    char guard[FILTER_PATH_MAX];
    config_file_path("guard.prt", guard, sizeof guard);
    if (upper(display_path(guard)) != upper(display_path(filter_file("guard.prt"))))
        report_unreadable(guard, "the filter runs without the guard");
    check_filter_dir_reads();
    check_writes();
}
