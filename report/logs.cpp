// logs.cpp - attempt logs and connection logs.
#include "report/logs.h"

// Placeholder until logs are written.
void write_attempt_log(int) {}
void write_connection_log(int) {}
bool user_log_mode(uint16_t *) { return false; }
void log_column_header(char *out, size_t size) { if (size) out[0] = '\0'; }
