// challenges.h - the password challenges and their state files.
#ifndef FILTER_CHALLENGES_H
#define FILTER_CHALLENGES_H

#include <cstddef>

// Challenge kinds written on line 2 of the state file.
enum { KIND_NORMAL = 0, KIND_FIXED = 4, KIND_MD = 6, KIND_TABLE = 7, KIND_FLEXNET = 9, KIND_FORWARD = 10 };

void challenge_fixed(char *reply);
void challenge_normal(char *reply);
// challenge_table - false when the station's table gives no password for
// today and the port's method is to decide.
bool challenge_table(char *reply);
void challenge_flexnet(char *reply);
void challenge_md(char *reply);
void challenge_forward(char *reply);

// state_file_path - morvel\<callsign><ssid>.TMP of the connection's station.
void state_file_path(char *out, size_t size, bool lower_extension);

#endif
