// connection.h - decoding the host's eight argument strings into connection_info.
#ifndef FILTER_CONNECTION_H
#define FILTER_CONNECTION_H

#include "common/records.h"

// scan_callsign - a station argument: letters and digits (callsign: 7
// bytes), "-", a decimal number (*ssid); false when it has another form.
bool scan_callsign(const char *arg, char *callsign, long *ssid);

// decode_arguments - fill connection_info from the eight strings of a
// connection event; -1 when argv[1] does not give a callsign and an SSID.
int8_t decode_arguments(char **argv);

// connection_reset - the load-time state of connection_info and verdict.
void connection_reset(void);

#endif
