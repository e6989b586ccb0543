// Mail into the host's import file under its lock, held mail while the host
// holds the lock, the new-user notice and the new-user message.
#include "platform/platform.h"
#include "auth/admission.h"
#include "auth/admission_texts.h"
#include "report/mail.h"
#include "report/notices.h"
#include "support/host_dir.h"
#include "support/report_fixture.h"

#include <gtest/gtest.h>

#if !defined(_WIN32)
#include <csignal>
#include <sys/resource.h>
#include <unistd.h>
#endif


static const char HELD_MAIL[] = "morvel/mail.prt";

static std::string notice(const std::string &sysop, const std::string &station_text, int port)
{
    return "#\nSP " + sysop + " < MORVEL\nNEW USER\n" + FIXED_BANNER + "\nCallsign " + station_text +
           " connected to the system at first time (Port " + std::to_string(port) + ").\n/EX\n";
}

// A config.prt that mails a notice of first connections to these sysops.
static void config_with_notices(HostDir &h, const std::string &sysops)
{
    h.write_config({"**", sysops, "3", "PASSWORD>", "NO", "NO", "NO", "NO", "NO", "NO", "OK", "NO", "NO",
                    "NO", "3 OPEN"});
}

TEST(SysopMail, NewUserNoticeGoesToEverySysopInOneOpening)
{
    struct { const char *station; const char *shown; } cases[] = {
        {"N0CALL-0", "N0CALL"},     // SSID 0: the callsign stands alone
        {"N0CALL-1", "N0CALL-1"},
    };
    for (const auto &c : cases) {
        HostDir h;
        config_with_notices(h, "N0SYS N1SYS");
        h.connect(c.station, 3, 0, 1);
        EXPECT_EQ(h.read(MAIL_IMPORT), notice("N0SYS", c.shown, 3) + notice("N1SYS", c.shown, 3)) << c.station;
        EXPECT_FALSE(h.exists(MAIL_LOCK)) << c.station;
        EXPECT_FALSE(h.exists(HELD_MAIL)) << c.station;
    }
}

TEST(SysopMail, NoNoticeForAKnownStationOrWithTheSwitchOff)
{
    HostDir h;
    config_with_notices(h, "N0SYS");
    h.connect("N0CALL-1", 3, 0, 2);
    EXPECT_FALSE(h.exists(MAIL_IMPORT));
    h.write_basic_config({"3 OPEN"});
    h.connect("N0CALL-1", 3, 0, 1);
    EXPECT_FALSE(h.exists(MAIL_IMPORT));
}

TEST(SysopMail, WithoutSysopsTheNoticeOpensAndClosesAnEmptyMail)
{
    HostDir h;
    h.write_config({"**"});             // names no sysop: sysop_count stays 0
    with_host_info();
    filter_config.mail_new_user = true;
    as_station("N0CALL", 1, 3, 1);
    Reply reply;
    EXPECT_EQ(mail_new_user_notice(), 1);
    EXPECT_EQ(filter_config.sysop_count, 0);
    EXPECT_TRUE(h.exists(MAIL_IMPORT));
    EXPECT_EQ(h.read(MAIL_IMPORT), "");
    EXPECT_FALSE(h.exists(MAIL_LOCK));
}

TEST(SysopMail, MailWaitsInHeldFileWhileTheHostHoldsTheLock)
{
    HostDir h;
    config_with_notices(h, "N0SYS");
    h.write(MAIL_LOCK, "");
    h.connect("N0CALL-1", 3, 0, 1);
    EXPECT_EQ(h.read(HELD_MAIL), notice("N0SYS", "N0CALL-1", 3));
    EXPECT_TRUE(h.exists(MAIL_LOCK)) << "the host's lock is never removed";
    EXPECT_FALSE(h.exists(MAIL_IMPORT));

    // Still locked: a second notice joins the first.
    h.connect("N0CALL-2", 3, 0, 1);
    EXPECT_EQ(h.read(HELD_MAIL), notice("N0SYS", "N0CALL-1", 3) + notice("N0SYS", "N0CALL-2", 3));

    // The host is done, but its import file cannot be opened: nothing is
    // lost, and the sysop's error mail waits with the notices.
    h.remove(MAIL_LOCK);
    plat_test_fail_open("mail\\mail.in");
    h.connect("N0CALL-1", 3, 0, 2);
    std::string held = h.read(HELD_MAIL);
    std::string notices = notice("N0SYS", "N0CALL-1", 3) + notice("N0SYS", "N0CALL-2", 3);
    EXPECT_EQ(held.rfind(notices, 0), 0u) << held;
    EXPECT_EQ(count_lines(held, "*** ERROR 0012: Unable to open mail file."), 1) << held;
    EXPECT_EQ(count_lines(held, "#"), 3) << held;
    EXPECT_FALSE(h.exists(MAIL_LOCK));

    // The next call moves them all and frees the lock again.
    plat_test_fail_open(nullptr);
    h.connect("N0CALL-1", 3, 0, 2);
    EXPECT_EQ(h.read(MAIL_IMPORT), held);
    EXPECT_FALSE(h.exists(HELD_MAIL));
    EXPECT_FALSE(h.exists(MAIL_LOCK));
}

#if !defined(_WIN32)
// A dangling link looks absent to an existence test but makes the exclusive
// create fail, as a lock the host takes between the two would. (POSIX only:
// Windows gives no such link to a test without privileges.)
TEST(SysopMail, LockTakenByTheHostAtTheLastMomentIsNeverWrittenOver)
{
    HostDir h;
    with_host_info();
    std::string lock = h.root() + "/mail/mail.lck";
    ASSERT_EQ(symlink("host-is-busy", lock.c_str()), 0);
    ASSERT_FALSE(h.exists(MAIL_LOCK));

    FILE *mail = open_mail();
    ASSERT_NE(mail, nullptr);
    fputs("diverted\n", mail);
    EXPECT_TRUE(close_mail(mail));
    EXPECT_EQ(h.read(HELD_MAIL), "diverted\n");
    EXPECT_FALSE(h.exists(MAIL_IMPORT));

    Reply reply;
    flush_held_mail();
    EXPECT_EQ(h.read(HELD_MAIL), "diverted\n");
    char target[32] = "";
    EXPECT_GT(readlink(lock.c_str(), target, sizeof target - 1), 0) << "the host's lock is left in place";
    EXPECT_STREQ(target, "host-is-busy");
}
#endif

TEST(SysopMail, HeldMailIsAppendedAfterWhatTheImportFileHolds)
{
    HostDir h;
    with_host_info();
    h.write(MAIL_IMPORT, "earlier\n");
    h.write(HELD_MAIL, "#\nSP N0SYS < MORVEL\nheld\n/EX\n");
    Reply reply;
    flush_held_mail();
    EXPECT_EQ(h.read(MAIL_IMPORT), "earlier\n#\nSP N0SYS < MORVEL\nheld\n/EX\n");
    EXPECT_FALSE(h.exists(HELD_MAIL));
    EXPECT_FALSE(h.exists(MAIL_LOCK));
}

TEST(SysopMail, FlushWithoutHeldMailReadsNothing)
{
    HostDir h;
    h.remove("init.srv");
    Reply reply;
    flush_held_mail();
    EXPECT_FALSE(host_info.host_info_loaded);
    EXPECT_FALSE(h.exists("morvel/error.prt")) << "no start-up file error without held mail";
}

TEST(SysopMail, HeldMailSurvivesAnImportFileThatCannotBeOpened)
{
    HostDir h;
    with_host_info();
    const std::string held = "#\nSP N0SYS < MORVEL\nheld\n/EX\n";
    h.write(HELD_MAIL, held);
    Reply reply;

    plat_test_fail_open("mail\\mail.in");
    flush_held_mail();
    EXPECT_EQ(h.read(HELD_MAIL), held);
    EXPECT_FALSE(h.exists(MAIL_LOCK));

    plat_test_fail_open(nullptr);
    flush_held_mail();
    EXPECT_EQ(h.read(MAIL_IMPORT), held);
    EXPECT_FALSE(h.exists(HELD_MAIL));
}

TEST(SysopMail, HeldMailSurvivesAnImportFileThatFailsToWrite)
{
    if (!plat_exists("/dev/full"))
        GTEST_SKIP() << "no full device on this system";
    HostDir h;
    with_host_info();
    copy_text(host_info.mail_import_path, sizeof host_info.mail_import_path, "/dev/full");
    const std::string held = "#\nSP N0SYS < MORVEL\nheld\n/EX\n";
    h.write(HELD_MAIL, held);
    Reply reply;
    flush_held_mail();
    EXPECT_EQ(h.read(HELD_MAIL), held);
    EXPECT_FALSE(h.exists(MAIL_LOCK));
}

TEST(SysopMail, HeldMailWaitsWhileTheHostHoldsTheLock)
{
    HostDir h;
    with_host_info();
    h.write(HELD_MAIL, "held\n");
    h.write(MAIL_LOCK, "host");
    Reply reply;
    flush_held_mail();
    EXPECT_EQ(h.read(HELD_MAIL), "held\n");
    EXPECT_EQ(h.read(MAIL_LOCK), "host");
    EXPECT_FALSE(h.exists(MAIL_IMPORT));
}

TEST(SysopMail, CloseReportsAFailedWriteAndStillReleasesTheLock)
{
    if (!plat_exists("/dev/full"))
        GTEST_SKIP() << "no full device on this system";
    HostDir h;
    with_host_info();
    copy_text(host_info.mail_import_path, sizeof host_info.mail_import_path, "/dev/full");
    FILE *mail = open_mail();
    ASSERT_NE(mail, nullptr);
    EXPECT_TRUE(h.exists(MAIL_LOCK));
    fputs("#\nSP N0SYS < MORVEL\nlost\n/EX\n", mail);
    EXPECT_FALSE(close_mail(mail));
    EXPECT_FALSE(h.exists(MAIL_LOCK));
}

// An import file that cannot be opened, or whose lock cannot be made, frees
// the lock and hands out the held mail instead: nothing is lost.
TEST(SysopMail, ImportFileThatCannotBeOpenedGivesTheHeldMail)
{
    for (bool lock_fails : {false, true}) {
        SCOPED_TRACE(lock_fails ? "lock" : "import file");
        HostDir h;
        with_host_info();
        if (lock_fails)
            copy_text(host_info.mail_lock_path, sizeof host_info.mail_lock_path, "NOWHERE\\MAIL.lck");
        else
            plat_test_fail_open("mail\\mail.in");
        FILE *mail = open_mail();
        ASSERT_NE(mail, nullptr);
        fputs("kept\n", mail);
        EXPECT_TRUE(close_mail(mail));
        EXPECT_EQ(h.read(HELD_MAIL), "kept\n");
        EXPECT_FALSE(h.exists(MAIL_LOCK));
        EXPECT_TRUE(h.list("mail").empty());
    }
}

// A notice that neither the import file nor the held mail takes is lost:
// counted, and reported as error 2 with the number once a report can be
// written; the mail of that report, lost as well, is not counted again.
TEST(SysopMail, NoticeThatNoFileTakesIsReportedAsLost)
{
    HostDir h;
    with_host_info();
    with_sysops({"N0SYS"});
    h.write_config({"**", "N0SYS", "3", "PASSWORD>", "NO", "NO", "NO", "NO", "NO", "NO", "OK"});
    filter_config.mail_new_user = true;
    as_station("N0CALL", 1, 3, 1);
    plat_test_fail_open("mail\\mail.in");
    h.make_dir("morvel/mail.prt");
    Reply reply;
    EXPECT_EQ(mail_new_user_notice(), -1);
    EXPECT_EQ(lost_mail_count(), 1);
    EXPECT_FALSE(h.exists("morvel/error.prt")) << "reported at the end of the call";
    // The report that the import file takes nothing is lost as well, and counted.
    report_mail_news();
    EXPECT_NE(h.read("morvel/error.prt").find("*** ERROR 0012: Messages lost: 2, log entries lost: 0"),
              std::string::npos);
    EXPECT_EQ(lost_mail_count(), 0);
    EXPECT_FALSE(h.exists("morvel/ERROR2.TMP"));
}

static std::string welcome(const std::string &to, const std::string &body)
{
    return "#\nSP " + to + " < N0BBS\nWelcome!\n" + body + "\n/EX\n";
}

TEST(SysopMail, NewUserMessageTakesThePortTextAndTheBareCallsign)
{
    struct { bool port_text, general_text; const char *expected_body; } cases[] = {
        {true, true, "port three\n"},
        {false, true, "every port\n"},
        {false, false, nullptr},
    };
    for (const auto &c : cases) {
        HostDir h;
        with_host_info();
        if (c.port_text)
            h.write("morvel/newmsg3.prt", "port three\n");
        if (c.general_text)
            h.write("morvel/newmsg.prt", "every port\n");
        h.write("morvel/newmsg2.prt", "port two\n");
        as_station("N0CALL", 5, 3, 1);
        Reply reply;
        send_new_user_message();
        if (c.expected_body)
            EXPECT_EQ(h.read(MAIL_IMPORT), welcome("N0CALL", c.expected_body));
        else
            EXPECT_TRUE(h.list("mail").empty());
        EXPECT_FALSE(h.exists("morvel/error.prt"));
        EXPECT_FALSE(h.exists(MAIL_LOCK));
    }
}

TEST(SysopMail, NewUserMessageWithoutMailIsCountedAsLost)
{
    HostDir h;
    with_host_info();
    h.write("morvel/newmsg.prt", "hello\n");
    h.write(MAIL_LOCK, "");
    plat_test_fail_open("morvel\\mail.prt");
    as_station("N0CALL", 5, 3, 1);
    Reply reply;
    send_new_user_message();
    EXPECT_EQ(lost_mail_count(), 1);
}

static const char EARLIER[] = "#\nSP N0SYS < MORVEL\nearlier\n/EX\n";
static const char MESSAGE[] = "#\nSP N0SYS < MORVEL\nnew\n/EX\n";

// A mail whose close fails leaves the file it went to as it was before the
// opening, whichever file that was; the lock is released as after any mail.
TEST(SysopMail, FailedMailIsCutBackToTheSizeAtItsOpening)
{
    for (bool host_has_lock : {false, true}) {
        SCOPED_TRACE(host_has_lock ? "held mail" : "import file");
        HostDir h;
        with_host_info();
        const char *file = host_has_lock ? HELD_MAIL : MAIL_IMPORT;
        h.write(file, EARLIER);
        if (host_has_lock)
            h.write(MAIL_LOCK, "host");
        FILE *mail = open_mail();
        ASSERT_NE(mail, nullptr);
        fputs(MESSAGE, mail);
        plat_test_fail_close(1);
        EXPECT_FALSE(close_mail(mail));
        EXPECT_EQ(h.read(file), EARLIER);
        EXPECT_EQ(h.exists(MAIL_LOCK), host_has_lock);

        mail = open_mail();
        ASSERT_NE(mail, nullptr);
        fputs(MESSAGE, mail);
        EXPECT_TRUE(close_mail(mail));
        EXPECT_EQ(h.read(file), std::string(EARLIER) + MESSAGE);
    }
}

// A flush whose import file fails to close leaves the import file as it was
// and keeps the held mail, which the next call moves whole.
TEST(SysopMail, FailedFlushIsCutBackAndTheHeldMailKept)
{
    HostDir h;
    with_host_info();
    h.write(MAIL_IMPORT, EARLIER);
    const std::string held = std::string(MESSAGE) + MESSAGE;
    h.write(HELD_MAIL, held);
    Reply reply;
    plat_test_fail(PLAT_FAULT_CLOSE, 1, "mail\\mail.in", false);
    flush_held_mail();
    EXPECT_EQ(plat_test_faults_hit(PLAT_FAULT_CLOSE), 1);
    EXPECT_EQ(h.read(MAIL_IMPORT), EARLIER);
    EXPECT_EQ(h.read(HELD_MAIL), held);
    EXPECT_FALSE(h.exists(MAIL_LOCK));

    flush_held_mail();
    EXPECT_EQ(h.read(MAIL_IMPORT), EARLIER + held);
    EXPECT_FALSE(h.exists(HELD_MAIL));
}

// Through svc_main: a first connection whose notice fails, then another that
// succeeds; the host finds as many "#" lines as "/EX" lines.
TEST(SysopMail, NoticeThatFailsLeavesNoTornMessageThroughSvcMain)
{
    HostDir h;
    config_with_notices(h, "N0SYS");
    h.write(MAIL_IMPORT, EARLIER);
    plat_test_fail(PLAT_FAULT_CLOSE, 1, "mail\\mail.in", false);
    EXPECT_EQ(h.connect("N0ONE-1", 3, 0, 1).result, 0);
    EXPECT_EQ(plat_test_faults_hit(PLAT_FAULT_CLOSE), 1);
    EXPECT_EQ(h.read(HELD_MAIL), notice("N0SYS", "N0ONE-1", 3)) << "the notice waits whole";
    // The import file took the sysop's error mail after the failed notice.
    std::string error_mail = h.read(MAIL_IMPORT).substr(sizeof EARLIER - 1);
    EXPECT_EQ(h.read(MAIL_IMPORT), EARLIER + error_mail);
    EXPECT_NE(error_mail.find("*** ERROR 0012"), std::string::npos) << error_mail;
    EXPECT_EQ(h.connect("N0TWO-1", 3, 0, 1).result, 0);
    std::string mail = h.read(MAIL_IMPORT);
    EXPECT_EQ(mail, EARLIER + error_mail + notice("N0SYS", "N0ONE-1", 3) + notice("N0SYS", "N0TWO-1", 3));
    EXPECT_EQ(count_lines(mail, "#"), count_lines(mail, "/EX"));
}

#if !defined(_WIN32)
// A real write that stops part-way: a file size limit lets the first bytes
// of the message in and refuses the rest, as a disk that fills up would.
TEST(SysopMail, MessageTornByAFullDiskIsCutBack)
{
    HostDir h;
    with_host_info();
    h.write(MAIL_IMPORT, EARLIER);
    struct rlimit old_limit;
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old_limit), 0);
    void (*old_handler)(int) = signal(SIGXFSZ, SIG_IGN);
    FILE *mail = open_mail();
    ASSERT_NE(mail, nullptr);
    struct rlimit limit = old_limit;
    limit.rlim_cur = sizeof EARLIER - 1 + 10;
    bool limited = setrlimit(RLIMIT_FSIZE, &limit) == 0;
    fputs(std::string(4096, 'x').c_str(), mail);
    bool closed = close_mail(mail);
    setrlimit(RLIMIT_FSIZE, &old_limit);
    signal(SIGXFSZ, old_handler);
    if (!limited)
        GTEST_SKIP() << "no file size limit here";
    EXPECT_FALSE(closed);
    EXPECT_EQ(h.read(MAIL_IMPORT), EARLIER);
    EXPECT_FALSE(h.exists(MAIL_LOCK));
}
#endif
