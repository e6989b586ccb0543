// code_use.cpp - reading and rewriting otpused.prt, the codes each secret
// has used.
//
// A code belongs to a secret, not to a station: every SSID of a callsign, and
// every station under a header such as "N8*", shares its entry's secret, and a
// code heard from one of them must not let another in. So a line is "TAG KIND
// VALUE", keyed by the secret's tag: the first four bytes of an HMAC under the
// secret, which tells the secrets apart without holding one. A new secret
// gets a new tag and starts again from 0, as its new list or app does.
//
// Older filters kept one line a station, "CALL-SSID KIND VALUE TAG". Those
// lines are read as the secret's too: its value is the highest any of its
// stations reached, and its next rewrite puts one line of the new form in
// their place. A line that is neither form makes the whole file unreadable:
// skipping it could forget a used code. The file is rewritten whole as a
// replacement put in place in one step, so a failure leaves the old values,
// never none. Results only; the caller reports.
#include "auth/code_use.h"
#include "auth/sha1.h"
#include "common/filter_dir.h"
#include "common/line_reader.h"
#include "common/text_copy.h"
#include "common/wipe.h"
#include "platform/platform.h"

#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>

enum { USE_LINE = 100, TAG_BYTES = 4, TAG_TEXT = 2 * TAG_BYTES + 1, WORD = 24, STATION_FIELD = 16, WORDS_MAX = 5 };

static const char use_path[] = FILTER_DIR "\\" CODE_USE_FILE;
static const char *const kind_names[] = {"TOTP", "HOTP"};

const char *code_kind_name(CodeKind kind)
{
    return kind_names[kind == CODE_HOTP ? 1 : 0];
}

// secret_tag - the tag of a secret, as lower-case hexadecimal text.
static void secret_tag(const unsigned char *secret, size_t secret_length, char tag[TAG_TEXT])
{
    static const unsigned char label[] = "otpused.prt tag";
    unsigned char mac[SHA1_SIZE];
    hmac_sha1(secret, secret_length, label, sizeof label - 1, mac);
    for (int i = 0; i < TAG_BYTES; i++)
        snprintf(tag + 2 * i, 3, "%02x", mac[i]);
    wipe(mac, sizeof mac);
}

// UseLine - the fields of one line of the file, of either form.
struct UseLine {
    char tag[TAG_TEXT];        // in lower case
    char kind[WORD];
    uint64_t value;
    char station[STATION_FIELD];   // "" for a line of the secret's form
};

// is_tag - eight hexadecimal digits, put in lower case into tag.
static bool is_tag(const char *word, char tag[TAG_TEXT])
{
    if (strlen(word) != 2 * TAG_BYTES || strspn(word, "0123456789abcdefABCDEF") != 2 * TAG_BYTES)
        return false;
    for (int i = 0; i <= 2 * TAG_BYTES; i++)
        tag[i] = (char)(word[i] >= 'A' && word[i] <= 'F' ? word[i] - 'A' + 'a' : word[i]);
    return true;
}

// is_value - a whole decimal number that fits in 64 bits.
static bool is_value(const char *word, uint64_t *value)
{
    if (word[0] < '0' || word[0] > '9')
        return false;
    char *end;
    errno = 0;
    *value = strtoull(word, &end, 10);
    return *end == '\0' && errno != ERANGE;
}

// is_station - "CALL-SSID" of the older form, put in upper case into station.
static bool is_station(const char *word, char station[STATION_FIELD])
{
    if (strlen(word) >= STATION_FIELD || !strchr(word, '-'))
        return false;
    copy_text(station, STATION_FIELD, word);
    upper_case(station);
    return true;
}

// parse_use_line - the fields of a line of either form; false for a line
// that is neither, or whose word is longer than any of ours.
static bool parse_use_line(const char *line, UseLine *u)
{
    char w[WORDS_MAX][WORD];
    int n = sscanf(line, "%23s %23s %23s %23s %23s", w[0], w[1], w[2], w[3], w[4]);
    for (int i = 0; i < n; i++)
        if (strlen(w[i]) == WORD - 1)
            return false;
    memset(u, 0, sizeof *u);
    bool fields = false;
    if (n == 3)
        fields = is_tag(w[0], u->tag) && is_value(w[2], &u->value);
    else if (n == 4)
        fields = is_station(w[0], u->station) && is_value(w[2], &u->value) && is_tag(w[3], u->tag);
    copy_text(u->kind, sizeof u->kind, w[1]);
    return fields && (strcmp(u->kind, kind_names[0]) == 0 || strcmp(u->kind, kind_names[1]) == 0);
}

// is_line_of - the line is the secret's (by its tag) for kind.
static bool is_line_of(const UseLine *u, const char *tag, CodeKind kind)
{
    return strcmp(u->tag, tag) == 0 && strcmp(u->kind, code_kind_name(kind)) == 0;
}

// UseVisit - what to do with each line of the file as it is read.
typedef void (*UseVisit)(const UseLine *u, void *context);

// read_use_lines - every line of the file through visit; true when the file
// is missing, or was read to its end and every line was one of its own.
static bool read_use_lines(UseVisit visit, void *context)
{
    char line[USE_LINE];
    UseLine u;
    PlatText in;
    if (!plat_open_text(use_path, &in))
        return !plat_exists(use_path);
    bool ok = true;
    while (ok && read_significant_line(&in, line, sizeof line, nullptr)) {
        ok = parse_use_line(line, &u);
        if (ok)
            visit(&u, context);
    }
    ok = ok && !plat_text_failed(&in);
    plat_close_text(&in);
    return ok;
}

// HighestUse - the search of read_code_use.
struct HighestUse {
    const char *tag;
    CodeKind kind;
    uint64_t value;
};

// take_highest - the line's value when it is the secret's and higher.
static void take_highest(const UseLine *u, void *context)
{
    HighestUse *h = (HighestUse *)context;
    if (is_line_of(u, h->tag, h->kind) && u->value > h->value)
        h->value = u->value;
}

bool read_code_use(CodeKind kind, const unsigned char *secret, size_t secret_length, uint64_t *value)
{
    char tag[TAG_TEXT];
    secret_tag(secret, secret_length, tag);
    HighestUse h = {tag, kind, 0};
    bool ok = read_use_lines(take_highest, &h);
    *value = ok ? h.value : 0;
    return ok;
}

// OtherLines - the copy of write_code_use.
struct OtherLines {
    FILE *out;
    const char *tag;
    CodeKind kind;
};

// copy_other_line - the line as it was written, unless it is the secret's for kind.
static void copy_other_line(const UseLine *u, void *context)
{
    OtherLines *o = (OtherLines *)context;
    if (is_line_of(u, o->tag, o->kind))
        return;
    if (u->station[0])
        fprintf(o->out, "%s %s %" PRIu64 " %s\n", u->station, u->kind, u->value, u->tag);
    else
        fprintf(o->out, "%s %s %" PRIu64 "\n", u->tag, u->kind, u->value);
}

bool write_code_use(CodeKind kind, const unsigned char *secret, size_t secret_length, uint64_t value)
{
    char tag[TAG_TEXT];
    secret_tag(secret, secret_length, tag);
    // It holds no secret, only tags: the usual permissions do.
    PlatReplacement replacement;
    FILE *out = plat_open_replacement(use_path, false, &replacement);
    if (!out)
        return false;
    fprintf(out, "# " CODE_USE_FILE " - written by the filter: the one-time codes each secret has used.\n");
    OtherLines others = {out, tag, kind};
    if (!read_use_lines(copy_other_line, &others)) {
        plat_discard_replacement(&replacement);
        return false;
    }
    fprintf(out, "%s %s %" PRIu64 "\n", tag, code_kind_name(kind), value);
    return plat_commit_replacement(&replacement);
}
