// admission.cpp - the admission decision and the access methods without password.
#include "auth/admission.h"
#include "filter/connection.h"

// Placeholder until stations are decided: everyone is admitted.
void decide_admission(char *) { verdict = VERDICT_ADMITTED; }
void apply_access_method(uint8_t, char *) { verdict = VERDICT_ADMITTED; }
void admit_open(char *) { verdict = VERDICT_ADMITTED; }
void refuse_excluded(char *) { verdict = VERDICT_REFUSED; }
void admit_bbs(char *) { verdict = VERDICT_ADMITTED; }
void send_admission_texts(char *) {}
