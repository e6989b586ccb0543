// connection.cpp - decoding the host's eight argument strings into ConnectionInfo.
#include "filter/connection.h"
#include "common/text_copy.h"

#include <cstdlib>
#include <cstring>

// decimal - the standard text-to-integer conversion; values beyond long are
// clamped by strtol, and the callers keep only the low bits of their field.
static long decimal(const char *text)
{
    return strtol(text, nullptr, 10);
}

// A callsign of more than 6 characters is malformed, like any other bad form.
bool scan_callsign(const char *arg, char *callsign, long *ssid)
{
    size_t n = 0;
    while ((arg[n] >= 'A' && arg[n] <= 'Z') || (arg[n] >= 'a' && arg[n] <= 'z') ||
           (arg[n] >= '0' && arg[n] <= '9'))
        n++;
    if (n == 0 || n > 6 || arg[n] != '-')
        return false;
    const char *num = arg + n + 1;
    char *end = nullptr;
    // "%hd" skips white space and takes an optional sign before the digits.
    long value = strtol(num, &end, 10);
    if (end == num)
        return false;
    memcpy(callsign, arg, n);
    callsign[n] = '\0';
    *ssid = value;
    return true;
}

int8_t decode_arguments(char **argv)
{
    long ssid = 0;
    char callsign[7];
    if (!scan_callsign(argv[1], callsign, &ssid))
        return -1;
    ConnectionInfo &c = connection_info;
    memcpy(c.callsign, callsign, sizeof callsign);
    c.ssid = (uint8_t)(ssid & 0xFF);
    c.attempt = (uint8_t)(decimal(argv[2]) & 0xFF);
    c.station_flags = (uint16_t)(decimal(argv[3]) & 0xFFFF);
    c.connection_count = (int16_t)(uint16_t)(decimal(argv[4]) & 0xFFFF);
    c.port = (int8_t)(uint8_t)(decimal(argv[6]) & 0xFF);
    if (c.attempt != 0 || c.connection_count == -1)
        copy_text(c.answer_text, sizeof c.answer_text, argv[7]);
    return 1;
}

void connection_reset(void)
{
    memset(&connection_info, 0, sizeof connection_info);
    verdict = VERDICT_ADMITTED;
}
