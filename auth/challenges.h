// challenges.h - the password challenges.
#ifndef FILTER_CHALLENGES_H
#define FILTER_CHALLENGES_H

#include "auth/state_file.h"
#include "platform/platform.h"

#include <cstddef>

void challenge_fixed(char *reply);
void challenge_normal(char *reply);
// challenge_table - false when the station's table gives no password for
// today and the port's method is to decide.
bool challenge_table(char *reply);
void challenge_flexnet(char *reply);
void challenge_md(char *reply);
void challenge_forward(char *reply);
// challenge_totp, challenge_hotp - ask for a one-time code; HOTP names the
// number of the next unused one.
void challenge_totp(char *reply);
void challenge_hotp(char *reply);

// Rows of a password table are read in pieces of this size.
enum { TABLE_LINE_SIZE = 300 };

// open_station_table - the password table of callsign with SSID ssid
// (morvel\CALL7.TBL), else the callsign's (morvel\CALL.TBL); with ssid
// below 0 the callsign's only. False when none opens.
bool open_station_table(const char *callsign, int ssid, PlatText *table);

// table_row - a row of a password table: its day and its password
// (PASSWORD_MAX + 1 bytes); false for a row without both.
bool table_row(const char *line, short *day, char *password);

// todays_table_password - today's password from the connection's station's
// table into todays (PASSWORD_MAX + 1 bytes), as challenge_table finds it;
// false when there is no table or no row for today. For the tools, which
// find a TABLE station's exposure record through it.
bool todays_table_password(char *todays);

#endif
