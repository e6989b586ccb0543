// check_run.cpp - what every part of filter-check shares: the trace events
// the filter's parsers raised, the options of the run, and the words of the findings.
#include "tools/check/check_run.h"
#include "common/filter_dir.h"
#include "common/line_reader.h"
#include "config/host_files.h"
#include "tools/check/check_report.h"

#include <cctype>
#include <sstream>

std::vector<TraceEvent> events;
bool strict;
DumpFacts dump_facts;

void collect(const TraceEvent *e)
{
    events.push_back(*e);
}

// filter_dir_shown - the filter directory, with its "/", as the sysop reaches it.
std::string filter_dir_shown(void)
{
    return shown_path(FILTER_DIR "/");
}

// tokens - the blank-separated words of a line.
std::vector<std::string> tokens(const std::string &line)
{
    std::istringstream in(line);
    std::vector<std::string> out;
    for (std::string t; in >> t;)
        out.push_back(t);
    return out;
}

std::string upper(std::string s)
{
    for (char &c : s)
        c = (char)toupper((unsigned char)c);
    return s;
}

std::string in_quotes(const std::string &s)
{
    return "\"" + s + "\"";
}

// filter_file - morvel\name.
std::string filter_file(const std::string &name)
{
    return std::string(FILTER_DIR) + "\\" + name;
}

// nth_significant_line - the physical number of significant line n of a host file, or 0.
int nth_significant_line(const char *path, int n)
{
    PlatText text;
    PlatText *f = plat_open_text(path, &text) ? &text : nullptr;
    if (!f)
        return 0;
    char line[HOST_LINE_SIZE];
    int physical = 0, count = 0;
    while (count < n && read_significant_line(f, line, sizeof line, &physical))
        count++;
    plat_close_text(f);
    return count == n ? physical : 0;
}

// port_names - the host's ports as "1 (144.800), 2 (433.500)".
std::string port_names(void)
{
    if (!port_table_loaded)
        return "none: the port file cannot be read, see line 5 of the start-up file";
    std::string out;
    for (int p = 1; p < PORT_TABLE_SIZE && p <= port_count; p++)
        if (port_table[p][0])
            out += (out.empty() ? "" : ", ") + std::to_string(p) + " (" + port_table[p] + ")";
    return out.empty() ? "none" : out;
}

// host_has_port - the host's port file lists the port.
bool host_has_port(int port)
{
    return port >= 1 && port < PORT_TABLE_SIZE && port <= port_count && port_table[port][0];
}

// well_formed_key - a callsign of 1 to 6 letters and digits, alone or with "-" and an SSID 0 to 255.
bool well_formed_key(const std::string &key)
{
    size_t dash = key.find('-');
    std::string call = key.substr(0, dash);
    if (call.empty() || call.size() > 6 || call.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789") !=
                                               std::string::npos)
        return false;
    if (dash == std::string::npos)
        return true;
    std::string ssid = key.substr(dash + 1);
    return !ssid.empty() && ssid.size() <= 3 && ssid.find_first_not_of("0123456789") == std::string::npos &&
           (ssid.size() == 1 || ssid[0] != '0') && std::stoi(ssid) <= 255;
}

