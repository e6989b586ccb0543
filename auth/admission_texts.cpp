// admission_texts.cpp - the texts an admitted caller gets, and the caller's language.
//
// The guest, intro, new-user and station texts, and the new-user message
// mailed on a first connection. A text that is missing is simply not sent:
// only the information text of CLOSED is an error, and its caller decides.
#include "auth/admission_texts.h"
#include "common/filter_dir.h"
#include "common/records.h"
#include "config/filter_config.h"
#include "config/host_files.h"
#include "platform/platform.h"
#include "report/caller_texts.h"
#include "report/notices.h"

#include <cstdio>

// caller_text_language - the caller's language (language: LANGUAGE_NAME_SIZE bytes) when
// texts go by language and the text of kind is looked for; null otherwise.
const char *caller_text_language(int kind, char *language)
{
    if (kind == TEXT_STATION || (kind == TEXT_INTRO && intro_held_back()))
        return nullptr;
    if (!filter_config.texts_by_language || !caller_language(language))
        return nullptr;
    return language;
}

// send_caller_text - a caller text of a kind, in the caller's language when it has one.
void send_caller_text(int kind, char *reply)
{
    char language[LANGUAGE_NAME_SIZE];
    send_text_file(kind, caller_text_language(kind, language), reply);
}

// send_new_user_message - the newmsg text of the port, or the general one,
// mailed to the station; nothing when neither exists or the start-up file
// (which names the BBS that sends it) cannot be read.
void send_new_user_message(void)
{
    char per_port[FILTER_PATH_MAX];
    PlatText text;
    snprintf(per_port, sizeof per_port, "%s%d.%s", "newmsg", connection_info.port, "prt");
    if (!open_specific_else_general(per_port, "newmsg.prt", nullptr, false, &text))
        return;
    if (host_info_ready())
        mail_new_message(&text);
    plat_close_text(&text);
}

// send_new_user_welcome - on a first connection: the new-user text, then the message.
static void send_new_user_welcome(char *reply)
{
    if (!filter_config.new_user_welcome || connection_info.connection_count != 1)
        return;
    if (filter_config.new_user_actions & NEW_USER_TEXT)
        send_caller_text(TEXT_NEW_USER, reply);
    if (filter_config.new_user_actions & NEW_USER_MESSAGE)
        send_new_user_message();
}

// send_admission_texts - guest, intro and new-user texts for a person; the
// station text for everyone, BBSs included.
void send_admission_texts(char *reply)
{
    if (!(connection_info.station_flags & FLAG_BBS)) {
        if (filter_config.send_guest_text && (connection_info.station_flags & FLAG_GUEST))
            send_caller_text(TEXT_GUEST, reply);
        if (filter_config.send_intro_text)
            send_caller_text(TEXT_INTRO, reply);
        send_new_user_welcome(reply);
    }
    send_caller_text(TEXT_STATION, reply);
}
