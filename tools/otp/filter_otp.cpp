// filter_otp.cpp - the sysop's side of the one-time codes: a new secret for
// a station, and the printed list of a station's next HOTP codes.
//
// The secret comes from the system's generator, through the filter's own
// platform layer; the codes, the base32 text and the used counter come from
// the filter's own code, so a list can never disagree with what the filter
// accepts. Files are only read, in a dry run: nothing is written but the
// SVG file asked for. Exit status 0, 1 when the setup does not allow the
// request, 100 for a usage error.
#include "auth/code_use.h"
#include "auth/one_time_codes.h"
#include "common/otp_secret.h"
#include "common/records.h"
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
#include <fstream>
#include <string>

enum { EXIT_REFUSED = 1, NEW_SECRET_BYTES = 20, LIST_MAX = 1000 };

struct OtpOptions {
    std::string dir = ".";
    std::string station;
    bool hotp = false;
    std::string secret;
    std::string svg;
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

// bbs_callsign - the BBS's callsign from the start-up file; "" when it cannot be read.
static std::string bbs_callsign(void)
{
    plat_dry_run_begin();
    bool read = load_host_info() > 0;
    plat_dry_run_end();
    return read ? host_info.bbs_callsign : "";
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

// otpauth_uri - the key URI that authenticator apps read: the issuer is the BBS, the account the station.
static std::string otpauth_uri(const std::string &issuer, const std::string &station, const std::string &secret,
                               bool hotp)
{
    std::string uri = std::string("otpauth://") + (hotp ? "hotp" : "totp") + "/" + issuer + ":" + station +
                      "?secret=" + secret + "&issuer=" + issuer + "&algorithm=SHA1&digits=6";
    return uri + (hotp ? "&counter=0" : "&period=30");
}

// write_svg - the code into path; false after a message.
static bool write_svg(const std::string &uri, const std::string &path)
{
    std::string svg;
    if (!qr_svg(uri, &svg)) {
        fprintf(stderr, "filter-otp: cannot draw the QR code for %s\n", path.c_str());
        return false;
    }
    std::ofstream out(path, std::ios::binary);
    out << svg;
    out.close();
    if (!out) {
        fprintf(stderr, "filter-otp: cannot write %s\n", path.c_str());
        return false;
    }
    return true;
}

// run_new - the users.prt line, the URI and the QR code of a new secret.
static int run_new(const OtpOptions &o)
{
    if (!o.svg.empty() && !qr_available()) {
        fprintf(stderr, "filter-otp: this build draws no QR codes; --svg is not available\n");
        return EXIT_USAGE;
    }
    std::string issuer = bbs_callsign();
    if (issuer.empty()) {
        fprintf(stderr, "filter-otp: the start-up file (init_w.srv, init_d.srv or init.srv) gives no BBS callsign\n");
        return EXIT_REFUSED;
    }
    std::string secret = new_secret(o.secret);
    if (secret.empty())
        return EXIT_REFUSED;
    const char *method = o.hotp ? "HOTP" : "TOTP";
    std::string station = station_key(), uri = otpauth_uri(issuer, station, secret, o.hotp);
    printf("Line for the entry of %s in users.prt (every port; put a port instead of * to limit it):\n", station.c_str());
    printf("*  %s  %s\n\n", method, secret.c_str());
    printf("Key URI for the authenticator app:\n%s\n", uri.c_str());
    std::string picture;
    if (qr_terminal(uri, &picture))
        printf("\n%s", picture.c_str());
    if (!o.svg.empty()) {
        if (!write_svg(uri, o.svg))
            return EXIT_REFUSED;
        printf("\nQR code written to %s\n", o.svg.c_str());
    }
    if (o.hotp)
        printf("\nThe station's first code is number 0; print its codes with: filter-otp list %s --count N\n",
               station.c_str());
    return 0;
}

// station_secret - the station's HOTP secret from users.prt for the port; false after a message.
static bool station_secret(const OtpOptions &o, unsigned char secret[OTP_SECRET_MAX], int *length)
{
    plat_dry_run_begin();
    int8_t found = find_user_entry();
    plat_dry_run_end();
    std::string station = station_key();
    if (found <= 0) {
        fprintf(stderr, "filter-otp: users.prt has %s for %s on port %d\n",
                found < 0 ? "a wrong line in the entry" : "no line", station.c_str(), o.port);
        return false;
    }
    if (user_entry.method != METHOD_HOTP) {
        const char *name = method_name(user_entry.method);
        fprintf(stderr, "filter-otp: %s is under %s on port %d, not HOTP: no list to print\n", station.c_str(),
                name ? name : "OPEN", o.port);
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
    int length = 0;
    if (!station_secret(o, secret, &length))
        return EXIT_REFUSED;
    std::string station = station_key();
    uint64_t next = 0;
    if (!read_code_use(station.c_str(), CODE_HOTP, secret, (size_t)length, &next)) {
        wipe(secret, sizeof secret);
        fprintf(stderr, "filter-otp: cannot read morvel/" CODE_USE_FILE "\n");
        return EXIT_REFUSED;
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
    app.add_option("--dir", o.dir, "the host's working directory (holding init.srv and morvel/); default: .");
    app.set_version_flag("--version", tool_version_line("filter-otp"));
    CLI::App *make = app.add_subcommand("new", "draw a 160-bit secret; print the users.prt line, the key URI and its QR code");
    make->add_option("CALLSIGN-SSID", o.station, "the station, for example N0CALL-1")->required();
    make->add_flag("--hotp", o.hotp, "counter codes (a printed list) instead of time codes (an app)");
    make->add_option("--svg", o.svg, "also write the QR code as an SVG file, to print");
    make->add_option("--secret", o.secret, "use this base32 secret instead of drawing one (to show it again)");
    CLI::App *list = app.add_subcommand("list", "print the station's next HOTP codes, numbered");
    list->add_option("CALLSIGN-SSID", o.station, "the station, for example N0CALL-1")->required();
    list->add_option("--count", o.count, "how many codes")->required()->check(CLI::Range(1, (int)LIST_MAX));
    list->add_option("--port", o.port, "the port whose line of the entry gives the secret (default 1)");
    int status;
    if (!parse_tool_line(app, &status, argc, argv))
        return status;
    if (!station_is_well_formed(o.station) || !select_station(o.station, o.port)) {
        fprintf(stderr, "filter-otp: %s is not CALLSIGN-SSID\n", o.station.c_str());
        return EXIT_USAGE;
    }
    if (!enter_setup(o.dir, "filter-otp"))
        return EXIT_USAGE;
    return make->parsed() ? run_new(o) : run_list(o);
}
