// connection.h - the decoded arguments of the current connection event and the verdict.
#ifndef FILTER_CONNECTION_H
#define FILTER_CONNECTION_H

#include <cstdint>

struct ConnectionInfo {
    char callsign[7];          // up to 6 letters and digits, as the host gave them
    uint8_t ssid;
    uint8_t attempt;           // 0: the call carries no answer
    uint16_t station_flags;    // 0x10 BBS, 0x08 may use BBS ports, 0x40 guest, 0x04 intro exception
    int16_t connection_count;  // 1: first connection; -1: forward login
    int8_t port;               // 0 is the console
    char answer_text[81];
};

enum {
    VERDICT_ADMITTED = 0,
    VERDICT_CHALLENGE = 1,
    VERDICT_REFUSED = 2,
    VERDICT_READ_ONLY = 3,
    VERDICT_ON_HOLD = 4,
    VERDICT_GUEST = 11
};

enum { FLAG_INTRO_X = 0x04, FLAG_BBS_PORT = 0x08, FLAG_BBS = 0x10, FLAG_GUEST = 0x40 };

extern ConnectionInfo connection_info;
extern uint8_t verdict;

// decode_arguments - fill connection_info from the eight strings of a
// connection event; -1 when argv[1] does not give a callsign and an SSID.
int8_t decode_arguments(char **argv);

// connection_reset - the load-time state of this file's globals.
void connection_reset(void);

#endif
