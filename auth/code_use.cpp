// code_use.cpp - reading and rewriting otpused.prt, the codes each station
// has used.
//
// One line a station and kind: "CALL-SSID KIND VALUE TAG". A station is
// written once a code is accepted, and only then; the file is rewritten
// whole as a replacement put in place in one step, so a failure leaves the
// old values, never none. The tag is the first four bytes of an
// HMAC under the secret: a new secret given to the station starts again
// from 0, as its new list or app does, while the secret itself stays in
// users.prt. Results only; the caller reports.
#include "auth/code_use.h"
#include "auth/sha1.h"
#include "common/filter_dir.h"
#include "common/line_reader.h"
#include "common/text_copy.h"
#include "common/wipe.h"
#include "platform/platform.h"

#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>

enum { USE_LINE = 100, TAG_BYTES = 4, TAG_TEXT = 2 * TAG_BYTES + 1, STATION_FIELD = 16, KIND_FIELD = 8 };

static const char use_path[] = FILTER_DIR "\\" CODE_USE_FILE;
static const char *const kind_names[] = {"TOTP", "HOTP"};

const char *code_kind_name(CodeKind kind)
{
    return kind_names[kind == CODE_HOTP ? 1 : 0];
}

// secret_tag - the tag of a secret, as hexadecimal text.
static void secret_tag(const unsigned char *secret, size_t secret_length, char tag[TAG_TEXT])
{
    static const unsigned char label[] = "otpused.prt tag";
    unsigned char mac[SHA1_SIZE];
    hmac_sha1(secret, secret_length, label, sizeof label - 1, mac);
    for (int i = 0; i < TAG_BYTES; i++)
        snprintf(tag + 2 * i, 3, "%02x", mac[i]);
    wipe(mac, sizeof mac);
}

// UseLine - the fields of one line of the file.
struct UseLine {
    char station[STATION_FIELD];
    char kind[KIND_FIELD];
    uint64_t value;
    char tag[TAG_TEXT];
};

// parse_use_line - the fields of a line; false for a line that is not one.
static bool parse_use_line(const char *line, UseLine *u)
{
    char value[24];
    if (sscanf(line, "%15s %7s %23s %8s", u->station, u->kind, value, u->tag) != 4)
        return false;
    char *end;
    if (value[0] < '0' || value[0] > '9')
        return false;
    u->value = strtoull(value, &end, 10);
    upper_case(u->station);
    return *end == '\0';
}

// is_line_of - the line is the station's for kind (case aside).
static bool is_line_of(const UseLine *u, const char *station, CodeKind kind)
{
    char ours[STATION_FIELD];
    copy_text(ours, sizeof ours, station);
    return strcmp(u->station, upper_case(ours)) == 0 && strcmp(u->kind, code_kind_name(kind)) == 0;
}

bool read_code_use(const char *station, CodeKind kind, const unsigned char *secret, size_t secret_length,
                   uint64_t *value)
{
    char line[USE_LINE], tag[TAG_TEXT];
    UseLine u;
    PlatText in;
    *value = 0;
    if (!plat_open_text(use_path, &in))
        return !plat_exists(use_path);
    secret_tag(secret, secret_length, tag);
    while (read_significant_line(&in, line, sizeof line, nullptr))
        if (parse_use_line(line, &u) && is_line_of(&u, station, kind))
            *value = strcmp(u.tag, tag) == 0 ? u.value : 0;
    bool ok = !plat_text_failed(&in);
    plat_close_text(&in);
    return ok;
}

bool read_secret_use(CodeKind kind, const unsigned char *secret, size_t secret_length, uint64_t *value)
{
    char line[USE_LINE], tag[TAG_TEXT];
    UseLine u;
    PlatText in;
    *value = 0;
    if (!plat_open_text(use_path, &in))
        return !plat_exists(use_path);
    secret_tag(secret, secret_length, tag);
    while (read_significant_line(&in, line, sizeof line, nullptr))
        if (parse_use_line(line, &u) && strcmp(u.kind, code_kind_name(kind)) == 0 && strcmp(u.tag, tag) == 0 &&
            u.value > *value)
            *value = u.value;
    bool ok = !plat_text_failed(&in);
    plat_close_text(&in);
    return ok;
}

// copy_other_lines - every line of the old file but the station's for kind;
// false when the old file exists but could not be read to its end.
static bool copy_other_lines(FILE *out, const char *station, CodeKind kind)
{
    char line[USE_LINE];
    UseLine u;
    PlatText in;
    if (!plat_open_text(use_path, &in))
        return !plat_exists(use_path);
    while (read_significant_line(&in, line, sizeof line, nullptr))
        if (parse_use_line(line, &u) && !is_line_of(&u, station, kind))
            fprintf(out, "%s %s %" PRIu64 " %s\n", u.station, u.kind, u.value, u.tag);
    bool ok = !plat_text_failed(&in);
    plat_close_text(&in);
    return ok;
}

bool write_code_use(const char *station, CodeKind kind, const unsigned char *secret, size_t secret_length,
                    uint64_t value)
{
    char tag[TAG_TEXT], name[STATION_FIELD];
    // It holds no secret, only tags: the usual permissions do.
    PlatReplacement replacement;
    FILE *out = plat_open_replacement(use_path, false, &replacement);
    if (!out)
        return false;
    fprintf(out, "# " CODE_USE_FILE " - written by the filter: the one-time codes each station has used.\n");
    if (!copy_other_lines(out, station, kind)) {
        plat_discard_replacement(&replacement);
        return false;
    }
    secret_tag(secret, secret_length, tag);
    copy_text(name, sizeof name, station);
    fprintf(out, "%s %s %" PRIu64 " %s\n", upper_case(name), code_kind_name(kind), value, tag);
    return plat_commit_replacement(&replacement);
}
