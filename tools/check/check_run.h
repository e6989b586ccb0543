// check_run.h - filter-check's parts and what they share. Each part checks
// one kind of file of the setup with the filter's own readers and gives its
// findings through check_finding (check_report.h); none of them writes.
#ifndef TOOLS_CHECK_RUN_H
#define TOOLS_CHECK_RUN_H

#include "common/trace.h"
#include "tools/check/check_dump.h"

#include <map>
#include <string>
#include <vector>

enum { HOST_LINE_SIZE = 100, SSID_MAX = 15 };

// The run's records, each written by the part named.
extern std::vector<TraceEvent> events;   // the parsers' trace of the line being checked (collect)
extern bool strict;                      // --strict: unfiltered radio stations are errors (filter_check.cpp)
extern DumpFacts dump_facts;             // what --dump prints, gathered on the way (the parts)

// ---- check_run.cpp: the trace sink and the words of the findings ----------

// collect - the trace sink: the errors the parsers raise are findings.
void collect(const TraceEvent *e);
// filter_dir_shown - the filter directory, with its "/", as the sysop reaches it.
std::string filter_dir_shown(void);
// tokens - the blank-separated words of a line.
std::vector<std::string> tokens(const std::string &line);
// upper - the text in upper case.
std::string upper(std::string s);
// in_quotes - the text in double quotes.
std::string in_quotes(const std::string &s);
// filter_file - morvel\name.
std::string filter_file(const std::string &name);
// nth_significant_line - the physical number of significant line n of a host file, or 0.
int nth_significant_line(const char *path, int n);
// port_names - the host's ports as "1 (144.800), 2 (433.500)".
std::string port_names(void);
// host_has_port - the host's port file lists the port.
bool host_has_port(int port);
// well_formed_key - a callsign of 1 to 6 letters and digits, alone or with "-" and an SSID 0 to 255.
bool well_formed_key(const std::string &key);

// ---- check_host_files.cpp ---------------------------------------------------

// check_startup - the start-up file, its system directory, the port file and
// the mail import file's directory; false when there is no start-up file.
bool check_startup(void);

// ---- check_switches.cpp -----------------------------------------------------

// check_switches - switch files left behind.
void check_switches(void);

// ---- check_access.cpp -------------------------------------------------------

// check_access - files the filter reads that cannot be read, and directories
// and files it writes that cannot be written.
void check_access(void);
// unreadable - the file is there and the account may not read it.
bool unreadable(const std::string &path);
// report_unreadable - a finding for a file the filter cannot read, with what
// the filter does then; false when it can read it (or it is not there).
bool report_unreadable(const std::string &path, const std::string &effect);

// ---- check_config.cpp -------------------------------------------------------

struct PortLine {
    int port;
    int line;
    int method;
    bool failed = false;       // the line names the port, but its method does not read
};

struct ConfigFacts {
    std::string file;
    std::map<int, int> role_line;      // role -> physical line
    std::vector<PortLine> ports;
    int connection_log_off = 0;        // physical line of a line 12 that read NO
    bool read = false;
};

// check_config - every line of config.prt; what the other parts need of it.
ConfigFacts check_config(void);

// ---- check_guard.cpp --------------------------------------------------------

// check_guard - guard.prt.
void check_guard(void);

// ---- check_users.cpp, check_headers.cpp, check_tables.cpp -----------------

// EntryPort - the ports a line of an entry serves: every port, or one.
struct EntryPort {
    int line;
    std::string words;         // its port and method, never its password
    bool every_port;
    int port;
};

struct Header {
    int line;
    std::string pattern;       // upper case, cut to 11 characters as the filter holds it
    bool table = false;
    bool console_line = false; // a line of the entry serves port 0
    std::vector<EntryPort> ports = {};   // the lines of the entry read so far
};

struct HeaderIndex;

// check_users - every entry of users.prt.
void check_users(void);

// is_pattern - a header with a wildcard, tried in the search by callsign and SSID.
bool is_pattern(const std::string &pattern);
// is_console_header - the console entry's header.
bool is_console_header(const std::string &pattern);
// header_can_match - some station, with or without its SSID, matches the pattern.
bool header_can_match(const std::string &pattern);
// check_shadowed_plain - an entry with a plain header that the search never reaches.
void check_shadowed_plain(const std::string &file, const Header &h, const HeaderIndex &index);
// check_shadowed_pattern - a wildcard header that an earlier one hides, or "*" alone.
void check_shadowed_pattern(const std::string &file, const Header &h, const HeaderIndex &index);
// serves_console - an entry line's port that takes a connection on port 0.
bool serves_console(const std::string &port);
// check_console_entries - console entries the filter never reaches, and a catch-all without a console line.
void check_console_entries(const std::string &file, const std::vector<Header> &all);

// check_password_length - a password too short for a positions challenge.
void check_password_length(const std::string &file, int line, size_t length, const char *what);
// check_table - the password table of a TABLE station: there, every day, long enough.
void check_table(const std::string &users_file, const Header &h);

// ---- check_log_users.cpp ----------------------------------------------------

// check_log_users - every line of logusr.prt.
void check_log_users(const ConfigFacts &c);

// ---- check_texts.cpp --------------------------------------------------------

// check_texts - the caller texts the options switch on.
void check_texts(const ConfigFacts &c);
// check_station_texts - a station text that two stations reach.
void check_station_texts(void);

#endif
