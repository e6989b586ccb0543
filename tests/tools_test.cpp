// The sysop's tools on copies of the sample host: filter-check's line for
// each broken setup, filter-explain for every access method, filter-compare
// over a changed wildcard, and the dry runs that leave the tree as it was.
// They drive the tools through a POSIX shell; the Windows builds run the
// tools under Wine instead (add_wine_tool_checks, cmake/wine_tests.cmake).
#if !defined(_WIN32)
#include "platform/dry_run.h"
#include "auth/exposure_record.h"
#include "platform/platform.h"
#include "support/command_output.h"
#include "support/host_dir.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

std::string tool(const char *name)
{
    return (fs::path(FILTER_HOST_PATH).parent_path() / name).string();
}

// SampleCopy - the sample host directory copied into a temporary folder.
struct SampleCopy {
    fs::path root;
    SampleCopy()
    {
        char pattern[] = "/tmp/filter-tools-XXXXXX";
        root = mkdtemp(pattern);
        fs::copy(fs::path(FILTER_SOURCE_DIR) / "examples" / "bbs", root, fs::copy_options::recursive);
    }
    ~SampleCopy()
    {
        std::error_code ec;
        fs::remove_all(root, ec);
    }
    std::string read(const std::string &name) const
    {
        std::ifstream in(root / name, std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    void write(const std::string &name, const std::string &text) const
    {
        std::ofstream(root / name, std::ios::binary) << text;
    }
    // replace_line - the whole line old becomes new (which may hold several lines).
    void replace_line(const std::string &name, const std::string &old, const std::string &new_text) const
    {
        std::string text = "\n" + read(name);
        size_t at = text.find("\n" + old + "\n");
        ASSERT_NE(at, std::string::npos) << old;
        text.replace(at + 1, old.size(), new_text);
        write(name, text.substr(1));
    }
    // without_logs - the copy without the sample's month of logs, for a test
    // that needs a BBS where nothing has been logged yet.
    void without_logs() const
    {
        std::error_code ec;
        for (const char *name : {"morvel/logcnx", "morvel/lognopas.prt", "morvel/logexcld.prt"})
            fs::remove_all(root / name, ec);
    }
    // tree - every file under the root and its content.
    std::map<std::string, std::string> tree() const
    {
        std::map<std::string, std::string> files;
        for (const auto &e : fs::recursive_directory_iterator(root))
            files[fs::relative(e.path(), root).string()] = e.is_regular_file() ? read(fs::relative(e.path(), root).string()) : "<dir>";
        return files;
    }
};

struct BrokenSetup {
    const char *name;
    void (*edit)(const SampleCopy &s);
    int status;
    const char *line;
    // Permissions the account running the BBS lacks, as FILTER_TEST_DENY
    // gives them to the tests' build of the tool ("r:PATH;w:PATH").
    const char *denied = nullptr;
};

void no_edit(const SampleCopy &) {}

const char *const host_ports = "1 (144.800), 2 (433.500), 3 (VHF), 4 (HF)";

// Each row: one mistake a sysop made, and the line filter-check gives for it.
const BrokenSetup broken_setups[] = {
    {"misspelt port name and method",
     [](const SampleCopy &s) { s.replace_line("morvel/config.prt", "144.800 OPEN", "TWOMETER OPNE"); }, 2,
     "morvel/config.prt:76: error: the port name \"TWOMETER\" is not in the host's port file (its ports: 1 (144.800), "
     "2 (433.500), 3 (VHF), 4 (HF)); the filter stops reading here with error 5 and admits every station on the port "
     "this line was meant for and on every port whose port line is below this line; write a port number or one of "
     "those names"},
    {"port line for a port the host does not have",
     [](const SampleCopy &s) { s.replace_line("morvel/config.prt", "144.800 OPEN", "7 OPEN"); }, 1,
     "morvel/config.prt:76: warning: port 7 is not in the host's port file (its ports: 1 (144.800), 2 (433.500), "
     "3 (VHF), 4 (HF)); this line never applies; write the number or name of one of the host's ports"},
    {"the port that line was meant for is left unfiltered",
     [](const SampleCopy &s) { s.replace_line("morvel/config.prt", "144.800 OPEN", "7 OPEN"); }, 1,
     "morvel/config.prt: warning: port 1 (144.800) has no port line; the filter admits every station on it "
     "unfiltered, whatever users.prt says; add a line \"144.800 METHOD\" after the 14 option lines"},
    {"a port named with two characters is fixed by its number",
     [](const SampleCopy &) {}, 1,
     "morvel/config.prt: warning: port 4 (HF) has no port line; the filter admits every station on it unfiltered, "
     "whatever users.prt says; add a line \"4 METHOD\" after the 14 option lines"},
    {"indented comment among the options",
     [](const SampleCopy &s) { s.replace_line("morvel/config.prt", "# --- line 9: intro text", "  # --- line 9: intro text"); }, 2,
     "morvel/config.prt:45: error: an indented comment: a line that starts with a blank is no comment, so the "
     "filter reads it as option line 9 and every line below it one place later; the filter stops reading here with "
     "error 5 and admits every station on every port; remove the blanks before the \"#\""},
    {"indented comment among the port lines",
     [](const SampleCopy &s) { s.replace_line("morvel/config.prt", "433.500 READONLY", "433.500 READONLY\n   # HF next"); }, 2,
     "morvel/config.prt:78: error: an indented comment: a line that starts with a blank is no comment, so the "
     "filter reads it as a port line and every line below it one place later; the filter stops reading here with "
     "error 5 and admits every station on the port this line was meant for and on every port whose port line is "
     "below this line; remove the blanks before the \"#\""},
    {"off switch left behind",
     [](const SampleCopy &s) { s.write("morvel/morvel.sta", ""); }, 2,
     "morvel/morvel.sta: error: the filter is switched off (the sysop command -off left this file); the filter "
     "admits every new connection unfiltered, whatever config.prt and users.prt say; give the command -on, or "
     "delete this file"},
    {"port reservation left behind",
     [](const SampleCopy &s) { s.write("morvel/3.prt", ""); }, 1,
     "morvel/3.prt: warning: port 3 (VHF) is reserved for BBSs (the sysop command -pbbs 3 left this file); the "
     "filter refuses every station there that the host does not flag as a BBS (16) or as allowed on BBS ports (8); "
     "give the command -pnormal 3, or delete this file, unless the reservation is meant"},
    {"users.prt missing",
     [](const SampleCopy &s) { fs::remove(s.root / "morvel/users.prt"); }, 1,
     "morvel/users.prt: warning: cannot be opened; the filter says nothing and gives every station its port's "
     "method, so the stations you meant to exclude or challenge are handled like everyone else; write users.prt "
     "beside config.prt"},
    {"users.prt named user.prt",
     [](const SampleCopy &s) { fs::rename(s.root / "morvel/users.prt", s.root / "morvel/user.prt"); }, 1,
     "morvel/users.prt: warning: cannot be opened; the filter says nothing and gives every station its port's "
     "method, so the stations you meant to exclude or challenge are handled like everyone else; morvel/user.prt "
     "is there: rename it to users.prt"},
    {"welcome letters split by a blank",
     [](const SampleCopy &s) { s.replace_line("morvel/config.prt", "OK TM", "OK T M"); }, 1,
     "morvel/config.prt:53: warning: letters split by blanks; the filter reads \"T\" and ignores \"M\"; write the "
     "letters of a field together, as in \"OK TM\""},
    {"log letters split by a blank",
     [](const SampleCopy &s) { s.replace_line("morvel/config.prt", "OK CD", "OK C D"); }, 1,
     "morvel/config.prt:60: warning: letters split by blanks; the filter reads \"C\" and ignores \"D\"; write the "
     "letters of a field together, as in \"OK CD\""},
    {"sysop with an SSID",
     [](const SampleCopy &s) { s.replace_line("morvel/config.prt", "N0SYS", "N1SOP-1"); }, 1,
     "morvel/config.prt:16: warning: the sysop list reads as \"N1SOP-\", \"1\": \"N1SOP-\", \"1\" are not "
     "callsigns; the filter mails its reports to each of them; write bare callsigns of at most 6 characters (no "
     "SSID) separated by blanks, and put comments on lines of their own"},
    {"comment after the sysop",
     [](const SampleCopy &s) { s.replace_line("morvel/config.prt", "N0SYS", "N1SOP # the sysops"); }, 1,
     "morvel/config.prt:16: warning: the sysop list reads as \"N1SOP\", \"#\", \"THE\", \"SYSOPS\": \"#\", \"THE\", "
     "\"SYSOPS\" are not callsigns; the filter mails its reports to each of them; write bare callsigns of at most 6 "
     "characters (no SSID) separated by blanks, and put comments on lines of their own"},
    {"wildcard above the exact entry",
     [](const SampleCopy &s) {
         s.write("morvel/users.prt", "N1*\n*  OPEN\n-\nN1PASS\n*  NORMAL  longpassword99\n-\n" + s.read("morvel/users.prt"));
     }, 1,
     "morvel/users.prt:4: warning: the entry \"N1PASS\" is never used: the header \"N1*\" at line 1 catches every "
     "SSID of N1PASS first (the search by callsign and SSID goes through the whole file before the search by bare "
     "callsign); the station gets the entry of line 1; write this header as \"N1PASS-*\" and put the entry above "
     "line 1"},
    {"duplicate header",
     [](const SampleCopy &s) { s.write("morvel/users.prt", s.read("morvel/users.prt") + "N0OPEN\n*  EXCLUDED\n-\n"); }, 1,
     "morvel/users.prt:136: warning: the entry \"N0OPEN\" is never used: the header \"N0OPEN\" at line 47 catches "
     "every SSID of N0OPEN first; the station gets the entry of line 47; remove one of the two entries, or move "
     "this one above line 47"},
    {"wildcard header hidden by an earlier wildcard",
     [](const SampleCopy &s) { s.write("morvel/users.prt", s.read("morvel/users.prt") + "N1*\n*  OPEN\n-\nN1ABC-*\n*  EXCLUDED\n-\n"); }, 1,
     "morvel/users.prt:139: warning: the entry \"N1ABC-*\" is never used: the header \"N1*\" at line 136 catches its "
     "stations first (among headers with a wildcard or an SSID the first in the file wins); they get the entry of "
     "line 136; move this entry above line 136"},
    {"wildcard header below hides a plain header above",
     [](const SampleCopy &s) { s.write("morvel/users.prt", s.read("morvel/users.prt") + "N1*\n*  OPEN\n-\n"); }, 1,
     "morvel/users.prt:84: warning: the entry \"N1BBS\" is never used: the header \"N1*\" at line 136 catches every "
     "SSID of N1BBS first (the search by callsign and SSID goes through the whole file before the search by bare "
     "callsign); the station gets the entry of line 136; write this header as \"N1BBS-*\""},
    {"a star alone as header",
     [](const SampleCopy &s) { s.write("morvel/users.prt", s.read("morvel/users.prt") + "*\n*  GUEST\n-\n"); }, 1,
     "morvel/users.prt:136: warning: the header \"*\" matches no station: a \"*\" alone stands for one character, "
     "and no callsign with its SSID is one character long; the filter never uses this entry; write \"?*\" for an "
     "entry that catches every station"},
    {"catch-all hides the console entry",
     [](const SampleCopy &s) { s.write("morvel/users.prt", s.read("morvel/users.prt") + "?*\n4  GUEST\n-\n"); }, 1,
     "morvel/users.prt:43: warning: the console entry is never used: the header \"?*\" at line 136 catches every "
     "station, the console's too, before the search for a console entry; the console gets the entry of line 136; "
     "move this entry's console line into that entry, then remove this one"},
    {"catch-all without a console line",
     [](const SampleCopy &s) { s.write("morvel/users.prt", s.read("morvel/users.prt") + "?*\n4  GUEST\n-\n"); }, 1,
     "morvel/users.prt:136: warning: the catch-all \"?*\" has no line for the console (port 0); the console's "
     "station is caught here, never by the console entry, and gets the console's method from config.prt; add a "
     "line \"CONSOLE METHOD [PASSWORD]\" to this entry"},
    {"second console entry",
     [](const SampleCopy &s) { s.write("morvel/users.prt", s.read("morvel/users.prt") + "CONSOLE\n*  OPEN\n-\n"); }, 1,
     "morvel/users.prt:136: warning: a second console entry; the filter uses the one at line 43 and never this one; "
     "remove one of them"},
    {"header of 8 characters",
     [](const SampleCopy &s) { s.write("morvel/users.prt", s.read("morvel/users.prt") + "N1ABCDEF\n*  OPEN\n-\n"); }, 1,
     "morvel/users.prt:136: warning: the header \"N1ABCDEF\" can never match a station: a callsign has at most 6 "
     "letters and digits, then \"-\" and the SSID; the filter never uses this entry; write the callsign, with -SSID "
     "or the wildcards ? and * if needed"},
    {"language file misspelt",
     [](const SampleCopy &s) { s.replace_line("morvel/config.prt", "**", "espanol.lgn"); }, 1,
     "morvel/config.prt:12: warning: the language file \"espanol.lgn\" is not in morvel/; the filter says nothing "
     "and keeps the English texts; check the name, or write ** for none"},
    {"language file of 28 texts",
     [](const SampleCopy &s) {
         s.replace_line("morvel/config.prt", "**", "short.lng");
         std::string texts;
         for (int i = 1; i <= 28; i++)
             texts += "text " + std::to_string(i) + "\n";
         s.write("morvel/short.lng", texts);
     }, 2,
     "morvel/short.lng: error: holds 28 texts, not 29; the filter reports error 6 (\"Incorrect number of lines in "
     "language file (28/29).\", without the file's name) and keeps the English texts; give it exactly 29 text "
     "lines, then a line \"-\""},
    {"wrong system directory",
     [](const SampleCopy &s) { s.replace_line("init.srv", "system\\", "sistema\\"); }, 2,
     "init.srv:8: error: the system directory \"SISTEMA\" does not exist (the filter drops the last character of "
     "the line, meant to be a trailing \\); the filter cannot read the host's port file, so every port line that "
     "names a port is error 5 and every station is admitted; write the host's system directory with a trailing \\"},
    {"the port lines that system directory breaks",
     [](const SampleCopy &s) { s.replace_line("init.srv", "system\\", "sistema\\"); }, 2,
     "morvel/config.prt:76: error: the port name \"144.800\" is not in the host's port file (its ports: none: the "
     "port file cannot be read, see line 5 of the start-up file); the filter stops reading here with error 5 and "
     "admits every station on the port this line was meant for and on every port whose port line is below this "
     "line; write a port number or one of those names"},
    {"port-line method that needs a password",
     [](const SampleCopy &s) { s.replace_line("morvel/config.prt", "433.500 READONLY", "433.500 NORMAL"); }, 2,
     "morvel/config.prt:77: error: \"433.500 NORMAL\" is not a port and its method (OPEN, CLOSED, EXCLUDED, BBS, "
     "READONLY or HOLD); the filter stops reading here with error 5 and admits every station on the port this line "
     "was meant for and on every port whose port line is below this line; write a port and its method (OPEN, CLOSED, EXCLUDED, BBS, READONLY or HOLD)"},
    {"flag that is neither OK nor NO",
     [](const SampleCopy &s) { s.replace_line("morvel/config.prt", "OK S", "YES S"); }, 2,
     "morvel/config.prt:49: error: \"YES S\" is not OK or NO, then optional letters X, S, N; the filter stops "
     "reading here with error 5 and admits every station on every port; write OK or NO, then optional letters X, S, N (a comment line counts for nothing, so a missing line shifts every "
     "line below it)"},
    {"second port line for a port",
     [](const SampleCopy &s) { s.write("morvel/config.prt", s.read("morvel/config.prt") + "1 EXCLUDED\n"); }, 1,
     "morvel/config.prt:79: warning: a second port line for port 1; the filter uses line 76 and never reads this "
     "one; remove one of them"},
    {"password method without a password",
     [](const SampleCopy &s) { s.replace_line("morvel/users.prt", "*  FIXED  letmein7", "*  FIXED"); }, 2,
     "morvel/users.prt:60: error: FIXED needs a password; the filter reports error 7 when N0FIX connects on such a "
     "port and gives it the port's method; write the password after the method"},
    {"FLEXNET key of 4 digits",
     [](const SampleCopy &s) { s.replace_line("morvel/users.prt", "*  FLEXNET  31415", "*  FLEXNET  3141"); }, 2,
     "morvel/users.prt:90: error: FLEXNET needs a key of exactly 5 digits; the filter reports error 7 "
     "when N0FLEX connects on such a port and gives it the port's method; write the password after the method"},
    {"one-time-code secret too short",
     [](const SampleCopy &s) {
         s.replace_line("morvel/users.prt", "*  TOTP  JBSWY3DPEHPK3PXPJBSWY3DPEHPK3PXP", "*  TOTP  JBSWY3DPEHPK3PXP");
     }, 2,
     "morvel/users.prt:130: error: TOTP secret is not base32 of at least 128 bits (26 characters of A-Z and 2-7); "
     "the filter reports error 7 when N0TOTP connects on such a port and gives it the port's method; make one with "
     "filter-otp new CALL-SSID"},
    {"one-time-code secret not base32",
     [](const SampleCopy &s) {
         s.replace_line("morvel/users.prt", "*  HOTP  GEZDGNBVGY3TQOJQGEZDGNBVGY3TQOJQ",
                        "*  HOTP  12345678901234567890123456789012");
     }, 2,
     "morvel/users.prt:134: error: HOTP secret is not base32 of at least 128 bits (26 characters of A-Z and 2-7); "
     "the filter reports error 7 when N0HOTP connects on such a port and gives it the port's method; make one with "
     "filter-otp new CALL-SSID"},
    {"entry without its end line",
     [](const SampleCopy &s) { s.replace_line("morvel/users.prt", "*  OPEN\n-", "*  OPEN"); }, 2,
     "morvel/users.prt:50: error: an entry line needs a port and a method (is the line \"-\" that ends the entry "
     "above missing?); the filter reports error 7 when N0OPEN connects on such a port and gives it the port's "
     "method; write PORT METHOD [PASSWORD]"},
    {"TABLE station without a table",
     [](const SampleCopy &s) { fs::remove(s.root / "morvel/N0TBL.TBL"); }, 2,
     "morvel/users.prt:80: error: TABLE station N0TBL has no password table morvel/N0TBL.TBL; the filter reports "
     "error 4 at each of its connections and gives it the port's method; write the table, one line \"DAY "
     "PASSWORD\" for each day 1 to 31"},
    {"TABLE with days missing",
     [](const SampleCopy &s) {
         std::string t = s.read("morvel/N0TBL.TBL");
         size_t at = t.find("\n3 ");
         s.write("morvel/N0TBL.TBL", t.substr(0, at + 1) + t.substr(t.find('\n', at + 1) + 1));
     }, 1,
     "morvel/N0TBL.TBL: warning: no row for day 3; on those days the filter gives N0TBL the port's method instead "
     "of a challenge; add a row \"DAY PASSWORD\" for each"},
    {"TABLE station under a CALL-* header without its table",
     [](const SampleCopy &s) {
         s.replace_line("morvel/users.prt", "N0TBL", "N0TBL-*");
         fs::remove(s.root / "morvel/N0TBL.TBL");
     }, 2,
     "morvel/users.prt:80: error: TABLE station N0TBL-* has no password table morvel/N0TBL.TBL; the filter reports "
     "error 4 at each of its connections and gives it the port's method; write the table, one line \"DAY "
     "PASSWORD\" for each day 1 to 31"},
    {"TABLE stations under a wildcard callsign",
     [](const SampleCopy &s) { s.replace_line("morvel/users.prt", "144.800  EXCLUDED", "144.800  TABLE"); }, 1,
     "morvel/users.prt:117: warning: TABLE stations under the pattern header \"N9*\": the filter opens the table of "
     "each station by its own callsign and SSID (for a station CALL-7, morvel/CALL7.TBL, else morvel/CALL.TBL), "
     "which the check cannot list; a station without one gets error 4 at each connection and its port's method; "
     "write a table for every station this header catches, or give each its own entry"},
    {"entry line for a port the host does not have",
     [](const SampleCopy &s) { s.replace_line("morvel/users.prt", "N0OPEN", "N0OPEN\n7  CLOSED"); }, 1,
     "morvel/users.prt:48: warning: port 7 is not in the host's port file (its ports: 1 (144.800), 2 (433.500), "
     "3 (VHF), 4 (HF)); this line never applies; write the number or name of one of the host's ports"},
    {"password holding a blank",
     [](const SampleCopy &s) { s.replace_line("morvel/users.prt", "*  MD5  Tr0ub4dor", "*  MD5  Tr0ub4dor and more"); }, 2,
     "morvel/users.prt:76: error: the password holds a blank: the filter takes only its first word (9 characters) "
     "and ignores the rest; N0MD5 is refused whenever it answers with the MD5 digest, which its program works out "
     "from the whole password, and its five positions are asked of the first word only; write the password as one "
     "word without blanks"},
    {"FLEXNET key of five characters that are not all digits",
     [](const SampleCopy &s) { s.replace_line("morvel/users.prt", "*  FLEXNET  31415", "*  FLEXNET  3141A"); }, 2,
     "morvel/users.prt:90: error: FLEXNET needs a key of exactly 5 digits; the filter reports error 7 when N0FLEX "
     "connects on such a port and gives it the port's method; write the password after the method"},
    {"station text two stations reach",
     [](const SampleCopy &s) { s.write("morvel/N0AB110.ent", "Hello\n"); }, 1,
     "morvel/N0AB110.ent: warning: the station text of N0AB1-10 and N0AB11-0; the filter builds the name from the "
     "callsign and the SSID written together, so each of them is shown this text; keep it for one of them, and if "
     "the others must read nothing meant for it, give them their own text (CALL + SSID.ent)"},
    {"open text switched on and missing",
     [](const SampleCopy &s) { fs::remove(s.root / "morvel/open.prt"); }, 2,
     "morvel/config.prt:37: error: the open text is switched on but morvel/open.prt is missing (and the per-port "
     "text for port 0, 1, 2, 3); every station admitted by OPEN there gets error 8 and no texts at all; write "
     "open.prt, or switch this line to NO"},
    {"logusr.prt name longer than a callsign with its SSID",
     [](const SampleCopy &s) { s.write("morvel/logusr.prt", s.read("morvel/logusr.prt") + "N0CALLSIGN-1\n"); }, 1,
     "morvel/logusr.prt:12: warning: the name \"N0CALLSIGN-1\" can never match a station: a station is a callsign "
     "of at most 6 letters and digits, alone or with \"-\" and an SSID 0 to 255 without leading zeros; the filter "
     "never uses this line; write the callsign, or CALLSIGN-SSID as in \"N0CALL-7\""},
    {"logusr.prt SSID with a leading zero",
     [](const SampleCopy &s) { s.replace_line("morvel/logusr.prt", "N0FLEX-0 M", "N0FLEX-00 M"); }, 1,
     "morvel/logusr.prt:11: warning: the name \"N0FLEX-00\" can never match a station: a station is a callsign "
     "of at most 6 letters and digits, alone or with \"-\" and an SSID 0 to 255 without leading zeros; the filter "
     "never uses this line; write the callsign, or CALLSIGN-SSID as in \"N0CALL-7\""},
    {"logusr.prt wildcard",
     [](const SampleCopy &s) { s.write("morvel/logusr.prt", s.read("morvel/logusr.prt") + "n9* M\n"); }, 1,
     "morvel/logusr.prt:12: warning: the name \"N9*\" holds a wildcard, but logusr.prt names stations exactly; no "
     "station gets a log by this line; write each callsign, or CALLSIGN-SSID, on a line of its own"},
    {"logusr.prt letter the filter ignores",
     [](const SampleCopy &s) { s.replace_line("morvel/logusr.prt", "N0FLEX-0 M", "N0FLEX-0 MX"); }, 1,
     "morvel/logusr.prt:11: warning: letters \"X\" mean nothing in logusr.prt; the filter ignores them; use only "
     "C, D, W, M"},
    {"logusr.prt letters split by a blank",
     [](const SampleCopy &s) { s.replace_line("morvel/logusr.prt", "N0FLEX-0 M", "N0FLEX-0 M C"); }, 1,
     "morvel/logusr.prt:11: warning: letters split by blanks; the filter reads \"M\" and ignores \"C\"; write the "
     "letters together, as in \"N0FLEX-0 MC\""},
    {"logusr.prt comment after the letters",
     [](const SampleCopy &s) { s.replace_line("morvel/logusr.prt", "N0FLEX-0 M", "N0FLEX-0 M # monthly"); }, 1,
     "morvel/logusr.prt:11: warning: words after the letters; the filter reads \"M\" and ignores \"# MONTHLY\"; "
     "put comments on lines of their own"},
    {"logusr.prt letter written twice",
     [](const SampleCopy &s) { s.replace_line("morvel/logusr.prt", "N0FLEX-0 M", "N0FLEX-0 CC"); }, 1,
     "morvel/logusr.prt:11: warning: a letter written twice; the filter adds the letters up, so \"CC\" reads as "
     "\"D\": a file per day, no console calls; write each letter once"},
    {"logusr.prt station named twice",
     [](const SampleCopy &s) { s.write("morvel/logusr.prt", s.read("morvel/logusr.prt") + "n0flex-0 D\n"); }, 1,
     "morvel/logusr.prt:12: warning: N0FLEX-0 is named a second time; the filter uses line 11 and never reads this "
     "one; remove one of the two lines"},
    {"logusr.prt SSID below its bare callsign",
     [](const SampleCopy &s) { s.write("morvel/logusr.prt", s.read("morvel/logusr.prt") + "N0CALL-1 D\n"); }, 1,
     "morvel/logusr.prt:12: warning: the line for N0CALL-1 is never used: line 10 \"N0CALL\" names every SSID of "
     "N0CALL and comes first; the filter logs N0CALL-1 with the letters of line 10; move this line above line 10"},
    {"guard line the filter cannot read",
     [](const SampleCopy &s) { s.write("morvel/guard.prt", "# the guard\nFAILURES 0 MINUTES 5\n"); }, 2,
     "morvel/guard.prt:2: error: not a guard line, which is \"FAILURES n MINUTES m\" (n 1 to 99, m 1 to 1440), "
     "\"EXPIRE m\" or \"EXPOSURE n\" (n 1 to 1000000); the filter reports error 5 and runs without the guard; write one of those, or put \"#\" first on "
     "the line to make it a comment"},
    {"guard file replaced by a directory",
     [](const SampleCopy &s) {
         s.write("morvel/guard.prt", "FAILURES 3 MINUTES 15\n");
         fs::remove(s.root / "morvel/guard.dat");   // the sample's own
         fs::create_directory(s.root / "morvel/guard.dat");
     },
     2,
     "morvel/guard.dat: error: is not a plain file (a directory, a symbolic link or a file with other names), which "
     "the filter never reads or writes through; the filter reports error 10 (guard.dat) and runs without the guard: "
     "it counts no failure and locks no callsign out; remove morvel/guard.dat: the filter makes the file anew"},
    {"guard file replaced by a symbolic link",
     [](const SampleCopy &s) {
         s.write("morvel/guard.prt", "FAILURES 3 MINUTES 15\n");
         fs::remove(s.root / "morvel/guard.dat");   // the sample's own
         fs::create_symlink(s.root / "morvel/users.prt", s.root / "morvel/guard.dat");
     },
     2,
     "morvel/guard.dat: error: is not a plain file (a directory, a symbolic link or a file with other names), which "
     "the filter never reads or writes through; the filter reports error 10 (guard.dat) and runs without the guard: "
     "it counts no failure and locks no callsign out; remove morvel/guard.dat: the filter makes the file anew"},
    {"guard file the BBS cannot read",
     [](const SampleCopy &s) {
         s.write("morvel/guard.prt", "FAILURES 3 MINUTES 15\n");
         s.write("morvel/guard.dat", "N0CALL 1 1796761805 0\n");
     },
     2,
     "morvel/guard.dat: error: cannot be read: the read permission is missing for the account running this check; "
     "the filter reports error 10 (guard.dat) and runs without the guard: it counts no failure and locks no "
     "callsign out; give the account that runs the BBS read permission on morvel/guard.dat",
     "r:morvel\\guard.dat"},
    {"guard file the BBS cannot write",
     [](const SampleCopy &s) {
         s.write("morvel/guard.prt", "FAILURES 3 MINUTES 15\n");
         s.write("morvel/guard.dat", "N0CALL 1 1796761805 0\n");
     },
     2,
     "morvel/guard.dat: error: cannot be written: the write permission is missing for the account running this "
     "check; the filter reports error 10 (guard.dat) and runs without the guard: it counts no failure and locks no "
     "callsign out; give the account that runs the BBS write permission on morvel/guard.dat",
     "w:morvel\\guard.dat"},
    {"users.prt the BBS cannot read",
     no_edit, 2,
     "morvel/users.prt: error: cannot be read: the read permission is missing for the account running this check; "
     "the filter says nothing and gives every station its port's method, so the stations you meant to exclude or "
     "challenge are handled like everyone else; give the account that runs the BBS read permission on "
     "morvel/users.prt",
     "r:morvel\\users.prt"},
    {"config.prt the BBS cannot read",
     no_edit, 2,
     "morvel/config.prt: error: cannot be read: the read permission is missing for the account running this check; "
     "the filter reports error 3 and admits every station on every port; give the account that runs the BBS read "
     "permission on morvel/config.prt",
     "r:morvel\\config.prt"},
    {"password table the BBS cannot read",
     no_edit, 2,
     "morvel/N0TBL.TBL: error: cannot be read: the read permission is missing for the account running this check; "
     "the filter reports error 4 at each connection of the table's station and gives it its port's method; give "
     "the account that runs the BBS read permission on morvel/N0TBL.TBL",
     "r:morvel\\N0TBL.TBL"},
    {"caller text the BBS cannot read",
     no_edit, 2,
     "morvel/info.prt: error: cannot be read: the read permission is missing for the account running this check; "
     "the filter takes the text for missing: error 8, 9 or 11 where the text is required, nothing sent otherwise; "
     "give the account that runs the BBS read permission on morvel/info.prt",
     "r:morvel\\info.prt"},
    {"port file the BBS cannot read",
     no_edit, 2,
     "system/port.sys: error: cannot be read: the read permission is missing for the account running this check; "
     "every port line that names a port is error 5 and every station is admitted; give the account that runs the "
     "BBS read permission on system/port.sys",
     "r:system\\port.sys"},
    {"filter directory the BBS cannot write",
     no_edit, 2,
     "morvel: error: cannot be written: the write permission (and, on POSIX systems, the search permission) is "
     "missing for the account running this check; the filter can keep no challenge's state file, so every station "
     "it would challenge is refused with error 10, and it writes no error record, log or switch file there; give "
     "the account that runs the BBS write permission on morvel/",
     "w:morvel"},
    {"mail directory the BBS cannot write",
     no_edit, 2,
     "mail: error: cannot be written: the write permission (and, on POSIX systems, the search permission) is "
     "missing for the account running this check; the filter's mails (errors, notices, logs) cannot be delivered "
     "and error 2 follows; give the account that runs the BBS write permission on mail/",
     "w:mail"},
    {"error record the BBS cannot write",
     [](const SampleCopy &s) { s.write("morvel/error.prt", ""); }, 2,
     "morvel/error.prt: error: cannot be written: the write permission is missing for the account running this "
     "check; the filter records no error in it; give the account that runs the BBS write permission on "
     "morvel/error.prt",
     "w:morvel\\error.prt"},
    {"a later line for the same port in one entry is never read",
     [](const SampleCopy &s) { s.replace_line("morvel/users.prt", "*  OPEN", "144.800  OPEN\n1  EXCLUDED"); }, 1,
     "morvel/users.prt:49: warning: the line \"1 EXCLUDED\" is never read: line 48 \"144.800 OPEN\" of the same "
     "entry comes first for port 1, and the filter reads an entry only up to the first line for the connection's "
     "port; N0OPEN gets the method of line 48 there; remove one of the two lines, or put this one above line 48"},
    {"a line for every port hides the lines below it",
     [](const SampleCopy &s) { s.replace_line("morvel/users.prt", "*  OPEN", "*  OPEN\n144.800  EXCLUDED"); }, 1,
     "morvel/users.prt:49: warning: the line \"144.800 EXCLUDED\" is never read: line 48 \"* OPEN\" of the same "
     "entry comes first for every port, and the filter reads an entry only up to the first line for the "
     "connection's port; N0OPEN gets the method of line 48 there; remove one of the two lines, or put this one "
     "above line 48"},
    {"a port line with a wrong method is one finding",
     [](const SampleCopy &s) { s.replace_line("morvel/config.prt", "VHF EXCLUDED", "VHF EXCLUIDOS"); }, 2,
     "morvel/config.prt:78: error: unknown access method \"EXCLUIDOS\"; the filter stops reading here with error 5 "
     "and admits every station on the port this line was meant for and on every port whose port line is below this "
     "line; write OPEN, CLOSED, EXCLUDED, BBS, READONLY or HOLD (or the Spanish word, or the number)"},
    {"logusr.prt with connection logging off",
     [](const SampleCopy &s) { s.replace_line("morvel/config.prt", "OK CD", "NO"); }, 1,
     "morvel/logusr.prt:10: warning: stations are listed but connection logging is off (morvel/config.prt:60, "
     "line 12, is NO); the filter writes no station log at all, not even with the letter C; write OK on line 12 of "
     "config.prt, or leave logusr.prt out"},
};

}   // namespace

// read_all - the whole content of a stream, which is closed.
std::string read_all(FILE *f)
{
    std::string text;
    for (int c; f && (c = fgetc(f)) != EOF;)
        text += (char)c;
    if (f)
        plat_fclose(f);
    return text;
}

TEST(DryRun, LaterReadsSeeTheOverlayAndTheDiskStaysAsItWas)
{
    HostDir h;
    h.write("morvel/kept.prt", "line 1\n");
    h.write("morvel/gone.prt", "old\n");
    ASSERT_TRUE(plat_dry_run_begin());
    FILE *a = plat_fopen("morvel\\KEPT.PRT", "at");
    fputs("line 2\n", a);
    plat_fclose(a);
    EXPECT_EQ(read_all(plat_fopen("morvel\\kept.prt", "rt")), "line 1\nline 2\n");
    FILE *w = plat_fopen("morvel\\new.tmp", "wt");
    fputs("x", w);
    plat_fclose(w);
    EXPECT_TRUE(plat_exists("morvel\\NEW.TMP"));
    bool existed = false;
    EXPECT_EQ(plat_fopen_exclusive("morvel\\new.tmp", &existed), nullptr);
    EXPECT_TRUE(existed);
    EXPECT_TRUE(plat_remove("morvel\\gone.prt"));
    EXPECT_FALSE(plat_exists("morvel\\gone.prt"));
    EXPECT_EQ(plat_fopen("morvel\\gone.prt", "rt"), nullptr);
    EXPECT_TRUE(plat_make_directory("morvel\\logcnx"));
    FILE *lock = plat_fopen_exclusive("morvel\\lock.lck", &existed);
    ASSERT_NE(lock, nullptr);
    plat_fclose(lock);
    EXPECT_TRUE(plat_remove("morvel\\lock.lck"));
    std::vector<DryRunChange> changes = plat_dry_run_changes();
    plat_dry_run_end();
    ASSERT_EQ(changes.size(), 4u) << "a file created and removed again is no change";
    EXPECT_EQ(changes[0].kind, DRY_RUN_APPENDED);
    EXPECT_EQ(changes[0].path, "morvel/KEPT.PRT");
    EXPECT_EQ(changes[0].text, "line 2\n");
    EXPECT_EQ(changes[1].kind, DRY_RUN_CREATED);
    EXPECT_EQ(changes[1].text, "x");
    EXPECT_EQ(changes[2].kind, DRY_RUN_REMOVED);
    EXPECT_EQ(changes[3].kind, DRY_RUN_DIRECTORY);
    EXPECT_EQ(h.read("morvel/kept.prt"), "line 1\n");
    EXPECT_EQ(h.read("morvel/gone.prt"), "old\n");
    EXPECT_EQ(h.list("morvel").size(), 2u);
}

// Lines added in a dry run go to the overlay, each on a line of its own,
// and only to a file there is.
TEST(DryRun, AddedLinesStayInTheOverlay)
{
    HostDir h;
    h.write("morvel/exposure.dat", "cut sho");
    ASSERT_TRUE(plat_dry_run_begin());
    EXPECT_EQ(plat_open_append("morvel\\none.dat"), nullptr);
    FILE *f = plat_open_append("morvel\\EXPOSURE.DAT");
    ASSERT_NE(f, nullptr);
    fputs("line\n", f);
    plat_fclose(f);
    EXPECT_EQ(read_all(plat_fopen("morvel\\exposure.dat", "rt")), "cut sho\nline\n");
    plat_dry_run_end();
    EXPECT_EQ(h.read("morvel/exposure.dat"), "cut sho");
}

// A name given in the overlay only when free, with the file's identity.
TEST(DryRun, NewNameKeepsTheIdentityAndIsRefusedWhenTaken)
{
    HostDir h;
    h.write("morvel/b.prt", "b\n");
    ASSERT_TRUE(plat_dry_run_begin());
    FILE *a = plat_fopen_exclusive("morvel\\a.prt", nullptr);
    ASSERT_NE(a, nullptr);
    plat_fclose(a);
    PlatFileId made, b, moved;
    ASSERT_TRUE(plat_file_identity("morvel\\a.prt", &made));
    ASSERT_TRUE(plat_file_identity("morvel\\b.prt", &b));
    EXPECT_FALSE(plat_same_file(&made, &b));
    bool taken = false;
    EXPECT_FALSE(plat_rename_new("morvel\\a.prt", "morvel\\b.prt", &taken));
    EXPECT_TRUE(taken);
    EXPECT_TRUE(plat_rename_new("morvel\\a.prt", "morvel\\c.prt", &taken));
    ASSERT_TRUE(plat_file_identity("morvel\\c.prt", &moved));
    EXPECT_TRUE(plat_same_file(&made, &moved));
    EXPECT_FALSE(plat_exists("morvel\\a.prt"));
    plat_dry_run_end();
    EXPECT_FALSE(h.exists("morvel/c.prt"));
    EXPECT_FALSE(h.exists("morvel/a.prt"));
}

// Where the BBS may not write, a dry run is refused as the real run is: a
// challenge whose state file the real run cannot keep is never told of.
TEST(DryRun, RefusedWhereTheAccountMayNotWrite)
{
    HostDir h;
    h.write_basic_config({"1 OPEN"});
    h.write_users("N0FIX\n*  FIXED  letmein7\n-\n");
    h.write("morvel/kept.prt", "line 1\n");
    h.make_dir("morvel/open");
    plat_test_deny("morvel", PLAT_MAY_WRITE);
    plat_test_deny("morvel\\open\\kept.prt", PLAT_MAY_WRITE);
    CallResult real = h.connect("N0FIX-0");
    ASSERT_TRUE(plat_dry_run_begin());
    CallResult dry = h.connect("N0FIX-0");
    EXPECT_EQ(plat_fopen("morvel\\new.prt", "wt"), nullptr) << "a new file in the directory";
    EXPECT_FALSE(plat_remove("morvel\\kept.prt")) << "a removal from the directory";
    EXPECT_FALSE(plat_make_directory("morvel\\logcnx")) << "a directory in the directory";
    EXPECT_FALSE(plat_may_access("morvel", PLAT_MAY_WRITE));
    FILE *kept = plat_fopen("morvel\\kept.prt", "at");
    EXPECT_NE(kept, nullptr) << "the file itself may be written";
    if (kept)
        plat_fclose(kept);
    FILE *inner = plat_fopen("morvel\\open\\new.prt", "wt");
    EXPECT_NE(inner, nullptr) << "a directory below has its own permissions";
    if (inner)
        plat_fclose(inner);
    plat_dry_run_end();
    EXPECT_EQ(real.result, 2);
    EXPECT_EQ(dry.result, real.result);
    EXPECT_FALSE(h.exists("morvel/N0FIX0.TMP"));
}

TEST(FilterCheck, SampleHostHasOnlyItsKnownWarnings)
{
    SampleCopy s;
    Output out = run(tool("filter-check") + " " + s.root.string());
    EXPECT_EQ(out.status, 1) << out.text;
    EXPECT_NE(out.text.find("port 4 (HF) has no port line"), std::string::npos) << out.text;
    EXPECT_EQ(out.text.find("error:"), std::string::npos) << out.text;
    EXPECT_NE(out.text.find("filter-check: " + s.root.string() + ": 0 errors, 5 warnings\n"), std::string::npos)
        << out.text;
}

// check_command - filter-check on the current directory, or its tests' build
// with the row's permissions taken away.
std::string check_command(const BrokenSetup &row)
{
    if (!row.denied)
        return tool("filter-check");
    return "FILTER_TEST_DENY='" + std::string(row.denied) + "' " + tool("filter-check-denied");
}

// Every finding of every row, as --json gives it to scripts, says what is
// wrong, what the filter does and how to fix it.
TEST(FilterCheck, EachBrokenSetupGivesItsLine)
{
    (void)host_ports;
    for (const BrokenSetup &row : broken_setups) {
        SampleCopy s;
        row.edit(s);
        auto before = s.tree();
        Output out = run("cd " + s.root.string() + " && " + check_command(row) + " .");
        EXPECT_EQ(out.status, row.status) << row.name << "\n" << out.text;
        EXPECT_NE(out.text.find(std::string(row.line) + "\n"), std::string::npos) << row.name << "\n" << out.text;
        Output json = run("cd " + s.root.string() + " && " + check_command(row) + " --json .");
        EXPECT_EQ(json.status, row.status) << row.name;
        for (const char *empty : {"\"what\":\"\"", "\"effect\":\"\"", "\"fix\":\"\""})
            EXPECT_EQ(json.text.find(empty), std::string::npos) << row.name << ": " << empty << "\n" << json.text;
        EXPECT_EQ(s.tree(), before) << row.name << ": the check wrote something";
    }
}

TEST(FilterCheck, OptionsChangeTheOutputAndTheStatusNotTheFindings)
{
    SampleCopy s;
    fs::create_directory(s.root / "elsewhere");
    fs::copy(s.root / "morvel/config.prt", s.root / "elsewhere/config.prt");
    const std::string warning = "morvel/config.prt: warning: port 4 (HF) has no port line";
    struct {
        const char *options;
        int status;
        std::vector<std::string> present, absent;
    } rows[] = {
        {"", 1, {"filter-check: reads morvel/config.prt and morvel/users.prt (MORVEL is not set)\n", warning,
                 "filter-check: .: 0 errors, 5 warnings\n"}, {}},
        {"-q", 1, {warning}, {"filter-check:"}},
        {"--strict", 2, {"morvel/config.prt: error: port 4 (HF) has no port line"}, {warning}},
        {"--morvel elsewhere", 1,
         {"filter-check: reads elsewhere/config.prt and elsewhere/users.prt (--morvel elsewhere)\n",
          "elsewhere/config.prt: warning: port 4 (HF) has no port line",
          "elsewhere/users.prt: warning: cannot be opened"}, {}},
        {"--morvel elsewhere --strict", 2, {"elsewhere/users.prt: error: cannot be opened"}, {}},
        {"--json", 1,
         {"{\"dir\":\".\",\"config\":\"morvel/config.prt\",\"users\":\"morvel/users.prt\",\"morvel\":null,"
          "\"errors\":0,\"warnings\":5,\"findings\":[\n",
          "  {\"file\":\"morvel/config.prt\",\"line\":null,\"severity\":\"warning\",\"what\":\"port 4 (HF) has no "
          "port line\",\"effect\":\"the filter admits every station on it unfiltered, whatever users.prt says\","
          "\"fix\":\"add a line \\\"4 METHOD\\\" after the 14 option lines\"},\n",
          "  {\"file\":\"morvel/users.prt\",\"line\":65,\"severity\":\"warning\","},
         {"filter-check:"}},
    };
    for (const auto &r : rows) {
        Output out = run("cd " + s.root.string() + " && env -u MORVEL " + tool("filter-check") + " " + r.options + " .");
        EXPECT_EQ(out.status, r.status) << r.options << "\n" << out.text;
        for (const std::string &line : r.present)
            EXPECT_NE(out.text.find(line), std::string::npos) << r.options << ": " << line << "\n" << out.text;
        for (const std::string &line : r.absent)
            EXPECT_EQ(out.text.find(line), std::string::npos) << r.options << ": " << line << "\n" << out.text;
    }
    Output usage = run(tool("filter-check") + " --no-such-option " + s.root.string() + " 2>&1");
    EXPECT_EQ(usage.status, 100) << usage.text;
}

// A line of the setup quoted in a finding may hold "; " of its own: it stays
// in what is wrong, and the effect and the fix are still told apart.
TEST(FilterCheck, JsonKeepsAQuotedSemicolonInWhatIsWrong)
{
    SampleCopy s;
    s.replace_line("morvel/config.prt", "OK S", "YES; S");
    Output out = run("cd " + s.root.string() + " && " + tool("filter-check") + " --json .");
    EXPECT_EQ(out.status, 2) << out.text;
    EXPECT_NE(out.text.find("\"what\":\"\\\"YES; S\\\" is not OK or NO, then optional letters X, S, N\","
                            "\"effect\":\"the filter stops reading here with error 5 and admits every station on "
                            "every port\",\"fix\":\"write OK or NO"), std::string::npos) << out.text;
}

TEST(FilterCheck, DumpShowsTheSetupAsTheFilterUsesIt)
{
    SampleCopy s;
    s.write("morvel/users.prt", s.read("morvel/users.prt") + "?*\nCONSOLE  OPEN\n4  GUEST\n-\n");
    Output out = run("cd " + s.root.string() + " && " + tool("filter-check") + " --dump .");
    EXPECT_EQ(out.status, 1) << out.text;
    for (const char *line : {
             "  3  answers              3; after the last wrong answer: refused; MD5 callers answering in plain: "
             "admitted\n",
             "  9  intro text           OK, spared: S\n",
             "  0   CONSOLE    OPEN (1) (morvel/config.prt:75)\n",
             "  3   VHF        EXCLUDED (3) (morvel/config.prt:78)\n",
             "  4   HF         not filtered: every station is admitted, users.prt is not read\n",
             "  search 1, the callsign with its SSID:\n"
             "    morvel/users.prt:71 N0CALL-7\n"
             "    morvel/users.prt:117 N9*\n"
             "    morvel/users.prt:136 ?*\n"
             "  search 2, the bare callsign:\n"
             "    morvel/users.prt:47 N0OPEN\n",
             "  search 3, on the console only:\n    morvel/users.prt:43 CONSOLE\n",
         })
        EXPECT_NE(out.text.find(line), std::string::npos) << line << "\n" << out.text;
    EXPECT_EQ(out.text.find("warning:"), std::string::npos) << "the findings are left out\n" << out.text;
}

TEST(FilterCheck, FindingsNameTheFilesFromWhereTheCheckRuns)
{
    SampleCopy s;
    fs::remove(s.root / "morvel/N0TBL.TBL");
    Output out = run("cd " + s.root.parent_path().string() + " && " + tool("filter-check") + " " +
                     s.root.filename().string() + "/");
    std::string dir = s.root.filename().string();
    EXPECT_NE(out.text.find(dir + "/morvel/users.prt:80: error: TABLE station N0TBL has no password table " + dir +
                            "/morvel/N0TBL.TBL;"), std::string::npos) << out.text;
    EXPECT_NE(out.text.find(dir + "/morvel/config.prt: warning: port 4"), std::string::npos) << out.text;
}

TEST(FilterCheck, CleanSetupExitsZero)
{
    SampleCopy s;
    s.write("morvel/config.prt", "**\nN0SYS\n3\nPASSWORD>\nNO\nNO\nNO\nNO\nNO\nNO\nNO\nNO\nNO\nNO\n"
                                 "1 OPEN\n2 OPEN\n3 OPEN\n4 OPEN\n");
    s.write("morvel/users.prt", "N0EXCL\n*  EXCLUDED\n-\nN0CALL\n*  NORMAL  Sesame42Sesame\n-\n");
    // Station logs need line 12 on, which this setup leaves off.
    fs::remove(s.root / "morvel/logusr.prt");
    Output out = run(tool("filter-check") + " " + s.root.string());
    EXPECT_EQ(out.status, 0) << out.text;
    EXPECT_NE(out.text.find(": 0 errors, 0 warnings\n"), std::string::npos) << out.text;
}

struct MethodCase {
    const char *station;
    const char *options;
    const char *method;
    const char *verdict;
};

// One station of the sample host for each access method, on port 1 (144.800).
const MethodCase method_cases[] = {
    {"N0OPEN-0", "", "method:       OPEN (1)", "verdict:      0 admitted"},
    {"N0CLOS-0", "", "method:       CLOSED (2)", "verdict:      2 refused"},
    {"N0EXCL-0", "", "method:       EXCLUDED (3)", "verdict:      2 refused"},
    {"N0FIX-0", "", "method:       FIXED (4)", "verdict:      1 challenge put"},
    {"N0CALL-1", "", "method:       NORMAL (5)", "verdict:      1 challenge put"},
    {"N0MD5-0", "", "method:       MD5 (6)", "verdict:      1 challenge put"},
    {"N0TBL-0", "--at 2026-12-08 21:30", "method:       TABLE (7)", "verdict:      1 challenge put"},
    {"N1BBS-0", "--flags 16", "method:       BBS (8)", "verdict:      0 admitted"},
    {"N1BBS-0", "", "method:       BBS (8)", "verdict:      2 refused"},
    {"N0FLEX-0", "", "method:       FLEXNET (9)", "verdict:      1 challenge put"},
    {"N2BBS-0", "", "method:       FORWARD (10)", "verdict:      1 challenge put"},
    {"N0READ-0", "", "method:       READONLY (11)", "verdict:      3 admitted read-only"},
    {"N0HOLD-0", "", "method:       HOLD (12)", "verdict:      4 admitted on hold"},
    {"N3BBS-0", "", "method:       FORWARD5 (13)", "verdict:      1 challenge put"},
    {"N0GST-0", "", "method:       GUEST (14)", "verdict:      11 admitted as guest"},
    {"N0TOTP-0", "", "method:       TOTP (keyword only)", "verdict:      1 challenge put"},
    {"N0HOTP-0", "", "method:       HOTP (keyword only)", "verdict:      1 challenge put"},
};

TEST(FilterExplain, EveryAccessMethodOfTheSampleHostLeavesTheTreeAsItWas)
{
    SampleCopy s;
    auto before = s.tree();
    for (const MethodCase &c : method_cases) {
        Output out = run(tool("filter-explain") + " " + s.root.string() + " " + c.station + " --port 1 " + c.options);
        EXPECT_NE(out.text.find(std::string(c.method) + "\n"), std::string::npos) << c.station << "\n" << out.text;
        EXPECT_NE(out.text.find(std::string(c.verdict) + "\n"), std::string::npos) << c.station << "\n" << out.text;
        EXPECT_NE(out.text.find("config.prt:   morvel/config.prt:76 decides port 1: \"144.800 OPEN\""),
                  std::string::npos) << out.text;
    }
    EXPECT_EQ(s.tree(), before);
}

TEST(FilterExplain, TellsTheDecidingLinesAndWhatWouldBeWritten)
{
    SampleCopy s;
    Output out = run(tool("filter-explain") + " " + s.root.string() + " N0CALL-1 --port 1 --count 1 --at 2026-12-08 21:30");
    EXPECT_EQ(out.status, 1) << out.text;
    for (const char *line : {
             "users.prt:    morvel/users.prt:64 is the station's header \"N0CALL\" (search 2, the bare callsign)",
             "users.prt:    morvel/users.prt:65 is the entry line for port 1: \"144.800 NORMAL (password not shown)\": "
             "NORMAL (5)",
             "challenge:    NORMAL: five positions of the password; expected answer kept in morvel/N0CALL1.TMP",
             "answers:      the caller may answer 3 times; after the last wrong answer: 2 refused",
             "mail:         \"NEW USER\" to N0SYS",
             "  create morvel/N0CALL1.TMP",
             "    | (a challenge's state file for N0CALL-1, NORMAL: five positions of the password; the expected "
             "answer is not shown)",
         })
        EXPECT_NE(out.text.find(std::string(line) + "\n"), std::string::npos) << line << "\n" << out.text;
    EXPECT_EQ(out.text.find("Sesame42"), std::string::npos) << "a password was printed";
}

TEST(FilterExplain, NoChallengeWhereTheFilterCannotWriteItsStateFile)
{
    // config.prt and users.prt are read through MORVEL; the filter directory itself is missing.
    SampleCopy s;
    fs::rename(s.root / "morvel", s.root / "conf");
    Output out = run("cd " + s.root.string() + " && MORVEL=conf " + tool("filter-explain") + " . N0FIX-0 --port 1");
    EXPECT_EQ(out.status, 2) << out.text;
    EXPECT_NE(out.text.find("error:        10: "), std::string::npos) << out.text;
    EXPECT_EQ(out.text.find("challenge put"), std::string::npos) << out.text;
    EXPECT_NE(out.text.find("would write:  nothing\n"), std::string::npos) << out.text;
}

// The same where the directory is there but the BBS may not write it.
TEST(FilterExplain, NoChallengeWhereTheBbsMayNotWriteTheFilterDirectory)
{
    SampleCopy s;
    Output out = run("FILTER_TEST_DENY='w:morvel' " + tool("filter-explain-denied") + " " + s.root.string() +
                     " N0FIX-0 --port 1");
    EXPECT_EQ(out.status, 2) << out.text;
    EXPECT_NE(out.text.find("error:        10: "), std::string::npos) << out.text;
    EXPECT_EQ(out.text.find("challenge put"), std::string::npos) << out.text;
    EXPECT_EQ(out.text.find("N0FIX0.TMP"), std::string::npos) << out.text;
}

// The guard's line: whether the station's callsign is locked out and until
// when, read from the guard's own file; none without guard.prt.
TEST(FilterExplain, SaysWhetherTheGuardLocksTheStationOut)
{
    struct tm at = {};
    at.tm_year = 2026 - 1900, at.tm_mon = 11, at.tm_mday = 8, at.tm_hour = 21, at.tm_min = 30, at.tm_isdst = -1;
    long long now = (long long)mktime(&at);
    const struct {
        const char *guard;      // guard.prt; null: none
        int failures;           // of N0CALL in guard.dat
        int minutes_ago;        // its last failure
        const char *line;       // the guard line; null: none
    } rows[] = {
        {"FAILURES 3 MINUTES 15\n", 3, 5, "guard:        locked out until 21:40:00 08-12-2026 (3 failures)"},
        {"FAILURES 3 MINUTES 15\n", 2, 5, "guard:        not locked out (2 failures counted)"},
        {"FAILURES 3 MINUTES 15\n", 3, 20, "guard:        not locked out (0 failures counted)"},
        {nullptr, 3, 5, nullptr},
    };
    for (const auto &r : rows) {
        SampleCopy s;
        if (r.guard)
            s.write("morvel/guard.prt", r.guard);
        else
            fs::remove(s.root / "morvel/guard.prt");
        s.write("morvel/guard.dat", "N0CALL " + std::to_string(r.failures) + " " +
                                        std::to_string(now - 60 * r.minutes_ago) + " 0\n");
        Output out = run(tool("filter-explain") + " " + s.root.string() + " N0CALL-1 --port 1 --at 2026-12-08 21:30");
        if (r.line)
            EXPECT_NE(out.text.find(std::string(r.line) + "\n"), std::string::npos) << r.line << "\n" << out.text;
        else
            EXPECT_EQ(out.text.find("guard:"), std::string::npos) << out.text;
    }
}

// sample_exposure - exposure.dat of the sample host: N0CALL's Sesame42 heard
// at six of its eight positions (1 in 9.3), N0FIX's whole password heard.
std::string sample_exposure(void)
{
    char call[EXPOSURE_TAG_TEXT], fix[EXPOSURE_TAG_TEXT];
    exposure_tag("Sesame42", call);
    exposure_tag("letmein7", fix);
    return std::string("# exposure.dat\n") + call + " POSITIONS 01-12-2026 N0CALL-1 0 f3\n" + fix +
           " WHOLE 02-12-2026 N0FIX-0 1 -\n";
}

// filter-check --exposure lists the passwords a listener answers 1 in N or
// likelier, worst first, each with what was heard and since when; --json and
// --dump carry every password's figure.
TEST(FilterCheck, ExposureListsTheHeardPasswordsWorstFirst)
{
    SampleCopy s;
    s.write("morvel/exposure.dat", sample_exposure());
    Output out = run("cd " + s.root.string() + " && " + tool("filter-check") + " --exposure .");
    EXPECT_EQ(out.status, 1) << out.text;
    const std::string advice = "; change the station's password, or move the station to TOTP or HOTP\n";
    std::string fix = "morvel/users.prt:60: N0FIX under FIXED: 1 in 1 (the whole password heard since 02-12-2026, "
                      "last by N0FIX-0)" + advice;
    std::string call = "N0CALL under NORMAL: 1 in 9.3 (6 of 8 characters heard since 01-12-2026, last by N0CALL-1)" +
                       advice;
    std::string flex = "N0FLEX under FLEXNET: 1 in 77 (nothing heard: a guess of the likeliest sum)" + advice;
    size_t at_fix = out.text.find(fix), at_call = out.text.find(call), at_flex = out.text.find(flex);
    EXPECT_NE(at_fix, std::string::npos) << out.text;
    EXPECT_NE(at_call, std::string::npos) << out.text;
    EXPECT_NE(at_flex, std::string::npos) << out.text;
    EXPECT_TRUE(at_fix < at_call && at_call < at_flex) << "worst first\n" << out.text;
    EXPECT_NE(out.text.find("filter-check: 4 passwords a listener answers 1 in 100 or likelier\n"), std::string::npos)
        << "N0CALL's two lines share the password\n" << out.text;

    out = run(tool("filter-check") + " --exposure=50 " + s.root.string());
    EXPECT_EQ(out.text.find("N0FLEX"), std::string::npos) << out.text;
    out = run(tool("filter-check") + " --exposure 1 " + s.root.string());
    EXPECT_EQ(out.status, 1) << out.text;
    EXPECT_NE(out.text.find("1 password a listener answers 1 in 1 or likelier"), std::string::npos) << out.text;
    s.write("morvel/exposure.dat", "");
    out = run(tool("filter-check") + " --exposure=50 " + s.root.string());
    EXPECT_EQ(out.status, 0) << out.text;

    s.write("morvel/exposure.dat", sample_exposure());
    out = run(tool("filter-check") + " --json " + s.root.string());
    EXPECT_NE(out.text.find("{\"file\":\"" + s.root.string() + "/morvel/users.prt\",\"line\":60,\"station\":"
                            "\"N0FIX\",\"day\":null,\"method\":\"FIXED\",\"heard_as\":\"WHOLE\",\"heard\":1,"
                            "\"of\":1,\"chance\":1,\"one_in\":1,\"figure\":\"1 in 1\","
                            "\"what_was_heard\":\"the whole password heard\",\"since\":\"02-12-2026\","
                            "\"mailed\":true,"),
              std::string::npos)
        << out.text;
    EXPECT_NE(out.text.find("\"station\":\"N0TBL\",\"day\":31,\"method\":\"TABLE\""), std::string::npos)
        << out.text;
    out = run(tool("filter-check") + " --dump " + s.root.string());
    EXPECT_NE(out.text.find(":66 N0CALL under NORMAL: 1 in 9.3 (6 of 8 characters heard since 01-12-2026, last by "
                            "N0CALL-1)\n"),
              std::string::npos)
        << out.text;
    for (const char *password : {"Sesame42", "letmein7", "31415"})
        EXPECT_EQ(out.text.find(password), std::string::npos) << password;
}

// filter-explain says what a listener has of the station's password: the
// figure, since when, what to do; for TABLE today's row; nothing for a
// method answered by digest only.
TEST(FilterExplain, SaysWhatAListenerHasHeard)
{
    SampleCopy s;
    s.write("morvel/exposure.dat", sample_exposure());
    const struct {
        const char *station;
        const char *line;
    } rows[] = {
        {"N0CALL-1", "exposure:     a listener who heard every answer since 01-12-2026 answers the next challenge "
                     "1 in 9.3 (6 of 8 characters heard, last heard from N0CALL-1); to do: change the station's "
                     "password, or move the station to TOTP or HOTP\n"},
        {"N0FIX-0", "exposure:     a listener who heard every answer since 02-12-2026 answers the next challenge "
                    "1 in 1 (the whole password heard, last heard from N0FIX-0; the sysops were mailed); to do: "},
        {"N0FLEX-0", "exposure:     nothing heard yet, and a guess of the likeliest sum answers the next challenge "
                     "1 in 77; to do: "},
        {"N0TBL-0", "exposure:     today's row: nothing heard on air since the password was set\n"},
        {"N2BBS-0", "exposure:     nothing a listener can use goes on air: FORWARD is answered by digest or code only\n"},
    };
    for (const auto &r : rows) {
        Output out = run(tool("filter-explain") + " " + s.root.string() + " " + r.station + " --port 1");
        EXPECT_NE(out.text.find(r.line), std::string::npos) << r.station << "\n" << out.text;
    }
}

// The tools judge a station argument as the filter decodes it: a callsign of
// 7 letters is malformed there, however well it reads.
TEST(FilterExplain, StationArgumentsAreJudgedAsTheFilterDecodesThem)
{
    SampleCopy s;
    const struct { const char *station; bool well_formed; } rows[] = {
        {"N0CALL-1", true}, {"N0CALLS-1", false}, {"N0CALL", false}, {"N0-CALL-1", false}};
    for (const auto &row : rows) {
        Output out = run(tool("filter-explain") + " " + s.root.string() + " " + row.station + " --port 1 2>&1");
        EXPECT_EQ(out.text.find("is not CALLSIGN-SSID") == std::string::npos, row.well_formed)
            << row.station << "\n" << out.text;
    }
}

TEST(FilterExplain, AnAnswerFollowsTheChallengeInTheSameDryRun)
{
    SampleCopy s;
    Output out = run(tool("filter-explain") + " " + s.root.string() + " N0FIX-0 --port 1 --answer letmein7 "
                     "--at 2026-12-08 21:30");
    EXPECT_EQ(out.status, 0) << out.text;
    EXPECT_NE(out.text.find("-- answer 1: \"letmein7\" (attempt 1)\n"), std::string::npos) << out.text;
    std::string written = out.text.substr(out.text.find("would write:"));
    EXPECT_NE(written.find("  create morvel/logcnx/logcn342.prt\n"), std::string::npos) << "a log a day\n" << out.text;
    EXPECT_EQ(written.find("N0FIX0.TMP"), std::string::npos) << "the state file came and went\n" << out.text;
}

// filter-explain names the kind of code and never a code, not even of a
// right answer it was given.
TEST(FilterExplain, OneTimeCodesAreNamedNeverShown)
{
    SampleCopy s;
    Output out = run(tool("filter-explain") + " " + s.root.string() + " N0HOTP-0 --port 1 --answer 755224");
    EXPECT_EQ(out.status, 0) << out.text;
    EXPECT_NE(out.text.find("challenge:    HOTP: the six-digit code of the number shown, from the station's printed "
                            "list; the challenge is kept in morvel/N0HOTP0.TMP, no code\n"),
              std::string::npos) << out.text;
    EXPECT_NE(out.text.find("  | PASSWORD> HOTP 0\n"), std::string::npos) << out.text;
    std::string after_answer = out.text.substr(out.text.find("-- answer 1"));
    EXPECT_EQ(after_answer.find("287082"), std::string::npos) << "the next code was shown";
    // The record is the secret's, by its tag: 94fa1ae7 for the test vectors' secret.
    EXPECT_NE(out.text.find("    | 94fa1ae7 HOTP 1\n"), std::string::npos) << "the counter moves on\n" << out.text;
}

// filter-otp over the sample's known secrets: the users.prt line, the key
// URI with the BBS's callsign as issuer, a QR code of it (or, in a build
// without QR codes, the URI alone and --svg refused), and the numbered codes
// of the published test vectors; nothing is written in the setup.
TEST(FilterOtp, NewAndListForKnownSecrets)
{
    SampleCopy s;
    auto before = s.tree();
    std::string used = s.read("morvel/otpused.prt");
    std::string otp = tool("filter-otp") + " --dir " + s.root.string();
    Output made = run(otp + " new N0TOTP-0 --secret jbswy3dpehpk3pxpjbswy3dpehpk3pxp====");
    EXPECT_EQ(made.status, 0) << made.text;
    EXPECT_EQ(made.text.substr(0, made.text.find("\n", made.text.find("otpauth"))),
              "Line for the entry of N0TOTP-0 in users.prt (every port; put a port instead of * to limit it):\n"
              "*  TOTP  JBSWY3DPEHPK3PXPJBSWY3DPEHPK3PXP\n\n"
              "Key URI for the authenticator app:\n"
              "otpauth://totp/N0BBS:N0TOTP-0?secret=JBSWY3DPEHPK3PXPJBSWY3DPEHPK3PXP&issuer=N0BBS&algorithm=SHA1&"
              "digits=6&period=30");
    bool finder = made.text.find("\xe2\x96\x88\xe2\x96\x88 \xe2\x96\x84\xe2\x96\x84\xe2\x96\x84\xe2\x96\x84\xe2\x96\x84 ") !=
                  std::string::npos;
    std::string hotp_uri = "otpauth://hotp/N0BBS:N0HOTP-0?secret=GEZDGNBVGY3TQOJQGEZDGNBVGY3TQOJQ&issuer=N0BBS&"
                           "algorithm=SHA1&digits=6&counter=0\n";
    std::string hotp_new = otp + " new N0HOTP-0 --hotp --secret GEZDGNBVGY3TQOJQGEZDGNBVGY3TQOJQ";
#if defined(FILTER_OTP_DRAWS_QR_CODES)
    EXPECT_TRUE(finder) << "no finder pattern of a QR code\n" << made.text;
    Output hotp = run(hotp_new + " --svg " + (s.root / "code.svg").string());
    EXPECT_EQ(hotp.status, 0) << hotp.text;
    EXPECT_NE(hotp.text.find(hotp_uri), std::string::npos) << hotp.text;
    EXPECT_EQ(s.read("code.svg").rfind("<?xml", 0), 0u);
    fs::remove(s.root / "code.svg");
#else
    EXPECT_FALSE(finder) << made.text;
    EXPECT_EQ(made.text.find('\n', made.text.find("otpauth")), made.text.size() - 1)
        << "the URI is the last line\n" << made.text;
    Output svg = run(hotp_new + " --svg " + (s.root / "code.svg").string() + " 2>&1");
    EXPECT_EQ(svg.status, 100);
    EXPECT_EQ(svg.text, "filter-otp: this build draws no QR codes; --svg is not available\n");
    EXPECT_FALSE(fs::exists(s.root / "code.svg"));
    Output hotp = run(hotp_new);
    EXPECT_EQ(hotp.status, 0) << hotp.text;
    EXPECT_NE(hotp.text.find(hotp_uri), std::string::npos) << hotp.text;
#endif

    Output list = run(otp + " list N0HOTP-0 --count 3");
    EXPECT_EQ(list.status, 0);
    EXPECT_EQ(list.text, "One-time codes of N0HOTP-0 (HOTP), each good once, in order:\n"
                         "     0  755224\n     1  287082\n     2  359152\n");
    s.write("morvel/otpused.prt", "N0HOTP-0 HOTP 7 00000000\n");
    EXPECT_NE(run(otp + " list N0HOTP-0 --count 1").text.find("     0  755224\n"), std::string::npos)
        << "a record of another secret does not count";
    EXPECT_EQ(run(otp + " list N0TOTP-0 --count 3").status, 1) << "no list for a TOTP station";
    EXPECT_EQ(run(otp + " new N0TOTP-0 --secret JBSWY3DP").status, 1) << "a secret of 40 bits";
    s.write("morvel/otpused.prt", used);
    EXPECT_EQ(s.tree(), before);
}

// The SVG file holds the secret: it is a new file readable by its owner
// only, never written through a link, an existing file is replaced only with
// --force, and a file that cannot be written stops the run before any
// secret is drawn or shown.
TEST(FilterOtp, TheSvgFileHoldsTheSecretAndIsWrittenAsANewPrivateFile)
{
#if !defined(FILTER_OTP_DRAWS_QR_CODES)
    GTEST_SKIP() << "this build draws no QR codes: --svg is refused (FilterOtp.NewAndListForKnownSecrets)";
#endif
    const fs::perms owner_only = fs::perms::owner_read | fs::perms::owner_write;
    const struct {
        const char *what;
        const char *target;       // relative to the copy, or absolute
        const char *options;
        void (*plant)(const fs::path &root);
        int status;
    } cases[] = {
        {"a new file", "code.svg", "", nullptr, 0},
        {"an existing file", "code.svg", "",
         [](const fs::path &r) {
             std::ofstream(r / "code.svg") << "keep";
             fs::permissions(r / "code.svg", fs::perms::all);
         },
         1},
        {"an existing file with --force", "code.svg", " --force",
         [](const fs::path &r) {
             std::ofstream(r / "code.svg") << "keep";
             fs::permissions(r / "code.svg", fs::perms::all);
         },
         0},
        {"a symbolic link", "code.svg", " --force",
         [](const fs::path &r) {
             std::ofstream(r / "victim") << "keep";
             fs::create_symlink(r / "victim", r / "code.svg");
         },
         1},
        {"a directory that does not exist", "/nonexistent-filter-otp/x.svg", "", nullptr, 1},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        SampleCopy s;
        if (c.plant)
            c.plant(s.root);
        fs::path target = c.target[0] == '/' ? fs::path(c.target) : s.root / c.target;
        Output out = run(tool("filter-otp") + " --dir " + s.root.string() + " new N0TOTP-0 --svg " + target.string() +
                         c.options);
        EXPECT_EQ(out.status, c.status) << out.text;
        if (c.status != 0) {
            EXPECT_EQ(out.text.find("otpauth"), std::string::npos) << "a secret shown in vain\n" << out.text;
            if (fs::exists(s.root / "victim")) {
                EXPECT_EQ(s.read("victim"), "keep");
            }
            if (fs::is_regular_file(fs::symlink_status(target))) {
                EXPECT_EQ(s.read(c.target), "keep");
            }
            continue;
        }
        EXPECT_EQ(s.read(c.target).rfind("<?xml", 0), 0u);
        EXPECT_EQ(fs::symlink_status(target).permissions(), owner_only);
        for (const auto &e : fs::directory_iterator(s.root))
            EXPECT_NE(e.path().extension(), ".new") << "a temporary stayed";
    }
}

TEST(FilterHost, DryRunListsWhatWouldBeWrittenAndWritesNothing)
{
    SampleCopy s;
    s.write("morvel/logexcld.prt", "\n[MORVEL v4.0] - Log\n         N0EXCL-0          1         21:30:05,27         08-12-2026\n");
    auto before = s.tree();
    std::string host = std::string(FILTER_HOST_PATH) + " --dir " + s.root.string() + " --dry-run ";
    Output connect = run(host + "--count 1 connect N0EXCL-0");
    EXPECT_EQ(connect.status, 2) << connect.text;
    EXPECT_NE(connect.text.find("created MAIL/MAIL.IN (mail)\n#\nSP N0SYS < MORVEL\nNEW USER\n"), std::string::npos)
        << connect.text;
    EXPECT_NE(connect.text.find("appended to morvel/logexcld.prt\n         N0EXCL-0"), std::string::npos) << connect.text;
    Output off = run(host + "command -off");
    EXPECT_NE(off.text.find("-off: the filter is now off: every new connection is admitted unfiltered\n"),
              std::string::npos) << off.text;
    EXPECT_NE(off.text.find("created morvel/morvel.sta\n"), std::string::npos) << off.text;
    Output log = run(host + "command -log");
    EXPECT_NE(log.text.find("-log: mailed to N0SYS; the mailed logs are removed\n"), std::string::npos) << log.text;
    EXPECT_NE(log.text.find("removed morvel/logexcld.prt\n"), std::string::npos) << log.text;
    EXPECT_EQ(s.tree(), before);
}

TEST(FilterHost, SaysWhatEachCommandDid)
{
    SampleCopy s;
    s.without_logs();
    struct { const char *command; const char *message; } rows[] = {
        {"command -of", "unknown command -of: nothing done"},
        {"command -on", "-on: the filter was already on: nothing done"},
        {"command -pbbs", "-pbbs : -pbbs: no port number given: nothing done"},
        {"command -pbbs 200", "-pbbs 200: port 200 is now reserved for BBSs"},
        {"command -pbbs 0x3", "-pbbs 0x3: -pbbs: 0x3 is not a port number (digits only, as 3): nothing done"},
        {"command -pnormal 3", "-pnormal 3: port 3 was not reserved: nothing done"},
        {"command -log", "-log: nothing mailed: there is no logexcld.prt or lognopas.prt"},
        {"connect N0CALL", "warning: N0CALL is not CALLSIGN-SSID (letters and digits, \"-\", a number): the filter "
                           "refuses the call (2) and leaves the reply empty"},
    };
    for (const auto &r : rows) {
        Output out = run(std::string(FILTER_HOST_PATH) + " --dir " + s.root.string() + " --dry-run " + r.command);
        EXPECT_NE(out.text.find(std::string(r.message) + "\n"), std::string::npos) << r.command << "\n" << out.text;
    }
}

// What a command did is read from what the module that ran it changed: the
// filter on a copy, then a module that is not the filter, whose "-log" mails
// another station and keeps the logs, and whose other commands do nothing.
TEST(FilterHost, SaysWhatACommandDidFromTheModuleItRan)
{
    SampleCopy s;
    s.write("morvel/logexcld.prt", "\n[MORVEL v4.0] - Log\n         N0EXCL-0          1         21:30:05,27         08-12-2026\n");
    std::string filter = " --dir " + s.root.string(), stand_in = filter + " --lib " + STAND_IN_MODULE_PATH;
    struct { std::string options, command, message; } rows[] = {
        {filter, "command -pbbs 1", "-pbbs 1: port 1 is now reserved for BBSs"},
        {filter, "command -pbbs 1", "-pbbs 1: port 1 was already reserved: nothing done"},
        {filter, "--dll command -PNORMAL 1", "-pnormal 1: port 1 is open to every station again"},
        {stand_in, "command -off", "-off: the filter was already off: nothing done"},
        {stand_in, "command -log", "-log: mailed to N0OTHER; the logs stay"},
        {filter, "command -log", "-log: mailed to N0SYS; the mailed logs are removed"},
        {filter, "command -log", "-log: nothing mailed: there is no logexcld.prt or lognopas.prt"},
        {filter, "command -off", "-off: the filter is now off: every new connection is admitted unfiltered"},
        {stand_in, "command -on", "-on: the filter was already on: nothing done"},
    };
    for (const auto &r : rows) {
        Output out = run(std::string(FILTER_HOST_PATH) + r.options + " " + r.command);
        EXPECT_EQ(out.text.substr(0, out.text.find('\n') + 1), r.message + "\n") << r.options << r.command;
    }
}

// The command line: options stand before or after the action, a command's
// word starts with "-" as an option does, and what does not fit is a usage
// error (100) that runs nothing.
TEST(FilterHost, ReadsItsCommandLine)
{
    SampleCopy s;
    auto before = s.tree();
    std::string host = std::string(FILTER_HOST_PATH) + " --dir " + s.root.string() + " --dry-run ";
    struct { const char *arguments; int status; const char *shown; } rows[] = {
        {"command -pbbs 7 --port 3", 0, "-pbbs 7: port 7 is now reserved for BBSs\n"},
        {"command --show morvel/7.prt -pbbs 7", 0, "-pbbs 7: port 7 is now reserved for BBSs\n"},
        {"connect N0OPEN-0 --port=2 --answer a --answer b", 0, "N0OPEN-0 connects on port 2 (flags 0, connection 2)\n"},
        {"--help", 0, "usage: filter-host [options] connect CALL-SSID\n"},
        {"", 100, ""},
        {"connect", 100, ""},
        {"connect N0OPEN-0 N0CALL-1", 100, ""},
        {"command", 100, ""},
        {"command -pbbs 7 8", 100, ""},
        {"call N0OPEN-0", 100, ""},
        {"--bogus connect N0OPEN-0", 100, ""},
        {"connect N0OPEN-0 --port", 100, ""},
        {"--port l connect N0OPEN-0", 100, ""},
        {"--line x connect N0OPEN-0", 100, ""},
        {"--dll connect N0OPEN-0", 100, ""},
    };
    for (const auto &r : rows) {
        Output out = run(host + r.arguments + " < /dev/null 2> /dev/null");
        EXPECT_EQ(out.status, r.status) << r.arguments << "\n" << out.text;
        EXPECT_NE(out.text.find(r.shown), std::string::npos) << r.arguments << "\n" << out.text;
        if (r.status == 100) {
            EXPECT_EQ(out.text, "") << r.arguments;
        }
    }
    EXPECT_EQ(s.tree(), before);
}

// A dry run is the real run with its writes held back: on every broken setup
// of the table, each station gets the verdict it gets from the module on a
// copy, and the dry run lists an error record exactly where the real run
// writes one. A state file is listed by station and kind, never by its answer.
TEST(FilterHost, DryRunGivesTheRealVerdictAndErrorsOnEveryBrokenSetup)
{
    // A station of each method that a row breaks, on the port whose line a row breaks.
    const std::string pairs = " N0CALL-1:1 N0FIX-0:1 N0TBL-0:1 N0FLEX-0:1 N0OPEN-0:2 N9ABC-1:2";
    for (const BrokenSetup &row : broken_setups) {
        if (row.denied)
            continue;   // the module the simulator loads takes no permission away
        SampleCopy s;
        row.edit(s);
        // Each pair: its verdict in a dry run, in the real run, and whether each wrote error.prt.
        std::string host = std::string(FILTER_HOST_PATH) + " --dir " + s.root.string();
        Output out = run("cd " + s.root.string() + " && for p in" + pairs + "; do st=${p%:*}; po=${p#*:}; " +
                         host + " --dry-run --port $po connect $st < /dev/null > dry.txt; d=$?; "
                         "de=$(grep -ciE '^(created|appended to|rewritten) morvel/error.prt' dry.txt); "
                         "grep -q letmein7 dry.txt && echo password shown; "
                         "before=$(cksum < morvel/error.prt 2>/dev/null); " +
                         host + " --port $po connect $st < /dev/null > /dev/null; r=$?; "
                         "after=$(cksum < morvel/error.prt 2>/dev/null); "
                         "echo \"$st $po dry $d $de real $r $([ \"$after\" != \"$before\" ] && echo 1 || echo 0)\"; done");
        std::istringstream lines(out.text);
        int compared = 0;
        for (std::string line; std::getline(lines, line);) {
            std::istringstream f(line);
            std::string station, port, dry_word, real_word;
            int dry, dry_error, real, real_error;
            ASSERT_TRUE(f >> station >> port >> dry_word >> dry >> dry_error >> real_word >> real >> real_error)
                << row.name << ": " << line;
            EXPECT_EQ(dry, real) << row.name << ": " << station << " on port " << port;
            EXPECT_EQ(dry_error, real_error) << row.name << ": " << station << " on port " << port;
            compared++;
        }
        EXPECT_EQ(compared, 6) << row.name << "\n" << out.text;
    }
}

TEST(FilterHost, DryRunShowsAStateFileByStationAndKindOnly)
{
    SampleCopy s;
    Output out = run(std::string(FILTER_HOST_PATH) + " --dir " + s.root.string() +
                     " --dry-run connect N0FIX-0 < /dev/null");
    EXPECT_NE(out.text.find("created morvel/N0FIX0.TMP\n(a challenge's state file for N0FIX-0, FIXED: the whole "
                            "password; the expected answer is not shown)\n"),
              std::string::npos) << out.text;
    EXPECT_EQ(out.text.find("letmein7"), std::string::npos) << out.text;
}

TEST(FilterHost, ScratchCopyIsOwnerOnlyAndRemovedOnInterrupt)
{
    SampleCopy s;
    // The simulator waits for an answer on standard input, a pipe that this
    // shell keeps open, and is interrupted there; no other process holds the
    // output open after the shell ends.
    std::string cmd = "cd " + s.root.string() + " && a=$(mktemp -u /tmp/filter-answers-XXXXXX) && mkfifo \"$a\" && (" +
                      FILTER_HOST_PATH + " --scratch connect N0FIX-0 < \"$a\" > out.txt 2>&1 & echo $! > pid; "
                      "exec 3> \"$a\"; rm \"$a\"; "
                      "for i in $(seq 100); do grep -q '^answer>' out.txt && break; sleep 0.1; done; "
                      "d=$(sed -n 's/^working on a scratch copy: //p' out.txt); stat -c %a \"$d\" \"$d/morvel/users.prt\"; "
                      "kill -INT $(cat pid); for i in $(seq 100); do test -e \"$d\" || break; sleep 0.1; done; "
                      "test -e \"$d\" && echo still there || echo gone)";
    Output out = run(cmd);
    EXPECT_EQ(out.text, "700\n600\ngone\n");
}

// A copy that stops half-way (a named pipe is no file to copy) leaves
// nothing behind in the temporary directory.
TEST(FilterHost, ScratchCopyThatFailsLeavesNothing)
{
    SampleCopy s;
    ASSERT_EQ(mkfifo((s.root / "morvel/zz-pipe").c_str(), 0600), 0);
    char pattern[] = "/tmp/filter-scratch-XXXXXX";
    fs::path tmp = mkdtemp(pattern);
    Output out = run("cd " + s.root.string() + " && TMPDIR=" + tmp.string() + " " + FILTER_HOST_PATH +
                     " --scratch connect N0FIX-0 < /dev/null 2>&1");
    EXPECT_EQ(out.status, 100) << out.text;
    EXPECT_NE(out.text.find("filter-host: cannot copy ./morvel/zz-pipe: neither a file nor a directory\n"),
              std::string::npos) << out.text;
    EXPECT_TRUE(fs::is_empty(tmp)) << fs::directory_iterator(tmp)->path();
    fs::remove_all(tmp);
}

TEST(FilterCompare, WildcardEditListsExactlyTheStationsItAffects)
{
    SampleCopy old_setup, new_setup;
    new_setup.replace_line("morvel/users.prt", "N9*", "N9Z*");
    old_setup.write("stations.txt", "N9ABC-1 1\nN9ZED-2 1\nN9ABC-1 2\nN0CALL-1 1\nN0OPEN-0 1\n");
    Output out = run(tool("filter-compare") + " " + old_setup.root.string() + " " + new_setup.root.string() +
                     " --stations " + (old_setup.root / "stations.txt").string());
    EXPECT_EQ(out.status, 1) << out.text;
    EXPECT_EQ(out.text,
              "N9ABC-1 port 1:\n"
              "  old: 2 refused, EXCLUDED (3) (config.prt:76, users.prt:118)\n"
              "  new: 0 admitted, OPEN (1) (config.prt:76, users.prt: no line (the port's method))\n"
              "N9ABC-1 port 2:\n"
              "  old: 0 admitted, OPEN (1) (config.prt:77, users.prt:119)\n"
              "  new: 3 admitted read-only, READONLY (11) (config.prt:77, users.prt: no line (the port's method))\n"
              "filter-compare: 5 stations compared, 2 would change\n");
}

TEST(FilterCompare, TakesTheStationsFromTheOldSetupsLogs)
{
    SampleCopy old_setup, new_setup;
    old_setup.without_logs();
    new_setup.replace_line("morvel/users.prt", "N9*", "N9Z*");
    old_setup.write("morvel/logexcld.prt", "\n[MORVEL v4.0] - Log\n         N9ABC -1          1         21:30:05,27"
                                           "         08-12-2026\n         N9ZED -2          1         21:31:05,27"
                                           "         08-12-2026\n");
    auto before = old_setup.tree();
    Output out = run(tool("filter-compare") + " " + old_setup.root.string() + " " + new_setup.root.string());
    EXPECT_EQ(out.status, 1) << out.text;
    EXPECT_NE(out.text.find("N9ABC-1 port 1:\n"), std::string::npos) << out.text;
    EXPECT_EQ(out.text.find("N9ZED"), std::string::npos) << out.text;
    EXPECT_NE(out.text.find("filter-compare: 2 stations compared, 1 would change\n"), std::string::npos) << out.text;
    EXPECT_EQ(old_setup.tree(), before);
}

TEST(FilterCompare, ComparingNothingExitsTwoAndSaysWhy)
{
    SampleCopy old_setup, new_setup;
    old_setup.without_logs();
    old_setup.write("empty.txt", "");
    old_setup.write("other.txt", "# a list of the wrong format\nN9ABC 1\nport 1: N9ABC-1\n");
    struct { const char *stations; const char *message; } rows[] = {
        {"", "filter-compare: no station to compare: the logs of OLD_DIR (morvel/logcnx, logexcld.prt, "
             "lognopas.prt) name none; give a list with --stations FILE\n"},
        {"empty.txt", "filter-compare: no station to compare: the station list holds no \"CALLSIGN-SSID PORT\" "
                      "line\n"},
        {"other.txt", "other.txt:2: not \"CALLSIGN-SSID PORT\": N9ABC 1\nother.txt:3: not \"CALLSIGN-SSID PORT\": "
                      "port 1: N9ABC-1\nfilter-compare: no station to compare: the station list holds no "
                      "\"CALLSIGN-SSID PORT\" line\n"},
    };
    for (const auto &r : rows) {
        std::string list = r.stations[0] ? std::string(" --stations ") + r.stations : "";
        Output out = run("cd " + old_setup.root.string() + " && " + tool("filter-compare") + " . " +
                         new_setup.root.string() + list + " 2>&1");
        EXPECT_EQ(out.status, 2) << r.stations;
        EXPECT_EQ(out.text, r.message) << r.stations;
        Output quiet = run("cd " + old_setup.root.string() + " && " + tool("filter-compare") + " -q . " +
                           new_setup.root.string() + list + " 2>&1");
        EXPECT_EQ(quiet.status, 2) << r.stations;
        EXPECT_EQ(quiet.text, "") << r.stations;
    }
}

TEST(FilterCompare, QuietTellsByItsStatusAndJsonListsTheChangedStations)
{
    SampleCopy old_setup, new_setup;
    new_setup.replace_line("morvel/users.prt", "N9*", "N9Z*");
    old_setup.write("stations.txt", "N9ABC-1 1\nN9ZED-2 1\nN0FIX-0 1\n");
    std::string args = " " + old_setup.root.string() + " " + new_setup.root.string() + " --stations " +
                       (old_setup.root / "stations.txt").string();
    Output quiet = run(tool("filter-compare") + " -q" + args);
    EXPECT_EQ(quiet.status, 1);
    EXPECT_EQ(quiet.text, "");
    Output json = run(tool("filter-compare") + " --json" + args);
    EXPECT_EQ(json.status, 1);
    EXPECT_EQ(json.text,
              "{\"compared\":3,\"changed\":1,\"stations\":[\n"
              "  {\"station\":\"N9ABC-1\",\"port\":1,"
              "\"old\":{\"verdict\":2,\"verdict_text\":\"2 refused\",\"method\":\"EXCLUDED (3)\",\"challenge\":null,"
              "\"decided_by\":\"config.prt:76, users.prt:118\"},"
              "\"new\":{\"verdict\":0,\"verdict_text\":\"0 admitted\",\"method\":\"OPEN (1)\",\"challenge\":null,"
              "\"decided_by\":\"config.prt:76, users.prt: no line (the port's method)\"}}\n"
              "]}\n");
    Output same = run(tool("filter-compare") + " --json " + old_setup.root.string() + " " +
                      old_setup.root.string() + " --stations " + (old_setup.root / "stations.txt").string());
    EXPECT_EQ(same.status, 0);
    EXPECT_EQ(same.text, "{\"compared\":3,\"changed\":0,\"stations\":[]}\n");
}
// Every tool names itself and the option it does not know, and a --json run
// that fails still prints one JSON object, with the error and the status.
TEST(Tools, UsageErrorsNameTheToolAndJsonRunsPrintAnObject)
{
    SampleCopy s;
    s.write("empty.txt", "");
    std::string dir = s.root.string();
    struct {
        std::string command;
        int status;
        const char *error;     // the line on standard error
        const char *json;      // the standard output, "" for none
    } rows[] = {
        {tool("filter-check") + " --bogus " + dir, 100, "filter-check: unknown option --bogus; see --help", ""},
        {tool("filter-explain") + " -V N0CALL-1 --port 1", 100, "filter-explain: unknown option -V; see --help", ""},
        {tool("filter-compare") + " --nope " + dir + " " + dir, 100, "filter-compare: unknown option --nope; see --help", ""},
        {tool("filter-otp") + " list N0HOTP-0 --count 1 --bogus", 100, "filter-otp: unknown option --bogus; see --help", ""},
        {std::string(FILTER_HOST_PATH) + " --bogus connect N0OPEN-0", 100, "filter-host: unknown option --bogus; see --help", ""},
        {tool("filter-check") + " --json /no/such/dir", 100, "filter-check: /no/such/dir is not a directory",
         "{\"error\":\"/no/such/dir is not a directory\",\"status\":100}\n"},
        {tool("filter-check") + " --json --bogus " + dir, 100, "filter-check: unknown option --bogus; see --help",
         "{\"error\":\"unknown option --bogus; see --help\",\"status\":100}\n"},
        {tool("filter-check") + " --dump --json " + dir, 100, "filter-check: --json excludes --dump; see --help",
         "{\"error\":\"--json excludes --dump; see --help\",\"status\":100}\n"},
        {tool("filter-compare") + " --json " + dir + " " + dir + " --stations " + dir + "/empty.txt", 2,
         "filter-compare: no station to compare: the station list holds no \"CALLSIGN-SSID PORT\" line",
         "{\"error\":\"no station to compare: the station list holds no \\\"CALLSIGN-SSID PORT\\\" line\",\"status\":2}\n"},
    };
    for (const auto &r : rows) {
        Output out = run(r.command + " 2>" + dir + "/stderr.txt");
        EXPECT_EQ(out.status, r.status) << r.command;
        EXPECT_EQ(s.read("stderr.txt"), std::string(r.error) + "\n") << r.command;
        EXPECT_EQ(out.text, r.json) << r.command;
    }
}

// With MORVEL (or --morvel) absolute, each path is printed as the sysop typed
// it: never behind the setup's directory, and in the sysop's own spelling,
// which the filter upper-cases.
TEST(Tools, PathsThroughMorvelAsTheSysopTypesThem)
{
    SampleCopy s;
    fs::create_directory(s.root / "Filter");
    fs::copy(s.root / "morvel/config.prt", s.root / "Filter/config.prt");
    fs::copy(s.root / "morvel/users.prt", s.root / "Filter/users.prt");
    std::string morvel = (s.root / "Filter").string();
    Output explain = run("cd " + s.root.string() + " && MORVEL=" + morvel + " " + tool("filter-explain") +
                         " . N0EXCL-0 --port 1");
    EXPECT_NE(explain.text.find("config.prt:   " + morvel + "/config.prt:76 decides port 1"), std::string::npos)
        << explain.text;
    EXPECT_NE(explain.text.find("users.prt:    " + morvel + "/users.prt:55 is the station's header"),
              std::string::npos) << explain.text;
    Output check = run("cd " + s.root.parent_path().string() + " && env -u MORVEL " + tool("filter-check") + " " +
                       s.root.filename().string() + " --morvel " + morvel);
    EXPECT_NE(check.text.find("filter-check: reads " + morvel + "/config.prt and " + morvel + "/users.prt (--morvel " +
                              morvel + ")\n"), std::string::npos) << check.text;
    EXPECT_NE(check.text.find("\n" + morvel + "/config.prt: warning: port 4 (HF) has no port line"), std::string::npos)
        << check.text;
    Output json = run("cd " + s.root.string() + " && MORVEL=" + morvel + " " + tool("filter-check") + " --json .");
    EXPECT_NE(json.text.find("\"config\":\"" + morvel + "/config.prt\""), std::string::npos) << json.text;
}

// A file the account may not read is named with the missing permission by
// every tool, not taken for an empty or missing one.
TEST(Tools, AnUnreadableFileIsNamedWithTheMissingPermission)
{
    SampleCopy s;
    s.write("stations.txt", "N0CALL-1 1\n");
    s.write("morvel/otpused.prt", "");
    std::string dir = s.root.string();
    struct {
        const char *denied;
        std::string command;
        int status;
        const char *message;
    } rows[] = {
        {"r:morvel\\users.prt", "filter-otp-denied --dir . list N0HOTP-0 --count 1", 1,
         "filter-otp: cannot read morvel/users.prt: the read permission is missing for the account running filter-otp"},
        {"r:init.srv", "filter-otp-denied --dir . new N0TOTP-0", 1,
         "filter-otp: cannot read init.srv: the read permission is missing for the account running filter-otp"},
        {"r:morvel\\otpused.prt", "filter-otp-denied --dir . list N0HOTP-0 --count 1", 1,
         "filter-otp: cannot read morvel/otpused.prt: the read permission is missing for the account running filter-otp"},
        {"r:stations.txt", "filter-compare-denied . . --stations stations.txt", 100,
         "filter-compare: cannot read stations.txt: the read permission is missing for the account running "
         "filter-compare"},
        {"r:./morvel/users.prt", "filter-host-denied --scratch connect N0FIX-0", 100,
         "filter-host: cannot copy ./morvel/users.prt: the read permission is missing for the account running "
         "filter-host"},
    };
    for (const auto &r : rows) {
        Output out = run("cd " + dir + " && FILTER_TEST_DENY='" + r.denied + "' " +
                         (fs::path(FILTER_HOST_PATH).parent_path() / r.command).string() + " < /dev/null 2>&1");
        EXPECT_EQ(out.status, r.status) << r.command << "\n" << out.text;
        EXPECT_NE(out.text.find(std::string(r.message) + "\n"), std::string::npos) << r.command << "\n" << out.text;
    }
}

// A secret shown again starts the HOTP app at the code the filter expects
// next; a station listed under HOTP gets no TOTP line; the port of a list
// must be one its entry serves; --dir may follow the subcommand.
TEST(FilterOtp, HotpCounterMethodAndPort)
{
    SampleCopy s;
    const std::string secret = "GEZDGNBVGY3TQOJQGEZDGNBVGY3TQOJQ";
    std::string host = std::string(FILTER_HOST_PATH) + " --dir " + s.root.string() + " --password " + secret +
                       " connect N0HOTP-0 < /dev/null";
    ASSERT_EQ(run(host).status, 0);
    ASSERT_EQ(run(host).status, 0);
    std::string otp = tool("filter-otp") + " --dir " + s.root.string();
    Output again = run(otp + " new N0HOTP-0 --hotp --secret " + secret);
    EXPECT_EQ(again.status, 0) << again.text;
    EXPECT_NE(again.text.find("&counter=2\n"), std::string::npos) << again.text;
    EXPECT_NE(again.text.find("The filter expects code number 2 next"), std::string::npos) << again.text;
    EXPECT_NE(run(otp + " list N0HOTP-0 --count 1").text.find("     2  "), std::string::npos);

    Output totp = run(otp + " new N0HOTP-0 --secret " + secret + " 2>&1");
    EXPECT_EQ(totp.status, 1) << totp.text;
    EXPECT_EQ(totp.text, "filter-otp: N0HOTP-0 is listed under HOTP (users.prt:134): give --hotp for its secret and "
                         "the code it is at, or change its line first\n");

    s.write("morvel/users.prt", s.read("morvel/users.prt") + "N1HOT\n1  HOTP  " + secret + "\n-\n");
    Output port = run(otp + " list N1HOT-0 --count 1 --port 2 2>&1");
    EXPECT_EQ(port.status, 100) << port.text;
    EXPECT_EQ(port.text, "filter-otp: users.prt has no line for N1HOT-0 on port 2: give --port with a port of its "
                         "entry\n");
    EXPECT_EQ(run(otp + " list N1HOT-0 --count 1 --port 300 2>&1").status, 100);
    EXPECT_EQ(run(tool("filter-otp") + " list N1HOT-0 --count 1 --dir " + s.root.string()).status, 0);
}

TEST(FilterCheck, AWrongMethodOnAPortLineLeavesItsPortNamed)
{
    SampleCopy s;
    s.replace_line("morvel/config.prt", "VHF EXCLUDED", "VHF NORMAL");
    Output out = run("cd " + s.root.string() + " && " + tool("filter-check") + " .");
    EXPECT_NE(out.text.find("morvel/config.prt:78: error: \"VHF NORMAL\" is not a port and its method"),
              std::string::npos) << out.text;
    EXPECT_EQ(out.text.find("port 3 (VHF) has no port line"), std::string::npos) << out.text;
}
#endif
