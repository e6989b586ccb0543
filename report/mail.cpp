// mail.cpp - the host's mail import, its lock, and the held-mail file.
#include "report/mail.h"

// Placeholder until mail is sent.
FILE *open_mail(void) { return nullptr; }
bool close_mail(FILE *stream) { return stream ? fclose(stream) == 0 : false; }
void flush_held_mail(char *) {}
int mail_new_user_notice(char *) { return 1; }
void mail_new_message(char *) {}
void mail_reset(void) {}
