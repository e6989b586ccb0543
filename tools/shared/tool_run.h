// tool_run.h - what the sysop's tools share: running the filter's own
// decision in a dry run with the trace on, and reading back what it did.
#ifndef TOOLS_TOOL_RUN_H
#define TOOLS_TOOL_RUN_H

#include "common/trace.h"
#include "platform/dry_run.h"
#include "tools/shared/sysop_path.h"

#include <string>
#include <vector>

// StationSpec - one connection as the host would pass it.
struct StationSpec {
    std::string station;       // CALLSIGN-SSID
    int port = 1;
    int flags = 0;
    int count = 2;
    int attempt = 1;           // the attempt number of the first answer
    std::vector<std::string> answers;
};

// FilterCall - one call of the filter: its result, its reply and its events.
struct FilterCall {
    int verdict = 0;
    std::string reply;
    std::vector<TraceEvent> events;
};

// StationRun - a new connection and the answer calls that followed it.
struct StationRun {
    std::vector<FilterCall> calls;
    std::vector<DryRunChange> changes;
};

// set_tool_clock - fix the filter's clock at "YYYY-MM-DD" or "DD-MM-YYYY" and
// "HH:MM[:SS[,hh]]"; false when either does not read.
bool set_tool_clock(const std::string &date, const std::string &time);

// enter_setup - make dir (the host's working directory) the current one;
// false after a usage failure (tool_fail).
bool enter_setup(const std::string &dir);

// set_morvel - MORVEL for the filter's readers, as the sysop would set it;
// 0, or non-zero when the environment did not take it.
int set_morvel(const char *dir);

// run_station - from the load-time state, in a dry run of the current
// directory: the new connection, then each answer while a challenge is put.
StationRun run_station(const StationSpec &asked);

// masked_changes - the changes of the dry run that is on, each challenge's
// state file shown by its station and kind only, never by its content.
std::vector<DryRunChange> masked_changes(void);

// station_is_well_formed - the callsign argument as the filter decodes it:
// 1 to 6 letters and digits, "-", a number.
bool station_is_well_formed(const std::string &station);

// method_text - "NORMAL (5)", "TOTP (keyword only)", or "5 (acts as OPEN)" for numbers without a keyword.
std::string method_text(int method);

// kind_text - the challenge kind in words.
std::string kind_text(int kind);

// verdict_meaning - "admitted", "challenge put", "refused" ...; "unknown" for a number the host does not know.
const char *verdict_meaning(int verdict);

// verdict_text - "0 admitted", "2 refused" ...; the bare number for one the host does not know.
std::string verdict_text(int verdict);

// physical_line - line number (from 1) of a file of the setup, without its line end; "" when none.
std::string physical_line(const std::string &path, int number);

#endif
