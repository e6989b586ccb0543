// host_files.cpp - the host's start-up file, port file, user file and language list.
//
// These files belong to the host BBS: they are only read, never written. A
// missing start-up file is error 1; a missing port file or an unknown port
// name is reported by the caller's code (5 for config.prt, 7 for users.prt);
// the user file and the language list fail silently, since they only choose
// the language of the caller's texts.
#include "config/host_files.h"
#include "common/error_hook.h"
#include "common/filter_dir.h"
#include "common/line_reader.h"
#include "common/records.h"
#include "common/text_copy.h"
#include "platform/platform.h"

#include <cctype>
#include <cstdio>
#include <cstring>

enum { HOST_LINE = 100, LANGUAGE_LINE = 80, LANGUAGE_NAME_MAX = LANGUAGE_NAME_SIZE - 1, LAST_STARTUP_LINE = 14 };

const char *const startup_file_names[HOST_FILE_NAMES] = {"init_w.srv", "init_d.srv", "init.srv"};
const char *const port_file_names[HOST_FILE_NAMES] = {"prot_w.sys", "port_d.sys", "port.sys"};

// open_first - the first of count names that opens for reading as text, in
// directory dir (null: the current directory); false when none opens.
static bool open_first(const char *dir, const char *const *names, int count, PlatText *text)
{
    char path[FILTER_PATH_MAX];
    for (int i = 0; i < count; i++) {
        if (dir)
            snprintf(path, sizeof path, "%s\\%s", dir, names[i]);
        else
            copy_text(path, sizeof path, names[i]);
        if (plat_open_text(path, text))
            return true;
    }
    return false;
}

// token_is_cut - true when the token that ends at offset end of a piece
// continues in the next piece of the same line, so that only part of it was read.
static bool token_is_cut(const char *line, int end, PlatText *in)
{
    if (line[end] != '\0')
        return false;
    int c = plat_peek_char(in);
    return c != EOF && !isspace(c);
}

// scan_path - the first word of a start-up line. A path that the line's
// piece cut short is refused and the field keeps its value: a cut path would
// name another directory or mail file.
static bool scan_path(const char *line, PlatText *in, char *out, size_t size)
{
    char word[HOST_LINE];
    int end = 0;
    if (sscanf(line, "%99s%n", word, &end) != 1 || token_is_cut(line, end, in))
        return false;
    return copy_text(out, size, word);
}

// lock_path_of - the import path with its extension replaced by "lck";
// false when that does not fit in size.
static bool lock_path_of(const char *import, char *out, size_t size)
{
    const char *name = import;
    for (const char *p = import; *p; p++)
        if (*p == '\\' || *p == '/' || *p == ':')
            name = p + 1;
    const char *dot = strrchr(name, '.');
    int stem = (int)(dot ? (size_t)(dot - import) : strlen(import));
    int n = snprintf(out, size, "%.*s.lck", stem, import);
    return n >= 0 && (size_t)n < size;
}

// keep_mail_paths - the import file of line 14 and its lock. When the lock's
// name does not fit its field, neither is kept: writing the import file
// under a lock the host never looks at could mix mail with the host's own.
static void keep_mail_paths(const char *line, PlatText *in)
{
    char import[sizeof host_info.mail_import_path];
    char lock[sizeof host_info.mail_lock_path];
    if (!scan_path(line, in, import, sizeof import))
        return;
    upper_case(import);
    if (!lock_path_of(import, lock, sizeof lock)) {
        host_info.mail_import_path[0] = '\0';
        host_info.mail_lock_path[0] = '\0';
        return;
    }
    copy_text(host_info.mail_import_path, sizeof host_info.mail_import_path, import);
    copy_text(host_info.mail_lock_path, sizeof host_info.mail_lock_path, lock);
}

// keep_system_directory - the first word of line 5 without its last
// character, the trailing separator.
static void keep_system_directory(const char *line, PlatText *in)
{
    char dir[sizeof host_info.system_directory];
    if (!scan_path(line, in, dir, sizeof dir))
        return;
    dir[strlen(dir) - 1] = '\0';
    copy_text(host_info.system_directory, sizeof host_info.system_directory, upper_case(dir));
}

// keep_startup_line - what significant line number of the start-up file gives.
// Callsigns longer than 6 characters keep their first 6.
static void keep_startup_line(int number, const char *line, PlatText *in)
{
    switch (number) {
    case 1:
        if (sscanf(line, "%6[0-9A-Za-z]", host_info.bbs_callsign) == 1)
            upper_case(host_info.bbs_callsign);
        break;
    case 5:
        keep_system_directory(line, in);
        break;
    case 12:
        if (sscanf(line, "%6s", host_info.host_sysop) == 1)
            upper_case(host_info.host_sysop);
        break;
    case LAST_STARTUP_LINE:
        keep_mail_paths(line, in);
        break;
    }
}

// A start-up file that ends before line 14 still counts as read: the values
// it gave are used, the others keep their load-time values, and the file is
// not read again at every need.
int8_t load_host_info(void)
{
    char line[HOST_LINE];
    PlatText f;
    if (!open_first(nullptr, startup_file_names, HOST_FILE_NAMES, &f)) {
        raise_error(ERR_NO_STARTUP_FILE, 0);
        return -1;
    }
    for (int n = 1; n <= LAST_STARTUP_LINE && read_significant_line(&f, line, sizeof line, nullptr); n++)
        keep_startup_line(n, line, &f);
    plat_close_text(&f);
    host_info.host_info_loaded = true;
    return 1;
}

bool host_info_ready(void)
{
    return host_info.host_info_loaded || load_host_info() > 0;
}

// store_port_line - one port line of the port file; false when its number is
// 0: the console's line comes on top of the port count. Lines without a number in 0..9
// or without an eleventh field store nothing. A name longer than a table
// entry is not stored either: cut, it could only match a name it is not.
static bool store_port_line(char *line)
{
    char name[HOST_LINE];
    short number = -1;
    int fields = sscanf(upper_case(line), "%hd %*d %*d %*d %*d %*d %*d %*d %*s %*s %99s",
                        &number, name);
    if (fields == 2 && number >= 0 && number < PORT_TABLE_SIZE && strlen(name) <= PORT_NAME_MAX)
        copy_text(port_table[number], sizeof port_table[number], name);
    return number != 0;
}

// skip_com_lines - the com lines and the physical line after them; false at the end of the file.
static bool skip_com_lines(PlatText *in, int com_count, char *line)
{
    for (int i = 0; i < com_count; i++)
        if (!read_significant_line(in, line, HOST_LINE, nullptr))
            return false;
    return plat_read_line(line, HOST_LINE, in) != nullptr;
}

// read_port_file - the port table and port_count; a file that ends early
// leaves the rest of the table empty.
static void read_port_file(PlatText *in)
{
    char line[HOST_LINE];
    short com_count = 1, count = 1;
    port_count = 1;
    if (!read_significant_line(in, line, sizeof line, nullptr))
        return;
    sscanf(line, "%hd %hd", &com_count, &count);
    port_count = count;
    if (!skip_com_lines(in, com_count, line))
        return;
    for (int done = 0; done < port_count && read_significant_line(in, line, sizeof line, nullptr); done++)
        if (!store_port_line(line) && port_count < INT16_MAX)
            port_count++;
}

// read_port_table - read the host's port file once; false when it cannot be.
static bool read_port_table(void)
{
    if (port_table_loaded)
        return true;
    PlatText f;
    if (!host_info_ready() || !open_first(host_info.system_directory, port_file_names, HOST_FILE_NAMES, &f))
        return false;
    read_port_file(&f);
    plat_close_text(&f);
    port_table_loaded = true;
    return true;
}

// load_port_table - read the host's port file once; false after an error was reported.
static bool load_port_table(int line_number, bool from_user_list)
{
    if (!host_info_ready())
        return false;
    if (read_port_table())
        return true;
    raise_error(from_user_list ? ERR_USERS_LINE : ERR_CONFIG_LINE, (uint16_t)line_number);
    return false;
}

bool host_ports_ready(void)
{
    return read_port_table();
}

// table_port - the first port number 0..port_count whose name is name, or -1.
static int table_port(const char *name)
{
    for (int i = 0; i <= port_count && i < PORT_TABLE_SIZE; i++)
        if (port_table[i][0] && strcmp(port_table[i], name) == 0)
            return i;
    return -1;
}

uint8_t port_from_name(const char *name, int line_number, bool from_user_list)
{
    if (starts_with(name, "CONSOL"))
        return 0;
    if (from_user_list && (strcmp(name, "TODOS") == 0 || strcmp(name, "ALL") == 0))
        return PORT_ALL;
    if (!port_table_loaded && !load_port_table(line_number, from_user_list))
        return PORT_UNRESOLVED;
    int port = table_port(name);
    if (port >= 0)
        return (uint8_t)port;
    raise_error(from_user_list ? ERR_USERS_LINE : ERR_CONFIG_LINE, (uint16_t)line_number);
    return PORT_UNRESOLVED;
}

// record_holds_callsign - the record starts with callsign and its NUL.
static bool record_holds_callsign(const unsigned char *record, const char *callsign)
{
    const void *end = memchr(record, '\0', HOST_RECORD_SIZE);
    return end && strcmp((const char *)record, callsign) == 0;
}

// Only whole records are compared: a short last record is a damaged file,
// and a record that cannot be reached by positioning is not found.
bool find_host_user(const char *callsign, unsigned char *record)
{
    char path[FILTER_PATH_MAX];
    snprintf(path, sizeof path, "%s\\%s", host_info.system_directory, "inf.sys");
    FILE *f = plat_fopen(path, "rb");
    if (!f)
        return false;
    bool found = false;
    for (long index = 0; !found; index++) {
        if (fseek(f, index * HOST_RECORD_SIZE, SEEK_SET) != 0)
            break;
        if (fread(record, 1, HOST_RECORD_SIZE, f) != HOST_RECORD_SIZE)
            break;
        found = record_holds_callsign(record, callsign);
    }
    plat_fclose(f);
    return found;
}

// A list too short for the number names no language; a name longer than
// 11 characters is no name the texts' sub-directories can have, so it is
// refused rather than cut and the caller gets the texts for every language.
bool language_name(unsigned number, char *out)
{
    char path[FILTER_PATH_MAX];
    char line[LANGUAGE_LINE];
    char name[LANGUAGE_LINE];
    snprintf(path, sizeof path, "%s\\%s", host_info.system_directory, "langue.sys");
    PlatText f;
    if (!plat_open_text(path, &f))
        return false;
    unsigned long long wanted = (unsigned long long)number + 2;
    unsigned long long read = 0;
    while (read < wanted && read_significant_line(&f, line, sizeof line, nullptr))
        read++;
    plat_close_text(&f);
    if (read < wanted || sscanf(line, "%79s", name) != 1 || strlen(name) > LANGUAGE_NAME_MAX)
        return false;
    return copy_text(out, LANGUAGE_NAME_MAX + 1, name);
}

bool caller_language(char *out)
{
    unsigned char record[HOST_RECORD_SIZE];
    if (!host_info_ready())
        return false;
    if (!find_host_user(connection_info.callsign, record))
        return false;
    return language_name(record[HOST_LANGUAGE_OFFSET], out);
}

void host_files_reset(void)
{
    memset(&host_info, 0, sizeof host_info);
    strcpy(host_info.host_sysop, "SYSOP");
    memset(port_table, 0, sizeof port_table);
    port_table_loaded = false;
    port_count = 0;
}
