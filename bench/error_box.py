"""Dismisses the notifier's error boxes as a user would, for the benchmarks."""
import subprocess
import time


def shown(pid):
    """The error boxes the process shows. Of its windows, which all bear its
    title, only a box is a dialog. Without --all, xdotool takes a window of
    either the process or the title: another Tallowin's boxes too."""
    found = subprocess.run(["timeout", "5", "xdotool", "search", "--all", "--onlyvisible", "--pid",
                            str(pid), "--name", "^Tallowin$"],
                           capture_output=True, text=True).stdout.split()
    return [window for window in found if "_NET_WM_WINDOW_TYPE_DIALOG" in subprocess.run(
        ["timeout", "5", "xprop", "-id", window, "_NET_WM_WINDOW_TYPE"],
        capture_output=True, text=True).stdout]


class Boxes:
    """The error boxes of one process: each counted once, however many looks
    find it still open, and how long it stayed open (real seconds)."""

    def __init__(self, pid):
        self.pid = pid
        self.opened = {}  # window: when a look first found it
        self.count = 0
        self.open_for = []  # (when it opened, for how long) of each box that has gone

    def dismiss(self):
        """Return on each box shown; how many of them are new."""
        now, boxes = time.monotonic(), shown(self.pid)
        for window in set(self.opened) - set(boxes):
            opened = self.opened.pop(window)
            self.open_for.append((opened, now - opened))
        new = [window for window in boxes if window not in self.opened]
        for window in boxes:
            self.opened.setdefault(window, now)
            subprocess.run(["timeout", "5", "xdotool", "key", "--window", window, "Return"],
                           capture_output=True, check=False)
            # When the box is gone before the key's release, xdotool stops
            # between the two: the key would stay down and repeat into
            # every later box, which would close before it was ever seen.
            subprocess.run(["timeout", "5", "xdotool", "keyup", "Return"],
                           capture_output=True, check=False)
        self.count += len(new)
        return len(new)
