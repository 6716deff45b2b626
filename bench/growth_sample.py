#!/usr/bin/env python3
"""Grows the mailboxes of programs that poll one dovecot and measures each poll.

usage: growth_sample.py POLLS SIZES MAILBOX_DIR CGROUP OUT PROGRAM...
PROGRAM is NAME:PID:USER. SIZES is a comma-separated list of message counts
(e.g. 0,1000,50000). For each size, every user's maildir is filled to it
(hard links to one pool of messages, named as dovecot's delivery names them,
with their sizes); then, for each program, its first poll after the fill is
left out (it meets the new mail) and the POLLS polls after it are measured,
each from its start to the next one's. Meanwhile the process CPU of every
program and the CPU of dovecot's cgroup (every process of the server, ended
ones too) are sampled ten times a second. Writes OUT/timeline and
OUT/phases for the report. An error box of the first program (a poll that
failed) is dismissed with Return, as a user would, and counted.

usage: growth_sample.py report OUT PCAP PORT
reads a capture of the server's port and prints, per size and program: the
client's CPU per poll, the bytes each way, dovecot's CPU for the session,
and the commands the client sent.
"""
import collections
import json
import os
import struct
import sys
import time

import error_box
import idle_sample

POLL_GAP = 150  # seconds a poll may take to come: a minute's tick, and a slow peer
POOL = "pool"


def cpu_ms(pid):
    # The clock id the kernel gives a whole process: CPUCLOCK_SCHED of ~pid.
    return time.clock_gettime_ns(((~pid) << 3) | 2) / 1e6


def cgroup_ms(cgroup):
    with open(os.path.join(cgroup, "cpuacct.usage")) as f:
        return int(f.read()) / 1e6


def message(i):
    text = (f"From: sender{i % 97}@example.org\nTo: bench@localhost\n"
            f"Subject: message {i} of the growing mailbox\n"
            f"Date: Tue, 08 Dec 2026 12:00:00 +0000\nMessage-ID: <{i}@example.org>\n\n"
            "A line of text, as a short mail has.\nAnd a second one.\n")
    data = text.encode()
    return data, len(data) + text.count("\n")


def fill(mailbox_dir, users, size):
    """Every user's maildir holds messages 0 .. size-1, and no others."""
    pool = os.path.join(mailbox_dir, POOL)
    os.makedirs(pool, exist_ok=True)
    names = []
    for i in range(size):
        data, vsize = message(i)
        name = f"{1700000000 + i}.M{i}P1.bench,S={len(data)},W={vsize}:2,"
        path = os.path.join(pool, name)
        if not os.path.exists(path):
            with open(path, "wb") as f:
                f.write(data)
            os.chown(path, 65534, 65534)
        names.append(name)
    for user in users:
        cur = os.path.join(mailbox_dir, "mail", user, "Maildir", "cur")
        wanted = set(names)
        present = set(os.listdir(cur))
        for name in present - wanted:
            os.unlink(os.path.join(cur, name))
        for name in wanted - present:
            os.link(os.path.join(pool, name), os.path.join(cur, name))


class Timeline:
    def __init__(self, path, programs, cgroup):
        self.f = open(path, "w")
        self.programs, self.cgroup = programs, cgroup

    def sample(self):
        row = [time.time(), cgroup_ms(self.cgroup)] + [cpu_ms(p["pid"]) for p in self.programs]
        self.f.write(" ".join(f"{v:.3f}" for v in row) + "\n")


def logins(log, offset, users):
    """The times (seconds since the epoch, as sampled) of each user's logins."""
    found = {u: 0 for u in users}
    with open(log, errors="replace") as f:
        f.seek(offset)
        for line in f:
            for u in users:
                if idle_sample.login_line(u) in line:
                    found[u] += 1
    return found


def run(polls, sizes, mailbox_dir, cgroup, out, described):
    programs = [dict(zip(("name", "pid", "user"), d.split(":"))) for d in described]
    for p in programs:
        p["pid"] = int(p["pid"])
    users = [p["user"] for p in programs]
    log = os.path.join(mailbox_dir, "dovecot.log")
    timeline = Timeline(os.path.join(out, "timeline"), programs, cgroup)
    phases = []
    for size in sizes:
        print(f"filling every mailbox to {size} messages", file=sys.stderr)
        fill(mailbox_dir, users, size)
        start = time.time()
        offset = os.path.getsize(log)
        deadline = time.monotonic() + POLL_GAP * (polls + 2)
        seen, boxes, next_look = {}, error_box.Boxes(programs[0]["pid"]), 0
        # The poll that meets the new mail, then POLLS measured, and the
        # start of one more, where the last measured one ends.
        while any(seen.get(u, 0) < polls + 2 for u in users):
            if time.monotonic() > deadline:
                late = [u for u in users if seen.get(u, 0) < polls + 2]
                sys.exit(f"at {size} messages, fewer than {polls + 2} polls came from {', '.join(late)}")
            for p in programs:
                if not os.path.exists(f"/proc/{p['pid']}"):
                    sys.exit(f"{p['name']} ended during the run")
            timeline.sample()
            if time.monotonic() >= next_look:
                boxes.dismiss()
                next_look = time.monotonic() + 1
            now = logins(log, offset, users)
            for u in users:
                if now[u] != seen.get(u, 0):
                    print(f"  {u}: poll {now[u]} at {size} messages", file=sys.stderr)
            seen = now
            time.sleep(0.1)
        for _ in range(20):  # the last sessions' ends
            timeline.sample()
            time.sleep(0.1)
        phases.append({"size": size, "start": start, "end": time.time(), "failed": boxes.count})
    timeline.f.close()
    with open(os.path.join(out, "phases"), "w") as f:
        json.dump({"polls": polls, "programs": programs, "phases": phases}, f)


def packets(pcap):
    """(time, src port, dst port, flags, payload) of each TCP packet over IP."""
    with open(pcap, "rb") as f:
        data = f.read()
    magic = struct.unpack("<I", data[:4])[0]
    endian, scale = {0xA1B2C3D4: ("<", 1e-6), 0xA1B23C4D: ("<", 1e-9)}.get(magic, (">", 1e-6))
    linktype = struct.unpack(endian + "I", data[20:24])[0]
    link = {1: 14, 113: 16, 276: 20}[linktype]  # Ethernet, Linux cooked v1, v2
    at = 24
    while at + 16 <= len(data):
        sec, frac, incl, _ = struct.unpack(endian + "IIII", data[at:at + 16])
        frame = data[at + 16:at + 16 + incl]
        at += 16 + incl
        ip = frame[link:]
        if not ip:
            continue
        if ip[0] >> 4 == 4:
            header, total = (ip[0] & 15) * 4, struct.unpack(">H", ip[2:4])[0]
            tcp = ip[header:total]
        else:
            tcp = ip[40:40 + struct.unpack(">H", ip[4:6])[0]]
        src, dst = struct.unpack(">HH", tcp[:4])
        offset = (tcp[12] >> 4) * 4
        yield sec + frac * scale, src, dst, tcp[13], tcp[offset:]


def sessions(pcap, port):
    """Each connection to the port: start, end, user, bytes each way, commands."""
    found = {}
    for t, src, dst, flags, payload in packets(pcap):
        client = dst if src == port else src
        s = found.setdefault(client, {"start": t, "end": t, "up": 0, "down": 0,
                                      "user": None, "sent": [], "stat_at": None, "stat": None})
        s["end"] = t
        if src == port:
            s["down"] += len(payload)
            if payload and s["stat_at"] is not None and s["stat"] is None:
                s["stat"] = (t - s["stat_at"]) * 1e3
        else:
            s["up"] += len(payload)
            s["sent"].append(payload)
            if payload.upper().startswith(b"STAT"):
                s["stat_at"] = t
    for s in found.values():
        words = collections.Counter()
        for line in b"".join(s.pop("sent")).split(b"\r\n"):
            parts = line.split()
            if parts:
                words[parts[0].decode(errors="replace").upper()] += 1
                if parts[0].upper() == b"USER" and len(parts) > 1:
                    s["user"] = parts[1].decode(errors="replace")
        s["commands"] = words
    return sorted(found.values(), key=lambda s: s["start"])


def at(rows, t, column):
    """The sampled value at or just before t."""
    lo, hi = 0, len(rows) - 1
    while lo < hi:
        mid = (lo + hi + 1) // 2
        if rows[mid][0] <= t:
            lo = mid
        else:
            hi = mid - 1
    return rows[lo][column]


def median(values):
    values = sorted(values)
    if not values:
        return None
    n = len(values)
    return values[n // 2] if n % 2 else (values[n // 2 - 1] + values[n // 2]) / 2


def commands(counter):
    return ", ".join(f"{w}" + (f" x{n}" if n > 1 else "") for w, n in counter.items())


def report(out, pcap, port):
    with open(os.path.join(out, "phases")) as f:
        run_info = json.load(f)
    with open(os.path.join(out, "timeline")) as f:
        rows = [[float(v) for v in line.split()] for line in f if line.strip()]
    polls, programs = run_info["polls"], run_info["programs"]
    all_sessions = sessions(pcap, port)
    tail = 0.3  # the server's process ends and logs after the last packet
    results = {}  # (size, name) -> measures
    first = {}
    for phase in run_info["phases"]:
        for column, p in enumerate(programs, start=2):
            mine = [s for s in all_sessions
                    if s["user"] == p["user"] and phase["start"] < s["start"] < phase["end"]]
            if len(mine) < polls + 2:
                sys.exit(f"{p['name']}: {len(mine)} sessions captured at {phase['size']} messages")
            first[(phase["size"], p["name"])] = mine[0]
            measured = mine[1:polls + 1]
            cpu, server, alone = [], [], 0
            for s, following in zip(measured, mine[2:polls + 2]):
                cpu.append(at(rows, following["start"] - 0.1, column) - at(rows, s["start"] - 0.1, column))
                others = [o for o in all_sessions if o is not s and
                          o["start"] < s["end"] + tail and s["start"] < o["end"] + tail]
                if not others:
                    server.append(at(rows, s["end"] + tail, 1) - at(rows, s["start"] - 0.05, 1))
            results[(phase["size"], p["name"])] = {
                "cpu": median(cpu), "up": median([s["up"] for s in measured]),
                "down": median([s["down"] for s in measured]),
                "server": median(server), "alone": len(server),
                "stat": median([s["stat"] for s in measured if s["stat"] is not None]),
                "commands": measured[-1]["commands"]}
    sizes = [ph["size"] for ph in run_info["phases"]]
    names = [p["name"] for p in programs]
    lead = names[0]
    print(f"| messages | measure (median of {polls} polls) | " + " | ".join(names) + " |")
    print("|---" * (len(names) + 2) + "|")
    rows_out = [("cpu", "client CPU per poll", lambda v: f"{v:.2f} ms"),
                ("up", "bytes client to server", lambda v: f"{v:.0f}"),
                ("down", "bytes server to client", lambda v: f"{v:.0f}"),
                ("server", "dovecot CPU for the session", lambda v: f"{v:.2f} ms"),
                ("stat", "STAT answered in", lambda v: f"{v:.1f} ms")]
    for size in sizes:
        for key, title, shown in rows_out:
            cells = []
            for name in names:
                r = results[(size, name)]
                v = r[key]
                cell = "-" if v is None else shown(v)
                if key == "server" and r["alone"] < polls:
                    cell += f" ({r['alone']} alone)"
                cells.append(cell)
            print(f"| {size} | {title} | " + " | ".join(cells) + " |")
    for phase in run_info["phases"]:
        if phase["failed"]:
            print(f"\nAt {phase['size']} messages, {phase['failed']} of {lead}'s polls failed "
                  "(its error box was dismissed).")
    print()
    print(f"| {lead}, {sizes[-1]} against {sizes[0]} messages | ratio | target |")
    print("|---|---|---|")
    for key, title, _ in rows_out[:4]:
        a, b = results[(sizes[0], lead)][key], results[(sizes[-1], lead)][key]
        print(f"| {title} | {b / a:.2f}x | within 1.2x |" if a and b is not None else f"| {title} | - | within 1.2x |")
    print()
    print("| messages | program | commands of a measured poll | of the first poll after the mailbox grew |")
    print("|---|---|---|---|")
    for size in sizes:
        for name in names:
            print(f"| {size} | {name} | {commands(results[(size, name)]['commands'])} | "
                  f"{commands(first[(size, name)]['commands'])} |")


if __name__ == "__main__":
    if sys.argv[1] == "report":
        report(sys.argv[2], sys.argv[3], int(sys.argv[4]))
    else:
        run(int(sys.argv[1]), [int(s) for s in sys.argv[2].split(",")], sys.argv[3],
            sys.argv[4], sys.argv[5], sys.argv[6:])
