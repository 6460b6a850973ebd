#!/usr/bin/env bash
# The options of each program are the same in its man page and in README's
# table for it, and every option of the program's own usage text is in both.
# Usage: options_test.sh SOURCE_DIR PROGRAM_DIR
set -euo pipefail
source=$1 bin=$2
status=0

# Option names, one a line, sorted: /type, -type, --type and \-\-type all give "type",
# /dry-run and dry\-run "dry-run".
names() { sed -E 's/^\\?-\\?-|^[-/\\]+//; s/\\-/-/g' | sort -u; }

# The first word of each entry (the line after .TP) of a man page's OPTIONS section.
man_options() {
  awk '/^\.SH /{on = ($2 == "OPTIONS")} on && tp && /^\.(B|BI|BR) /{print $2} {tp = ($0 == ".TP")}' \
    "$source/dist/man/$1.1" | names
}

# The first column of the first table after README's "## <program>" heading.
readme_options() {
  awk -v h="## $1" 'index($0, h) == 1 && substr($0, length(h) + 1, 1) ~ /[: ]/ {on = 1; next}
      on && /^## /{exit}
      on && /^\| *`/{split($0, c, "`"); print c[2]; seen = 1; next}
      on && seen && !/^\|/{exit}' "$source/README.md" | names
}

# The usage box waits for OK; its text is on stderr before that.
tabwright_usage() {
  local err
  err=$(mktemp)
  QT_QPA_PLATFORM=offscreen "$bin/Tabwright" a b c 2>"$err" >/dev/null &
  local pid=$!
  for _ in $(seq 300); do
    grep -q '^Usage' "$err" && break
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
  done
  kill "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
  cat "$err"
  rm -f "$err"
}

# The options in the program's usage line.
usage_options() {
  case $1 in
    glean) "$bin/glean" --help | head -1 ;;
    # Without a display the window's usage goes to stderr only.
    Gleanora) env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$bin/Gleanora" /no-such-option 2>&1 >/dev/null || true ;;
    Tabwright) tabwright_usage ;;
  esac | grep -m1 -E "^(Usage: )?$1 " | grep -oE '/[A-Za-z?][A-Za-z?-]*' | names
}

for program in glean Gleanora Tabwright; do
  man=$(man_options "$program")
  readme=$(readme_options "$program")
  usage=$(usage_options "$program")
  if [[ -z "$man" || -z "$readme" || -z "$usage" ]]; then
    echo "FAIL $program: an option list is empty (man: [$man] README: [$readme] usage: [$usage])"
    status=1
    continue
  fi
  if [[ "$man" != "$readme" ]]; then
    echo "FAIL $program: man page and README differ:"
    diff <(echo "$man") <(echo "$readme") | sed 's/^/  /' || true
    status=1
  fi
  missing=$(comm -23 <(echo "$usage") <(echo "$readme"))
  if [[ -n "$missing" ]]; then
    echo "FAIL $program: in the usage but not in README and man page: $missing"
    status=1
  fi
  echo "$program: $(echo $man)"
done
exit $status
