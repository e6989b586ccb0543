// challenges.cpp - the password challenges and their state files.
#include "auth/challenges.h"
#include "filter/connection.h"

#include <cstdio>

// Placeholder until challenges are put.
void challenge_fixed(char *) { verdict = VERDICT_REFUSED; }
void challenge_normal(char *) { verdict = VERDICT_REFUSED; }
void challenge_table(char *) { verdict = VERDICT_REFUSED; }
void challenge_flexnet(char *) { verdict = VERDICT_REFUSED; }
void challenge_md(char *) { verdict = VERDICT_REFUSED; }
void challenge_forward(char *) { verdict = VERDICT_REFUSED; }
void state_file_path(char *out, size_t size, bool) { if (size) out[0] = '\0'; }
