#!/usr/bin/env python3
"""make_sample_logs.py - play a month of sessions on the sample host, so that
the logs and state files in examples/bbs/morvel are the filter's own.

Every session goes through the host simulator (filter-host --at DATE TIME),
which runs the filter with its clock fixed at the session's time: no log line
is written by hand. The month is November 2026, a few hundred connections a
day from the sample's stations and some 140 others, on every port, with what
a BBS sees in a month:
- typing mistakes, and stations that use up their answers (lognopas.prt);
- excluded stations refused (logexcld.prt);
- two lockouts by the guard (guard.prt: FAILURES 5 MINUTES 15): a guesser
  hopping across SSIDs of N0CALL on the 9th, another at N0FIX on the 23rd,
  who also keeps the real N0FIX out for a while (lockouts.prt, guard.dat);
- N0TOTP logging in with its authenticator app (otpused.prt); N0HOTP never
  uses its printed list, so the guide's examples still start at code 0;
- a wrong line the sysop left in users.prt on the evening of the 17th and
  mended the next morning: error 7 (error.prt).
The mail the month caused went to the BBS, which imported it: none is kept.

The same seed gives the same month. The sessions run on a copy; the files
the filter wrote then replace those of SAMPLE_DIR. Run with TZ=UTC (the
script sets it) so that the times kept as seconds come out the same anywhere.

usage: make_sample_logs.py FILTER_HOST [SAMPLE_DIR]
       (SAMPLE_DIR: default examples/bbs of this source tree)
"""
import calendar
import os
import random
import re
import shutil
import subprocess
import sys
import tempfile

YEAR, MONTH = 2026, 11
SEED = 2611
DAYS = calendar.monthrange(YEAR, MONTH)[1]

DEFAULT_SAMPLE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "examples", "bbs")

# What the filter writes in morvel/ that the sample keeps: the logs and the
# state files. Left out: its lock file, the index of pending challenges and
# challenge files (none is left pending), and mail held for the BBS.
KEPT = re.compile(r"^(logcnx|lognopas\.prt|logexcld\.prt|lockouts\.prt|guard\.dat|otpused\.prt|error\.prt|"
                  r"ERROR\d+\.TMP)$", re.IGNORECASE)

# Connections by hour of day: quiet at night, a morning peak, the evening most.
HOUR_WEIGHTS = [2, 1, 1, 1, 1, 2, 4, 7, 8, 7, 6, 6, 7, 6, 5, 5, 6, 8, 10, 12, 13, 12, 9, 5]
# HF (port 4) carries the long-distance stations, busier late in the evening and at night.
HF_HOUR_WEIGHTS = [6, 5, 4, 3, 2, 2, 3, 4, 4, 3, 3, 3, 3, 3, 3, 4, 5, 6, 8, 10, 11, 11, 10, 8]

PREFIXES = ["K1", "K4", "W2", "W5", "N4", "KB2", "KD8", "VE3", "VE7", "DL1", "DL4", "DK2", "F5", "F4", "EA3",
            "EA7", "G4", "G0", "M0", "ON4", "PA3", "I2", "IK1", "OE1", "HB9", "SM5", "OH2", "LA1", "OZ1", "SP9"]
FOREIGN = ("DL", "DK", "F", "EA", "G", "M", "ON", "PA", "I", "OE", "HB", "SM", "OH", "LA", "OZ", "SP")


class Session:
    """Session - one connection: when, who, on which port, how the caller answers, the verdict expected."""

    def __init__(self, when, station, port, expect, args=(), flags=0, count=2, note=""):
        self.when = when          # seconds from the start of the month, with hundredths
        self.station = station
        self.port = port
        self.expect = expect      # the verdict the session must end with
        self.args = list(args)
        self.flags = flags
        self.count = count
        self.note = note


def clock(when):
    """clock - the date and time arguments of --at for a moment of the month."""
    day = int(when // 86400) + 1
    rest = when - (day - 1) * 86400
    hours, rest = divmod(rest, 3600)
    minutes, seconds = divmod(rest, 60)
    whole = int(seconds)
    hundredths = min(99, int(round((seconds - whole) * 100)))
    return "%04d-%02d-%02d" % (YEAR, MONTH, day), "%02d:%02d:%02d,%02d" % (hours, minutes, whole, hundredths)


def at(day, hour, minute, second=0.0):
    """at - a moment of the month."""
    return (day - 1) * 86400 + hour * 3600 + minute * 60 + second


def table_passwords(sample):
    """table_passwords - day of the month -> N0TBL's password of that day."""
    rows = {}
    with open(os.path.join(sample, "morvel", "N0TBL.TBL"), encoding="latin-1") as f:
        for line in f:
            words = line.split()
            if len(words) >= 2 and words[0].isdigit():
                rows.setdefault(int(words[0]), words[1])
    return rows


def pool_stations(rng):
    """pool_stations - the stations users.prt does not list: callsign-SSID, home port, weight, first day."""
    stations, seen = [], set()
    while len(stations) < 140:
        call = rng.choice(PREFIXES) + "".join(rng.choice("ABCDEFGHIJKLMNOPQRSTUVWXYZ") for _ in range(rng.choice((2, 3))))
        if len(call) > 6 or call in seen:
            continue
        seen.add(call)
        ssid = rng.choice((0, 0, 0, 0, 1, 2, 7, 9, 10, 15))
        foreign = call.startswith(FOREIGN)
        port = 4 if foreign and rng.random() < 0.3 else rng.choice((1, 1, 1, 2))
        weight = 1.0 / (len(stations) + 3) ** 0.9
        first = 1 if rng.random() < 0.9 else rng.randint(2, DAYS)
        stations.append(("%s-%d" % (call, ssid), port, weight, first))
    return stations


def moment(rng, day, port=1):
    """moment - a time of the day, drawn by the hour weights."""
    weights = HF_HOUR_WEIGHTS if port == 4 else HOUR_WEIGHTS
    hour = rng.choices(range(24), weights)[0]
    return at(day, hour, rng.randrange(60), rng.randrange(6000) / 100.0)


def challenged(rng, when, station, port, password, wrong, one_answer=False):
    """challenged - a station that knows its password; now and then it mistypes once first. Where one
    answer ends the challenge (FIXED, FLEXNET) the typing mistake is refused, and the station calls again."""
    if rng.random() >= 0.06:
        return [Session(when, station, port, 0, ["--password", password])]
    if one_answer:
        return [Session(when, station, port, 2, ["--answer", wrong], note="typo, refused"),
                Session(when + 50 + rng.randrange(100), station, port, 0, ["--password", password], note="again")]
    return [Session(when, station, port, 0, ["--answer", wrong, "--password", password], note="typo")]


def used_up(when, station, port, wrong):
    """used_up - wrong answers until the challenge ends: refused, and written to the failed-password log."""
    return Session(when, station, port, 2, ["--answer", wrong, "--answer", wrong + "x", "--answer", wrong + "y"],
                   note="answers used up")


def listed_sessions(rng, day, tables):
    """listed_sessions - a day of the stations the sample's users.prt lists."""
    s = []
    for _ in range(rng.randint(3, 5)):
        s += challenged(rng, moment(rng, day), "N0CALL-1", rng.choice((1, 1, 2)), "Sesame42", "Sesam")
    for _ in range(rng.randint(1, 2)):
        s.append(Session(moment(rng, day, 4), "N0CALL-0", 4, 0, note="N0CALL trusted on HF"))
    for hour in range(1, 24, 4):
        s.append(Session(at(day, hour, 5, rng.randrange(3000) / 100.0), "N0CALL-7", 2, 4, note="unattended node"))
    for _ in range(rng.randint(1, 3)):
        s += challenged(rng, moment(rng, day), "N0FIX-0", 1, "letmein7", "letmein8", one_answer=True)
    for _ in range(rng.randint(1, 2)):
        s += challenged(rng, moment(rng, day), "N0MD5-0", 1, "Tr0ub4dor", "zz")
    s += challenged(rng, moment(rng, day), "N0TBL-0", 2, tables[day], "password")
    for _ in range(rng.randint(1, 3)):
        s += challenged(rng, moment(rng, day), "N0FLEX-0", 1, "31415", "0", one_answer=True)
    for hour in (2, 8, 14, 20):
        s.append(Session(at(day, hour, 30 + rng.randrange(20), 0), "N1BBS-0", 1, 0, flags=16, note="BBS partner"))
    for hour in (3, 9, 15, 21):
        s.append(Session(at(day, hour, 10 + rng.randrange(20), 0), "N2BBS-0", 1, 0, ["--password", "linkpass"],
                         note="forwarding partner"))
    for hour in (5, 17):
        s.append(Session(at(day, hour, 40, 0), "N3BBS-0", 2, 0, ["--password", "link5pass"], note="forwarding"))
    for _ in range(rng.randint(2, 4)):
        s.append(Session(moment(rng, day), "N0OPEN-0", 1, 0))
    if rng.random() < 0.7:
        s.append(Session(moment(rng, day), "N0READ-0", 1, 3))
    if rng.random() < 0.5:
        s.append(Session(moment(rng, day), "N0HOLD-0", 1, 4))
    if rng.random() < 0.4:
        s.append(Session(moment(rng, day), "N0GST-0", 1, 11))
    for _ in range(rng.randint(1, 3)):
        s.append(Session(moment(rng, day), "N9ABC-1", 2, 0, note="N9* is open on 433.500"))
    # The sysop at the console, morning and evening.
    s.append(Session(at(day, 7, 50 + rng.randrange(8), rng.randrange(6000) / 100.0), "N0SYS-0", 0, 0,
                     ["--password", "Kb0ard"], note="console"))
    s.append(Session(at(day, 22, rng.randrange(50), rng.randrange(6000) / 100.0), "N0SYS-0", 0, 0,
                     ["--password", "Kb0ard"], note="console"))
    return s


def totp_sessions(rng, day):
    """totp_sessions - N0TOTP with its authenticator app, once or twice a day, an hour apart at least."""
    secret = "JBSWY3DPEHPK3PXPJBSWY3DPEHPK3PXP"
    hours = sorted(rng.sample(range(7, 23), rng.randint(1, 2)))
    s = []
    for hour in hours:
        when = at(day, hour, rng.randrange(60), rng.randrange(6000) / 100.0)
        if rng.random() < 0.08:
            s.append(Session(when, "N0TOTP-0", 1, 0, ["--answer", "000000", "--password", secret], note="TOTP typo"))
        else:
            s.append(Session(when, "N0TOTP-0", 1, 0, ["--password", secret], note="TOTP"))
    return s


def pool_sessions(rng, day, pool, count):
    """pool_sessions - count connections of the stations users.prt does not list."""
    active = [p for p in pool if p[3] <= day]
    weights = [p[2] for p in active]
    s = []
    for station, port, _, first in rng.choices(active, weights, k=count):
        if port != 4 and rng.random() < 0.1:
            port = 2 if port == 1 else 1
        # 433.500 admits them read-only; 144.800 and HF without a password.
        expect = 3 if port == 2 else 0
        new = first == day and not any(x.station == station for x in s)
        s.append(Session(moment(rng, day, port), station, port, expect, count=1 if new and first > 1 else 2))
    return s


def refused_sessions(rng, day):
    """refused_sessions - now and then an excluded or closed station, or a stranger on VHF."""
    s = []
    if rng.random() < 0.15:
        s.append(Session(moment(rng, day), "N0EXCL-0", 1, 2, note="excluded"))
    if rng.random() < 0.1:
        s.append(Session(moment(rng, day), "N9ABC-1", 1, 2, note="N9* is excluded on 144.800"))
    if rng.random() < 0.1:
        s.append(Session(moment(rng, day), "N0CLOS-0", 1, 2, note="closed"))
    if rng.random() < 0.12:
        s.append(Session(moment(rng, day), "KD8QRM-0", 3, 2, note="a stranger on VHF, reserved for listed stations"))
    if rng.random() < 0.2:
        s.append(used_up(moment(rng, day), rng.choice(("N0CALL-1", "N0FIX-0", "N0MD5-0")), 1, "forgot"))
    return s


def stories():
    """stories - the month's events that happen at a set time."""
    s = [
        # The 9th, 03:12: a guesser hops across N0CALL's SSIDs; the fifth failure locks N0CALL out.
        Session(at(9, 3, 12, 10.41), "N0CALL-3", 1, 2, ["--answer", "abcde", "--answer", "12345", "--answer", "aaaaa"],
                note="guesser, first try"),
        Session(at(9, 3, 14, 42.07), "N0CALL-4", 1, 2, ["--answer", "qwert", "--answer", "zxcvb", "--answer", "poiuy"],
                note="guesser, locked out at the fifth failure"),
        Session(at(9, 3, 17, 3.55), "N0CALL-5", 1, 2, note="guesser, refused by the guard"),
        # The 23rd, 22:47: a guesser at N0FIX, one answer a call (FIXED ends at the first wrong one);
        # the fifth call locks N0FIX out, and the real N0FIX is kept out until the lockout ends.
        Session(at(23, 22, 47, 21.18), "N0FIX-0", 1, 2, ["--answer", "password"], note="guesser at N0FIX"),
        Session(at(23, 22, 48, 2.93), "N0FIX-0", 1, 2, ["--answer", "letmein"], note="guesser, second"),
        Session(at(23, 22, 48, 40.5), "N0FIX-0", 1, 2, ["--answer", "letmein1"], note="guesser, third"),
        Session(at(23, 22, 49, 31.07), "N0FIX-0", 1, 2, ["--answer", "n0fix"], note="guesser, fourth"),
        Session(at(23, 22, 50, 12.61), "N0FIX-0", 1, 2, ["--answer", "Letmein"], note="guesser, locked out"),
        Session(at(23, 22, 52, 40.5), "N0FIX-0", 1, 2, note="guesser, refused by the guard"),
        Session(at(23, 22, 58, 11.02), "N0FIX-0", 1, 2, note="the real N0FIX, still locked out"),
        Session(at(23, 23, 21, 36.64), "N0FIX-0", 1, 0, ["--password", "letmein7"], note="the real N0FIX, admitted"),
        # The 17th: N0MD5 connects while users.prt has a wrong line in its entry (error 7, the port's method).
        Session(at(17, 20, 15, 8.12), "N0MD5-0", 1, 0, note="error 7: the port's method"),
        Session(at(17, 22, 3, 51.77), "N0MD5-0", 1, 0, note="error 7 again"),
    ]
    return s


# The sysop's slip: a method misspelt in N0MD5's entry, from the evening of the 17th to the next morning.
SLIP_FROM, SLIP_UNTIL = at(17, 19, 40), at(18, 8, 5)
SLIP_LINE, SLIP_TYPO = "*  MD5  Tr0ub4dor", "*  MD55  Tr0ub4dor"


def month(sample):
    """month - every session of the month, in order of time."""
    rng = random.Random(SEED)
    tables = table_passwords(sample)
    pool = pool_stations(rng)
    sessions = stories()
    for day in range(1, DAYS + 1):
        weekend = calendar.weekday(YEAR, MONTH, day) >= 5
        listed = listed_sessions(rng, day, tables) + totp_sessions(rng, day) + refused_sessions(rng, day)
        total = rng.randint(170, 230) + (70 if weekend else 0)
        sessions += listed + pool_sessions(rng, day, pool, max(0, total - len(listed)))
    # Only the stories' own sessions of N0MD5, N0FIX and N0CALL fall in their windows.
    kept = []
    for x in sessions:
        if x.station == "N0MD5-0" and SLIP_FROM <= x.when <= SLIP_UNTIL and x.note not in ("error 7: the port's method",
                                                                                            "error 7 again"):
            continue
        if x.station.startswith("N0FIX") and at(23, 22, 40) <= x.when <= at(23, 23, 30) and "guesser" not in x.note \
                and "real N0FIX" not in x.note:
            continue
        if x.station.startswith("N0CALL") and at(9, 3, 0) <= x.when <= at(9, 3, 40) and "guesser" not in x.note:
            continue
        kept.append(x)
    kept.sort(key=lambda x: x.when)
    return spread_totp(kept)


def spread_totp(sessions):
    """spread_totp - no two TOTP logins in one 30-second step: the second code would be one already used."""
    last = -60.0
    for x in sessions:
        if x.station == "N0TOTP-0":
            if x.when - last < 60:
                x.when = last + 60
            last = x.when
    sessions.sort(key=lambda x: x.when)
    return sessions


def edit_users(path, old, new):
    """edit_users - put one line of users.prt in place of another, as the sysop does in an editor."""
    with open(path, encoding="latin-1", newline="") as f:
        text = f.read()
    if old + "\n" not in text:
        sys.exit("make_sample_logs: users.prt has no line %r" % old)
    with open(path, "w", encoding="latin-1", newline="") as f:
        f.write(text.replace(old + "\n", new + "\n", 1))


def play(host, work, session):
    """play - one session through the simulator; its exit status (the final verdict)."""
    date, time = clock(session.when)
    command = [host, "--dir", work, "--at", date, time, "--port", str(session.port), "--flags", str(session.flags),
               "--count", str(session.count)] + session.args + ["connect", session.station]
    result = subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True, errors="replace")
    if result.returncode != session.expect:
        sys.exit("make_sample_logs: %s %s %s (%s) ended with %d, expected %d:\n%s"
                 % (date, time, session.station, session.note, result.returncode, session.expect, result.stdout))
    return result.returncode


def clean_generated(morvel):
    """clean_generated - remove what an earlier run left among the sample's files."""
    for name in os.listdir(morvel):
        path = os.path.join(morvel, name)
        if KEPT.match(name):
            shutil.rmtree(path) if os.path.isdir(path) else os.remove(path)


def main():
    if len(sys.argv) not in (2, 3):
        sys.exit(__doc__.strip().splitlines()[-2].strip())
    host = os.path.abspath(sys.argv[1])
    sample = os.path.abspath(sys.argv[2] if len(sys.argv) == 3 else DEFAULT_SAMPLE)
    os.environ["TZ"] = "UTC"
    work = tempfile.mkdtemp(prefix="sample-month-")
    try:
        shutil.rmtree(work)
        shutil.copytree(sample, work)
        clean_generated(os.path.join(work, "morvel"))
        for name in os.listdir(os.path.join(work, "mail")):
            os.remove(os.path.join(work, "mail", name))
        users = os.path.join(work, "morvel", "users.prt")
        sessions = month(sample)
        slipped = False
        for n, session in enumerate(sessions):
            if not slipped and session.when >= SLIP_FROM and session.when < SLIP_UNTIL:
                edit_users(users, SLIP_LINE, SLIP_TYPO)
                slipped = True
            elif slipped and session.when >= SLIP_UNTIL:
                edit_users(users, SLIP_TYPO, SLIP_LINE)
                slipped = None
            play(host, work, session)
            if n % 500 == 0:
                print("%s %s: %d of %d sessions" % (clock(session.when) + (n, len(sessions))), flush=True)
        if slipped:
            edit_users(users, SLIP_TYPO, SLIP_LINE)
        morvel = os.path.join(sample, "morvel")
        clean_generated(morvel)
        for name in sorted(os.listdir(os.path.join(work, "morvel"))):
            source = os.path.join(work, "morvel", name)
            if KEPT.match(name):
                (shutil.copytree if os.path.isdir(source) else shutil.copy2)(source, os.path.join(morvel, name))
        print("make_sample_logs: %d sessions played; the logs and state files of %s are the month's"
              % (len(sessions), morvel))
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
