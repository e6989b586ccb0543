// check_texts.cpp - the caller texts the options switch on, and station texts two stations reach.
#include "common/filter_dir.h"
#include "config/filter_config.h"
#include "platform/platform.h"
#include "tools/check/check_report.h"
#include "tools/check/check_run.h"

#include <algorithm>

// text_missing_ports - the ports with a port line for which neither stem<port>.prt nor general exists.
static std::string text_missing_ports(const ConfigFacts &c, const std::string &stem, const std::string &general,
                                      int method)
{
    if (plat_exists(filter_file(general).c_str()))
        return "";
    std::string ports;
    for (const PortLine &p : c.ports)
        if ((method == 0 || p.method == method) &&
            !plat_exists(filter_file(stem + std::to_string(p.port) + ".prt").c_str()))
            ports += (ports.empty() ? "" : ", ") + std::to_string(p.port);
    return ports;
}

// check_texts - the caller texts the options switch on.
void check_texts(const ConfigFacts &c)
{
    FilterConfig &o = filter_config;
    std::string ports;
    if (o.send_open_text && !(ports = text_missing_ports(c, "open", "open.prt", 0)).empty())
        check_finding(true, c.file, c.role_line.at(OPTION_OPEN_TEXT),
                      "the open text is switched on but " + filter_dir_shown() + "open.prt is missing (and the per-port text for port " +
                          ports + "); every station admitted by OPEN there gets error 8 and no texts at all; write "
                          "open.prt, or switch this line to NO");
    if (o.send_exclusion_text && !(ports = text_missing_ports(c, "exclud", "excluded.prt", 0)).empty())
        check_finding(true, c.file, c.role_line.at(OPTION_EXCLUSION_TEXT),
                      "the exclusion text is switched on but " + filter_dir_shown() + "excluded.prt is missing (and the per-port text "
                      "for port " + ports + "); every refused EXCLUDED station there gets error 11 and is not logged; "
                      "write excluded.prt, or switch this line to NO");
    if (!(ports = text_missing_ports(c, "info", "info.prt", METHOD_CLOSED)).empty())
        check_finding(true, c.file, 0,
                      "port " + ports + " is CLOSED but " + filter_dir_shown() + "info.prt is missing; every station refused there "
                      "gets error 9 instead of the information text; write info.prt");
    struct Optional { bool on; int role; const char *stem; const char *general; const char *what; };
    const Optional optional[] = {
        {o.send_guest_text, OPTION_GUEST_TEXT, "guest", "guest.prt", "guest text"},
        {o.send_intro_text, OPTION_INTRO_TEXT, "intro", "intro.prt", "intro text"},
        {o.new_user_welcome && (o.new_user_actions & NEW_USER_TEXT), OPTION_NEW_USER, "newtxt", "newtxt.prt", "new-user text"},
        {o.new_user_welcome && (o.new_user_actions & NEW_USER_MESSAGE), OPTION_NEW_USER, "newmsg", "newmsg.prt",
         "new-user message"},
    };
    for (const Optional &t : optional)
        if (t.on && c.role_line.count(t.role) && !(ports = text_missing_ports(c, t.stem, t.general, 0)).empty())
            check_finding(false, c.file, c.role_line.at(t.role),
                          std::string("the ") + t.what + " is switched on but " + filter_dir_shown() + t.general +
                              " is missing (and the per-port text for port " + ports + "); nothing is sent there; write " +
                              t.general + ", or switch it off");
}

// text_readers - the stations whose station text is the file of this stem:
// those whose callsign and SSID spell it (the filter tries CALL + SSID
// first), and the callsign it spells alone (tried when CALL + SSID is missing).
static std::vector<std::string> text_readers(const std::string &stem)
{
    std::vector<std::string> out;
    for (size_t cut = 1; cut < stem.size(); cut++) {
        std::string call = stem.substr(0, cut), ssid = stem.substr(cut);
        if (ssid.size() > 2 || (ssid.size() > 1 && ssid[0] == '0') || !well_formed_key(call + "-" + ssid) ||
            atoi(ssid.c_str()) > SSID_MAX)
            continue;
        out.push_back(call + "-" + ssid);
    }
    if (well_formed_key(stem))
        out.push_back(stem + " (any SSID without a text of its own)");
    return out;
}

// check_station_texts - a station text that two stations reach: each is
// shown what was written for the other.
void check_station_texts(void)
{
    PlatListing listing;
    if (!plat_open_listing(FILTER_DIR, &listing))
        return;
    char name[260];
    std::vector<std::string> names;
    while (plat_next_name(&listing, name, sizeof name))
        names.push_back(name);
    plat_close_listing(&listing);
    std::sort(names.begin(), names.end());
    for (const std::string &n : names) {
        if (n.size() < 5 || upper(n.substr(n.size() - 4)) != ".ENT")
            continue;
        std::vector<std::string> readers = text_readers(upper(n.substr(0, n.size() - 4)));
        if (readers.size() < 2)
            continue;
        std::string list;
        for (size_t i = 0; i < readers.size(); i++)
            list += (i == 0 ? "" : i + 1 == readers.size() ? " and " : ", ") + readers[i];
        check_finding(false, FILTER_DIR "/" + n, 0,
                      "the station text of " + list + "; the filter builds the name from the callsign and the SSID "
                      "written together, so each of them is shown this text; keep it for one of them, and if the others "
                      "must read nothing meant for it, give them their own text (CALL + SSID.ent)");
    }
}
