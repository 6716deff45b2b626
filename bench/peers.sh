# The two established notifiers measured beside the program when they are
# installed, gnubiff 2.2 and mailnag 2.2 from Debian, each with a mailbox
# user and a home of its own. Sourced by the idle benchmark after
# scripts/mailbox.sh; the benchmark installs them only when asked to.
# shellcheck shell=bash

PEER_PACKAGES=(gnubiff mailnag)
BENCH_DIR=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

# mailbox_add_user USER PASSWORD: one more user of the running mailbox;
# dovecot reads its users file again when it changes.
mailbox_add_user() {
  "${MAILBOX_AS_ROOT[@]}" mkdir -p "$MAILBOX_DIR/mail/$1/Maildir/"{tmp,new,cur}
  "${MAILBOX_AS_ROOT[@]}" chown -R 65534:65534 "$MAILBOX_DIR/mail/$1"
  echo "$1:{PLAIN}$2" | "${MAILBOX_AS_ROOT[@]}" tee -a "$MAILBOX_DIR/users" >/dev/null
}

# gnubiff_setup HOME PORT: sets GNUBIFF to its command, polling every 60 s
# with popups and sound off; its configuration keeps the password
# ("pw-gnubiff") encrypted in gnubiff's own format.
gnubiff_setup() {
  mkdir -p "$1"
  sed "s/@PORT@/$2/" "$BENCH_DIR/gnubiffrc.template" >"$1/gnubiffrc"
  mailbox_add_user gnubiff pw-gnubiff
  GNUBIFF=(env HOME="$1" gnubiff -n --systemtray -c "$1/gnubiffrc")
}

# mailnag_setup HOME PORT BUS_ADDRESS: sets MAILNAG to its command, polling
# every minute. With no keyring on the desktop it keeps the password in its
# configuration file, as it does when it finds no secret store. Its logging
# is off: as shipped (debug lines to stdout, each also a failed connect to a
# syslog socket the desktop lacks) it nearly doubles its CPU per poll.
mailnag_setup() {
  mkdir -p "$1/.config/mailnag"
  cat >"$1/.config/mailnag/mailnag.cfg" <<CFG
[core]
poll_interval = 1
autostart = 0

[account1]
enabled = 1
type = pop3
name = bench
user = mailnag
password = pw-mailnag
server = 127.0.0.1
port = $2
ssl = 0
CFG
  mailbox_add_user mailnag pw-mailnag
  MAILNAG=(env HOME="$1" DBUS_SESSION_BUS_ADDRESS="$3" /usr/bin/python3 -c '
import runpy, sys
import Mailnag.common.secretstore as secretstore, Mailnag.common.utils as utils
secretstore.SecretStore.get_default = staticmethod(lambda: None)
init_logging = utils.init_logging
utils.init_logging = lambda enable_stdout, enable_syslog, log_level: init_logging(False, False, log_level)
sys.argv = ["mailnag", "--quiet"]
runpy.run_path("/usr/bin/mailnag", run_name="__main__")')
}
