"""What a screen reader finds in the running program, over AT-SPI: the fields
named by their labels, the password unreadable, the focus order, the window
named in every state, and a failed poll's box as an alert."""
import subprocess
import sys
import time

import pyatspi


def fail(why):
    print("FAIL: " + why, file=sys.stderr)
    sys.exit(1)


def wait_for(what, seconds, find):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        found = find()
        if found:
            return found
        time.sleep(0.2)
    fail(what)


def descendants(node):
    for child in node:
        if child is not None:
            yield child
            yield from descendants(child)


def first(nodes, test):
    return next((node for node in nodes if node is not None and test(node)), None)


def xdotool(*args):
    subprocess.run(["xdotool", *args], check=True)


app = wait_for("the program is not on the accessibility bus", 20, lambda: first(
    pyatspi.Registry.getDesktop(0), lambda node: node.name.lower() == "tallowin"))
window = wait_for("no window", 10, lambda: next(iter(app), None))
if window.name != "Tallowin" or window.getRole() != pyatspi.ROLE_FRAME:
    fail(f"the window is {window.getRoleName()} {window.name!r}, not a frame named Tallowin")

fields = [node for node in descendants(window)
          if node.getRole() in (pyatspi.ROLE_TEXT, pyatspi.ROLE_PASSWORD_TEXT)]
names = [field.name.rstrip(":") for field in fields]
if names != ["POP3 Server", "Username", "Password"]:
    fail(f"the fields are named {names}")
for field in fields:
    labels = [target.name for relation in field.getRelationSet()
              if relation.getRelationType() == pyatspi.RELATION_LABELLED_BY
              for target in (relation.getTarget(i) for i in range(relation.getNTargets()))]
    if labels != [field.name]:
        fail(f"{field.name} is labelled by {labels}")
password = fields[2]
if password.getRole() != pyatspi.ROLE_PASSWORD_TEXT:
    fail(f"the password field is {password.getRoleName()}")
if "secret" in password.queryText().getText(0, -1):
    fail("the password can be read")


def focused():
    return first(range(3), lambda i: fields[i].getState().contains(pyatspi.STATE_FOCUSED))


xdotool("windowactivate", "--sync", sys.argv[1])
for expected in (0, 1, 2):
    wait_for(f"the focus is in field {focused()}, not {expected}", 5,
             lambda: focused() == expected)
    xdotool("key", "Tab")

xdotool("windowminimize", sys.argv[1])
box = wait_for("no alert after the failed poll", 10,
               lambda: first(app, lambda node: node.getRole() == pyatspi.ROLE_ALERT))
texts = [node.name for node in descendants(box) if node.getRole() == pyatspi.ROLE_LABEL]
if not any(text.startswith("Error: Connecting to POP3 Server") for text in texts):
    fail(f"the alert says {texts}")
if window.name != "Tallowin":
    fail(f"minimised, the window is named {window.name!r}")
print("PASS: the window as a screen reader finds it")
