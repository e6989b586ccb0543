// report_fixture.h - the records a connection event would fill, set directly,
// for tests that call the reporting functions without going through svc_main.
//
// The host values are those that HostDir's start-up file gives, so a test that
// sets them and one that lets the filter read init.srv expect the same files.
#ifndef TESTS_REPORT_FIXTURE_H
#define TESTS_REPORT_FIXTURE_H

#include "common/reply.h"
#include "common/text_copy.h"
#include "config/filter_config.h"
#include "config/host_files.h"
#include "filter/call_clock.h"
#include "filter/connection.h"

#include <string>
#include <vector>

// The call banner of HostDir's fixed clock.
static const char FIXED_BANNER[] = "[MORVEL v4.0] - 21:30:05 08-12-2026";

// as_station - a connection event of this station, with the call's clock taken.
inline void as_station(const char *callsign, int ssid, int port, int count = 2, int flags = 0)
{
    connection_reset();
    copy_text(connection_info.callsign, sizeof connection_info.callsign, callsign);
    connection_info.ssid = (uint8_t)ssid;
    connection_info.port = (int8_t)port;
    connection_info.connection_count = (int16_t)count;
    connection_info.station_flags = (uint16_t)flags;
    fill_call_clock();
}

// with_host_info - what the filter keeps of HostDir's init.srv.
inline void with_host_info(void)
{
    host_info.host_info_loaded = true;
    copy_text(host_info.bbs_callsign, sizeof host_info.bbs_callsign, "N0BBS");
    copy_text(host_info.system_directory, sizeof host_info.system_directory, "SYSTEM");
    copy_text(host_info.host_sysop, sizeof host_info.host_sysop, "N0SYS");
    copy_text(host_info.mail_import_path, sizeof host_info.mail_import_path, "MAIL\\MAIL.IN");
    copy_text(host_info.mail_lock_path, sizeof host_info.mail_lock_path, "MAIL\\MAIL.lck");
}

// with_sysops - a configuration read without error that names these sysops.
inline void with_sysops(const std::vector<std::string> &sysops)
{
    filter_config.config_loaded = true;
    filter_config.sysop_count = (uint8_t)sysops.size();
    for (size_t i = 0; i < sysops.size() && i < MAX_SYSOPS; i++)
        copy_text(filter_config.sysop_calls[i], sizeof filter_config.sysop_calls[i], sysops[i].c_str());
}

// Reply - a reply buffer of the host's size.
struct Reply {
    char text[REPLY_CAPACITY] = "";
    operator char *() { return text; }
};

#endif
