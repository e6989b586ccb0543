// Texts sent to the caller: per port, general, by language, station texts,
// the intro exceptions and the information text of CLOSED stations.
#include "platform/platform.h"
#include "auth/admission.h"
#include "auth/admission_texts.h"
#include "report/caller_texts.h"
#include "support/host_dir.h"
#include "support/report_fixture.h"

#include <gtest/gtest.h>

// The host's user file with N0CALL speaking language 1, FRENCH in langue.sys.
static void french_caller(HostDir &h)
{
    std::string users(2 * HOST_RECORD_SIZE, '\0');
    users.replace(0, 6, "N1CALL");
    users[HOST_LANGUAGE_OFFSET] = 0;
    users.replace(HOST_RECORD_SIZE, 6, "N0CALL");
    users[HOST_RECORD_SIZE + HOST_LANGUAGE_OFFSET] = 1;
    h.write("system/inf.sys", users);
    h.write("system/langue.sys", "# languages\n2 languages\nSPANISH es\nFRENCH fr\n");
}

static const char *const SEARCH_ORDER[] = {
    "morvel/FRENCH/intro3.prt", "morvel/intro3.prt", "morvel/FRENCH/intro.prt", "morvel/intro.prt",
};

// sent_with - the reply for the intro text when only the files from `first` on exist.
static std::string sent_with(bool by_language, int first)
{
    HostDir h;
    with_host_info();
    french_caller(h);
    h.make_dir("morvel/FRENCH");
    for (int i = first; i < 4; i++)
        h.write(SEARCH_ORDER[i], std::string(SEARCH_ORDER[i]) + "\n");
    filter_config.texts_by_language = by_language;
    as_station("N0CALL", 1, 3);
    Reply reply;
    send_caller_text(TEXT_INTRO, reply);
    return reply.text;
}

TEST(CallerTexts, SearchOrderByLanguage)
{
    for (int first = 0; first < 4; first++)
        EXPECT_EQ(sent_with(true, first), std::string("\n") + SEARCH_ORDER[first] + "\n") << first;
    EXPECT_EQ(sent_with(true, 4), "");
}

TEST(CallerTexts, SearchOrderWithoutLanguage)
{
    EXPECT_EQ(sent_with(false, 0), "\nmorvel/intro3.prt\n");
    EXPECT_EQ(sent_with(false, 2), "\nmorvel/intro.prt\n") << "no language sub-directory is looked at";
    EXPECT_EQ(sent_with(false, 3), "\nmorvel/intro.prt\n");
}

TEST(CallerTexts, UnknownLanguageLeavesTheFilterDirectory)
{
    HostDir h;
    with_host_info();
    french_caller(h);
    h.make_dir("morvel/FRENCH");
    h.write("morvel/FRENCH/guest.prt", "bienvenue\n");
    h.write("morvel/guest.prt", "welcome\n");
    filter_config.texts_by_language = true;
    as_station("N2CALL", 0, 3);   // not in inf.sys
    Reply reply;
    send_caller_text(TEXT_GUEST, reply);
    EXPECT_STREQ(reply.text, "\nwelcome\n");
}

TEST(CallerTexts, EachKindHasItsOwnFiles)
{
    HostDir h;
    h.write("morvel/intro.prt", "intro");
    h.write("morvel/newtxt2.prt", "new here");
    h.write("morvel/guest.prt", "guest");
    as_station("N0CALL", 0, 2);
    Reply reply;
    send_caller_text(TEXT_NEW_USER, reply);
    send_caller_text(TEXT_GUEST, reply);
    send_caller_text(TEXT_INTRO, reply);
    send_caller_text(7, reply);
    EXPECT_STREQ(reply.text, "\nnew here\nguest\nintro");
}

TEST(CallerTexts, StationTextWithSsidBeforeWithout)
{
    struct { int ssid; bool with_ssid, without; const char *reply; } cases[] = {
        {0, true, true, "\nssid text"},
        {0, false, true, "\nbare text"},
        {1, true, true, "\nbare text"},   // only N0CALL0.ent is written
        {0, false, false, ""},
    };
    for (const auto &c : cases) {
        HostDir h;
        if (c.with_ssid)
            h.write("morvel/N0CALL0.ent", "ssid text");
        if (c.without)
            h.write("morvel/N0CALL.ent", "bare text");
        h.write("morvel/intro.prt", "not a station text");
        filter_config.texts_by_language = true;
        as_station("N0CALL", c.ssid, 3);
        Reply reply;
        send_caller_text(TEXT_STATION, reply);
        EXPECT_STREQ(reply.text, c.reply) << c.ssid << c.with_ssid << c.without;
    }
}

TEST(CallerTexts, IntroExceptions)
{
    struct { uint16_t exceptions; int flags, count; bool sent; } cases[] = {
        {0, FLAG_INTRO_X | FLAG_BBS_PORT, 1, true},
        {INTRO_EXCEPT_X, FLAG_INTRO_X, 2, false},
        {INTRO_EXCEPT_X, FLAG_BBS_PORT, 2, true},
        {INTRO_EXCEPT_S, FLAG_BBS_PORT, 2, false},
        {INTRO_EXCEPT_S, FLAG_INTRO_X, 2, true},
        {INTRO_EXCEPT_N, 0, 1, false},
        {INTRO_EXCEPT_N, 0, 2, true},
        {INTRO_EXCEPT_X | INTRO_EXCEPT_S | INTRO_EXCEPT_N, 0, 3, true},
    };
    for (const auto &c : cases) {
        HostDir h;
        h.write("morvel/intro.prt", "hello");
        h.write("morvel/newtxt.prt", "first time");
        filter_config.intro_exceptions = c.exceptions;
        as_station("N0CALL", 0, 1, c.count, c.flags);
        Reply reply;
        send_caller_text(TEXT_INTRO, reply);
        EXPECT_EQ(std::string(reply.text), c.sent ? "\nhello" : "") << c.exceptions << " " << c.flags;
        // The exceptions hold back the intro only, never the new-user text.
        send_caller_text(TEXT_NEW_USER, reply);
        EXPECT_NE(std::string(reply.text).find("first time"), std::string::npos);
    }
}

TEST(CallerTexts, EmptyTextAppendsOnlyTheLineBreakAfterTheReply)
{
    HostDir h;
    h.write("morvel/intro1.prt", "");
    as_station("N0CALL", 0, 1);
    Reply reply;
    copy_text(reply.text, sizeof reply.text, "{MORVEL-4.0}\n");
    send_caller_text(TEXT_INTRO, reply);
    EXPECT_STREQ(reply.text, "{MORVEL-4.0}\n\n");
}

TEST(CallerTexts, LongLinesArriveWhole)
{
    HostDir h;
    std::string line(250, 'a');
    h.write("morvel/intro.prt", line + "\nend\n");
    as_station("N0CALL", 0, 1);
    Reply reply;
    send_caller_text(TEXT_INTRO, reply);
    EXPECT_EQ(std::string(reply.text), "\n" + line + "\nend\n");
}

TEST(CallerTexts, InformationTextRefusesAndClearsItsMarker)
{
    HostDir h;
    h.write("morvel/info.prt", "closed for now\n");
    h.write("morvel/ERROR9.TMP", "");
    as_station("N0CALL", 0, 3);
    verdict = 0;
    Reply reply;
    refuse_closed(reply);
    EXPECT_STREQ(reply.text, "\nclosed for now\n");
    EXPECT_EQ(verdict, 2);
    EXPECT_FALSE(h.exists("morvel/ERROR9.TMP"));
    EXPECT_FALSE(h.exists("morvel/error.prt"));
}

TEST(CallerTexts, InformationTextPerPortAndByLanguage)
{
    HostDir h;
    with_host_info();
    french_caller(h);
    h.make_dir("morvel/FRENCH");
    h.write("morvel/info.prt", "general");
    h.write("morvel/FRENCH/info.prt", "general fr");
    h.write("morvel/info3.prt", "port 3");
    as_station("N0CALL", 0, 3);
    Reply reply;
    refuse_closed(reply);
    EXPECT_STREQ(reply.text, "\nport 3");

    as_station("N0CALL", 0, 4);
    filter_config.texts_by_language = true;
    Reply french;
    refuse_closed(french);
    EXPECT_STREQ(french.text, "\ngeneral fr");
}

TEST(CallerTexts, MissingInformationTextIsError9AndRefuses)
{
    HostDir h;
    with_host_info();
    with_sysops({"N0SYS"});
    as_station("N0CALL", 0, 3);
    verdict = 0;
    Reply reply;
    refuse_closed(reply);
    EXPECT_STREQ(reply.text, "");
    EXPECT_EQ(verdict, 2);
    EXPECT_NE(h.read("morvel/error.prt").find("*** ERROR 0019: File info.prt not found."), std::string::npos);
    EXPECT_TRUE(h.exists("morvel/ERROR9.TMP"));
    EXPECT_NE(h.read(MAIL_IMPORT).find("File info.prt not found."), std::string::npos);
}
