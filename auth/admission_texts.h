// admission_texts.h - the texts an admitted caller gets, and the caller's language.
#ifndef FILTER_ADMISSION_TEXTS_H
#define FILTER_ADMISSION_TEXTS_H

// caller_text_language - the caller's language (language: LANGUAGE_NAME_SIZE bytes) when
// texts go by language and a text of kind (TEXT_..., TEXT_INFORMATION) is
// looked for; null otherwise.
const char *caller_text_language(int kind, char *language);

// send_caller_text - append a caller text of a kind (TEXT_...) in the caller's language.
void send_caller_text(int kind, char *reply);

// send_new_user_message - mail the newmsg text of the port, or the general one, to the station.
void send_new_user_message(void);

// send_admission_texts - the guest, intro, new-user and station texts of an admitted caller.
void send_admission_texts(char *reply);

#endif
