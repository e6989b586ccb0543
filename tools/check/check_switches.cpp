// check_switches.cpp - the switch files the sysop commands leave in the filter directory.
#include "common/filter_dir.h"
#include "config/host_files.h"
#include "filter/connection.h"
#include "filter/sysop_commands.h"
#include "tools/check/check_report.h"
#include "tools/check/check_run.h"

// check_switches - switch files left behind: the off switch, which lets
// every station in, and port reservations, which refuse all but BBSs.
void check_switches(void)
{
    if (filter_is_off())
        check_finding(true, FILTER_DIR "/morvel.sta", 0,
                      "the filter is switched off (the sysop command -off left this file); the filter admits every new "
                      "connection unfiltered, whatever config.prt and users.prt say; give the command -on, or delete "
                      "this file");
    for (int p = 0; p < PORT_TABLE_SIZE; p++) {
        connection_info.port = (int8_t)p;
        if (!port_is_bbs_only())
            continue;
        std::string name = p == 0 ? "the console" : host_has_port(p) ? "port " + std::to_string(p) + " (" +
                                                                           port_table[p] + ")"
                                                                     : "port " + std::to_string(p);
        check_finding(false, FILTER_DIR "/" + std::to_string(p) + ".prt", 0,
                      name + " is reserved for BBSs (the sysop command -pbbs " + std::to_string(p) + " left this file); "
                      "the filter refuses every station there that the host does not flag as a BBS (16) or as allowed "
                      "on BBS ports (8); give the command -pnormal " + std::to_string(p) + ", or delete this file, "
                      "unless the reservation is meant");
    }
}
