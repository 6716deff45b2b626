# A copy of the built program folder with a config.ini of its own, so that
# no real config.ini is touched. Sourced by the demo, the desktop tests and
# the benchmarks.
# shellcheck shell=bash

# program_folder DIR BUILT_APP_DIR SERVER USER PASSWORD
program_folder() {
  mkdir -p "$1"
  cp "$2/tallowin" "$2/Mail.ico" "$2/IsMail.ico" "$1/"
  printf '[POP3]\nServername=%s\nUsername=%s\nPassword=%s\n' "$3" "$4" "$5" >"$1/config.ini"
}
