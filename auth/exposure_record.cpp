// exposure_record.cpp - morvel\exposure.dat, what a listener has heard of
// each password, written and read back; and the note of a state file that
// says what a right answer to its challenge lets a listener hear.
//
// One line a password: "TAG KIND SINCE STATION MAILED HEARD", for example
//   1a2b3c4d POSITIONS 08-12-2026 N0ABC-1 0 f3
// TAG is the first four bytes of an HMAC under the password, so the line
// follows the password, not the station: a new password starts from nothing,
// and two stations that share one share its record. HEARD is, for POSITIONS,
// the positions heard as hexadecimal digits, the first digit holding
// positions 0 to 3 (bit 0 is position 0); for EQUATIONS the digits of each
// challenge heard, joined by ","; for WHOLE, and when nothing is heard, "-".
//
// What an answer adds is a line added at the end: a rewrite of the whole
// file would cost an answer several times what its check does. A password
// may so have several lines, each holding all its writer knew, read in
// order and added up (positions and equations joined, mailed once any line
// says so); a line cut short by a crash holds less than the whole line, never
// more, and adds what it still holds. When a password has
// EXPOSURE_LINES_MAX lines its next change rewrites the file with one line
// for it, as a replacement put in place in one step, so a crash or a full
// disk leaves the old file. Never written through a link. Results only;
// nothing here reports.
#include "auth/exposure_record.h"
#include "auth/sha1.h"
#include "common/filter_dir.h"
#include "common/line_reader.h"
#include "common/text_copy.h"
#include "common/wipe.h"
#include "platform/platform.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

enum { TAG_BYTES = 4, RECORD_LINE = 256, HEARD_FIELD = 160, KIND_FIELD = 12, EXPOSURE_LINES_MAX = 4 };

static const char record_path[] = FILTER_DIR "\\" EXPOSURE_FILE;
static const char *const kind_names[] = {"NONE", "POSITIONS", "WHOLE", "EQUATIONS"};
// The note's first letter, by kind.
static const char note_letters[] = "-PWE";

const char *exposure_file_path(void)
{
    return record_path;
}

const char *exposure_kind_name(ExposureKind kind)
{
    return kind_names[kind >= EXPOSURE_NONE && kind <= EXPOSURE_EQUATIONS ? kind : EXPOSURE_NONE];
}

// kind_from_name - the kind a name or note letter gives; EXPOSURE_NONE for none.
static ExposureKind kind_from_name(const char *name)
{
    for (int k = EXPOSURE_POSITIONS; k <= EXPOSURE_EQUATIONS; k++)
        if (strcmp(name, kind_names[k]) == 0)
            return (ExposureKind)k;
    return EXPOSURE_NONE;
}

void exposure_tag(const char *password, char tag[EXPOSURE_TAG_TEXT])
{
    static const unsigned char label[] = "exposure.dat tag";
    unsigned char mac[SHA1_SIZE];
    hmac_sha1((const unsigned char *)password, strlen(password), label, sizeof label - 1, mac);
    for (int i = 0; i < TAG_BYTES; i++)
        snprintf(tag + 2 * i, 3, "%02x", mac[i]);
    wipe(mac, sizeof mac);
}

bool position_heard(const ExposureRecord *r, int p)
{
    return p >= 0 && p < PASSWORD_MAX && (r->positions[p / 8] >> (p % 8) & 1);
}

int positions_heard_count(const ExposureRecord *r)
{
    int count = 0;
    for (int p = 0; p < PASSWORD_MAX; p++)
        count += position_heard(r, p);
    return count;
}

// is_tag - eight lower-case hexadecimal digits.
static bool is_tag(const char *word)
{
    return strlen(word) == 2 * TAG_BYTES && strspn(word, "0123456789abcdef") == 2 * TAG_BYTES;
}

// is_digits - exactly count decimal digits.
static bool is_digits(const char *word, size_t count)
{
    return strlen(word) == count && strspn(word, "0123456789") == count;
}

// ---- the note in a state file --------------------------------------------

void format_heard_note(const HeardAnswer *h, char out[HEARD_NOTE_TEXT])
{
    const int *p = h->positions;
    if (h->kind == EXPOSURE_POSITIONS)
        snprintf(out, HEARD_NOTE_TEXT, "P:%s:%d:%d.%d.%d.%d.%d", h->tag, h->length, p[0], p[1], p[2], p[3], p[4]);
    else if (h->kind == EXPOSURE_WHOLE)
        snprintf(out, HEARD_NOTE_TEXT, "W:%s", h->tag);
    else if (h->kind == EXPOSURE_EQUATIONS)
        snprintf(out, HEARD_NOTE_TEXT, "E:%s:%s", h->tag, h->digits);
    else
        out[0] = '\0';
}

// positions_in_range - every position falls inside the password.
static bool positions_in_range(const HeardAnswer *h)
{
    if (h->length < 1 || h->length > PASSWORD_MAX)
        return false;
    for (int p : h->positions)
        if (p < 0 || p >= h->length)
            return false;
    return true;
}

bool parse_heard_note(const char *note, HeardAnswer *h)
{
    char letter = '\0', tag[EXPOSURE_TAG_TEXT + 1] = "", digits[EXPOSURE_DRAWN + 2] = "";
    int *p = h->positions;
    memset(h, 0, sizeof *h);
    bool ok = false;
    if (sscanf(note, "%c:%9[0-9a-f]", &letter, tag) == 2 && is_tag(tag)) {
        if (letter == 'P')
            ok = sscanf(note, "P:%*8s:%d:%d.%d.%d.%d.%d", &h->length, &p[0], &p[1], &p[2], &p[3], &p[4]) == 6 &&
                 positions_in_range(h);
        else if (letter == 'W')
            ok = strlen(note) == 2 + 2 * TAG_BYTES;
        else if (letter == 'E')
            ok = sscanf(note + 2 + 2 * TAG_BYTES, ":%6[0-9]", digits) == 1 && is_digits(digits, EXPOSURE_DRAWN);
    }
    if (!ok) {
        memset(h, 0, sizeof *h);
        return false;
    }
    h->kind = (ExposureKind)(strchr(note_letters, letter) - note_letters);
    copy_text(h->tag, sizeof h->tag, tag);
    copy_text(h->digits, sizeof h->digits, digits);
    return true;
}

// ---- reading ---------------------------------------------------------------

// hex_value - the value of a lower-case hexadecimal digit, -1 for another character.
static int hex_value(char c)
{
    const char *digits = "0123456789abcdef";
    const char *at = c ? strchr(digits, c) : nullptr;
    return at ? (int)(at - digits) : -1;
}

// parse_positions - the hexadecimal field into r's positions; false for a wrong one.
static bool parse_positions(const char *field, ExposureRecord *r)
{
    if (strcmp(field, "-") == 0)
        return true;
    size_t n = strlen(field);
    if (n > (size_t)(PASSWORD_MAX + 3) / 4)
        return false;
    for (size_t i = 0; i < n; i++) {
        int v = hex_value(field[i]);
        if (v < 0)
            return false;
        for (int bit = 0; bit < 4; bit++)
            if (v >> bit & 1) {
                int p = (int)(4 * i) + bit;
                if (p >= PASSWORD_MAX)
                    return false;
                r->positions[p / 8] = (unsigned char)(r->positions[p / 8] | 1 << (p % 8));
            }
    }
    return true;
}

// parse_equations - the digit groups joined by "," into r; false for a wrong field.
static bool parse_equations(const char *field, ExposureRecord *r)
{
    if (strcmp(field, "-") == 0)
        return true;
    for (const char *p = field; *p;) {
        size_t n = strcspn(p, ",");
        if (n != EXPOSURE_DRAWN || strspn(p, "0123456789") < n || r->equation_count == EXPOSURE_EQUATIONS_MAX)
            return false;
        memcpy(r->equations[r->equation_count], p, n);
        r->equations[r->equation_count++][n] = '\0';
        p += n;
        if (*p == ',' && !*++p)
            return false;
    }
    return true;
}

// is_blank - a character that separates the fields of a line.
static bool is_blank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

// take_field - the next field of *p into out, of 1 to max characters; false
// for none or a longer one.
static bool take_field(const char **p, char *out, size_t max)
{
    const char *at = *p;
    while (is_blank(*at))
        at++;
    size_t n = 0;
    while (at[n] && !is_blank(at[n]))
        n++;
    if (n == 0 || n > max)
        return false;
    memcpy(out, at, n);
    out[n] = '\0';
    *p = at + n;
    return true;
}

// parse_record_line - a line into r; false for a line that is no record.
// Field by field rather than by sscanf: a rewrite reads every line of the
// file, and sscanf took most of its time.
static bool parse_record_line(const char *line, ExposureRecord *r)
{
    char kind[KIND_FIELD], heard[HEARD_FIELD], mailed[2];
    memset(r, 0, sizeof *r);
    const char *p = line;
    if (!take_field(&p, r->tag, sizeof r->tag - 1) || !take_field(&p, kind, sizeof kind - 1) ||
        !take_field(&p, r->since, sizeof r->since - 1) || !take_field(&p, r->station, sizeof r->station - 1) ||
        !take_field(&p, mailed, 1) || !take_field(&p, heard, sizeof heard - 1))
        return false;
    while (is_blank(*p))
        p++;
    // Nothing may follow the last field: two lines run together are none.
    if (*p || !is_tag(r->tag) || (mailed[0] != '0' && mailed[0] != '1'))
        return false;
    r->kind = kind_from_name(kind);
    r->mailed = mailed[0] == '1';
    bool ok = r->kind == EXPOSURE_POSITIONS ? parse_positions(heard, r)
              : r->kind == EXPOSURE_EQUATIONS ? parse_equations(heard, r)
              : r->kind == EXPOSURE_WHOLE;
    return ok;
}

bool read_exposure_records(ExposureVisit visit, void *context)
{
    char line[RECORD_LINE];
    ExposureRecord r;
    PlatText in;
    if (!plat_open_text(record_path, &in))
        return !plat_exists(record_path);
    bool going = true;
    while (going && read_significant_line(&in, line, sizeof line, nullptr))
        if (parse_record_line(line, &r))
            going = visit(&r, line, context);
    bool ok = !going || !plat_text_failed(&in);
    plat_close_text(&in);
    return ok;
}

// has_tag - a line seen in place starts with tag and a blank.
static bool has_tag(const PlatPiece *piece, const char *tag)
{
    size_t n = strlen(tag);
    return piece->length > n && memcmp(piece->text, tag, n) == 0 && piece->text[n] == ' ';
}

// join_positions - the positions of line into r.
static void join_positions(ExposureRecord *r, const ExposureRecord *line)
{
    for (int i = 0; i < EXPOSURE_POSITION_BYTES; i++)
        r->positions[i] = (unsigned char)(r->positions[i] | line->positions[i]);
}

// join_equations - the equations of line that r lacks, oldest first, as room allows.
static void join_equations(ExposureRecord *r, const ExposureRecord *line)
{
    for (int i = 0; i < line->equation_count; i++) {
        bool known = false;
        for (int j = 0; j < r->equation_count && !known; j++)
            known = strcmp(r->equations[j], line->equations[i]) == 0;
        if (!known && r->equation_count < EXPOSURE_EQUATIONS_MAX)
            copy_text(r->equations[r->equation_count++], EXPOSURE_DRAWN + 1, line->equations[i]);
    }
}

// join_line - a later line of r's password into r, as add_heard would have
// added it: a line of another kind starts the record again, unless the
// password was heard whole.
static void join_line(ExposureRecord *r, const ExposureRecord *line)
{
    if (line->kind != r->kind) {
        if (r->kind != EXPOSURE_WHOLE)
            *r = *line;
        return;
    }
    join_positions(r, line);
    join_equations(r, line);
    r->mailed = r->mailed || line->mailed;
    if (line->station[0] && strcmp(line->station, "-") != 0)
        copy_text(r->station, sizeof r->station, line->station);
    if (!r->since[0] || strcmp(r->since, "-") == 0)
        copy_text(r->since, sizeof r->since, line->since);
}

// Every answer call that carries password characters looks its record up,
// so the lines are seen where they lie and only those with the tag are
// copied and read.
int find_exposure_lines(const char *tag, ExposureRecord *out, int *lines)
{
    static ExposureRecord line_record;   // large for a stack
    char line[RECORD_LINE];
    PlatPiece piece;
    PlatText in;
    int found = 0;
    memset(out, 0, sizeof *out);
    if (!plat_open_text(record_path, &in)) {
        *lines = 0;
        return plat_exists(record_path) ? -1 : 0;
    }
    while (next_significant_piece(&in, RECORD_LINE, &piece, nullptr))
        if (has_tag(&piece, tag) && parse_record_line(plat_copy_piece(&piece, line), &line_record)) {
            if (found++ == 0)
                *out = line_record;
            else
                join_line(out, &line_record);
        }
    bool failed = plat_text_failed(&in);
    plat_close_text(&in);
    wipe(&line_record, sizeof line_record);
    *lines = found;
    if (failed || !found)
        memset(out, 0, sizeof *out);
    return failed ? -1 : found ? 1 : 0;
}

int find_exposure_record(const char *tag, ExposureRecord *out)
{
    int lines;
    return find_exposure_lines(tag, out, &lines);
}

// ---- merging ---------------------------------------------------------------

// add_positions - the five positions into r; true when one was new.
static bool add_positions(ExposureRecord *r, const HeardAnswer *h)
{
    bool added = false;
    for (int p : h->positions) {
        if (p < 0 || p >= PASSWORD_MAX || position_heard(r, p))
            continue;
        r->positions[p / 8] = (unsigned char)(r->positions[p / 8] | 1 << (p % 8));
        added = true;
    }
    return added;
}

// add_equation - the digits shown into r, unless heard before or no room is left; true when added.
static bool add_equation(ExposureRecord *r, const HeardAnswer *h)
{
    for (int i = 0; i < r->equation_count; i++)
        if (strcmp(r->equations[i], h->digits) == 0)
            return false;
    if (r->equation_count == EXPOSURE_EQUATIONS_MAX)
        return false;
    copy_text(r->equations[r->equation_count++], EXPOSURE_DRAWN + 1, h->digits);
    return true;
}

bool add_heard(ExposureRecord *r, const HeardAnswer *h)
{
    // A password heard whole stays heard whole, whatever method asks for it now.
    if (r->kind == EXPOSURE_WHOLE)
        return false;
    bool fresh = r->kind != h->kind;
    if (fresh) {
        memset(r, 0, sizeof *r);
        copy_text(r->tag, sizeof r->tag, h->tag);
        r->kind = h->kind;
    }
    if (h->kind == EXPOSURE_POSITIONS)
        return add_positions(r, h) || fresh;
    if (h->kind == EXPOSURE_EQUATIONS)
        return add_equation(r, h) || fresh;
    return fresh;
}

// ---- writing ---------------------------------------------------------------

// positions_field - the positions heard as the file writes them: digit i
// is the half byte of positions 4i to 4i + 3.
static void positions_field(const ExposureRecord *r, char *out, size_t size)
{
    int digits = 0;
    for (int i = 0; i < 2 * EXPOSURE_POSITION_BYTES; i++)
        if (r->positions[i / 2] >> (4 * (i % 2)) & 0xf)
            digits = i + 1;
    size_t n = 0;
    for (int i = 0; i < digits && n + 1 < size; i++)
        out[n++] = "0123456789abcdef"[r->positions[i / 2] >> (4 * (i % 2)) & 0xf];
    out[n] = '\0';
    if (n == 0)
        copy_text(out, size, "-");
}

// equations_field - the equations heard as the file writes them.
static void equations_field(const ExposureRecord *r, char *out, size_t size)
{
    size_t n = 0;
    out[0] = '\0';
    for (int i = 0; i < r->equation_count && n < size; i++)
        n += (size_t)snprintf(out + n, size - n, "%s%s", i ? "," : "", r->equations[i]);
    if (!out[0])
        copy_text(out, size, "-");
}

// write_record_line - one record as its line.
static void write_record_line(FILE *out, const ExposureRecord *r)
{
    char heard[HEARD_FIELD];
    if (r->kind == EXPOSURE_POSITIONS)
        positions_field(r, heard, sizeof heard);
    else if (r->kind == EXPOSURE_EQUATIONS)
        equations_field(r, heard, sizeof heard);
    else
        copy_text(heard, sizeof heard, "-");
    fprintf(out, "%s %s %s %s %d %s\n", r->tag, exposure_kind_name(r->kind), r->since[0] ? r->since : "-",
            r->station[0] ? r->station : "-", r->mailed ? 1 : 0, heard);
}

// Copying - the new file and the tag whose line is replaced.
struct Copying {
    FILE *out;
    const char *tag;
};

// copy_other - every record but the one replaced, as its line stands.
static bool copy_other(const ExposureRecord *r, const char *line, void *context)
{
    Copying *c = (Copying *)context;
    if (strcmp(r->tag, c->tag) != 0) {
        fputs(line, c->out);
        fputc('\n', c->out);
    }
    return true;
}

bool rewrite_exposure_record(const ExposureRecord *r)
{
    // It holds tags under passwords that may be weak: for the filter's account only.
    static PlatReplacement replacement;   // large for a stack; one record is written at a time
    FILE *out = plat_open_replacement(record_path, true, &replacement);
    if (!out)
        return false;
    fprintf(out, "# " EXPOSURE_FILE " - written by the filter: what a listener has heard of each password.\n"
                 "# TAG KIND SINCE STATION MAILED HEARD\n");
    Copying c = {out, r->tag};
    if (!read_exposure_records(copy_other, &c)) {
        plat_discard_replacement(&replacement);
        return false;
    }
    write_record_line(out, r);
    return plat_commit_replacement(&replacement);
}

bool append_exposure_record(const ExposureRecord *r, int lines)
{
    if (lines >= EXPOSURE_LINES_MAX)
        return false;
    char buffer[RECORD_LINE];
    FILE *out = plat_open_append(record_path);
    if (!out)
        return false;
    // A buffer of our own: the C library would ask the system for a size.
    setvbuf(out, buffer, _IOFBF, sizeof buffer);
    write_record_line(out, r);
    bool written = !ferror(out);
    return plat_fclose(out) == 0 && written;
}

