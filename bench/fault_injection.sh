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
network='-R ^network_test$'
soak='-R ^soak_test$'
faults=(
  "src/pop3/mail_count.cpp#s/^  if (sckClient) sckClient->abort();$/  if (sckClient) { sckClient->write(\"QUIT\\\\r\\\\n\"); sckClient->waitForBytesWritten(500); sckClient->abort(); }/#$fast#QUIT sent after a good poll"
  "src/pop3/mail_count.cpp#s/kReplyWait = 2000ms/kReplyWait = 1000ms/#$fast#a slow server given up on too soon"
  "src/pop3/mail_count.cpp#s/kStatWait = 500ms/kStatWait = 900ms/#$fast#a late status reply taken"
  "src/pop3/mail_count.cpp#s/kEnoughBytes = 3;/kEnoughBytes = 2;/#$fast#three bytes taken for a reply"
  "src/pop3/mail_count.cpp#s/return {reason ? stage .*/return {stage};/#$fast#the server's reason not shown"
  "src/pop3/mail_count.cpp#s/^  socket.setReadBufferSize(kReadLimit);$//#$fast#a flooding server fills the memory"
  "src/pop3/mail_count.cpp#s/^  if (failure \&\& !Quiet(\*failure, notNow)) host.MsgBox/  if (sckClient) sckClient->abort(); if (failure \&\& !Quiet(*failure, notNow)) host.MsgBox/#$fast#the connection dropped while the error box waits"
  "src/pop3/mail_count.cpp#s/^  sckClient.reset(tls ? new QSslSocket : new QTcpSocket);$/  if (!sckClient) sckClient.reset(tls ? new QSslSocket : new QTcpSocket);/#$fast#the last poll's socket, its connection and its mode, taken for the new poll"
  "src/pop3/mail_count.cpp#s/    loop.exec();/    loop.processEvents();/#$fast#a wait that burns a core"
  "src/pop3/mail_count.cpp#s/if (text.contains('\\\\r') || text.contains('\\\\n')) return std::nullopt;//#$fast#a line break in the password smuggles in a command"
  "src/notifier/mail_watch.cpp#s/^  if (count < 0) return Outcome::NoNewMail;.*/  if (count < 0) { lastMailCount_ = 0; return Outcome::NoNewMail; }/#$fast#a failed poll taken for an empty mailbox: a false alarm next"
  "src/notifier/mail_watch.cpp#s/count > \*lastMailCount_/count >= *lastMailCount_/#$fast#an announcement without new mail"
  "src/notifier/mail_watch.cpp#s/lastMailCount_ = count >= 0 ? std::optional(count) : std::nullopt;/lastMailCount_ = count >= 0 ? count : 0;/#$fast#a failed baseline taken for an empty mailbox"
  "src/notifier/mail_watch.cpp#s/if (polling_ || !online_) return std::nullopt;/if (!online_) return std::nullopt;/#$fast#a tick polls again while a poll waits"
  "src/settings/profile.cpp#s/? 3 : 0;/? 0 : 0;/#$fast#a byte-order mark hides the settings"
  "src/settings/replace_file.cpp#s/KeepAttributes(fd, old) : 0;/KeepAttributes(fd, old) : ::fchmod(fd, 0644);/#$fast#the password file readable by all"
  "src/settings/replace_file.cpp#s/::access(target.constData(), W_OK) != 0/false/#$fast#a read-only config.ini replaced"
  "src/settings/replace_file.cpp#s/::rename(/::link(/#$fast#the save leaves the old file in place"
  "src/host/host.cpp#s/::access(QFile::encodeName(appDir).constData(), W_OK) == 0/true/#$fast#settings lost where the program's folder is not writable"
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
  "src/notifier/frm_main.cpp#s/^    hide();$/    {}/#$program_xembed#a minimise leaves the window on the taskbar"
  "src/notifier/frm_main.cpp#s/^  if (!SetIcon(\\*outcome)) return;$//#$xembed#the tray picture never changes"
  "src/notifier/main.cpp#s/^  host::ChooseWindowSystem(argc, argv);$//#$program#no window in a Wayland session"
  "src/notifier/main.cpp#s/    form.showMinimized();/    form.show();/#$program#started at login, the window pops up"
  "src/notifier/mail_watch.cpp#s/if (polling_ || !online_) return/if (polling_) return/#$fast#a poll while the system reports no network"
  "src/notifier/mail_watch.cpp#s/^    PayBaseline();$/    baselineOwed_ = false, lastMailCount_ = count;/#$fast#a poll already under way pays the baseline: the account typed meanwhile is never counted"
  "src/notifier/mail_watch.cpp#/^  online_ = online;$/{n;d;}#$fast#a baseline owed while offline waits for the next tick"
  "src/notifier/mail_watch.h#s/void Restored() { baselineOwed_ = false; }/void Restored() {}/#$fast#a window shown again is still owed a baseline"
  "src/pop3/mail_count.cpp#s/reply.received.startsWith(\"-ERR \[LOGIN-DELAY\]\") || //#$fast#a server's \"too soon\" shows a box"
  "src/pop3/mail_count.cpp#s/kNotNowShownAt = 60/kNotNowShownAt = 61/#$fast#a server that never stops saying \"not now\" is never shown"
  "src/host/network_state.cpp#s/return state != kAsleep \&\& HasDefaultRoute();/return state != kAsleep;/#$network#a poll while disconnected shows its box"
  "src/host/network_state.cpp#s/kConnectedLocal = 50;/kConnectedLocal = 70;/#$network#a LAN without internet is not polled"
  "src/host/network_state.cpp#s/Set(reply.isError() || OnlineIn/Set(!reply.isError() \&\& OnlineIn/#$network#no NetworkManager: nothing is polled"
  "src/host/network_state.cpp#s/if (!learnt_) Set(true);/if (!learnt_) Set(false);/#$fast#a system bus that never answers stops the watching"
  "src/host/single_instance.cpp#s/^  if (outcome != Outcome::Run) return outcome;$/  (void)outcome;/#$program#a second start runs a second copy"
  "src/host/single_instance.cpp#s/if (lock.error() != QLockFile::LockFailedError) return Outcome::Run;//#$fast#no copy starts where the runtime folder cannot be written"
  "src/host/single_instance.cpp#s/if (socket.state() == QLocalSocket::UnconnectedState/if (false/#$fast#a start while the running copy ends runs nothing"
  "src/host/single_instance.cpp#/silence->start(kAnswerMs);/d#$fast#a silent peer holds the running copy's socket for ever"
  "src/host/single_instance.cpp#s/if (GaveUp(\*peer)) return/if (GaveUp(*peer) \&\& false) return/#$fast#a start that gave up waiting brings the window back long after"
  "src/host/window_state.h#s/if (!hidden_) value_ = /value_ = /#$fast#after the hide on GNOME no tick polls"
  "src/notifier/frm_main.cpp#/void frmMain::Timer1Tick/,/^}/s/state_.value() != host::WindowState::Minimized/!isMinimized()/#$fast#a tick asks the window system, which calls the hidden window withdrawn"
  "src/tray/tray_tip.cpp#/case QSystemTrayIcon::DoubleClick:/,+1s/WM_LBUTTONDBLCLK/WM_LBUTTONUP/#$fast#a double-click on an XEmbed tray restores nothing"
  "src/tray/tray_tip.cpp#s/return statusNotifierHost ? WM_LBUTTONDBLCLK : WM_LBUTTONUP;/return statusNotifierHost ? WM_LBUTTONDBLCLK : WM_LBUTTONDBLCLK;/#$fast#a single click restores on an XEmbed tray"
  "src/tray/tray_tip.cpp#s/return WM_RBUTTONUP;/return WM_LBUTTONDBLCLK;/#$fast#a right click restores"
  "src/notifier/frm_main.cpp#s/if (code != modSystray::WM_LBUTTONDBLCLK) return;/if (!code) return;/#$fast#any click restores"
  "src/host/host.cpp#/setTextFormat(Qt::PlainText)/d#$fast#a server's words shown as markup"
  "src/host/host.cpp#s/(folder.st_mode \& S_IWOTH) != 0 ||/false ||/#$fast#a folder everyone may write holds the password"
  "src/host/host.cpp#s/!UsersPrivateGroup(folder.st_gid)/!UsersPrivateGroup(folder.st_gid) \&\& false/#$fast#a folder shared with a group holds the password"
  "src/host/host.cpp#s/!UsersPrivateGroup(folder.st_gid)/(!UsersPrivateGroup(folder.st_gid) || true)/#$fast#a umask-002 user's own folder loses its settings"
  "src/host/host.cpp#s/         !NotOwnedBy(ProgramSettingsFile(appDir), {::geteuid()});/         true;/#$fast#another user's config.ini beside the program taken for the user's"
  "src/host/host.cpp#s/return NotOwnedBy(defaults.file, defaults.owners) ? Source{} : defaults;/return defaults;/#$fast#another user's planted defaults read"
  "src/host/owner.cpp#s/!users.contains(st.st_uid)) return {};/users.isEmpty()) return {};/#$fast#a swapped config.ini of another user read"
  "src/host/owner.cpp#s/if (!users.contains(st.st_uid)) return LinkEnd{hop, true};/if (users.isEmpty()) return LinkEnd{hop, true};/#$fast#a save follows another user's link"
  "src/speech/speech.cpp#s/^  if (!speaker.connection) return why;$/  if (!speaker.connection) return std::nullopt;/#$fast#speech gone for good goes unreported"
  "src/notifier/frm_main.cpp#s/\[this\](const QString\& failure) { host_.RuntimeError(failure); }/[](const QString\&) {}/#$fast#a failure to speak later is dropped"
  "src/host/host.cpp#s/^  End(EXIT_FAILURE);$/  End(EXIT_SUCCESS);/#$fast#a run-time error ends as a success"
  "src/notifier/frm_main.cpp#s/decodedIcons_.constFind(file)/decodedIcons_.cend()/#$soak#every change of the tray picture keeps a new copy in memory"
  "src/pop3/mail_count.cpp#s/^  sckClient.reset(tls ? new QSslSocket : new QTcpSocket);$/  sckClient.reset(new QSslSocket);/#$program#a plain mailbox's poll loads the TLS stack"
  "src/tray/systray.cpp#s/kWatcherAnswerMs = 200;/kWatcherAnswerMs = 25000;/#$program#a hung StatusNotifierItem watcher freezes the window"
  "src/tray/systray.cpp#s/^  if (!watcher) return false;$/  if (!watcher) return true;/#$program#a hung watcher's silence taken for a panel: the window hides where none shows it"
  "src/pop3/stat_reply.cpp#s/^  if (size.isEmpty() || !IsDigit(size.front())) return std::nullopt;$//#$fast#a status reply with no size read as a count"
  "src/pop3/stat_reply.cpp#s/if (value > std::numeric_limits<qint32>::max()) return std::nullopt;//#$fast#a count past the largest number wraps round"
  "src/settings/profile.cpp#s/if (!IsUtf8(out) || IsAscii(out)) return out;/if (!IsUtf8(out) || IsAscii(out) || true) return out;/#$fast#a Windows file that a save makes pass for UTF-8: its other lines read otherwise"
  "src/settings/profile.cpp#s/QStringDecoder::Flag::ConvertInitialBom/QStringDecoder::Flag::Stateless/#$fast#a value that begins with U+FEFF loses it"
  "src/tray/systray.cpp#s/ReadWatcher().value_or(TrayIconData.watcher)/ReadWatcher().value_or(WatcherState{})/#$program#a click on the item while the watcher is slow is lost"
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
