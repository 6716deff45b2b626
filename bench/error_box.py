"""Dismisses the notifier's error boxes as a user would, for the benchmarks."""
import subprocess


def dismiss(pid):
    """Return on each error box the process shows; how many there were. Of
    its windows, which all bear its title, only a box is a dialog."""
    found = subprocess.run(["timeout", "5", "xdotool", "search", "--onlyvisible", "--pid", str(pid),
                            "--name", "^Tallowin$"], capture_output=True, text=True).stdout.split()
    boxes = 0
    for window in found:
        kind = subprocess.run(["timeout", "5", "xprop", "-id", window, "_NET_WM_WINDOW_TYPE"],
                              capture_output=True, text=True).stdout
        if "_NET_WM_WINDOW_TYPE_DIALOG" in kind:
            subprocess.run(["timeout", "5", "xdotool", "key", "--window", window, "Return"],
                           capture_output=True, check=False)
            # When the box is gone before the key's release, xdotool stops
            # between the two: the key would stay down and repeat into
            # every later box, which would close before it was ever seen.
            subprocess.run(["timeout", "5", "xdotool", "keyup", "Return"],
                           capture_output=True, check=False)
            boxes += 1
    return boxes
