// Text files saved with Windows line ends read exactly as with Unix ones, on
// every system: each row is a small host directory whose files of one kind
// hold an empty line, played through svc_main once with "\n" and once with
// "\r\n" line ends in the files of that kind (f.put; the others are written
// with "\n"); verdicts, replies and the files the filter writes must come out
// the same, and show what the row is about.
#include "support/challenge_reply.h"
#include "support/host_dir.h"

#include <gtest/gtest.h>

#include <string>

// TextFiles - writes a row's text files with the line ends under test.
struct TextFiles {
    HostDir &h;
    bool windows;

    void put(const std::string &path, const std::string &text)
    {
        h.write(path, windows ? with_crlf(text) : text);
    }
    // A file the filter wrote itself, saved again as an editor of the other system would.
    void resave(const std::string &path)
    {
        if (h.exists(path))
            put(path, h.read(path));
    }
    static std::string with_crlf(const std::string &text)
    {
        std::string out;
        for (char c : text)
            out += c == '\n' ? std::string("\r\n") : std::string(1, c);
        return out;
    }
};

// outcome - a call's verdict and reply, as the rows compare them.
// drawn_masked - the reply with the digits of a challenge line hidden: they
// are drawn afresh for every challenge, whatever the line ends.
static std::string drawn_masked(std::string reply)
{
    for (size_t at = reply.find("PASSWORD"); at != std::string::npos; at = reply.find("PASSWORD", at + 1)) {
        size_t end = reply.find('\n', at);
        size_t prompt_end = reply.find('>', at);
        for (size_t i = prompt_end + 1; prompt_end < end && i < end && i < reply.size(); i++)
            if (reply[i] >= '0' && reply[i] <= '9')
                reply[i] = '#';
    }
    return reply;
}

static std::string outcome(const CallResult &r)
{
    return "verdict " + std::to_string(r.result) + " reply [" + drawn_masked(r.reply) + "]\n";
}

// config_with - a config.prt with an empty line among its option lines;
// texts: lines 5 to 9 (by language, open, exclusion, guest, intro).
static std::string config_with(const std::string &language, const std::string &texts, const std::string &welcome,
                               const std::string &log, const std::string &ports)
{
    return "# config.prt\n" + language + "\nN0SYS\n\n3\nPASSWORD>\n" + texts + welcome + "\nNO\n" + log +
           "\nNO\nOK\n" + ports;
}

static const char NO_TEXTS[] = "NO\nNO\nNO\nNO\nNO\n";

static const char startup_with_gaps[] =
    "# host start-up file\n\nN0BBS-1\nline 2\nline 3\n\nline 4\nsystem\\\nline 6\nline 7\nline 8\n"
    "line 9\nline 10\nline 11\nn0sys\nline 13\n\nmail\\mail.in\n";

// The host files: the port named in config.prt, the BBS callsign of the
// new-user message and the mail import path come from the right lines.
static std::string play_host_files(TextFiles &f)
{
    f.put("init.srv", startup_with_gaps);
    f.put("system/port.sys", "# ports\n1 3\n0 com1 9600\n\n1 0 0 0 0 0 0 0 a b 144.800\n\n"
                             "3 0 0 0 0 0 0 0 a b vhf\n4 0 0 0 0 0 0 0 a b hf\n");
    f.h.write("morvel/config.prt", config_with("**", NO_TEXTS, "OK M", "NO", "VHF OPEN\n"));
    f.put("morvel/newmsg.prt", "Hello\n\nand welcome\n");
    std::string r = outcome(f.h.connect("N0CALL-1", 3, 0, 1));
    return r + "mail [" + f.h.read(MAIL_IMPORT) + "]";
}

// config.prt: the empty line is no option line, the prompt keeps no "\r",
// and a wrong port line is error 5 on its own physical line.
static std::string play_config(TextFiles &f)
{
    f.put("morvel/config.prt", config_with("**", NO_TEXTS, "NO", "NO", "3 OPEN\n\n4 NORMAL\n5 CLOSED\n"));
    f.h.write("morvel/users.prt", "N0CALL\n3 NORMAL AAAAAAA\n");
    std::string r = outcome(f.h.connect("N0CALL-1", 3));
    r += outcome(f.h.connect("N0CALL-1", 4));
    return r + "error [" + f.h.read("morvel/error.prt") + "]";
}

// users.prt: the station's entry across empty lines, and error 7 counted
// with the empty lines; then the answer read from a state file saved again.
static std::string play_users(TextFiles &f)
{
    f.h.write("morvel/config.prt", config_with("**", NO_TEXTS, "NO", "NO", "3 OPEN\n"));
    f.put("morvel/users.prt", "# users\n\nN0OTHER\n3 OPEN\n---\n\nN0CALL-1\n\n3 NORMAL AAAAAAA\n---\n"
                              "N0BAD\n\n3\n");
    std::string r = outcome(f.h.connect("N0CALL-1", 3));
    f.resave("morvel/N0CALL1.TMP");
    r += outcome(f.h.answer("N0CALL-1", 1, "AAAAA", 3));
    r += outcome(f.h.connect("N0BAD-0", 3));
    return r + "error [" + f.h.read("morvel/error.prt") + "]";
}

// A password table and an MD5 challenge's state file saved again: today's
// row is found past an empty line, and the digest answer still passes.
static std::string play_table_and_state(TextFiles &f)
{
    f.h.write("morvel/config.prt", config_with("**", NO_TEXTS, "NO", "NO", "3 OPEN\n"));
    f.h.write("morvel/users.prt", "N0TBL\n3 TABLE\n---\nN0MD\n3 MD5 secret\n---\n");
    f.put("morvel/N0TBL.TBL", "# days\n\n7 Seventh\n\n8 EEEEEEEE\n9 Ninth\n");
    std::string r = outcome(f.h.connect("N0TBL-0", 3));
    f.resave("morvel/N0TBL0.TMP");
    r += outcome(f.h.answer("N0TBL-0", 1, "EEEEE", 3));
    CallResult md = f.h.connect("N0MD-0", 3);
    r += outcome(md);
    f.resave("morvel/N0MD0.TMP");
    std::string digits = parse_challenge(md.reply).digits;
    r += outcome(f.h.answer("N0MD-0", 1, digest_text(true, digits + "secret"), 3));
    return r;
}

static std::string twenty_nine_texts(void)
{
    std::string t;
    for (int i = 1; i <= 29; i++)
        t += "T" + std::to_string(i) + (i == 10 ? "\n\n" : "\n");
    return t;
}

// The language file: 29 texts with an empty line among them load whole,
// and the texts carry no "\r" into the connection log.
static std::string play_language(TextFiles &f)
{
    f.h.write("morvel/config.prt", config_with("lang.txt", NO_TEXTS, "NO", "OK", "3 OPEN\n"));
    f.put("morvel/lang.txt", twenty_nine_texts());
    f.h.make_dir("morvel/logcnx");
    std::string r = outcome(f.h.connect("N0CALL-1", 3));
    return r + "log [" + f.h.read("morvel/logcnx/logcnx.prt") + "] error [" + f.h.read("morvel/error.prt") + "]";
}

// logusr.prt picks the station's own log, past an empty line.
static std::string play_logusr(TextFiles &f)
{
    f.h.write("morvel/config.prt", config_with("**", NO_TEXTS, "NO", "OK", "3 OPEN\n"));
    f.put("morvel/logusr.prt", "# stations\n\nN0CALL W\n");
    f.h.make_dir("morvel/logcnx");
    std::string r = outcome(f.h.connect("N0CALL-1", 3));
    std::string names;
    for (const auto &n : f.h.list("morvel/logcnx"))
        names += n + " ";
    return r + "logs [" + names + "]";
}

// The caller's texts reach the reply with "\n" alone: the open text, the
// new-user text and the station's own text, and a CLOSED station's information text.
static std::string play_caller_texts(TextFiles &f)
{
    f.h.write("morvel/config.prt", config_with("**", "NO\nOK\nNO\nNO\nNO\n", "OK T", "NO", "3 OPEN\n4 CLOSED\n"));
    f.put("morvel/open.prt", "Open port\n\nline after an empty one\n");
    f.put("morvel/newtxt.prt", "New here?\n");
    f.put("morvel/N0CALL1.ent", "For you\n");
    f.put("morvel/info.prt", "Closed\n\n");
    std::string r = outcome(f.h.connect("N0CALL-1", 3, 0, 1));
    return r + outcome(f.h.connect("N0CALL-1", 4));
}

// The language list of the host picks the sub-directory of the caller's texts.
static std::string play_language_list(TextFiles &f)
{
    std::string users(2 * 360, '\0');
    users.replace(0, 6, "N1CALL");
    users.replace(360, 6, "N0CALL");
    users[360 + 93] = 1;
    f.h.write("system/inf.sys", users);
    f.put("system/langue.sys", "# languages\n\n2 languages\nSPANISH es\n\nFRENCH fr\n");
    f.h.write("morvel/config.prt", config_with("**", "OK\nNO\nNO\nNO\nOK\n", "NO", "NO", "3 OPEN\n"));
    f.h.make_dir("morvel/FRENCH");
    f.h.make_dir("morvel/SPANISH");
    f.h.write("morvel/FRENCH/intro.prt", "Bienvenue\n");
    f.h.write("morvel/SPANISH/intro.prt", "Bienvenido\n");
    return outcome(f.h.connect("N0CALL-1", 3));
}

// Held mail and the attempt logs are copied into the import file with "\n" alone.
static std::string play_held_mail_and_logs(TextFiles &f)
{
    f.h.write("morvel/config.prt", config_with("**", NO_TEXTS, "NO", "NO", "3 OPEN\n"));
    f.put("morvel/mail.prt", "#\nSP N0SYS < MORVEL\nheld\n\n/EX\n");
    f.put("morvel/lognopas.prt", "\n[MORVEL v4.0] - Log of failed password attemps:\n\nN0CALL-1\n");
    std::string r = outcome(f.h.connect("N0CALL-1", 3));
    f.h.command("-log", "#");
    return r + "mail [" + f.h.read(MAIL_IMPORT) + "] held " + (f.h.exists("morvel/mail.prt") ? "kept" : "gone");
}

struct LineEndRow {
    const char *kind;
    std::string (*play)(TextFiles &f);
    const char *shows;   // in the outcome whatever the line ends
};

TEST(LineEnds, WindowsLineEndsReadAsUnixOnesInEveryTextFile)
{
    const LineEndRow rows[] = {
        {"host files", play_host_files, "SP N0CALL < N0BBS\nWelcome!\nHello\n\nand welcome\n"},
        {"config.prt", play_config, "Incorrect data in line 19 (config.prt)"},
        {"users.prt and state file", play_users, "Incorrect data in line 13 (users.prt)"},
        {"password table and state file", play_table_and_state, "PASSWORD_8>"},
        {"language file", play_language, "[MORVEL v4.0] - T29:\n"},
        {"logusr.prt", play_logusr, "N0CALL49.log"},
        {"caller texts", play_caller_texts, "\nOpen port\n\nline after an empty one\n"},
        {"language list", play_language_list, "Bienvenue\n"},
        {"held mail and logs", play_held_mail_and_logs, "held\n\n/EX\n"},
    };
    for (const auto &row : rows) {
        std::string unix_ends, windows_ends;
        {
            HostDir h;
            TextFiles f{h, false};
            unix_ends = row.play(f);
        }
        {
            HostDir h;
            TextFiles f{h, true};
            windows_ends = row.play(f);
        }
        EXPECT_NE(unix_ends.find(row.shows), std::string::npos) << row.kind << "\n" << unix_ends;
        EXPECT_EQ(windows_ends, unix_ends) << row.kind;
        EXPECT_EQ(windows_ends.find('\r'), std::string::npos) << row.kind;
    }
}
