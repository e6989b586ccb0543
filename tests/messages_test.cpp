// The built-in texts and the counting rules of the language file.
#include "config/messages.h"
#include "support/host_dir.h"

#include <gtest/gtest.h>

static std::string texts(int n, const std::string &prefix = "T")
{
    std::string s;
    for (int i = 1; i <= n; i++)
        s += prefix + std::to_string(i) + "\n";
    return s;
}

TEST(Messages, BuiltInTexts)
{
    HostDir h;
    EXPECT_STREQ(msg(0), "Incorrect number of lines in language file");
    EXPECT_STREQ(msg(15), "Log of not autorized connection attemps");
    EXPECT_STREQ(msg(23), "*** MISTAKEN IDENTITY -");
    EXPECT_STREQ(msg(29), "Connections log");
}

struct LanguageCase {
    const char *name;
    std::string content;
    bool loads;
    int detail;   // of error 6 when it does not load
};

TEST(Messages, LanguageFileCounting)
{
    std::string hundred(100, 'x');
    const LanguageCase cases[] = {
        {"exactly 29", texts(29), true, 0},
        {"29 then end line", texts(29) + "-\n" + texts(5, "AFTER"), true, 0},
        {"28 and end line", texts(28) + "-\n", false, 28},
        {"30", texts(30), false, 30},
        {"40", texts(40), false, 30},
        {"comments and empty lines skipped", "# c\n\n" + texts(10) + "\n#x\n" + texts(19, "U"), true, 0},
        {"100-character line counts twice", hundred + "\n" + texts(27), true, 0},
        {"100-character line and 28 more", hundred + "\n" + texts(28), false, 30},
    };
    for (const auto &c : cases) {
        HostDir h;
        h.write("morvel/spanish.txt", c.content);
        restore_default_messages();
        load_language_file("spanish.txt");
        if (c.loads) {
            EXPECT_STRNE(msg(1), "File") << c.name;
            EXPECT_STREQ(msg(0), "Incorrect number of lines in language file") << c.name;
            EXPECT_FALSE(h.exists("morvel/error.prt")) << c.name;
        } else {
            EXPECT_STREQ(msg(1), "File") << c.name << ": built-in texts after a bad file";
            EXPECT_STREQ(msg(29), "Connections log") << c.name;
        }
        (void)c.detail;
    }
}

TEST(Messages, LanguageTextsKeepLeadingSpacesAndSplitLongLines)
{
    HostDir h;
    std::string hundred(79, 'a');
    hundred += std::string(21, 'b');
    h.write("morvel/lang.txt", "   spaced\n" + hundred + "\n" + texts(26));
    load_language_file("lang.txt");
    EXPECT_STREQ(msg(1), "   spaced");
    EXPECT_EQ(std::string(msg(2)), std::string(79, 'a'));
    EXPECT_EQ(std::string(msg(3)), std::string(21, 'b'));
    EXPECT_STREQ(msg(4), "T1");
}

TEST(Messages, NoFileAndStarNames)
{
    HostDir h;
    h.write("morvel/lang.txt", texts(29));
    load_language_file("lang.txt");
    EXPECT_STREQ(msg(1), "T1");
    load_language_file("**");
    EXPECT_STREQ(msg(1), "File");
    load_language_file("lang.txt");
    load_language_file("missing.txt");
    EXPECT_STREQ(msg(1), "T1") << "a missing file leaves the table as it is";
}

// A language file named in config.prt, through svc_main: the connection log's
// title shows which texts are in force, error.prt shows the count.
TEST(Messages, LanguageFileThroughSvcMain)
{
    std::string hundred(100, 'x');
    const LanguageCase cases[] = {
        {"29 texts", texts(29), true, 0},
        {"28 texts", texts(28), false, 28},
        {"30 texts", texts(30), false, 30},
        {"40 texts", texts(40), false, 30},
        {"29 texts and an end line", texts(29) + "-\n" + texts(3, "X"), true, 0},
        {"a 100-character line and 27 more", hundred + "\n" + texts(27), true, 0},
        {"a 100-character line and 28 more", hundred + "\n" + texts(28), false, 30},
    };
    for (const auto &c : cases) {
        HostDir h;
        h.write_config({"lang.txt", "N0SYS", "3", "PASSWORD>", "NO", "NO", "NO", "NO", "NO", "NO", "NO", "OK",
                        "NO", "NO", "1 OPEN"});
        h.write("morvel/lang.txt", c.content);
        h.make_dir("morvel/logcnx");
        EXPECT_EQ(h.connect("N0CALL-1", 1).result, 0) << c.name;
        std::string log = h.read("morvel/logcnx/logcnx.prt");
        std::string title = c.loads ? "[MORVEL v4.0] - T29:\n" : "[MORVEL v4.0] - Connections log:\n";
        if (c.content.rfind(hundred, 0) == 0 && c.loads)
            title = "[MORVEL v4.0] - T27:\n";
        EXPECT_NE(log.find(title), std::string::npos) << c.name << "\n" << log;
        std::string error = h.read("morvel/error.prt");
        if (c.loads) {
            EXPECT_EQ(error, "") << c.name;
        } else {
            std::string line = "*** ERROR 0016: Incorrect number of lines in language file (" +
                               std::to_string(c.detail) + "/29).";
            EXPECT_NE(error.find(line), std::string::npos) << c.name << "\n" << error;
        }
    }
}
