// verification.cpp - checking answers and answering a partner BBS.
#include "auth/verification.h"
#include "filter/connection.h"

// Placeholder until answers are checked: every answer is refused.
void verify_answer(char *) { verdict = VERDICT_REFUSED; }
void answer_forward_challenge(char *) { verdict = VERDICT_REFUSED; }
