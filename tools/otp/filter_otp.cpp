// filter_otp.cpp - the sysop's side of the one-time codes: a new secret for
// a station, and the printed list of a station's next HOTP codes.
//
// The secret comes from the system's generator, through the filter's own
// platform layer; the codes, the base32 text and the used counter come from
// the filter's own code, so a list can never disagree with what the filter
// accepts. Files are only read, in a dry run: nothing is written but the
// SVG file asked for, which holds the secret: it is created new, readable
// by its owner only, never through a link, and an existing file is replaced
// only with --force. It is opened before the secret is drawn, so a file that
// cannot be written costs no secret shown in vain. Exit status 0, 1 when the
// setup does not allow the request, 100 for a usage error.
#include "auth/code_use.h"
#include "auth/one_time_codes.h"
#include "common/filter_dir.h"
#include "common/otp_secret.h"
#include "common/records.h"
#include "common/trace.h"
#include "common/wipe.h"
#include "config/filter_config.h"
#include "config/host_files.h"
#include "config/user_list.h"
#include "filter/connection.h"
#include "filter/filter_state.h"
#include "platform/platform.h"
#include "tools/otp/otp_qr.h"
#include "tools/shared/tool_command_line.h"
#include "tools/shared/tool_run.h"
#include "tools/shared/tool_version.h"

#include <cstdio>
#include <filesystem>
#include <string>

enum { EXIT_REFUSED = 1, NEW_SECRET_BYTES = 20, LIST_MAX = 1000, PORT_MAX = 255 };

struct OtpOptions {
    std::string dir = ".";
    std::string station;
    bool hotp = false;
    std::string secret;
    std::string svg;
    bool force = false;
    int port = 1;
    int count = 10;
};

// select_station - connection_info for station on port, decoded as the host's call would be.
static bool select_station(const std::string &station, int port)
{
    std::vector<std::string> args = {"bbs", station, "0", "0", "2", "0", std::to_string(port), ""};
    std::vector<char *> argv;
    for (auto &a : args)
        argv.push_back(&a[0]);
    filter_reset_state();
    return decode_arguments(argv.data()) >= 0;
}

// station_key - "CALL-SSID" as the filter names the station in its files.
static std::string station_key(void)
{
    std::string call = connection_info.callsign;
    for (char &c : call)
        c = (char)toupper((unsigned char)c);
    return call + "-" + std::to_string(connection_info.ssid);
}

// bbs_callsign - the BBS's callsign from the start-up file; "" after a message.
static std::string bbs_callsign(void)
{
    plat_dry_run_begin();
    bool read = load_host_info() > 0;
    plat_dry_run_end();
    if (read && host_info.bbs_callsign[0])
        return host_info.bbs_callsign;
    for (const char *name : startup_file_names)
        if (!unreadable_text(name).empty()) {
            tool_fail(EXIT_REFUSED, unreadable_text(name));
            return "";
        }
    tool_fail(EXIT_REFUSED, "the start-up file (init_w.srv, init_d.srv or init.srv) gives no BBS callsign");
    return "";
}

static int entry_line_found;

// note_entry_line - the trace sink of hotp_line: the line the search took.
static void note_entry_line(const TraceEvent *e)
{
    if (e->kind == TRACE_ENTRY_LINE)
        entry_line_found = e->line;
}

// hotp_line - the line of users.prt that lists the station under HOTP on
// some port (the console first); 0 when there is none.
static int hotp_line(void)
{
    plat_dry_run_begin();
    trace_set_sink(note_entry_line);
    int found = 0;
    for (int p = 0; p <= PORT_MAX && !found; p++) {
        connection_info.port = (int8_t)p;
        entry_line_found = 0;
        if (find_user_entry() > 0 && user_entry.method == METHOD_HOTP)
            found = entry_line_found;
        wipe(&user_entry, sizeof user_entry);
    }
    trace_set_sink(nullptr);
    plat_dry_run_end();
    return found;
}

// code_use_failure - why the record of used codes could not be read.
static std::string code_use_failure(void)
{
    std::string path = std::string(FILTER_DIR "\\") + CODE_USE_FILE, why = unreadable_text(path);
    return why.empty() ? "cannot read " + display_path(path) + " to its end, or a line of it is not one the filter writes"
                       : why;
}

// next_hotp_code - the number of the HOTP code the filter expects next from
// a station under the base32 secret; false after a message.
static bool next_hotp_code(const std::string &secret_text, uint64_t *next)
{
    unsigned char secret[OTP_SECRET_MAX];
    int length = otp_secret_decode(secret_text.c_str(), secret);
    bool read = length > 0 && read_code_use(CODE_HOTP, secret, (size_t)length, next);
    wipe(secret, sizeof secret);
    if (!read)
        tool_fail(EXIT_REFUSED, code_use_failure());
    return read;
}

// new_secret - a drawn secret of 160 bits, or the one given, as base32; "" after a message.
static std::string new_secret(const std::string &given)
{
    unsigned char bytes[OTP_SECRET_MAX];
    char text[OTP_SECRET_TEXT];
    if (!given.empty()) {
        if (otp_secret_decode(given.c_str(), bytes) < 0) {
            fprintf(stderr, "filter-otp: --secret must be base32 of at least 128 bits (26 characters)\n");
            return "";
        }
        wipe(bytes, sizeof bytes);
        std::string upper = given;
        for (char &c : upper)
            c = (char)toupper((unsigned char)c);
        return upper.substr(0, upper.find('='));
    }
    if (!plat_random_bytes(bytes, NEW_SECRET_BYTES)) {
        fprintf(stderr, "filter-otp: the system's generator gave no random bytes\n");
        return "";
    }
    base32_encode(bytes, NEW_SECRET_BYTES, text, sizeof text);
    wipe(bytes, sizeof bytes);
    std::string secret = text;
    wipe(text, sizeof text);
    return secret;
}

// otpauth_uri - the key URI that authenticator apps read: the issuer is the
// BBS, the account the station; an HOTP app starts at the code the filter expects next.
static std::string otpauth_uri(const std::string &issuer, const std::string &station, const std::string &secret,
                               bool hotp, uint64_t counter)
{
    std::string uri = std::string("otpauth://") + (hotp ? "hotp" : "totp") + "/" + issuer + ":" + station +
                      "?secret=" + secret + "&issuer=" + issuer + "&algorithm=SHA1&digits=6";
    return uri + (hotp ? "&counter=" + std::to_string(counter) : "&period=30");
}

// open_svg - the replacement that will hold the QR code of path, created
// now, readable by its owner only; false after a message. A link, a
// directory or a file with other names is never written through, and an
// existing file is replaced only with force.
static bool open_svg(const std::string &path, bool force, PlatReplacement *r)
{
    PlatFileKind kind = plat_file_kind(path.c_str());
    if (kind == PLAT_OTHER_FILE) {
        fprintf(stderr, "filter-otp: %s is a link, a directory or a file with other names: it is never written "
                        "through; name a new file\n", path.c_str());
        return false;
    }
    if (kind == PLAT_PLAIN_FILE && !force) {
        fprintf(stderr, "filter-otp: %s exists; name a new file, or give --force to replace it\n", path.c_str());
        return false;
    }
    if (!plat_open_secret(path.c_str(), r)) {
        fprintf(stderr, "filter-otp: cannot create %s: check that its directory exists and can be written\n",
                path.c_str());
        return false;
    }
    return true;
}

// write_svg - the code into the replacement opened for path, put in place;
// false after a message (the replacement is dropped then).
static bool write_svg(const std::string &uri, const std::string &path, PlatReplacement *r)
{
    std::string svg;
    if (!qr_svg(uri, &svg)) {
        plat_discard_replacement(r);
        fprintf(stderr, "filter-otp: cannot draw the QR code for %s\n", path.c_str());
        return false;
    }
    fwrite(svg.data(), 1, svg.size(), r->stream);
    if (!plat_commit_replacement(r)) {
        fprintf(stderr, "filter-otp: cannot write %s\n", path.c_str());
        return false;
    }
    return true;
}

// run_new - the users.prt line, the URI and the QR code of a new secret.
static int run_new(const OtpOptions &o, const std::string &svg_shown)
{
    if (!o.svg.empty() && !qr_available())
        return tool_fail(EXIT_USAGE, "this build draws no QR codes; --svg is not available");
    std::string issuer = bbs_callsign();
    if (issuer.empty())
        return EXIT_REFUSED;
    std::string station = station_key();
    int listed = o.hotp ? 0 : hotp_line();
    if (listed)
        return tool_fail(EXIT_REFUSED, station + " is listed under HOTP (users.prt:" + std::to_string(listed) +
                                           "): give --hotp for its secret and the code it is at, or change its "
                                           "line first");
    static PlatReplacement svg_file;   // large for a stack
    if (!o.svg.empty() && !open_svg(o.svg, o.force, &svg_file))
        return EXIT_REFUSED;
    std::string secret = new_secret(o.secret);
    uint64_t next = 0;
    if (secret.empty() || (o.hotp && !next_hotp_code(secret, &next))) {
        if (!o.svg.empty())
            plat_discard_replacement(&svg_file);
        return EXIT_REFUSED;
    }
    const char *method = o.hotp ? "HOTP" : "TOTP";
    std::string uri = otpauth_uri(issuer, station, secret, o.hotp, next);
    printf("Line for the entry of %s in users.prt (every port; put a port instead of * to limit it):\n", station.c_str());
    printf("*  %s  %s\n\n", method, secret.c_str());
    printf("Key URI for the authenticator app:\n%s\n", uri.c_str());
    if (qr_available()) {
        printf("\n");
        fflush(stdout);
        qr_print_terminal(uri);
    }
    if (!o.svg.empty()) {
        if (!write_svg(uri, o.svg, &svg_file))
            return EXIT_REFUSED;
        printf("\nQR code written to %s (readable by its owner only)\n", svg_shown.c_str());
    }
    if (o.hotp && next == 0)
        printf("\nThe station's first code is number 0; print its codes with: filter-otp list %s --count N\n",
               station.c_str());
    else if (o.hotp)
        printf("\nThe filter expects code number %llu next (the codes before it are used); print its codes with: "
               "filter-otp list %s --count N\n", (unsigned long long)next, station.c_str());
    return 0;
}

// station_secret - the station's HOTP secret from users.prt for the port;
// false after a message, with the exit status in *status.
static bool station_secret(const OtpOptions &o, unsigned char secret[OTP_SECRET_MAX], int *length, int *status)
{
    char users[FILTER_PATH_MAX];
    config_file_path("users.prt", users, sizeof users);
    std::string unreadable = unreadable_text(users);
    if (!unreadable.empty()) {
        *status = tool_fail(EXIT_REFUSED, unreadable);
        return false;
    }
    plat_dry_run_begin();
    int8_t found = find_user_entry();
    plat_dry_run_end();
    std::string station = station_key();
    if (found < 0) {
        *status = tool_fail(EXIT_REFUSED, "users.prt has a wrong line in the entry of " + station + " (filter-check " +
                                              "names it)");
        return false;
    }
    if (found == 0) {
        // The port is the sysop's to choose: one the entry does not serve is a usage error.
        *status = tool_fail(EXIT_USAGE, "users.prt has no line for " + station + " on port " +
                                            std::to_string(o.port) + ": give --port with a port of its entry");
        return false;
    }
    if (user_entry.method != METHOD_HOTP) {
        const char *name = method_name(user_entry.method);
        *status = tool_fail(EXIT_REFUSED, station + " is under " + (name ? name : "OPEN") + " on port " +
                                              std::to_string(o.port) + ", not HOTP: no list to print");
        return false;
    }
    *length = otp_secret_decode(user_entry.password, secret);
    wipe(&user_entry, sizeof user_entry);
    return *length > 0;
}

// run_list - the station's next count codes, numbered from its next unused one.
static int run_list(const OtpOptions &o)
{
    unsigned char secret[OTP_SECRET_MAX];
    int length = 0, status = EXIT_REFUSED;
    if (!station_secret(o, secret, &length, &status))
        return status;
    std::string station = station_key();
    uint64_t next = 0;
    if (!read_code_use(CODE_HOTP, secret, (size_t)length, &next)) {
        wipe(secret, sizeof secret);
        return tool_fail(EXIT_REFUSED, code_use_failure());
    }
    printf("One-time codes of %s (HOTP), each good once, in order:\n", station.c_str());
    for (int i = 0; i < o.count; i++) {
        char code[OTP_CODE_TEXT];
        otp_code_text(secret, (size_t)length, next + (uint64_t)i, code);
        printf("%6llu  %s\n", (unsigned long long)(next + (uint64_t)i), code);
    }
    wipe(secret, sizeof secret);
    return 0;
}

int main(int argc, char **argv)
{
    OtpOptions o;
    std::string qr_note = qr_available() ? "" : "\nThis build draws no QR codes (libqrencode was not found): new prints the URI only.";
    CLI::App app{"filter-otp: one-time codes (TOTP, HOTP) for the connection filter's stations." + qr_note};
    app.require_subcommand(1);
    // --dir belongs to every subcommand, before or after it.
    app.fallthrough();
    app.add_option("--dir", o.dir, "the host's working directory (holding init.srv and morvel/); default: .");
    app.set_version_flag("--version", tool_version_line("filter-otp"));
    CLI::App *make = app.add_subcommand("new", "draw a 160-bit secret; print the users.prt line, the key URI and its QR code");
    make->add_option("CALLSIGN-SSID", o.station, "the station, for example N0CALL-1")->required();
    make->add_flag("--hotp", o.hotp, "counter codes (a printed list) instead of time codes (an app)");
    make->add_option("--svg", o.svg, "also write the QR code as an SVG file, to print: a new file, readable by "
                                     "its owner only");
    make->add_flag("--force", o.force, "replace the --svg file when it exists");
    make->add_option("--secret", o.secret, "use this base32 secret instead of drawing one (to show it again)");
    CLI::App *list = app.add_subcommand("list", "print the station's next HOTP codes, numbered");
    list->add_option("CALLSIGN-SSID", o.station, "the station, for example N0CALL-1")->required();
    list->add_option("--count", o.count, "how many codes")->required()->check(CLI::Range(1, (int)LIST_MAX));
    list->add_option("--port", o.port, "the port whose line of the entry gives the secret (default 1)")
        ->check(CLI::Range(0, (int)PORT_MAX));
    int status;
    if (!parse_tool_line(app, "filter-otp", &status, argc, argv))
        return status;
    if (!station_is_well_formed(o.station) || !select_station(o.station, o.port))
        return tool_fail(EXIT_USAGE, o.station + " is not CALLSIGN-SSID");
    // --svg names a file from where the sysop is, not from the setup's directory.
    std::error_code ec;
    std::string svg_shown = o.svg;
    if (!o.svg.empty())
        o.svg = std::filesystem::absolute(o.svg, ec).string();
    if (!enter_setup(o.dir))
        return EXIT_USAGE;
    return make->parsed() ? run_new(o, svg_shown) : run_list(o);
}
