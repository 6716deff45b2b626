# What a screen reader finds in the running program, over AT-SPI: the fields
# named by their labels, the password unreadable, the focus order, the window
# named in every state, and a failed poll's box as an alert.
import subprocess
import sys
import time

import pyatspi


def fail(why):
    sys.exit("FAIL: " + why)


def wait_for(what, seconds, find):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        if found := find():
            return found
        time.sleep(0.2)
    fail(what)


# Breadth first: the program among the desktop's applications, a box among
# the program's windows.
def child(node, test):
    return pyatspi.findDescendant(node, test, breadth_first=True)


app = wait_for("the program is not on the accessibility bus", 20,
               lambda: child(pyatspi.Registry.getDesktop(0), lambda n: n.name.lower() == "tallowin"))
window = wait_for("no window", 10, lambda: next(iter(app), None))
if window.name != "Tallowin" or window.getRole() != pyatspi.ROLE_FRAME:
    fail(f"the window is {window.getRoleName()} {window.name!r}, not a frame named Tallowin")

fields = pyatspi.findAllDescendants(
    window, lambda n: n.getRole() in (pyatspi.ROLE_TEXT, pyatspi.ROLE_PASSWORD_TEXT))
names = [field.name.rstrip(":") for field in fields]
if names != ["POP3 Server", "Username", "Password"]:
    fail(f"the fields are named {names}")
for field in fields:
    labels = [relation.getTarget(i).name for relation in field.getRelationSet()
              if relation.getRelationType() == pyatspi.RELATION_LABELLED_BY
              for i in range(relation.getNTargets())]
    if labels != [field.name]:
        fail(f"{field.name} is labelled by {labels}")
password = fields[2]
if password.getRole() != pyatspi.ROLE_PASSWORD_TEXT:
    fail(f"the password field is {password.getRoleName()}")
if "secret" in password.queryText().getText(0, -1):
    fail("the password can be read")

subprocess.run(["xdotool", "windowactivate", "--sync", sys.argv[1]], check=True)
for expected in fields:
    wait_for(f"the focus is not in {expected.name}", 5,
             lambda: expected.getState().contains(pyatspi.STATE_FOCUSED))
    subprocess.run(["xdotool", "key", "Tab"], check=True)

subprocess.run(["xdotool", "windowminimize", sys.argv[1]], check=True)
box = wait_for("no alert after the failed poll", 10,
               lambda: child(app, lambda n: n.getRole() == pyatspi.ROLE_ALERT))
texts = [n.name for n in pyatspi.findAllDescendants(box, lambda n: n.getRole() == pyatspi.ROLE_LABEL)]
if not any(text.startswith("Error: Connecting to POP3 Server") for text in texts):
    fail(f"the alert says {texts}")
if window.name != "Tallowin":
    fail(f"minimised, the window is named {window.name!r}")
print("PASS: the window as a screen reader finds it")
