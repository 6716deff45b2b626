#!/usr/bin/env bash
# Plants one fault at a time in a scratch copy of the tree, builds it and
# runs the tests each fault names; prints "caught" or "MISSED" for each. A
# check of the suite's catching power, to run when tests are cut or merged,
# against this tree or an earlier commit's (its suite, the same faults: they
# touch the program only). A fault whose text has moved (NOT PLANTED), that
# no longer builds, or whose tests are gone fails the run: the figure would
# measure less.
# With --plant-only, only whether each fault still plants in this tree: no
# build, no test (a unit test runs that).
# usage: bench/fault_injection.sh [-r COMMIT | --plant-only] [FAULT_NUMBER...]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
revision='' plant_only=''
if [[ ${1:-} == -r ]]; then
  revision=$2
  shift 2
elif [[ ${1:-} == --plant-only ]]; then
  plant_only=1
  shift
fi

# Each fault: FILE#sed expression#ctest's selection of the tests to run#what
# a user would see.
fast='-L ^(unit|server)$'
program='-R ^program_test$'
end='-R ^end_test$'
item='-R ^xfce_item_test$'
xembed='-R ^xfce_xembed_test$'
program_xembed='-R ^(program_test|xfce_xembed_test)$'
faults=(
  "src/pop3/mail_count.cpp#s/^  if (sckClient) sckClient->abort();$/  if (sckClient) { sckClient->write(\"QUIT\\\\r\\\\n\"); sckClient->waitForBytesWritten(500); sckClient->abort(); }/#$fast#QUIT sent after a good poll"
  "src/pop3/mail_count.cpp#s/kReplyWait = 2000ms/kReplyWait = 1000ms/#$fast#a slow server given up on too soon"
  "src/pop3/mail_count.cpp#s/kStatWait = 500ms/kStatWait = 900ms/#$fast#a late status reply taken"
  "src/pop3/mail_count.cpp#s/kEnoughBytes = 3;/kEnoughBytes = 2;/#$fast#three bytes taken for a reply"
  "src/pop3/mail_count.cpp#s/return reason ? stage .*/return stage;/#$fast#the server's reason not shown"
  "src/pop3/mail_count.cpp#s/^  socket.setReadBufferSize(kReadLimit);$//#$fast#a flooding server fills the memory"
  "src/pop3/mail_count.cpp#s/^  if (const auto\\* failure = std::get_if<QString>(&outcome)) host.MsgBox/  if (sckClient) sckClient->abort(); if (const auto* failure = std::get_if<QString>(\\&outcome)) host.MsgBox/#$fast#the connection dropped while the error box waits"
  "src/pop3/mail_count.cpp#s/^  sckClient.reset(tls ? new QSslSocket : new QTcpSocket);$/  if (!sckClient) sckClient.reset(tls ? new QSslSocket : new QTcpSocket);/#$fast#the last poll's socket, its connection and its mode, taken for the new poll"
  "src/pop3/mail_count.cpp#s/    loop.exec();/    loop.processEvents();/#$fast#a wait that burns a core"
  "src/pop3/mail_count.cpp#s/if (text.contains('\\\\r') || text.contains('\\\\n')) return std::nullopt;//#$fast#a line break in the password smuggles in a command"
  "src/notifier/mail_watch.cpp#s/^  if (!counted) return Outcome::NoNewMail;.*/  if (!counted) { lastMailCount_ = 0; return Outcome::NoNewMail; }/#$fast#a failed poll taken for an empty mailbox: a false alarm next"
  "src/notifier/mail_watch.cpp#s/polled.count > \\*lastMailCount_/polled.count >= *lastMailCount_/#$fast#an announcement without new mail"
  "src/notifier/mail_watch.cpp#s/lastMailCount_ = counted ? std::optional(polled.count) : std::nullopt;/lastMailCount_ = counted ? polled.count : 0;/#$fast#a failed baseline taken for an empty mailbox"
  "src/notifier/mail_watch.cpp#s/^  if (polling_) return {Ran::Skipped};$//#$fast#a tick polls again while a poll waits"
  "src/settings/profile.cpp#s/? 3 : 0;/? 0 : 0;/#$fast#a byte-order mark hides the settings"
  "src/settings/replace_file.cpp#s/KeepAttributes(fd, old) : 0;/KeepAttributes(fd, old) : ::fchmod(fd, 0644);/#$fast#the password file readable by all"
  "src/settings/replace_file.cpp#s/::access(target.constData(), W_OK) != 0/false/#$fast#a read-only config.ini replaced"
  "src/settings/replace_file.cpp#s/::rename(/::link(/#$fast#the save leaves the old file in place"
  "src/host/host.cpp#s/return ::access(QFile::encodeName(folder).constData(), W_OK) == 0;/return true;/#$fast#settings lost where the program's folder is not writable"
  "src/host/host.cpp#s/  } while (reader.jumpToNextImage());/  } while (false);/#$fast#a 2x panel draws the small picture grown"
  "src/notifier/frm_main.cpp#s/^  unloading_ = true;$//#$fast#a poll while the close's error box is open"
  "src/notifier/frm_main.cpp#/^void frmMain::Timer1Tick/,/^}/s/state_.value() != host::WindowState::Minimized || //#$fast#a poll while the window is shown"
  "src/notifier/frm_main.cpp#s/mode == UnloadMode::FormControlMenu || mode == UnloadMode::FormCode/static_cast<int>(mode) >= 0/#$end#a kill saves what was half typed"
  "src/notifier/frm_main.cpp#s/Text3->setEchoMode(QLineEdit::Password);//#$fast#the password shown on screen"
  "src/speech/speech.cpp#s/SPD_MESSAGE/SPD_TEXT/g#$program#a later announcement cuts the earlier off"
  "src/speech/speech.cpp#s/^  Voice->wake.notify_one();$/  Voice->wake.notify_one(); while (!Voice->texts.empty()) std::this_thread::yield();/#$program#the window waits for a stuck speech server"
  "src/speech/speech.cpp#s/^  if (speaker.connection) spd_close(speaker.connection);$/  return QStringLiteral(\"Error: gone\");/#$program#speech ends for good when the server restarts"
  "src/speech/speech.cpp#s/^  std::signal(SIGPIPE, SIG_IGN);$//#$fast#the program killed when the speech server goes away"
  "src/tray/tray_tip.cpp#s/return statusNotifierHost ? WM_LBUTTONDBLCLK : WM_LBUTTONUP;/return statusNotifierHost ? WM_LBUTTONUP : WM_LBUTTONUP;/#$item#the window never comes back on a StatusNotifierItem panel"
  "src/tray/systray.cpp#s/return watcher.isValid() \\&\\& .*/return watcher.isValid();/#$program#a single click restores on an XEmbed tray while a panel starts"
  "src/notifier/frm_main.cpp#s/^    hide();$/    {}/#$program_xembed#a minimise leaves the window on the taskbar"
  "src/notifier/frm_main.cpp#s/^  if (!SetIcon(\\*outcome)) return;$//#$xembed#the tray picture never changes"
  "src/notifier/main.cpp#s/^  host::ChooseWindowSystem(argc, argv);$//#$program#no window in a Wayland session"
  "src/notifier/main.cpp#s/    form.showMinimized();/    form.show();/#$program#started at login, the window pops up"
)

# rotted: faults that no longer plant or build; missed: planted, not caught.
rotted=() missed=()
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# plant N FILE EXPRESSION WHAT: FILE with the fault in $work/planted, or
# rotted when sed changes nothing.
plant() {
  if [[ -z $4 ]]; then  # a "#" or a "$#" too many in the line
    echo "$1 MALFORMED: it names no tests or no effect"
    rotted+=("$1")
    return 1
  fi
  sed "$3" "$2" >"$work/planted"
  if cmp -s "$2" "$work/planted"; then
    echo "$1 NOT PLANTED ($2 changed nowhere): $4"
    rotted+=("$1")
    return 1
  fi
}

if [[ -n $plant_only ]]; then
  for i in "${!faults[@]}"; do
    IFS='#' read -r file expression _ what <<<"${faults[i]}"
    plant $((i + 1)) "$root/$file" "$expression" "$what" || true
  done
else
  scratch=$work/tree
  mkdir "$scratch"
  if [[ -n $revision ]]; then
    git -C "$root" archive "$revision" | tar -x -C "$scratch"
  else
    (cd "$root" && git ls-files -z | xargs -0 cp --parents -t "$scratch")
  fi
  cmake -S "$scratch" -B "$scratch/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  for i in "${!faults[@]}"; do
    n=$((i + 1))
    (($# == 0)) || [[ " $* " == *" $n "* ]] || continue
    IFS='#' read -r file expression tests what <<<"${faults[i]}"
    read -r -a selection <<<"$tests"  # ctest's options
    start=$SECONDS
    if plant $n "$scratch/$file" "$expression" "$what"; then
      cp "$scratch/$file" "$scratch/$file.orig"
      cp "$work/planted" "$scratch/$file"
      # The check that faults plant would fail on a tree that holds one.
      selection+=(-E 'memcheck|fault_plants')
      if ! cmake --build "$scratch/build" -j"$(nproc)" >"$scratch/build.log" 2>&1; then
        echo "$n DOES NOT BUILD: $what"
        rotted+=("$n")
      elif ! (cd "$scratch/build" && ctest -N "${selection[@]}" | grep -q 'Total Tests: [1-9]'); then
        echo "$n NAMES NO TEST ($tests): $what"
        rotted+=("$n")
      elif (cd "$scratch/build" && ctest -j"$(nproc)" "${selection[@]}" >/dev/null 2>&1); then
        echo "$n MISSED ($tests, $((SECONDS - start)) s): $what"
        missed+=("$n")
      else
        echo "$n caught ($tests, $((SECONDS - start)) s): $what"
      fi
      cp "$scratch/$file.orig" "$scratch/$file"  # a new time, so the build takes it
      rm "$scratch/$file.orig"
    fi
  done
fi
if ((${#rotted[@]})); then
  printf '\n!!! FAULTS %s NO LONGER PLANT, BUILD OR NAME A TEST: mend them !!!\n' "${rotted[*]}" >&2
  exit 2
fi
((${#missed[@]} == 0))
