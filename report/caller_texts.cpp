// caller_texts.cpp - texts appended for the caller.
#include "report/caller_texts.h"
#include "filter/connection.h"

// Placeholder until texts are sent.
void send_text_file(int, char *) {}
void send_information_text(char *) { verdict = VERDICT_REFUSED; }
