# A throwaway POP3 mailbox: a private dovecot with its own config, one user
# and one maildir, on a loopback port. Sourced by the demo, the desktop
# scenario and the benchmarks. Needs root (dovecot does), or sudo.
# shellcheck shell=bash

MAILBOX_AS_ROOT=()
[[ $(id -u) -eq 0 ]] || MAILBOX_AS_ROOT=(sudo)

# mailbox_start DIR PORT USER PASSWORD; MAILBOX_LISTEN, if set, names the
# addresses to listen on in place of loopback's; MAILBOX_TLS_PORT, with
# MAILBOX_TLS_CERT and MAILBOX_TLS_KEY, a port for POP3 inside TLS beside
# the plain one.
mailbox_start() {
  local d=$1 port=$2 user=$3 password=$4 listen=127.0.0.1
  "${MAILBOX_AS_ROOT[@]}" mkdir -p "$d/run" "$d/state" "$d/mail/$user/Maildir/"{tmp,new,cur}
  "${MAILBOX_AS_ROOT[@]}" chmod 755 "$d"  # the mail user walks through it
  ip -6 addr show dev lo 2>/dev/null | grep -q '::1' && listen="127.0.0.1, ::1"
  listen=${MAILBOX_LISTEN:-$listen}
  "${MAILBOX_AS_ROOT[@]}" chown -R 65534:65534 "$d/mail"
  echo "$user:{PLAIN}$password" | "${MAILBOX_AS_ROOT[@]}" tee "$d/users" >/dev/null
  # dovecot 2.4 renamed most of what this needs, and wants its version first.
  local version first="" auth mail passdb userdb ssl="ssl = no" pop3s=""
  version=$(dovecot --version)
  version=${version%%[ -]*}
  if [[ $(printf '2.4\n%s\n' "$version" | sort -V | head -1) == 2.4 ]]; then
    first="dovecot_config_version = $version
dovecot_storage_version = $version"
    auth="auth_allow_cleartext = yes"
    mail="mail_driver = maildir
mail_path = ~/Maildir"
    passdb="passdb passwd-file {
  passwd_file_path = $d/users
}"
    userdb="userdb static {
  fields {
    uid = 65534
    gid = 65534
    home = $d/mail/%{user}
  }
}"
    [[ -z ${MAILBOX_TLS_PORT:-} ]] || ssl="ssl = yes
ssl_server_cert_file = $MAILBOX_TLS_CERT
ssl_server_key_file = $MAILBOX_TLS_KEY"
    export MAILBOX_LOGIN="Logged in"
  else
    auth="disable_plaintext_auth = no"
    mail="mail_location = maildir:~/Maildir"
    passdb="passdb {
  driver = passwd-file
  args = scheme=PLAIN username_format=%u $d/users
}"
    userdb="userdb {
  driver = static
  args = uid=65534 gid=65534 home=$d/mail/%u
}"
    [[ -z ${MAILBOX_TLS_PORT:-} ]] || ssl="ssl = yes
ssl_cert = <$MAILBOX_TLS_CERT
ssl_key = <$MAILBOX_TLS_KEY"
    export MAILBOX_LOGIN="Login"
  fi
  if [[ -n ${MAILBOX_TLS_PORT:-} ]]; then
    pop3s="inet_listener pop3s {
    port = $MAILBOX_TLS_PORT
    ssl = yes
  }"
  fi
  "${MAILBOX_AS_ROOT[@]}" tee "$d/dovecot.conf" >/dev/null <<CONF
$first
instance_name = tallowin-mailbox-$port
base_dir = $d/run
state_dir = $d/state
log_path = $d/dovecot.log
protocols = pop3
listen = $listen
$ssl
$auth
auth_failure_delay = 0
$mail
$passdb
$userdb
service anvil {
  unix_listener anvil-auth-penalty {
    mode = 0
  }
}
service pop3-login {
  # Logins kept ready, as a busy server has them: a client whose clock runs
  # fast has a fifth of a second for the greeting.
  process_min_avail = 2
  inet_listener pop3 {
    port = $port
  }
  $pop3s
}
CONF
  "${MAILBOX_AS_ROOT[@]}" dovecot -F -c "$d/dovecot.conf" >/dev/null 2>&1 &
  MAILBOX_PID=$!
  MAILBOX_DIR=$d
  MAILBOX_MAILDIR=$d/mail/$user/Maildir
  MAILBOX_LOG=$d/dovecot.log
  MAILBOX_USER=$user
  local tries
  for ((tries = 0; tries < 100; tries++)); do
    if (exec 3<>"/dev/tcp/127.0.0.1/$port" && head -c 3 <&3 | grep -q '+OK') 2>/dev/null; then
      return 0
    fi
    sleep 0.1
  done
  echo "dovecot did not start on port $port" >&2
  return 1
}

# How many times the user has logged in so far, in the words of the
# running dovecot (MAILBOX_LOGIN, for the benchmarks' readers too).
mailbox_logins() { grep -c "$MAILBOX_LOGIN: user=<$MAILBOX_USER>" "$MAILBOX_LOG" || true; }
# mailbox_logged_in N: whether the user has logged in N times or more.
mailbox_logged_in() { (($(mailbox_logins) >= $1)); }

# mailbox_deliver SUBJECT: one new message, written whole before it shows.
mailbox_deliver() {
  local name=$RANDOM$RANDOM.tallowin
  printf 'From: demo@localhost\r\nSubject: %s\r\n\r\nHello from Tallowin.\r\n' "$1" |
    "${MAILBOX_AS_ROOT[@]}" tee "$MAILBOX_MAILDIR/tmp/$name" >/dev/null
  "${MAILBOX_AS_ROOT[@]}" chown 65534:65534 "$MAILBOX_MAILDIR/tmp/$name"
  "${MAILBOX_AS_ROOT[@]}" mv "$MAILBOX_MAILDIR/tmp/$name" "$MAILBOX_MAILDIR/new/$name"
}

mailbox_empty() {
  "${MAILBOX_AS_ROOT[@]}" find "$MAILBOX_MAILDIR/new" "$MAILBOX_MAILDIR/cur" -type f -delete
}

mailbox_stop() {
  [[ -n ${MAILBOX_PID:-} ]] || return 0
  "${MAILBOX_AS_ROOT[@]}" dovecot -c "$MAILBOX_DIR/dovecot.conf" stop 2>/dev/null ||
    "${MAILBOX_AS_ROOT[@]}" kill "$MAILBOX_PID" 2>/dev/null || true
  wait "$MAILBOX_PID" 2>/dev/null || true
  MAILBOX_PID=
}

# A loopback port nothing listens on.
mailbox_free_port() {
  local port
  while :; do
    port=$((20000 + RANDOM % 20000))
    (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null || { echo "$port"; return; }
  done
}
