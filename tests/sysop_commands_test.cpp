// Sysop commands: switching the filter off and on, reserving ports for BBSs,
// and mailing the attempt logs, all through the real entry points.
#include "auth/digests.h"
#include "platform/platform.h"
#include "support/challenge_reply.h"
#include "support/host_dir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace {

const char *const OFF_SWITCH = "morvel/morvel.sta";

// A config with two sysops; port 3 admits everyone, port 1 needs users.prt.
void two_sysop_config(HostDir &h, const std::string &language = "**")
{
    h.write_config({language, "N0SYS N1SYS", "3", "PASSWORD>", "NO", "NO", "NO", "NO", "NO", "NO", "NO",
                    "NO", "NO", "NO", "1 EXCLUDED", "3 OPEN"});
}

std::string log_message(const std::string &sysop, const std::string &subject, const std::string &body)
{
    return "#\nSP " + sysop + " < MORVEL\n" + subject + "\n" + body + "\n/EX\n";
}

const char excluded_log[] = "\n[MORVEL v4.0] - Log of not autorized connection attemps:\n"
                            "         N0BAD -0          1         21:30:05,27         08-12-2026\n"
                            "         N0BAD -1          1         21:31:05,27         08-12-2026\n";
const char password_log[] = "\n[MORVEL v4.0] - Log of failed password attemps:\n"
                            "         N0PW  -2          1         21:30:05,27         08-12-2026\n";

} // namespace

TEST(SysopCommands, OffWordIsMatchedWithoutRegardToCase)
{
    for (const char *word : {"-OFF", "-off", "-Off"}) {
        for (bool through_dll : {false, true}) {
            HostDir h;
            EXPECT_EQ(through_dll ? h.dll_command(word) : h.command(word), 0);
            EXPECT_TRUE(h.exists(OFF_SWITCH)) << word << (through_dll ? " via dll_main" : " via svc_main");
            // Repeating the command changes nothing; -on then removes the switch.
            h.command(word);
            EXPECT_TRUE(h.exists(OFF_SWITCH)) << word;
            through_dll ? h.dll_command("-ON") : h.command("-on");
            EXPECT_FALSE(h.exists(OFF_SWITCH)) << word;
        }
    }
}

TEST(SysopCommands, UnknownWordsAndPrefixesDoNothing)
{
    HostDir h;
    for (const char *word : {"-of", "-offline", "off", "-pbb", "-logs", "-"}) {
        h.command(word, "3");
        h.dll_command(word, "3");
    }
    EXPECT_EQ(h.list("morvel"), std::vector<std::string>{});
}

TEST(SysopCommands, OffSwitchAdmitsNewConnectionsUnfiltered)
{
    HostDir h;
    two_sysop_config(h);
    h.write_users("N0FWD\n* FORWARD linkpw\n-\nN0CALL\n* NORMAL secret\n-\n");
    // A challenge put before the switch is answered in full afterwards.
    auto first = h.connect("N0CALL-1");
    ASSERT_EQ(first.result, 1);
    std::string expected = h.read("morvel/N0CALL1.TMP").substr(0, 5);

    h.command("-off");
    auto refused_station = h.connect("N0BAD-0");
    EXPECT_EQ(refused_station.result, 0);
    EXPECT_EQ(refused_station.reply, TAG);

    auto answered = h.answer("N0CALL-1", 1, "xx" + expected);
    EXPECT_EQ(answered.result, 0);
    EXPECT_FALSE(h.exists("morvel/N0CALL1.TMP"));

    auto wrong = h.answer("N0CALL-1", 1, "no state file now");
    EXPECT_EQ(wrong.result, 2) << "an answer without a pending challenge is still refused";

    // A forward login still answers the partner's challenge.
    std::string input = "1234567890linkpw";
    unsigned char digest[DIGEST_SIZE];
    char hex[DIGEST_TEXT];
    md2_digest((const unsigned char *)input.data(), input.size(), digest);
    digest_hex(digest, hex);
    auto fwd = h.forward("N0FWD-0", "![1234567890]");
    EXPECT_EQ(fwd.result, 0);
    EXPECT_EQ(fwd.reply, std::string(hex) + "\n");

    h.command("-on");
    EXPECT_EQ(h.connect("N0BAD-0").result, 2);
}

struct BbsPortCase {
    int flags;
    int expected;
    const char *why;
};

TEST(SysopCommands, ReservedPortLetsOnlyBbsStationsThrough)
{
    const BbsPortCase cases[] = {
        {0x00, 2, "an ordinary station is refused"},
        {0x40, 2, "the guest bit does not open the port"},
        {0x10, 11, "a BBS goes on to the admission decision"},
        {0x08, 11, "a station allowed on BBS ports goes on to the admission decision"},
    };
    for (const auto &c : cases) {
        HostDir h;
        // Connection log on, so that a station that got in would leave a trace.
        h.write_config({"**", "N0SYS", "3", "PASSWORD>", "NO", "NO", "NO", "NO", "NO", "NO", "NO", "OK",
                        "NO", "NO", "3 OPEN"});
        h.write_users("N0CALL\n3 GUEST\n-\n");
        EXPECT_EQ(h.command("-pbbs", "3"), 0);
        EXPECT_TRUE(h.exists("morvel/3.prt"));
        auto r = h.connect("N0CALL-1", 3, c.flags);
        EXPECT_EQ(r.result, c.expected) << c.why;
        if (c.expected == 2) {
            EXPECT_EQ(r.reply, TAG) << c.why;
            EXPECT_FALSE(h.exists("morvel/logcnx")) << "a refused station is not logged";
        }
        // Another port is not affected, and -pnormal frees the port again.
        EXPECT_EQ(h.connect("N0CALL-1", 2, c.flags).result, 0) << c.why;
        h.dll_command("-PNORMAL", "3");
        EXPECT_FALSE(h.exists("morvel/3.prt"));
        EXPECT_EQ(h.connect("N0CALL-1", 3, c.flags).result, 11) << c.why;
    }
}

TEST(SysopCommands, PortArgumentsAreCutToEightBits)
{
    HostDir h;
    h.command("-pbbs", "#");
    h.command("-pbbs");
    h.dll_command("-pbbs");
    h.command("-pbbs", "abc");
    EXPECT_EQ(h.list("morvel"), std::vector<std::string>{}) << "no port number, no flag file";

    h.command("-pbbs", "300");
    EXPECT_TRUE(h.exists("morvel/44.prt"));
    h.command("-pnormal", "300");
    EXPECT_FALSE(h.exists("morvel/44.prt"));
    h.command("-pnormal", "#");   // nothing to free
    h.command("-pbbs", " 7 ");
    EXPECT_TRUE(h.exists("morvel/7.prt"));
}

// A port argument that is not wholly a decimal number does nothing, so a
// typo cannot reserve the console (strtol reads "0x3" as 0) nor free a port
// the sysop did not name; a sign is allowed.
TEST(SysopCommands, APortArgumentThatIsNotWhollyANumberDoesNothing)
{
    const char *typos[] = {"0x3", "3a", "3.0", "0 3", "+", "-", "", " ", "3,"};
    for (const char *typo : typos) {
        SCOPED_TRACE(std::string("\"") + typo + "\"");
        HostDir h;
        write_filter_config(h, FilterOptions());
        EXPECT_EQ(h.command("-pbbs", typo), 0);
        EXPECT_EQ(h.dll_command("-pbbs", typo), 0);
        EXPECT_FALSE(h.exists("morvel/0.prt"));
        EXPECT_FALSE(h.exists("morvel/3.prt"));
        EXPECT_EQ(h.connect("N0SYS-0", 0).result, 0) << "the sysop's console login";
        h.write("morvel/0.prt", "");
        h.write("morvel/3.prt", "");
        h.command("-pnormal", typo);
        h.dll_command("-pnormal", typo);
        EXPECT_TRUE(h.exists("morvel/0.prt"));
        EXPECT_TRUE(h.exists("morvel/3.prt"));
    }
    const struct {
        const char *argument;
        const char *flag;
    } numbers[] = {{"+3", "morvel/3.prt"}, {"-253", "morvel/3.prt"}, {"003", "morvel/3.prt"}};
    for (const auto &n : numbers) {
        SCOPED_TRACE(n.argument);
        HostDir h;
        h.command("-pbbs", n.argument);
        EXPECT_TRUE(h.exists(n.flag));
        h.command("-pnormal", n.argument);
        EXPECT_FALSE(h.exists(n.flag));
    }
}

// The host passes ports above 127 as negative bytes; the reservation is
// still found by the number the sysop typed.
TEST(SysopCommands, PortAboveOneHundredTwentySevenIsTestedByTheNumberTyped)
{
    for (int port : {128, 200, 255}) {
        SCOPED_TRACE(port);
        HostDir h;
        h.write_basic_config({"1 OPEN"});
        std::string flag = "morvel/" + std::to_string(port) + ".prt";
        h.command("-pbbs", std::to_string(port).c_str());
        EXPECT_TRUE(h.exists(flag));
        auto r = h.connect("N0CALL-1", port);
        EXPECT_EQ(r.result, 2);
        EXPECT_EQ(r.reply, TAG);
        EXPECT_EQ(h.connect("N0BBS-1", port, 0x10).result, 0);
        h.command("-pnormal", std::to_string(port).c_str());
        EXPECT_FALSE(h.exists(flag));
        EXPECT_EQ(h.connect("N0CALL-1", port).result, 0);
    }
    HostDir h;
    h.write_basic_config({"1 OPEN"});
    h.write("morvel/-56.prt", "");
    EXPECT_EQ(h.connect("N0CALL-1", 200).result, 0) << "a signed name reserves nothing";
}

TEST(SysopCommands, LogCommandMailsBothLogsToEverySysopAndRemovesThem)
{
    HostDir h;
    two_sysop_config(h);
    h.write("morvel/logexcld.prt", excluded_log);
    h.write("morvel/lognopas.prt", password_log);
    EXPECT_EQ(h.command("-log"), 0);
    std::string expected = log_message("N0SYS", "Log file.", excluded_log) +
                           log_message("N1SYS", "Log file.", excluded_log) +
                           log_message("N0SYS", "Log file.", password_log) +
                           log_message("N1SYS", "Log file.", password_log);
    EXPECT_EQ(h.read(MAIL_IMPORT), expected);
    EXPECT_FALSE(h.exists("morvel/logexcld.prt"));
    EXPECT_FALSE(h.exists("morvel/lognopas.prt"));
    EXPECT_FALSE(h.exists(MAIL_LOCK));
}

TEST(SysopCommands, LogCommandMailsWhicheverLogExists)
{
    for (const char *name : {"morvel/logexcld.prt", "morvel/lognopas.prt"}) {
        HostDir h;
        two_sysop_config(h);
        h.write(name, password_log);
        h.dll_command("-LOG");
        EXPECT_EQ(h.read(MAIL_IMPORT), log_message("N0SYS", "Log file.", password_log) +
                                           log_message("N1SYS", "Log file.", password_log))
            << name;
        EXPECT_FALSE(h.exists(name));
    }
}

TEST(SysopCommands, LogCommandIgnoresItsCallsignForRecipients)
{
    HostDir h;
    two_sysop_config(h);
    h.write("morvel/lognopas.prt", password_log);
    h.command("-log", "n0call");
    EXPECT_EQ(h.read(MAIL_IMPORT), log_message("N0SYS", "Log file.", password_log) +
                                       log_message("N1SYS", "Log file.", password_log));
}

TEST(SysopCommands, LogLongerThanAPieceArrivesWhole)
{
    HostDir h;
    two_sysop_config(h);
    std::string body = "\n" + std::string(200, 'x') + "\nlast line without line end";
    h.write("morvel/lognopas.prt", body);
    h.command("-log", "#");
    EXPECT_EQ(h.read(MAIL_IMPORT), log_message("N0SYS", "Log file.", body) + log_message("N1SYS", "Log file.", body));
}

TEST(SysopCommands, LogMailWaitsInHeldMailWhileTheHostHoldsTheLock)
{
    HostDir h;
    two_sysop_config(h);
    h.write(MAIL_LOCK, "");
    h.write("morvel/lognopas.prt", password_log);
    h.command("-log");
    EXPECT_EQ(h.read("morvel/mail.prt"), log_message("N0SYS", "Log file.", password_log) +
                                             log_message("N1SYS", "Log file.", password_log));
    EXPECT_TRUE(h.exists(MAIL_LOCK)) << "the host's lock is not ours to remove";
    EXPECT_FALSE(h.exists("morvel/lognopas.prt"));
}

TEST(SysopCommands, LogSubjectFollowsTheConfiguredLanguageOnlyWhenReadAgain)
{
    HostDir h;
    std::string language;
    for (int i = 1; i <= 29; i++)
        language += i == 17 ? "Fichero de log\n" : "texto " + std::to_string(i) + "\n";
    h.write("morvel/spanish.txt", language);
    two_sysop_config(h, "spanish.txt");
    h.write("morvel/lognopas.prt", password_log);
    h.command("-log", "#");
    EXPECT_EQ(h.read(MAIL_IMPORT), log_message("N0SYS", "Fichero de log.", password_log) +
                                       log_message("N1SYS", "Fichero de log.", password_log));
    // With a callsign the loaded configuration is not read again: built-in texts.
    h.remove(MAIL_IMPORT);
    h.write("morvel/lognopas.prt", password_log);
    h.command("-log", "N0CALL");
    EXPECT_EQ(h.read(MAIL_IMPORT).substr(0, 34), "#\nSP N0SYS < MORVEL\nLog file.\n\n[MO");
}

TEST(SysopCommands, LogsStayWhenTheirMailCannotBeDelivered)
{
    struct Case {
        const char *why;
        void (*arrange)(HostDir &h);
        const char *argument;
    };
    const Case cases[] = {
        {"no start-up file", [](HostDir &h) { two_sysop_config(h); h.remove("init.srv"); }, nullptr},
        {"configuration unreadable on '#'",
         [](HostDir &h) { h.write_config({"**", "   ", "3"}); }, "#"},
        {"neither the mail import nor the held mail opens",
         [](HostDir &h) { two_sysop_config(h); plat_test_fail_open("MAIL\\MAIL.IN"); h.make_dir("morvel/mail.prt"); },
         nullptr},
        {"no sysop to mail it to",
         [](HostDir &h) { plat_test_fail_open("morvel\\error.prt"); (void)h; }, "N0CALL"},
    };
    for (const auto &c : cases) {
        HostDir h;
        c.arrange(h);
        h.write("morvel/logexcld.prt", excluded_log);
        h.write("morvel/lognopas.prt", password_log);
        h.command("-log", c.argument);
        plat_test_fail_open(nullptr);
        EXPECT_EQ(h.read("morvel/logexcld.prt"), excluded_log) << c.why;
        EXPECT_EQ(h.read("morvel/lognopas.prt"), password_log) << c.why;
        EXPECT_EQ(h.read(MAIL_IMPORT), "") << c.why;
        EXPECT_FALSE(h.exists(MAIL_LOCK)) << c.why;
    }
}

TEST(SysopCommands, LogStaysWhenItsMailFailsToBeWritten)
{
    HostDir h;
    two_sysop_config(h);
    // While the host holds the lock the mail goes to morvel/mail.prt: a full disk there.
    h.write(MAIL_LOCK, "");
    plat_test_fail(PLAT_FAULT_WRITE, 1, "morvel\\mail.prt", true);
    h.write("morvel/lognopas.prt", password_log);
    h.command("-log");
    EXPECT_EQ(h.read("morvel/lognopas.prt"), password_log);
    EXPECT_EQ(h.exists("morvel/mail.prt") ? h.read("morvel/mail.prt") : "", "");
}

TEST(SysopCommands, LogWithoutConfigurationGoesToTheHostSysop)
{
    HostDir h;
    h.write("morvel/lognopas.prt", password_log);
    h.command("-log", "N0CALL");
    EXPECT_EQ(h.read(MAIL_IMPORT), log_message("N0SYS", "Log file.", password_log));
    EXPECT_TRUE(h.exists("morvel/error.prt")) << "the missing config.prt is reported";
    EXPECT_FALSE(h.exists("morvel/lognopas.prt"));
}
