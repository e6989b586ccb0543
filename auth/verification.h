// verification.h - checking a caller's answer, and answering a partner BBS's challenge.
#ifndef FILTER_VERIFICATION_H
#define FILTER_VERIFICATION_H

// verify_answer - check answer_text against the station's state file; sets verdict.
void verify_answer(char *reply);

// answer_forward_challenge - replace the reply with the digest answer; sets verdict.
void answer_forward_challenge(char *reply);

#endif
