// The host's files as a sysop keeps them: the start-up file, the port file,
// the user file and the language list.
#include "config/host_files.h"
#include "filter/connection.h"
#include "support/host_dir.h"
#include "support/reported_error.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

// startup_lines - the same, one line each.
static std::string startup_lines(const std::string &call, const std::string &dir, const std::string &sysop,
                                 const std::string &mail)
{
    std::string s;
    for (int n = 1; n <= 14; n++)
        s += (n == 1 ? call : n == 5 ? dir : n == 12 ? sysop : n == 14 ? mail : "value " + std::to_string(n)) +
             "\n";
    return s;
}

TEST(HostFiles, StartUpFileCountsOnlySignificantLines)
{
    HostDir h;   // its init.srv has comment lines before line 1 and between lines 4 and 5
    EXPECT_EQ(load_host_info(), 1);
    EXPECT_TRUE(host_info.host_info_loaded);
    EXPECT_STREQ(host_info.bbs_callsign, "N0BBS");
    EXPECT_STREQ(host_info.system_directory, "SYSTEM");
    EXPECT_STREQ(host_info.host_sysop, "N0SYS");
    EXPECT_STREQ(host_info.mail_import_path, "MAIL\\MAIL.IN");
    EXPECT_STREQ(host_info.mail_lock_path, "MAIL\\MAIL.lck");
    EXPECT_TRUE(nothing_reported(h));
}

struct StartupCase {
    const char *name;
    std::string call, dir, sysop, mail;
    const char *want_call, *want_dir, *want_sysop, *want_mail, *want_lock;
};

TEST(HostFiles, StartUpValuesAreCutAndUpperCased)
{
    const std::string long_mail = "c:\\" + std::string(74, 'm') + "\\mail.in";   // 85 characters
    const StartupCase cases[] = {
        {"trailing separator removed", "n0bbs", "c:\\bbs\\system\\", "n0sys", "c:\\bbs\\mail\\mail.in", "N0BBS",
         "C:\\BBS\\SYSTEM", "N0SYS", "C:\\BBS\\MAIL\\MAIL.IN", "C:\\BBS\\MAIL\\MAIL.lck"},
        {"last character removed all the same", "N0BBS", "c:\\bbs\\system", "N0SYS", "mail.in", "N0BBS",
         "C:\\BBS\\SYSTE", "N0SYS", "MAIL.IN", "MAIL.lck"},
        {"long callsigns keep six", "N0BBSXY-3 my bbs", "sys\\", "n0sysop1 the sysop", "mail\\import", "N0BBSX",
         "SYS", "N0SYSO", "MAIL\\IMPORT", "MAIL\\IMPORT.lck"},
        {"a dot in a directory is no extension", "N0BBS", "s\\", "N0SYS", "c:\\bbs.dir\\mailin", "N0BBS", "S",
         "N0SYS", "C:\\BBS.DIR\\MAILIN", "C:\\BBS.DIR\\MAILIN.lck"},
        {"a lock name over 80 keeps no mail paths", "N0BBS", "s\\", "N0SYS", long_mail, "N0BBS", "S", "N0SYS", "",
         ""},
    };
    for (const auto &c : cases) {
        HostDir h;
        h.write("init.srv", startup_lines(c.call, c.dir, c.sysop, c.mail));
        EXPECT_EQ(load_host_info(), 1) << c.name;
        EXPECT_STREQ(host_info.bbs_callsign, c.want_call) << c.name;
        EXPECT_STREQ(host_info.system_directory, c.want_dir) << c.name;
        EXPECT_STREQ(host_info.host_sysop, c.want_sysop) << c.name;
        EXPECT_STREQ(host_info.mail_import_path, c.want_mail) << c.name;
        EXPECT_STREQ(host_info.mail_lock_path, c.want_lock) << c.name;
    }
}

TEST(HostFiles, PathCutByTheLineLengthIsNotKept)
{
    HostDir h;
    // 99 characters fill the piece exactly and their line feed follows; 120 do not fit.
    std::string fits = "c:\\" + std::string(95, 'd') + "\\";
    h.write("init.srv", startup_lines("N0BBS", fits, "N0SYS", "mail.in"));
    ASSERT_EQ(load_host_info(), 1);
    EXPECT_EQ(std::string(host_info.system_directory), "C:\\" + std::string(95, 'D'));

    HostDir h2;
    std::string too_long = "c:\\" + std::string(116, 'd') + "\\";
    h2.write("init.srv", startup_lines("N0BBS", too_long, "N0SYS", "mail.in"));
    ASSERT_EQ(load_host_info(), 1);
    EXPECT_STREQ(host_info.system_directory, "") << "a cut path names another directory";
}

TEST(HostFiles, FirstStartUpFileThatOpensIsTheOnlyOneRead)
{
    HostDir h;
    h.write("init_d.srv", startup_lines("N0DDD", "d\\", "N0DSY", "d.in"));
    EXPECT_EQ(load_host_info(), 1);
    EXPECT_STREQ(host_info.bbs_callsign, "N0DDD") << "init_d.srv before init.srv";

    h.write("init_w.srv", "N0WWW\n# only three lines\nvalue 2\nvalue 3\n");
    EXPECT_EQ(load_host_info(), 1);
    EXPECT_STREQ(host_info.bbs_callsign, "N0WWW") << "init_w.srv before the others";
    EXPECT_STREQ(host_info.host_sysop, "N0DSY") << "a short file leaves the values it lacks as they were";
    EXPECT_TRUE(host_info.host_info_loaded);
}

TEST(HostFiles, ShortStartUpFileKeepsWhatItGave)
{
    HostDir h;
    h.write("init.srv", "n0bbs\nline 2\nline 3\nline 4\nsys\\\nline 6\n");
    EXPECT_EQ(load_host_info(), 1);
    EXPECT_TRUE(host_info.host_info_loaded) << "the values read are used, not read again at every need";
    EXPECT_STREQ(host_info.bbs_callsign, "N0BBS");
    EXPECT_STREQ(host_info.system_directory, "SYS");
    EXPECT_STREQ(host_info.host_sysop, "SYSOP");
    EXPECT_STREQ(host_info.mail_import_path, "");
    EXPECT_TRUE(nothing_reported(h));
}

TEST(HostFiles, MissingStartUpFileIsError1AndIsTriedAgain)
{
    HostDir h;
    h.remove("init.srv");
    verdict = VERDICT_REFUSED;
    EXPECT_EQ(load_host_info(), -1);
    EXPECT_FALSE(host_info.host_info_loaded);
    EXPECT_EQ(report_verdict(), VERDICT_ADMITTED);
    EXPECT_EQ(verdict, VERDICT_REFUSED) << "a reader never decides";
    EXPECT_TRUE(reported(h, 1, 0));

    h.write("init.srv", startup_lines("N0BBS", "system\\", "N0SYS", "mail\\mail.in"));
    EXPECT_EQ(load_host_info(), 1);
    EXPECT_TRUE(host_info.host_info_loaded);
}

struct PortNameCase {
    const char *name;
    bool from_user_list;
    int port;
};

TEST(HostFiles, PortNamesResolveThroughThePortFile)
{
    const PortNameCase cases[] = {
        {"144.800", false, 1}, {"433.500", true, 2}, {"VHF", false, 3},   {"HF", false, 4},
        {"CONSOL", false, 0},  {"CONSOLE", true, 0}, {"CONSOL1", false, 0}, {"TODOS", true, PORT_ALL},
        {"ALL", true, PORT_ALL},
    };
    for (const auto &c : cases) {
        HostDir h;
        EXPECT_EQ(port_from_name(c.name, 9, c.from_user_list), c.port) << c.name;
        EXPECT_TRUE(nothing_reported(h)) << c.name;
    }
}

TEST(HostFiles, UnknownPortNameIsTheCallersError)
{
    const PortNameCase cases[] = {
        {"TODOS", false, 5}, {"ALL", false, 5}, {"144.900", false, 5}, {"144.900", true, 7}, {"vhf", true, 7},
        {"CONSO", false, 5},
    };
    for (const auto &c : cases) {
        HostDir h;
        h.write_basic_config({});   // the reporter reads it to find the sysops
        EXPECT_EQ(port_from_name(c.name, 12, c.from_user_list), PORT_UNRESOLVED) << c.name;
        EXPECT_TRUE(reported(h, c.port, 12)) << c.name;
    }
}

TEST(HostFiles, MissingPortFileIsError5Or7AndIsTriedAgain)
{
    HostDir h;
    h.write_basic_config({});
    h.remove("system/port.sys");
    EXPECT_EQ(port_from_name("VHF", 17, false), PORT_UNRESOLVED);
    EXPECT_TRUE(reported(h, 5, 17));
    EXPECT_EQ(port_from_name("VHF", 4, true), PORT_UNRESOLVED);
    EXPECT_TRUE(reported(h, 7, 4));
    EXPECT_FALSE(port_table_loaded);
    EXPECT_EQ(port_from_name("CONSOLE", 4, true), 0) << "the console needs no port file";

    h.write("system/port.sys", "1 3\ncom\ndropped\n3 0 0 0 0 0 0 0 a b vhf\n");
    EXPECT_EQ(port_from_name("VHF", 4, true), 3);
}

TEST(HostFiles, PortFilesAreTriedInTheirOrder)
{
    HostDir h;
    h.write("system/port_d.sys", "1 1\ncom\ndropped\n1 0 0 0 0 0 0 0 a b PORTD\n");
    h.write("system/PROT_W.SYS", "1 1\ncom\ndropped\n1 0 0 0 0 0 0 0 a b PROTW\n");
    EXPECT_EQ(port_from_name("PROTW", 1, false), 1);
    EXPECT_EQ(port_from_name("PORTD", 1, false), PORT_UNRESOLVED) << "only the first file is read";
    EXPECT_EQ(port_from_name("144.800", 1, false), PORT_UNRESOLVED);

    HostDir h2;
    h2.write("system/port_d.sys", "1 1\ncom\ndropped\n1 0 0 0 0 0 0 0 a b PORTD\n");
    EXPECT_EQ(port_from_name("PORTD", 1, false), 1) << "port_d.sys before port.sys";
}

struct PortFileCase {
    const char *name;
    std::string content;
    std::vector<const char *> names;   // the names of ports 0, 1, 2 ... ("" for none)
    int count;
};

TEST(HostFiles, PortFileLayout)
{
    const std::string line = " 0 0 0 0 0 0 0 a b ";
    const PortFileCase cases[] = {
        {"comment after the com line keeps the first port line",
         "1 2\ncom1\n# comment\n1" + line + "P1\n2" + line + "P2\n", {"", "P1", "P2"}, 2},
        {"without the comment the first port line is dropped",
         "1 2\ncom1\n1" + line + "P1\n2" + line + "P2\n", {"", "", "P2"}, 2},
        {"a port-0 line makes room for one more",
         "1 2\ncom\ndrop\n0" + line + "C0\n1" + line + "P1\n2" + line + "P2\n3" + line + "P3\n",
         {"C0", "P1", "P2", ""}, 3},
        {"comments among com and port lines do not count",
         "# ports\n2 2\n# a\ncom1\n\ncom2\ndrop\n# b\n1" + line + "P1\n#\n2" + line + "P2\n", {"", "P1", "P2"}, 2},
        {"missing counts are 1", "x\ncom\ndrop\n1" + line + "P1\n2" + line + "P2\n", {"", "P1", ""}, 1},
        {"numbers outside 0..9 are skipped but counted",
         "1 3\ncom\ndrop\n10" + line + "P10\n-1" + line + "PM\n4" + line + "P4\n", {"", "", "", "", "P4"}, 3},
        {"names over 10 characters are not stored",
         "1 2\ncom\ndrop\n1" + line + "ABCDEFGHIJK\n2" + line + "ABCDEFGHIJ\n", {"", "", "ABCDEFGHIJ"}, 2},
        {"a line with fewer than eleven fields stores nothing",
         "1 2\ncom\ndrop\n1 0 0 0 a b P1\n2" + line + "p2\n", {"", "", "P2"}, 2},
        {"a file ending early leaves the rest empty", "1 4\ncom\ndrop\n1" + line + "P1\n", {"", "P1", "", ""}, 4},
        {"a file ending in the com lines", "3 4\ncom\n", {"", "", ""}, 4},
    };
    for (const auto &c : cases) {
        HostDir h;
        h.write("system/port.sys", c.content);
        port_from_name("NONE", 1, false);
        ASSERT_TRUE(port_table_loaded) << c.name;
        EXPECT_EQ(port_count, c.count) << c.name;
        for (size_t i = 0; i < c.names.size(); i++)
            EXPECT_STREQ(port_table[i], c.names[i]) << c.name << ", port " << i;
    }
}

TEST(HostFiles, PortOutsideTheCountIsNotSearched)
{
    HostDir h;
    h.write("system/port.sys", "1 1\ncom\ndrop\n5 0 0 0 0 0 0 0 a b P5\n");
    EXPECT_EQ(port_from_name("P5", 3, false), PORT_UNRESOLVED) << "ports 0 and 1 only";
    EXPECT_TRUE(reported(h, 5, 3));
}

// user_file - inf.sys records of 360 bytes: callsign at 0, language at 93.
static std::string user_file(const std::vector<std::pair<std::string, int>> &users)
{
    std::string s;
    for (const auto &u : users) {
        std::string record(HOST_RECORD_SIZE, '\0');
        record.replace(0, u.first.size(), u.first);
        record[HOST_LANGUAGE_OFFSET] = (char)u.second;
        s += record;
    }
    return s;
}

static void connected(const char *callsign)
{
    strcpy(connection_info.callsign, callsign);
}

TEST(HostFiles, CallerLanguageFromTheUserFileAndLanguageList)
{
    HostDir h;
    h.write("system/inf.sys", user_file({{"N0AAA", 0}, {"N0BBB", 2}, {"N0CCC", 3}, {"n0ddd", 1}}));
    h.write("system/langue.sys",
            "# languages\nthe first line names none\nENGLISH words\n\n# comment\n  espanol\nCATALAN\n");
    char out[12];
    const struct {
        const char *call;
        bool found;
        const char *language;
    } cases[] = {
        {"N0AAA", true, "ENGLISH"}, {"N0BBB", true, "CATALAN"}, {"N0CCC", false, ""},
        {"N0DDD", false, ""},       {"n0ddd", true, "espanol"}, {"N0EEE", false, ""},
    };
    for (const auto &c : cases) {
        connected(c.call);
        strcpy(out, "");
        EXPECT_EQ(caller_language(out), c.found) << c.call;
        if (c.found) {
            EXPECT_STREQ(out, c.language) << c.call;
        }
    }
    EXPECT_TRUE(host_info.host_info_loaded) << "the start-up file was read at the first need";
}

TEST(HostFiles, LanguageListEdges)
{
    HostDir h;
    load_host_info();
    char out[12] = "";
    EXPECT_FALSE(language_name(0, out)) << "no langue.sys";
    h.write("system/langue.sys", "a\nb\nELEVENCHARS\nTWELVECHARSX\n   \n");
    EXPECT_TRUE(language_name(1, out));
    EXPECT_STREQ(out, "ELEVENCHARS");
    EXPECT_FALSE(language_name(2, out)) << "a name over 11 characters is refused";
    EXPECT_FALSE(language_name(3, out)) << "a line of blanks names nothing";
    EXPECT_FALSE(language_name(4, out)) << "past the end of the list";
    EXPECT_FALSE(language_name(4000000000u, out));
}

TEST(HostFiles, UserFileOnlyWholeRecordsCount)
{
    HostDir h;
    load_host_info();
    unsigned char record[HOST_RECORD_SIZE];
    std::string file = user_file({{"N0AAA", 1}, {"N0BBB", 2}});
    h.write("system/inf.sys", file + file.substr(0, 200));   // a third record cut short
    EXPECT_TRUE(find_host_user("N0BBB", record));
    EXPECT_EQ(record[HOST_LANGUAGE_OFFSET], 2);
    EXPECT_FALSE(find_host_user("N0AAA ", record));
    EXPECT_FALSE(find_host_user("n0aaa", record)) << "callsigns compare with case";

    h.write("system/inf.sys", file + user_file({{"N0CUT", 3}}).substr(0, 200));
    EXPECT_FALSE(find_host_user("N0CUT", record)) << "a record cut short is no record";

    std::string no_nul(HOST_RECORD_SIZE, 'A');
    h.write("system/inf.sys", no_nul);
    EXPECT_FALSE(find_host_user(no_nul.c_str(), record)) << "a record without its NUL holds no callsign";
    h.remove("system/inf.sys");
    EXPECT_FALSE(find_host_user("N0AAA", record));
}
