// filter_config.cpp - config.prt, with the access methods its lines name.
//
// The file is read again at every need. Each significant line takes its role
// from its place among the significant lines: 14 option lines, then port
// lines. A wrong line is error 5 with its physical line number; the reading
// stops there and the fields of later lines keep what they held before.
#include "config/filter_config.h"
#include "common/error_hook.h"
#include "common/filter_dir.h"
#include "common/line_reader.h"
#include "common/records.h"
#include "common/text_copy.h"
#include "common/trace.h"
#include "config/host_files.h"
#include "config/messages.h"
#include "platform/platform.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

enum { LETTERS_MAX = 10, LOG_LETTERS_MAX = 11, PORT_TOKEN_MAX = 20 };

static const LetterValue failure_letters[] = {{'C', POLICY_CONSOLE}, {'R', POLICY_FAIL_READONLY},
                                              {'H', POLICY_FAIL_HOLD}, {0, 0}};
static const LetterValue plain_letters[] = {{'R', POLICY_PLAIN_READONLY}, {'H', POLICY_PLAIN_HOLD},
                                            {'D', POLICY_PLAIN_DENY}, {'N', POLICY_DIGEST_ONLY}, {0, 0}};
static const LetterValue intro_letters[] = {{'X', INTRO_EXCEPT_X}, {'S', INTRO_EXCEPT_S},
                                            {'N', INTRO_EXCEPT_N}, {0, 0}};
static const LetterValue new_user_letters[] = {{'T', NEW_USER_TEXT}, {'M', NEW_USER_MESSAGE}, {0, 0}};

int method_from_keyword(const char *keyword, int line_number, bool in_users_file)
{
    const AccessMethod *m = access_method_by_keyword(keyword);
    if (m)
        return m->id;
    raise_error(in_users_file ? ERR_USERS_LINE : ERR_CONFIG_LINE, (uint16_t)line_number);
    return -1;
}

// An empty MORVEL counts as unset, as it does on the host's system. A path
// that does not fit is left empty, so that no other file is opened instead.
void config_file_path(const char *name, char *out, size_t size)
{
    char dir[FILTER_PATH_MAX];
    const char *value = plat_getenv("MORVEL");
    if (!value || !value[0]) {
        value = FILTER_DIR;
    } else if (copy_text(dir, sizeof dir, value)) {
        size_t len = strlen(upper_case(dir));
        if (len && dir[len - 1] == '\\')
            dir[len - 1] = '\0';
        value = dir;
    } else {
        value = nullptr;
    }
    int n = value ? snprintf(out, size, "%s\\%s", value, name) : -1;
    if (size && (n < 0 || (size_t)n >= size))
        out[0] = '\0';
}

// console_letters - field 3's C, which counts only while field 2 gave none.
static uint16_t console_letters(const char *text, uint16_t word)
{
    for (; *text; text++)
        if (*text == 'C' && !(word & POLICY_CONSOLE))
            word |= POLICY_CONSOLE;
    return word;
}

// The language file name is cut at 60 characters: a failed line would let
// every station in unfiltered for a fault that only concerns texts.
static ConfigLineResult read_language_line(const ConfigOption *, char *line)
{
    if (sscanf(line, "%60s", filter_config.language_file) != 1)
        return CONFIG_LINE_FAILED;
    if (filter_config.language_file[0] != '*' && filter_config.language_file[1] != '*')
        load_language_file(filter_config.language_file);
    return CONFIG_LINE_OK;
}

// read_sysop_line - one to five callsigns; higher slots keep what they held.
static ConfigLineResult read_sysop_line(const ConfigOption *, char *line)
{
    char calls[MAX_SYSOPS][7];
    int n = sscanf(upper_case(line), "%6s %6s %6s %6s %6s", calls[0], calls[1], calls[2], calls[3], calls[4]);
    filter_config.sysop_count = (uint8_t)(n > 0 ? n : 0);
    for (int i = 0; i < filter_config.sysop_count; i++)
        copy_text(filter_config.sysop_calls[i], sizeof filter_config.sysop_calls[i], calls[i]);
    return n > 0 ? CONFIG_LINE_OK : CONFIG_LINE_FAILED;
}

// read_attempts_line - the attempt count and the letters of the challenge policy.
static ConfigLineResult read_attempts_line(const ConfigOption *, char *line)
{
    int digit = 0;
    char failure[LETTERS_MAX + 1], plain[LETTERS_MAX + 1];
    int n = sscanf(upper_case(line), "%1d %10s %10s", &digit, failure, plain);
    if (n < 1)
        return CONFIG_LINE_FAILED;
    filter_config.max_attempts = (uint8_t)digit;
    if (digit < 1 || digit > 5)
        return CONFIG_LINE_FAILED;
    uint16_t word = n >= 2 ? letters_value(failure, failure_letters) : 0;
    if (n == 3)
        word = (uint16_t)(console_letters(plain, word) + letters_value(plain, plain_letters));
    filter_config.challenge_policy = word;
    return CONFIG_LINE_OK;
}

// read_prompt_line - the line up to its line feed, blanks kept.
static ConfigLineResult read_prompt_line(const ConfigOption *, char *line)
{
    size_t n = strcspn(line, "\n");
    if (n >= sizeof filter_config.password_prompt)
        n = sizeof filter_config.password_prompt - 1;
    memcpy(filter_config.password_prompt, line, n);
    filter_config.password_prompt[n] = '\0';
    return CONFIG_LINE_OK;
}

// switch_value - "OK" or "NO" in upper case; false for anything else.
static bool switch_value(char *field, bool *on)
{
    upper_case(field);
    if (strcmp(field, "OK") != 0 && strcmp(field, "NO") != 0)
        return false;
    *on = field[0] == 'O';
    return true;
}

// read_switch_line - a line of one "OK"/"NO" field.
static ConfigLineResult read_switch_line(const ConfigOption *o, char *line)
{
    char field[3];
    if (sscanf(line, "%2s", field) != 1 || !switch_value(field, o->on))
        return CONFIG_LINE_FAILED;
    return CONFIG_LINE_OK;
}

// read_switch_letters_line - an "OK"/"NO" field and an optional letters field
// of up to the row's width; without letters the word keeps its value.
static ConfigLineResult read_switch_letters_line(const ConfigOption *o, char *line)
{
    char field[3], letters[LOG_LETTERS_MAX + 1];
    const char *format = o->letters_width == LOG_LETTERS_MAX ? "%2s %11s" : "%2s %10s";
    int n = sscanf(upper_case(line), format, field, letters);
    if (n < 1 || !switch_value(field, o->on))
        return CONFIG_LINE_FAILED;
    if (n == 2)
        *o->word = letters_value(letters, o->letters);
    return CONFIG_LINE_OK;
}

// The option lines, in their order among the significant lines. A line's
// default is the line the load-time values read as. The letters of line 12
// are cut at 11 characters, as its field holds no more; the others at 10.
static const ConfigOption config_options[CONFIG_OPTION_LINES] = {
    // role                    reader                    fields default      switch, word, letters, width
    {OPTION_LANGUAGE,          read_language_line,       1, "**",        nullptr, nullptr, nullptr, 0},
    {OPTION_SYSOPS,            read_sysop_line,          MAX_SYSOPS, nullptr, nullptr, nullptr, nullptr, 0},
    {OPTION_ATTEMPTS,          read_attempts_line,       3, "3",         nullptr, nullptr, nullptr, LETTERS_MAX},
    {OPTION_PROMPT,            read_prompt_line,         0, "PASSWORD>", nullptr, nullptr, nullptr, 0},
    {OPTION_TEXTS_BY_LANGUAGE, read_switch_line,         1, "NO", &filter_config.texts_by_language, nullptr, nullptr, 0},
    {OPTION_OPEN_TEXT,         read_switch_line,         1, "NO", &filter_config.send_open_text, nullptr, nullptr, 0},
    {OPTION_EXCLUSION_TEXT,    read_switch_line,         1, "NO", &filter_config.send_exclusion_text, nullptr, nullptr,
     0},
    {OPTION_GUEST_TEXT,        read_switch_line,         1, "NO", &filter_config.send_guest_text, nullptr, nullptr, 0},
    {OPTION_INTRO_TEXT,        read_switch_letters_line, 2, "NO", &filter_config.send_intro_text,
     &filter_config.intro_exceptions, intro_letters, LETTERS_MAX},
    {OPTION_NEW_USER,          read_switch_letters_line, 2, "NO", &filter_config.new_user_welcome,
     &filter_config.new_user_actions, new_user_letters, LETTERS_MAX},
    {OPTION_MAIL_NEW_USER,     read_switch_line,         1, "NO", &filter_config.mail_new_user, nullptr, nullptr, 0},
    {OPTION_CONNECTION_LOG,    read_switch_letters_line, 2, "NO", &filter_config.connection_log,
     &filter_config.connection_log_flags, log_mode_letters, LOG_LETTERS_MAX},
    {OPTION_LOG_EXCLUSIONS,    read_switch_line,         1, "NO", &filter_config.log_exclusions, nullptr, nullptr, 0},
    {OPTION_LOG_PASSWORD_FAILURES, read_switch_line,     1, "NO", &filter_config.log_password_failures, nullptr,
     nullptr, 0},
};

const ConfigOption *config_option(int role)
{
    if (role < 1 || role > CONFIG_OPTION_LINES)
        return nullptr;
    return &config_options[role - 1];
}

// short_number - a token of one or two characters as a decimal number; 0 when it is none.
static int short_number(const char *token)
{
    return (int)strtol(token, nullptr, 10);
}

// port_line_method - the method of a port line as a byte ("-1" is 255), or -1
// after an unknown keyword was reported.
static int port_line_method(const char *token, int line_number)
{
    if (strlen(token) <= 2)
        return (uint8_t)short_number(token);
    return method_from_keyword(token, line_number, false);
}

bool port_method_allowed(unsigned method)
{
    const AccessMethod *m = find_access_method(method);
    return m && m->port_may_name;
}

// read_port_line - a port line: its port into *port, its method into port_method.
static ConfigLineResult read_port_line(char *line, int line_number, uint8_t *port)
{
    char port_token[PORT_TOKEN_MAX + 1], method_token[PORT_TOKEN_MAX + 1];
    if (sscanf(upper_case(line), "%20s %20s", port_token, method_token) != 2)
        return CONFIG_LINE_FAILED;
    *port = (uint8_t)short_number(port_token);
    if (strlen(port_token) > 2) {
        *port = port_from_name(port_token, line_number, false);
        if (*port == PORT_UNRESOLVED)
            return CONFIG_LINE_REPORTED;
    }
    int method = port_line_method(method_token, line_number);
    filter_config.port_method = method < 0 ? (uint16_t)METHOD_UNKNOWN : (uint16_t)method;
    if (method < 0)
        return CONFIG_LINE_REPORTED;
    if (!port_method_allowed(filter_config.port_method))
        return CONFIG_LINE_FAILED;
    return CONFIG_LINE_OK;
}

ConfigLineResult parse_config_line(int role, char *line, int line_number, uint8_t *port)
{
    const ConfigOption *o = config_option(role);
    if (o)
        return o->read(o, line);
    return read_port_line(line, line_number, port);
}

// read_config_lines - every line of the open file; -1, 0 or 1 as
// load_filter_config. *failed_line is the physical number of a line that
// failed its check and is still to be reported, else 0.
static int8_t read_config_lines(PlatText *in, int *failed_line)
{
    char line[CONFIG_LINE_SIZE];
    int physical = 0, role = 0;
    uint8_t port = 0;
    while (read_significant_line(in, line, sizeof line, &physical)) {
        role++;
        ConfigLineResult r = parse_config_line(role, line, physical, &port);
        if (r == CONFIG_LINE_FAILED)
            *failed_line = physical;
        if (r == CONFIG_LINE_FAILED || r == CONFIG_LINE_REPORTED)
            return -1;
        if (role > CONFIG_OPTION_LINES && port == (uint8_t)connection_info.port) {
            trace(TRACE_PORT_LINE, physical, filter_config.port_method, "config.prt");
            return 1;
        }
    }
    trace(TRACE_NO_PORT_LINE, physical, 0, "config.prt");
    return 0;
}

int8_t load_filter_config(void)
{
    char path[FILTER_PATH_MAX];
    config_file_path("config.prt", path, sizeof path);
    PlatText f;
    if (!plat_open_text(path, &f)) {
        raise_error(ERR_NO_CONFIG, 0);
        return -1;
    }
    resolve_error(ERR_NO_CONFIG);
    int failed_line = 0;
    int8_t result = read_config_lines(&f, &failed_line);
    plat_close_text(&f);
    if (failed_line)
        raise_error(ERR_CONFIG_LINE, (uint16_t)failed_line);
    if (result < 0)
        return -1;
    filter_config.config_loaded = true;
    resolve_error(ERR_CONFIG_LINE);
    return result;
}

void use_stand_in_sysop(const char *callsign)
{
    if (filter_config.sysop_count != 0)
        return;
    copy_text(filter_config.sysop_calls[0], sizeof filter_config.sysop_calls[0], callsign);
    filter_config.sysop_count = 1;
}

// filter_config_reset - every option as its row's default line reads, no
// sysop, and OPEN for the port.
void filter_config_reset(void)
{
    char line[CONFIG_LINE_SIZE];
    memset(&filter_config, 0, sizeof filter_config);
    for (const ConfigOption &o : config_options) {
        if (!o.default_line)
            continue;
        copy_text(line, sizeof line, o.default_line);
        o.read(&o, line);
    }
    filter_config.port_method = METHOD_OPEN;
}
