// exposure_test.cpp - the exposure meter: what a listener hears of each
// password is recorded at every right plain answer, the figure is the chance
// that the listener answers the next challenge, a changed password starts
// from nothing, the sysops hear once when a password reaches guard.prt's
// EXPOSURE, and morvel\exposure.dat stays whole whatever fails.
#include "auth/exposure.h"
#include "common/access_methods.h"
#include "support/challenge_reply.h"
#include "support/host_dir.h"
#include "support/reported_error.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <regex>
#include <set>
#include <string>
#include <vector>

namespace {

const char *const RECORD = "morvel/exposure.dat";

// The station N0ABC-0 under one entry line on every port, three attempts.
void set_up(HostDir &h, const std::string &entry_line, const std::string &guard = "")
{
    write_filter_config(h, FilterOptions());
    h.write_users("N0ABC\n" + entry_line + "\n-\n");
    if (!guard.empty())
        h.write("morvel/guard.prt", guard);
}

// answer_right - one challenge of N0ABC-0 answered right; what it showed.
ChallengeLine answer_right(HostDir &h, const std::string &password, int expected_verdict = 0)
{
    ChallengeLine c = parse_challenge(h.connect("N0ABC-0", 1).reply);
    std::string answer;
    if (c.form == CHALLENGE_FLEXNET)
        answer = std::to_string(flexnet_answer(password, c.digits));
    else if (c.form == CHALLENGE_FIXED)
        answer = password;
    else
        answer = chars_at(password, c.positions);
    EXPECT_EQ(h.answer("N0ABC-0", 1, answer).result, expected_verdict) << answer;
    return c;
}

// exposure_of - the record and the figure of a password under method, through the tools' look-up.
struct Exposure {
    int found;
    ExposureRecord record;
    ExposureFigure figure;
};
Exposure exposure_of(const std::string &password, unsigned method)
{
    Exposure x;
    x.found = password_exposure(password.c_str(), method, &x.record, &x.figure);
    return x;
}

// heard_positions - the 0-based positions a record has heard.
std::set<int> heard_positions(const ExposureRecord &r)
{
    std::set<int> out;
    for (int p = 0; p < PASSWORD_MAX; p++)
        if (position_heard(&r, p))
            out.insert(p);
    return out;
}

// zero_based - shown 1-based positions into a set of 0-based ones.
void add_shown(std::set<int> *into, const std::vector<int> &shown)
{
    for (int p : shown)
        into->insert(p - 1);
}

long exposure_mails(const HostDir &h)
{
    return h.exists(MAIL_IMPORT) ? count_lines(h.read(MAIL_IMPORT), "EXPOSED") : 0;
}

std::string tag_of(const std::string &password)
{
    char tag[EXPOSURE_TAG_TEXT];
    exposure_tag(password.c_str(), tag);
    return tag;
}

// lines_of - the lines of file that belong to password, without their ends.
std::vector<std::string> lines_of(const std::string &file, const std::string &password)
{
    std::string tag = tag_of(password) + " ";
    std::vector<std::string> out;
    for (size_t at = 0; at < file.size();) {
        size_t end = file.find('\n', at);
        std::string line = file.substr(at, end == std::string::npos ? std::string::npos : end - at);
        if (line.compare(0, tag.size(), tag) == 0)
            out.push_back(line);
        at = end == std::string::npos ? file.size() : end + 1;
    }
    return out;
}

bool temporary_left(const HostDir &h)
{
    for (const auto &name : h.list("morvel"))
        if (name.size() > 4 && name.compare(name.size() - 4, 4, ".new") == 0)
            return true;
    return false;
}

// ---- the FLEXNET count, the plain way ----------------------------------------

using Key = std::array<int, 5>;

Key digits_of(long n)
{
    Key k;
    for (int i = 4; i >= 0; i--, n /= 10)
        k[(size_t)i] = (int)(n % 10);
    return k;
}

int weighted_sum(const Key &k, const std::string &shown)
{
    int s = 0;
    for (size_t i = 0; i < 5; i++)
        s += k[i] * (shown[i] - '0');
    return s;
}

// brute_keys - every key that gives each equation the sum the key gives it.
std::vector<Key> brute_keys(const std::string &key, const std::vector<std::string> &equations)
{
    Key truth = digits_of(std::stol(key));
    std::vector<Key> left;
    for (long n = 0; n < 100000; n++) {
        Key k = digits_of(n);
        bool agrees = true;
        for (const auto &e : equations)
            agrees = agrees && weighted_sum(k, e) == weighted_sum(truth, e);
        if (agrees)
            left.push_back(k);
    }
    return left;
}

// brute_chance - for every challenge, the largest group of the keys left
// that give one sum, over how many are left; averaged.
double brute_chance(const std::string &key, const std::vector<std::string> &equations)
{
    std::vector<Key> left = brute_keys(key, equations);
    long long total = 0;
    std::vector<int> counts(406);
    for (long d = 0; d < 100000; d++) {
        std::string shown = std::to_string(100000 + d).substr(1);
        std::fill(counts.begin(), counts.end(), 0);
        int most = 0;
        for (const Key &k : left)
            most = std::max(most, ++counts[(size_t)weighted_sum(k, shown)]);
        total += most;
    }
    return (double)total / 1e5 / (double)left.size();
}

// brute_guess - nothing heard: for every challenge, how many of all keys
// give the likeliest sum, by counting the sums digit by digit.
double brute_guess(void)
{
    long long total = 0;
    for (long d = 0; d < 100000; d++) {
        std::string shown = std::to_string(100000 + d).substr(1);
        std::vector<long> counts(406, 0);
        counts[0] = 1;
        for (char c : shown) {
            std::vector<long> next(406, 0);
            for (size_t s = 0; s < counts.size(); s++)
                for (int v = 0; v < 10 && counts[s]; v++)
                    if (s + (size_t)(v * (c - '0')) < next.size())
                        next[s + (size_t)(v * (c - '0'))] += counts[s];
            counts = next;
        }
        total += *std::max_element(counts.begin(), counts.end());
    }
    return (double)total / 1e5 / 1e5;
}

std::vector<std::array<char, EXPOSURE_DRAWN + 1>> as_equations(const std::vector<std::string> &shown)
{
    std::vector<std::array<char, EXPOSURE_DRAWN + 1>> out(shown.size());
    for (size_t i = 0; i < shown.size(); i++)
        snprintf(out[i].data(), out[i].size(), "%s", shown[i].c_str());
    return out;
}

double flexnet_of(const std::string &key, const std::vector<std::string> &shown)
{
    auto eq = as_equations(shown);
    return flexnet_chance(key.c_str(), (const char(*)[EXPOSURE_DRAWN + 1])eq.data(), (int)eq.size());
}

}  // namespace

// The positions figure, worked by hand: C(heard, 5) / C(length, 5), nothing
// below five heard, certain once all are; a password of fewer than five is
// asked whole at every challenge, so one answer gives it away.
TEST(Exposure, PositionsFigureIsTheShareOfDrawsAllHeard)
{
    const struct {
        int heard, length;
        double chance;
        const char *text;
    } cases[] = {
        {0, 10, 0.0, "none yet"},
        {4, 10, 0.0, "none yet"},
        {5, 10, 1.0 / 252, "1 in 252"},       // C(10,5) = 252
        {6, 10, 6.0 / 252, "1 in 42"},        // C(6,5) = 6
        {9, 10, 126.0 / 252, "1 in 2"},     // C(9,5) = 126
        {10, 10, 1.0, "1 in 1"},
        {5, 7, 1.0 / 21, "1 in 21"},          // C(7,5) = 21
        {7, 12, 21.0 / 792, "1 in 38"},       // C(12,5) = 792
        {5, 5, 1.0, "1 in 1"},
        {3, 3, 1.0, "1 in 1"},               // every challenge asks all three
        {2, 3, 0.0, "none yet"},
        {1, 1, 1.0, "1 in 1"},
        {5, 300, 1.0 / 19582837560.0, "1 in 19582837560"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(std::to_string(c.heard) + " of " + std::to_string(c.length));
        EXPECT_NEAR(positions_chance(c.heard, c.length), c.chance, c.chance * 1e-12);
        char text[EXPOSURE_TEXT];
        chance_text(positions_chance(c.heard, c.length), text, sizeof text);
        EXPECT_STREQ(text, c.text);
    }
}

// FLEXNET, 1 to 5 equations heard of the key 30719, and one that fixes a
// digit outright: the filter's count against the plain one written above.
TEST(Exposure, FlexnetFigureMatchesTheBruteForceCount)
{
    const std::vector<std::vector<std::string>> cases = {
        {"31415"},
        {"31415", "27182"},
        {"31415", "27182", "16180"},
        {"31415", "27182", "16180", "14142"},
        {"31415", "27182", "16180", "14142", "22360"},
        {"12000"},              // two digits tied, three free: 2,000 keys left
        {"10000", "31415"},     // the first digit heard outright
    };
    for (const auto &shown : cases) {
        SCOPED_TRACE(shown.size());
        SCOPED_TRACE(shown.back());
        auto eq = as_equations(shown);
        EXPECT_EQ(flexnet_keys_left("30719", (const char(*)[EXPOSURE_DRAWN + 1])eq.data(), (int)eq.size()),
                  (long)brute_keys("30719", shown).size());
        double expected = brute_chance("30719", shown);
        EXPECT_NEAR(flexnet_of("30719", shown), expected, 1e-12);
        EXPECT_LE(expected, 1.0);
    }
    EXPECT_DOUBLE_EQ(flexnet_of("30719", {"31415", "27182", "16180", "14142", "22360"}), 1.0)
        << "five independent equations leave one key";
}

// Nothing heard, a FLEXNET key is still guessed: the likeliest sum of all
// keys, about 1 in 77, the same for every key.
TEST(Exposure, FlexnetWithNothingHeardIsTheGuessOfTheLikeliestSum)
{
    double guess = flexnet_of("30719", {});
    EXPECT_NEAR(guess, brute_guess(), 1e-12);
    EXPECT_EQ(flexnet_of("00000", {}), guess);
    char text[EXPOSURE_TEXT];
    chance_text(guess, text, sizeof text);
    EXPECT_STREQ(text, "1 in 77");
}

TEST(Exposure, EquationsCountAsTheIndependentOnes)
{
    const struct {
        std::vector<std::string> shown;
        int rank;
    } cases[] = {
        {{}, 0},
        {{"00000"}, 0},
        {{"10000", "20000", "30000"}, 1},
        {{"31415", "27182"}, 2},
        {{"12340", "24680", "11111"}, 2},     // the second is twice the first
        {{"10000", "01000", "00100", "00010", "00001", "99999"}, 5},
    };
    for (const auto &c : cases) {
        auto eq = as_equations(c.shown);
        EXPECT_EQ(equations_rank((const char(*)[EXPOSURE_DRAWN + 1])eq.data(), (int)eq.size()), c.rank);
    }
}

// NORMAL through svc_main: each right answer adds the positions it showed,
// and the figure follows; the file holds a tag and positions, never a
// character of the password. Wrong answers add nothing.
TEST(Exposure, NormalAnswersAddThePositionsShown)
{
    HostDir h;
    set_up(h, "* NORMAL Zq8Wm3Kx7P");
    ChallengeLine wrong = parse_challenge(h.connect("N0ABC-0", 1).reply);
    ASSERT_EQ(wrong.positions.size(), 5u);
    h.answer("N0ABC-0", 1, "~~~~~");
    EXPECT_FALSE(h.exists(RECORD)) << "a wrong answer tells a listener nothing right";
    h.answer("N0ABC-0", 2, "~~~~~");
    h.answer("N0ABC-0", 3, "~~~~~");
    std::set<int> shown;
    for (int i = 0; i < 4; i++) {
        add_shown(&shown, answer_right(h, "Zq8Wm3Kx7P").positions);
        Exposure x = exposure_of("Zq8Wm3Kx7P", METHOD_NORMAL);
        ASSERT_EQ(x.found, 1);
        EXPECT_EQ(heard_positions(x.record), shown);
        EXPECT_EQ(x.record.kind, EXPOSURE_POSITIONS);
        EXPECT_STREQ(x.record.since, "08-12-2026");
        EXPECT_STREQ(x.record.station, "N0ABC-0");
        EXPECT_EQ(x.figure.heard, (int)shown.size());
        EXPECT_EQ(x.figure.of, 10);
        EXPECT_DOUBLE_EQ(x.figure.chance, positions_chance((int)shown.size(), 10));
    }
    // One line for each answer that added positions, at most four.
    std::vector<std::string> lines = lines_of(h.read(RECORD), "Zq8Wm3Kx7P");
    EXPECT_GE(lines.size(), 1u);
    EXPECT_LE(lines.size(), 4u);
    for (const std::string &line : lines)
        EXPECT_TRUE(std::regex_match(line, std::regex("[0-9a-f]{8} POSITIONS 08-12-2026 N0ABC-0 0 [0-9a-f]{1,3}")))
            << line;
    EXPECT_TRUE(nothing_reported(h));
}

// A password's lines add up, in file order; a line cut short by a crash
// adds what it still holds and the next line starts on a line of its own;
// the password's fifth line is a rewrite of the file that leaves one line
// for it, and every other password's lines as they were.
TEST(Exposure, LinesOfAPasswordAddUpAndAreJoinedAtTheFifth)
{
    HostDir h;
    set_up(h, "* NORMAL Zq8Wm3Kx7PaB");
    std::string tag = tag_of("Zq8Wm3Kx7PaB");
    std::string other = "0badc0de WHOLE 01-01-2026 N9ZZZ-1 1 -\n";
    h.write(RECORD, other + tag + " POSITIONS 02-02-2026 N0ABC-1 0 1\n" + tag + " POSITIONS 03-03-2026 N0ABC-2 1 2\n" +
                        tag + " POSITIONS 04-04-2026 N0ABC-3 0 4");   // cut short: no line end
    Exposure x = exposure_of("Zq8Wm3Kx7PaB", METHOD_NORMAL);
    ASSERT_EQ(x.found, 1);
    EXPECT_EQ(heard_positions(x.record), (std::set<int>{0, 1, 2}));
    EXPECT_STREQ(x.record.since, "02-02-2026") << "the first line's";
    EXPECT_STREQ(x.record.station, "N0ABC-3") << "the last line's";
    EXPECT_TRUE(x.record.mailed) << "once any line says so";

    std::set<int> shown = {0, 1, 2};
    add_shown(&shown, answer_right(h, "Zq8Wm3Kx7PaB").positions);
    std::vector<std::string> lines = lines_of(h.read(RECORD), "Zq8Wm3Kx7PaB");
    ASSERT_EQ(lines.size(), 4u) << h.read(RECORD);
    EXPECT_EQ(lines[2], tag + " POSITIONS 04-04-2026 N0ABC-3 0 4") << "the cut line stays a line of its own";
    EXPECT_EQ(heard_positions(exposure_of("Zq8Wm3Kx7PaB", METHOD_NORMAL).record), shown);

    // The next answer that adds positions rewrites the file.
    for (int i = 0; i < 20 && lines_of(h.read(RECORD), "Zq8Wm3Kx7PaB").size() == 4; i++)
        add_shown(&shown, answer_right(h, "Zq8Wm3Kx7PaB").positions);
    std::string file = h.read(RECORD);
    lines = lines_of(file, "Zq8Wm3Kx7PaB");
    ASSERT_EQ(lines.size(), 1u) << file;
    std::string begins = tag + " POSITIONS 02-02-2026 N0ABC-0 1 ";
    EXPECT_EQ(lines[0].compare(0, begins.size(), begins), 0) << file;
    EXPECT_EQ(heard_positions(exposure_of("Zq8Wm3Kx7PaB", METHOD_NORMAL).record), shown);
    EXPECT_NE(file.find(other), std::string::npos) << file;
    EXPECT_FALSE(temporary_left(h));
}

// What each method lets a listener hear: the MD5 method's plain answer adds
// positions, its digest answer nothing; FIXED the whole password; FLEXNET
// the digits shown; FORWARD and the one-time codes nothing.
TEST(Exposure, EachMethodRecordsWhatGoesOutInClear)
{
    {
        HostDir h;
        set_up(h, "* MD5 MdSecret12");
        ChallengeLine c = parse_challenge(h.connect("N0ABC-0", 1).reply);
        ASSERT_EQ(h.answer("N0ABC-0", 1, digest_text(true, c.digits + "MdSecret12")).result, 0);
        EXPECT_FALSE(h.exists(RECORD)) << "a digest gives nothing away";
        std::set<int> shown;
        add_shown(&shown, answer_right(h, "MdSecret12").positions);
        EXPECT_EQ(heard_positions(exposure_of("MdSecret12", METHOD_MD5).record), shown);
    }
    {
        HostDir h;
        set_up(h, "* FIXED Fixed-Pass");
        EXPECT_EQ(exposure_of("Fixed-Pass", METHOD_FIXED).figure.chance, 0.0);
        answer_right(h, "Fixed-Pass");
        Exposure x = exposure_of("Fixed-Pass", METHOD_FIXED);
        EXPECT_EQ(x.found, 1);
        EXPECT_EQ(x.figure.chance, 1.0);
        char text[EXPOSURE_TEXT];
        heard_text(&x.figure, text, sizeof text);
        EXPECT_STREQ(text, "the whole password heard");
    }
    {
        HostDir h;
        set_up(h, "* FLEXNET 30719");
        ChallengeLine c = answer_right(h, "30719");
        Exposure x = exposure_of("30719", METHOD_FLEXNET);
        ASSERT_EQ(x.found, 1);
        ASSERT_EQ(x.record.equation_count, 1);
        EXPECT_EQ(std::string(x.record.equations[0]), c.digits);
        if (c.digits != "00000") {
            EXPECT_EQ(x.figure.heard, 1);
            EXPECT_NEAR(x.figure.chance, flexnet_of("30719", {c.digits}), 1e-12);
        }
    }
    for (const char *line : {"* FORWARD FwdSecret", "* TOTP JBSWY3DPEHPK3PXPJBSWY3DPEHPK3PXP"}) {
        HostDir h;
        set_up(h, line);
        ChallengeLine c = parse_challenge(h.connect("N0ABC-0", 1).reply);
        std::string state = h.read("morvel/N0ABC0.TMP");
        EXPECT_EQ(state.substr(state.rfind("N0ABC-0")).find(':'), std::string::npos) << "no note: " << state;
        if (c.form == CHALLENGE_FORWARD) {
            EXPECT_EQ(h.answer("N0ABC-0", 1, digest_text(true, c.digits + "FwdSecret")).result, 0);
        }
        EXPECT_FALSE(h.exists(RECORD)) << line;
    }
}

// TABLE: each row is its own password with its own record. Day 8's answers
// go to day 8's row, day 9's to day 9's; a challenge put before midnight
// and answered after it still counts for the row it asked.
TEST(Exposure, TableRowsOnTwoDaysAreTwoRecords)
{
    HostDir h;
    set_up(h, "* TABLE");
    h.write("morvel/N0ABC.TBL", "8 EightRow12\n9 NineRow345\n");
    std::set<int> eight, nine;
    add_shown(&eight, answer_right(h, "EightRow12").positions);
    h.set_clock(2026, 12, 9, 10, 0, 0, 0);
    add_shown(&nine, answer_right(h, "NineRow345").positions);
    add_shown(&nine, answer_right(h, "NineRow345").positions);
    Exposure x8 = exposure_of("EightRow12", METHOD_TABLE), x9 = exposure_of("NineRow345", METHOD_TABLE);
    EXPECT_EQ(heard_positions(x8.record), eight);
    EXPECT_EQ(heard_positions(x9.record), nine);
    EXPECT_STREQ(x8.record.since, "08-12-2026");
    EXPECT_STREQ(x9.record.since, "09-12-2026");
    EXPECT_DOUBLE_EQ(x9.figure.chance, positions_chance((int)nine.size(), 10));

    h.set_clock(2026, 12, 9, 23, 59, 50, 0);
    ChallengeLine late = parse_challenge(h.connect("N0ABC-0", 1).reply);
    h.set_clock(2026, 12, 10, 0, 0, 10, 0);
    ASSERT_EQ(h.answer("N0ABC-0", 1, chars_at("NineRow345", late.positions)).result, 0);
    add_shown(&nine, late.positions);
    EXPECT_EQ(heard_positions(exposure_of("NineRow345", METHOD_TABLE).record), nine);
    EXPECT_EQ(heard_positions(exposure_of("EightRow12", METHOD_TABLE).record), eight);
}

// A new password is a new record: nothing of the old one's counts for it.
TEST(Exposure, ChangedPasswordStartsFromNothing)
{
    HostDir h;
    set_up(h, "* FIXED OldSecret1");
    answer_right(h, "OldSecret1");
    ASSERT_EQ(exposure_of("OldSecret1", METHOD_FIXED).figure.chance, 1.0);
    set_up(h, "* NORMAL NewSecret12");
    Exposure fresh = exposure_of("NewSecret12", METHOD_NORMAL);
    EXPECT_EQ(fresh.found, 0);
    EXPECT_EQ(fresh.figure.heard, 0);
    EXPECT_EQ(fresh.figure.chance, 0.0);
    std::set<int> shown;
    add_shown(&shown, answer_right(h, "NewSecret12").positions);
    EXPECT_EQ(heard_positions(exposure_of("NewSecret12", METHOD_NORMAL).record), shown);
    EXPECT_EQ(exposure_of("OldSecret1", METHOD_FIXED).found, 1) << "the old record stays, matching nothing";

    set_up(h, "* NORMAL OldSecret1");
    answer_right(h, "OldSecret1");
    Exposure same = exposure_of("OldSecret1", METHOD_NORMAL);
    EXPECT_EQ(same.figure.chance, 1.0) << "the same password under another method was heard whole";
    EXPECT_EQ(same.figure.kind, EXPOSURE_WHOLE);
}

// EXPOSURE 20 with a password of seven: the first answer hears five
// positions, 1 in 21, below the threshold; the answer that adds a sixth
// reaches 1 in 3.5 and mails the sysops once; later answers mail no more.
TEST(Exposure, MailIsSentOnceWhenThePasswordReachesTheThreshold)
{
    HostDir h;
    set_up(h, "* NORMAL Sv7Kq2X", "EXPOSURE 20\n");
    answer_right(h, "Sv7Kq2X");
    EXPECT_EQ(exposure_mails(h), 0) << "1 in 21 is below 1 in 20";
    int answers = 1;
    while (exposure_of("Sv7Kq2X", METHOD_NORMAL).figure.heard < 6 && answers++ < 50)
        answer_right(h, "Sv7Kq2X");
    ASSERT_EQ(exposure_mails(h), 1);
    std::string mail = h.read(MAIL_IMPORT);
    // An answer may add both positions left at once: then all seven are heard.
    std::string figure = exposure_of("Sv7Kq2X", METHOD_NORMAL).figure.heard == 6
                             ? "1 in 3.5 (6 of 7 characters heard)" : "1 in 1 (7 of 7 characters heard)";
    EXPECT_NE(mail.find("SP N0SYS < MORVEL\nEXPOSED\n"), std::string::npos) << mail;
    EXPECT_NE(mail.find("N0ABC-0: a listener who heard every answer since 08-12-2026 answers the next challenge " +
                        figure + ".\nTo do: change the station's password, or move the station to TOTP or HOTP.\n"
                        "/EX\n"),
              std::string::npos)
        << mail;
    EXPECT_TRUE(exposure_of("Sv7Kq2X", METHOD_NORMAL).record.mailed);
    for (int i = 0; i < 5; i++)
        answer_right(h, "Sv7Kq2X");
    EXPECT_EQ(exposure_mails(h), 1) << "one mail per password";
    EXPECT_TRUE(nothing_reported(h));
}

// The threshold is reached, not only passed: 1 in 21 mails at EXPOSURE 21.
// Without the line the record is kept and nobody is mailed.
TEST(Exposure, ThresholdIsInclusiveAndOptional)
{
    for (const char *guard : {"EXPOSURE 21\n", "FAILURES 3 MINUTES 15\n"}) {
        HostDir h;
        set_up(h, "* NORMAL Sv7Kq2X", guard);
        answer_right(h, "Sv7Kq2X");
        EXPECT_EQ(exposure_mails(h), guard[1] == 'X' ? 1 : 0) << guard;
        EXPECT_EQ(exposure_of("Sv7Kq2X", METHOD_NORMAL).found, 1) << guard;
    }
}

// A wrong EXPOSURE line is error 5 of guard.prt, as its other lines are.
TEST(Exposure, WrongExposureLineIsError5)
{
    for (const char *line : {"EXPOSURE 0", "EXPOSURE x", "EXPOSURE 1000001", "EXPOSURE", "EXPOSURE 5 6",
                             "EXPOSURE -3"}) {
        HostDir h;
        set_up(h, "* FIXED Fixed-Pass", std::string("# threshold\n") + line + "\n");
        answer_right(h, "Fixed-Pass");
        EXPECT_EQ(reported_error_line(h), "*** ERROR 0015: Incorrect data in line 2 (guard.prt)") << line;
        EXPECT_EQ(exposure_mails(h), 0) << line;
    }
}

// Whatever fails on exposure.dat (its read, the opening of the file or of
// the rewrite's temporary, a write, the close, the renaming), whether the
// answer adds a line or rewrites the file, the answer is still admitted,
// the file keeps every line it had, adding at most one whole line (a close
// that fails after the line was written), no temporary is left, and the
// next answer records again.
TEST(Exposure, RecordStaysWholeWhenItCannotBeWritten)
{
    std::string tag = tag_of("Zq8Wm3Kx7P");
    std::string four_lines;
    for (int i = 0; i < 4; i++)
        four_lines += tag + " POSITIONS 01-01-2026 N0ABC-0 0 -\n";
    for (bool rewrite : {false, true}) {
        for (PlatFault kind : {PLAT_FAULT_OPEN, PLAT_FAULT_WRITE, PLAT_FAULT_CLOSE, PLAT_FAULT_RENAME}) {
            SCOPED_TRACE(std::to_string((int)kind) + (rewrite ? " rewrite" : " added line"));
            HostDir h;
            set_up(h, "* NORMAL Zq8Wm3Kx7P");
            h.write(RECORD, "# kept\n0badc0de WHOLE 01-01-2026 N9ZZZ-1 1 -\n" + (rewrite ? four_lines : ""));
            std::string before = h.read(RECORD);
            plat_test_fail(kind, 1, RECORD, true);
            answer_right(h, "Zq8Wm3Kx7P");
            if (rewrite || kind != PLAT_FAULT_RENAME) {
                EXPECT_GT(plat_test_faults_hit(kind), 0);
            }
            plat_test_clear_faults();
            std::string after = h.read(RECORD);
            ASSERT_EQ(after.substr(0, before.size()), before);
            std::string added = after.substr(before.size());
            if (kind != PLAT_FAULT_CLOSE && kind != PLAT_FAULT_RENAME) {
                EXPECT_EQ(added, "");
            }
            EXPECT_TRUE(std::regex_match(added, std::regex("(" + tag + " POSITIONS 08-12-2026 N0ABC-0 0 [0-9a-f]+\n)?")))
                << added;
            EXPECT_FALSE(temporary_left(h));
            std::set<int> shown;
            add_shown(&shown, answer_right(h, "Zq8Wm3Kx7P").positions);
            std::set<int> heard = heard_positions(exposure_of("Zq8Wm3Kx7P", METHOD_NORMAL).record);
            EXPECT_TRUE(std::includes(heard.begin(), heard.end(), shown.begin(), shown.end()));
            EXPECT_NE(h.read(RECORD).find("0badc0de WHOLE 01-01-2026 N9ZZZ-1 1 -\n"), std::string::npos);
        }
    }
}

// A crash at any step of the record's writing (the n-th write or renaming of the
// call fails, and the call stops there as far as the file is concerned)
// leaves the old record or the new one, never a mix.
TEST(Exposure, RecordIsTheOldOrTheNewAtEveryFailure)
{
    for (int nth = 1; nth <= 3; nth++) {
        for (PlatFault kind : {PLAT_FAULT_WRITE, PLAT_FAULT_RENAME}) {
            HostDir h;
            set_up(h, "* NORMAL Zq8Wm3Kx7P");
            std::set<int> shown;
            add_shown(&shown, answer_right(h, "Zq8Wm3Kx7P").positions);
            std::string old = h.read(RECORD);
            ChallengeLine c = parse_challenge(h.connect("N0ABC-0", 1).reply);
            plat_test_fail(kind, nth, nullptr, false);
            h.answer("N0ABC-0", 1, chars_at("Zq8Wm3Kx7P", c.positions));
            plat_test_clear_faults();
            std::set<int> now = heard_positions(exposure_of("Zq8Wm3Kx7P", METHOD_NORMAL).record);
            std::set<int> added = shown;
            add_shown(&added, c.positions);
            EXPECT_TRUE(now == shown || now == added) << nth << " " << (int)kind;
            EXPECT_TRUE(h.read(RECORD) == old || now == added);
            EXPECT_FALSE(temporary_left(h));
        }
    }
}

// A line that is no record is read as none and left out when the file is
// rewritten (here by the fifth line of a password, whose method now tells
// a listener the whole of it); a note in a state file that is none records
// nothing.
TEST(Exposure, ReaderSkipsWhatIsNoRecord)
{
    HostDir h;
    set_up(h, "* FIXED Fixed-Pass");
    std::string tag = tag_of("Fixed-Pass");
    std::string positions;
    for (int i = 0; i < 4; i++)
        positions += tag + " POSITIONS 01-01-2026 N0ABC-0 0 f\n";
    h.write(RECORD, "garbage\n12345678 WHOLE\nABCDEF01 WHOLE 01-01-2026 N9ZZZ-1 0 -\n"
                    "0badc0de POSITIONS 01-01-2026 N9ZZZ-1 2 f\n0badc0de POSITIONS 01-01-2026 N9ZZZ-1 0 zz\n"
                    "00000001 EQUATIONS 01-01-2026 N9ZZZ-1 0 12345,1234\n"
                    "00000003 POSITIONS 01-01-2026 N9ZZZ-1 0 f00000003 POSITIONS 01-01-2026 N9ZZZ-1 0 f\n"
                    "00000002 POSITIONS 01-01-2026 N9ZZZ-1 0 f1\n" +
                        positions);
    ExposureRecord r;
    for (const char *none : {"12345678", "0badc0de", "00000001", "00000003"})
        EXPECT_EQ(find_exposure_record(none, &r), 0) << none;
    EXPECT_EQ(exposure_of("Fixed-Pass", METHOD_NORMAL).figure.heard, 4);
    answer_right(h, "Fixed-Pass");
    EXPECT_EQ(lines_of(h.read(RECORD), "Fixed-Pass"), std::vector<std::string>{tag + " WHOLE 08-12-2026 N0ABC-0 0 -"});
    std::string file = h.read(RECORD);
    EXPECT_EQ(file.find("garbage"), std::string::npos) << file;
    EXPECT_EQ(file.find("0badc0de"), std::string::npos) << file;
    EXPECT_EQ(file.find("00000001"), std::string::npos) << file;
    EXPECT_EQ(file.find("00000003"), std::string::npos) << file;
    EXPECT_NE(file.find("00000002 POSITIONS 01-01-2026 N9ZZZ-1 0 f1\n"), std::string::npos) << file;
    for (const char *note : {"", "P:1234567:8:0.1.2.3.4", "P:12345678:8:0.1.2.3.8", "E:12345678:1234", "X:12345678",
                             "W:12345678x", "P:12345678:0:0.0.0.0.0"}) {
        HeardAnswer a;
        EXPECT_FALSE(parse_heard_note(note, &a)) << note;
    }
}
