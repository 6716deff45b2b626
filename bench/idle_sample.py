#!/usr/bin/env python3
"""Follows programs that wait for mail side by side and prints their table.

usage: idle_sample.py POLLS MAILBOX_LOG LOG_OFFSET MINIMISE_WINDOW PROGRAM...
       idle_sample.py alone PID BASE_PID STARTUP_MS BASE_STARTUP_MS
PROGRAM is NAME:PID:USER:STARTUP_MS (USER and STARTUP_MS may be empty). The
first program is the baseline every ratio is taken against; the first with a
user is the one the targets are for. A program's polls are its user's logins
in the mailbox's log after LOG_OFFSET, so each is measured on its own clock:

- memory now (after start), and 32 s after its poll POLLS + 1;
- whole-process CPU from 1 s after its poll 2 to 32 s after its poll POLLS + 1,
  per poll: the kernel's per-process clock over all threads, ended ones too;
  and the median of the polls 2 to POLLS + 1 taken one by one, each from half
  a minute before it to half a minute after;
- wakeups (voluntary context switches, all threads) from 5 s to 45 s after
  its poll 2, when no poll is due; and in the 40 s from half a second after
  its poll 1, when what the start left behind comes due. A program with no
  user polls nothing: it is sampled when the one the targets are for is.

The second form prints one line of a program measured now beside a baseline
alone: its start-up and memory, and their ratios.
"""
import os
import subprocess
import sys
import time


def login_line(user):
    """What dovecot logs at a user's login, in its version's words (scripts/mailbox.sh)."""
    return f"{os.environ['MAILBOX_LOGIN']}: user=<{user}>"


POLL_GAP = 75  # seconds a poll may take to come, a minute's tick and slack


def ratio(value, of):
    return f"{value / of:.2f}x"


def memory(pid):
    kb = {}
    with open(f"/proc/{pid}/smaps_rollup") as f:
        for line in f:
            key, _, value = line.partition(":")
            if value.strip().endswith("kB"):
                kb[key] = int(value.split()[0])
    return {"rss": kb["Rss"], "pss": kb["Pss"],
            "private": kb["Private_Clean"] + kb["Private_Dirty"]}


def private_by_file(pid):
    """Private memory per mapped file (anonymous memory under its own name)."""
    kb, name = {}, None
    with open(f"/proc/{pid}/smaps") as f:
        for line in f:
            fields = line.split()
            if "-" in fields[0] and not fields[0].endswith(":"):
                name = fields[5] if len(fields) > 5 else "[anonymous]"
            elif fields[0] in ("Private_Clean:", "Private_Dirty:"):
                kb[name] = kb.get(name, 0) + int(fields[1])
    return kb


def cpu_ms(pid):
    # The clock id the kernel gives a whole process: CPUCLOCK_SCHED of ~pid.
    return time.clock_gettime_ns(((~pid) << 3) | 2) / 1e6


def switches(pid):
    """Voluntary context switches of each thread now, by thread id."""
    counts = {}
    for task in os.listdir(f"/proc/{pid}/task"):
        try:
            with open(f"/proc/{pid}/task/{task}/status") as f:
                for line in f:
                    if line.startswith("voluntary_ctxt_switches:"):
                        counts[task] = int(line.split()[1])
        except FileNotFoundError:
            pass  # a thread that ended meanwhile
    return counts


def woke(before, after):
    """Wakeups between two counts: a thread that came meanwhile counts whole;
    one that ended took its count with it, and counts none."""
    return sum(n - before.get(task, 0) for task, n in after.items())


class Program:
    def __init__(self, described, polls):
        name, pid, user, startup = described.split(":")
        self.polls = polls
        self.name, self.pid, self.user = name, int(pid), user
        self.startup = float(startup) if startup else None
        self.logins = []
        self.due = []  # (when, what) still to take
        self.start = memory(self.pid)
        self.end = self.cpu = self.wakeups = self.first_wakeups = None
        self.marks = []  # process CPU half a minute after each poll

    def per_poll(self):
        """The median CPU of one poll, each taken on its own."""
        each = sorted(b - a for a, b in zip(self.marks, self.marks[1:]))
        return each[len(each) // 2] if each else None

    def take(self, what):
        if what == "cpu0":
            self.cpu0 = cpu_ms(self.pid)
        elif what == "cpu1":
            self.cpu = (cpu_ms(self.pid) - self.cpu0) / (self.polls - 1)
            self.end = memory(self.pid)
        elif what == "mark":
            self.marks.append(cpu_ms(self.pid))
        elif what == "switches0":
            self.switches0 = switches(self.pid)
        elif what == "switches1":
            self.wakeups = woke(self.switches0, switches(self.pid)) * 60 / 40
        elif what == "first0":
            self.first0 = switches(self.pid)
        elif what == "first1":
            self.first_wakeups = woke(self.first0, switches(self.pid))

    def polled(self, when):
        self.logins.append(when)
        if len(self.logins) <= self.polls + 1:
            self.due.append((when + 30, "mark"))
        if len(self.logins) == 1:
            self.due += [(when + 0.5, "first0"), (when + 40.5, "first1")]
        if len(self.logins) == 2:
            self.due += [(when + 1, "cpu0"), (when + 5, "switches0"), (when + 45, "switches1")]
        if len(self.logins) == self.polls + 1:
            self.due.append((when + 32, "cpu1"))


def follow(programs, lead, log, offset, polls):
    by_user = {p.user: p for p in programs if p.user}
    idle = [p for p in programs if not p.user]
    deadline = time.monotonic() + POLL_GAP * (polls + 2)
    with open(log, errors="replace") as f:
        f.seek(offset)
        pending = ""
        while any(p.end is None for p in by_user.values()):
            if time.monotonic() > deadline:
                late = [p.name for p in by_user.values() if p.end is None]
                sys.exit(f"fewer than {polls + 1} polls came from {', '.join(late)}")
            pending += f.read()
            *lines, pending = pending.split("\n")
            now = time.monotonic()
            for line in lines:
                for user, program in by_user.items():
                    if login_line(user) in line:
                        program.polled(now)
                        print(f"{program.name}: poll {len(program.logins)}", file=sys.stderr)
                        if program is lead and len(lead.logins) == 2:
                            for other in idle:
                                other.due += [(now + 5, "switches0"), (now + 45, "switches1")]
            for program in programs:
                if not os.path.exists(f"/proc/{program.pid}"):
                    sys.exit(f"{program.name} ended during the run")
                for item in [d for d in program.due if d[0] <= now]:
                    program.due.remove(item)
                    program.take(item[1])
            time.sleep(0.1)
    for program in idle:
        program.end = memory(program.pid)
    for program in idle + [lead]:
        program.by_file = private_by_file(program.pid)


def table(programs, lead, polls):
    base = programs[0]
    targets = {"startup": "1.2x", "rss_end": "1.30x", "private_end": "1.5x",
               "cpu": "1.5 ms, below every peer", "cpu_median": "below every peer",
               "wakeups": "0", "first_wakeups": "0"}

    def cell(program, key):
        if key == "startup":
            if program.startup is None:
                return "-"
            return f"{program.startup:g} ms" + ("" if program is base else f" ({ratio(program.startup, base.startup)})")
        if key == "cpu":
            return "-" if program.cpu is None else f"{program.cpu:.2f} ms"
        if key == "cpu_median":
            return "-" if program.per_poll() is None else f"{program.per_poll():.2f} ms"
        if key == "wakeups":
            return "-" if program.wakeups is None else f"{program.wakeups:.1f}"
        if key == "first_wakeups":
            return "-" if program.first_wakeups is None else f"{program.first_wakeups}"
        measure, when = key.rsplit("_", 1)
        sample = program.start if when == "start" else program.end
        of = (base.start if when == "start" else base.end)[measure]
        return f"{sample[measure]} KiB" + ("" if program is base else f" ({ratio(sample[measure], of)})")

    rows = [("startup", "start-up to window shown, median of the starts in turn"),
            ("rss_start", "RSS after start"), ("pss_start", "PSS after start"),
            ("private_start", "private memory after start"),
            ("rss_end", f"RSS after {polls + 1} polls"), ("pss_end", f"PSS after {polls + 1} polls"),
            ("private_end", f"private memory after {polls + 1} polls"),
            ("cpu", "whole-process CPU per poll"),
            ("cpu_median", f"whole-process CPU of one poll, median of {polls}"),
            ("wakeups", "wakeups per minute between polls"),
            ("first_wakeups", "wakeups in the 40 s after the first poll")]
    print("| measure | " + " | ".join(p.name for p in programs) + f" | target ({lead.name}) |")
    print("|---" * (len(programs) + 2) + "|")
    for key, title in rows:
        print(f"| {title} | " + " | ".join(cell(p, key) for p in programs) +
              f" | {targets.get(key, '')} |")


def private_beyond(base, lead, rows=10):
    """Where the lead's private memory beyond a baseline's lies, at the end."""
    more = {name: kb - base.by_file.get(name, 0) for name, kb in lead.by_file.items()}
    top = sorted(more.items(), key=lambda item: -item[1])[:rows]
    print(f"\n| {lead.name}'s private memory beyond {base.name}'s, by mapping | KiB |")
    print("|---|---|")
    for name, kb in top:
        print(f"| {os.path.basename(name)} | {kb} |")
    print(f"| everything else | {sum(more.values()) - sum(kb for _, kb in top)} |")


def alone(pid, base_pid, startup, base_startup):
    ours, base = memory(pid), memory(base_pid)
    print(f"start-up {startup:g} ms ({ratio(startup, base_startup)}), " +
          ", ".join(f"{title} {ours[key]} KiB ({ratio(ours[key], base[key])})"
                    for key, title in (("rss", "RSS"), ("pss", "PSS"), ("private", "private memory"))))


if __name__ == "__main__":
    if sys.argv[1] == "alone":
        alone(int(sys.argv[2]), int(sys.argv[3]), float(sys.argv[4]), float(sys.argv[5]))
        sys.exit()
    polls = int(sys.argv[1])
    log, offset, window = sys.argv[2], int(sys.argv[3]), sys.argv[4]
    programs = [Program(described, polls) for described in sys.argv[5:]]
    lead = next(p for p in programs if p.user)
    subprocess.run(["xdotool", "windowminimize", window], check=True)
    follow(programs, lead, log, offset, polls)
    table(programs, lead, polls)
    for program in programs:
        if not program.user:
            private_beyond(program, lead)
