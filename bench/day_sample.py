#!/usr/bin/env python3
"""Drives a simulated day of two notifiers under libfaketime and samples them.

usage: day_sample.py HOURS SPEED MAILBOX_CONF OUT PROGRAM...
PROGRAM is NAME:PID:USER:MAILDIR:SPEECH_LOG. The programs' clocks run SPEED
times fast; this script keeps real time and, in simulated time:

- every 20 minutes: a message comes, a message comes, the mailbox is
  emptied (as another program fetching it would), in turn;
- the hour HOURS // 2 (at least the second, when there are two): the server
  is stopped, and started again at its end;
- every second: each error box of a program is dismissed with Return, as a
  user would; a box is a failed poll, counted once however many looks find
  it still open, and how long it stayed open is reported;
- every 10 minutes: RSS, private memory, descriptors and threads of each.

Writes OUT/day.dat (one line a sample) and OUT/boxes.dat (one line a box),
and prints a table by hour and the boxes' times open.
"""
import os
import subprocess
import sys
import time

import error_box
import idle_sample

SAMPLE_MINUTES = 10
MAIL_MINUTES = 20


def memory(pid):
    kb = idle_sample.memory(pid)
    return kb["rss"], kb["private"]


def threads(pid):
    with open(f"/proc/{pid}/status") as f:
        return next(int(line.split()[1]) for line in f if line.startswith("Threads:"))


def count(path, text):
    try:
        with open(path, errors="replace") as f:
            return sum(text in line for line in f)
    except FileNotFoundError:
        return 0


class Program:
    def __init__(self, described):
        self.name, pid, self.user, self.maildir, self.speech_log = described.split(":")
        self.pid = int(pid)
        self.boxes = error_box.Boxes(self.pid)

    def deliver(self, serial):
        name = f"{int(time.time())}.day{serial}.bench"
        tmp = os.path.join(self.maildir, "tmp", name)
        with open(tmp, "w") as f:
            f.write(f"From: day@localhost\r\nSubject: mail {serial} of the day\r\n\r\nHello.\r\n")
        os.chown(tmp, 65534, 65534)
        os.rename(tmp, os.path.join(self.maildir, "new", name))

    def empty(self):
        for folder in ("new", "cur"):
            for name in os.listdir(os.path.join(self.maildir, folder)):
                os.unlink(os.path.join(self.maildir, folder, name))


def dovecot(conf, action):
    """Stops the server, or starts it and waits (bounded) until it answers."""
    if action == "stop":
        subprocess.run(["dovecot", "-c", conf, "stop"], check=False)
        return
    subprocess.run(["dovecot", "-c", conf], check=True)
    port = next(line.split("=")[1].strip() for line in open(conf) if line.strip().startswith("port ="))
    for _ in range(100):
        probe = subprocess.run(["bash", "-c", f"exec 3<>/dev/tcp/127.0.0.1/{port}; head -c 3 <&3"],
                               capture_output=True, text=True)
        if probe.stdout.startswith("+OK"):
            return
        time.sleep(0.1)
    sys.exit("dovecot did not start again")


def run(hours, speed, conf, out, programs):
    log = os.path.join(os.path.dirname(conf), "dovecot.log")
    outage = max(hours // 2, 1) if hours >= 2 else None
    minute = 60 / speed  # real seconds in a simulated minute
    begin = time.monotonic()
    rows = []
    next_sample, next_mail, mail_step, down = 0, MAIL_MINUTES, 0, False
    with open(os.path.join(out, "day.dat"), "w") as dat:
        dat.write("# minute " + " ".join(f"{p.name}_rss {p.name}_private {p.name}_fds "
                                         f"{p.name}_threads {p.name}_polls {p.name}_failed "
                                         f"{p.name}_announced" for p in programs) + "\n")
        while True:
            now = (time.monotonic() - begin) / minute  # simulated minutes
            for p in programs:
                if not os.path.exists(f"/proc/{p.pid}"):
                    sys.exit(f"{p.name} ended during the run")
                p.boxes.dismiss()
            if outage is not None and not down and outage * 60 <= now < (outage + 1) * 60:
                print(f"hour {outage}: the server stops", file=sys.stderr)
                dovecot(conf, "stop")
                down = True
            elif down and now >= (outage + 1) * 60:
                print(f"hour {outage + 1}: the server starts again", file=sys.stderr)
                dovecot(conf, "start")
                down, outage = False, None
            if now >= next_mail:
                for p in programs:
                    p.empty() if mail_step % 3 == 2 else p.deliver(mail_step)
                mail_step += 1
                next_mail += MAIL_MINUTES
            if now >= next_sample:
                row = [round(now)]
                for p in programs:
                    rss, private = memory(p.pid)
                    row += [rss, private, len(os.listdir(f"/proc/{p.pid}/fd")), threads(p.pid),
                            count(log, idle_sample.login_line(p.user)), p.boxes.count,
                            count(p.speech_log, "Queueing message")]
                rows.append(row)
                dat.write(" ".join(map(str, row)) + "\n")
                dat.flush()
                print(f"minute {row[0]}: " + ", ".join(
                    f"{p.name} RSS {row[1 + 7 * i]} KiB, polls {row[5 + 7 * i]}"
                    for i, p in enumerate(programs)), file=sys.stderr)
                next_sample += SAMPLE_MINUTES
                if now >= hours * 60:
                    break
            time.sleep(1)
    table(rows, programs, hours)
    with open(os.path.join(out, "boxes.dat"), "w") as dat:
        dat.write("# program, simulated minute it opened, simulated minutes it stayed open\n")
        for p in programs:
            # A box open for a tick or more holds up that many polls.
            for opened, seconds in p.boxes.open_for:
                dat.write(f"{p.name} {(opened - begin) / minute:.1f} {seconds / minute:.2f}\n")
            spans = sorted(seconds / minute for _, seconds in p.boxes.open_for)
            line = f"{p.name}: {p.boxes.count} boxes, {len(p.boxes.opened)} still open at the end"
            if spans:
                line += (f"; the others open for {spans[0]:.2f} to {spans[-1]:.2f} simulated "
                         f"minutes, median {spans[len(spans) // 2]:.2f}")
            print(line)


def table(rows, programs, hours):
    hourly = [r for r in rows if r[0] % 60 < SAMPLE_MINUTES]
    print("| hour | " + " | ".join(f"{p.name}: RSS, private KiB | fds, threads | polls, failed, announced"
                                     for p in programs) + " |")
    print("|---" * (1 + 3 * len(programs)) + "|")
    previous = None
    for r in hourly:
        cells = []
        for i in range(len(programs)):
            rss, private, fds, thr, polls, failed, said = r[1 + 7 * i:8 + 7 * i]
            ticks = r[0] - (previous[0] if previous else 0)  # one a simulated minute
            if previous:
                p_polls, p_failed, p_said = previous[5 + 7 * i:8 + 7 * i]
                polls, failed, said = polls - p_polls, failed - p_failed, said - p_said
            if failed > ticks + 1:  # the sample may fall either side of a tick
                sys.exit(f"{programs[i].name}: {failed} failed polls in {ticks} ticks cannot be")
            counted = f"{polls}, {failed}, {said}"
            cells += [f"{rss}, {private}", f"{fds}, {thr}", counted]
        print(f"| {r[0] // 60} | " + " | ".join(cells) + " |")
        previous = r
    if len(hourly) >= 3:
        first, last = hourly[1], hourly[-1]
        print()
        for i, p in enumerate(programs):
            grew = [last[1 + 7 * i + k] - first[1 + 7 * i + k] for k in range(4)]
            print(f"{p.name}, hour {first[0] // 60} to hour {last[0] // 60}: RSS {grew[0]:+d} KiB, "
                  f"private {grew[1]:+d} KiB, descriptors {grew[2]:+d}, threads {grew[3]:+d}")


if __name__ == "__main__":
    run(int(sys.argv[1]), float(sys.argv[2]), sys.argv[3], sys.argv[4],
        [Program(d) for d in sys.argv[5:]])
