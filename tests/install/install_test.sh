#!/usr/bin/env bash
# Installs the build into a temporary DESTDIR under /usr and runs the
# installed programs from there: glean harvests the example forms, and
# tst_Installed opens the example form definition in the editor with its
# default specification file and checks the Edit button's command line.
# Usage: install_test.sh BUILD_DIR SOURCE_DIR TST_INSTALLED
set -euo pipefail
build=$1 source=$2 tst=$3

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

DESTDIR="$tmp/dest" cmake --install "$build" --prefix /usr >"$tmp/install.log" || {
  cat "$tmp/install.log"; fail "cmake --install"; }
root=$tmp/dest/usr
share=$root/share/gleanora

# The programs alone in bin/; their files in share/.
[[ "$(cd "$root/bin" && ls | tr '\n' ' ')" == "Gleanora Tabwright glean " ]] ||
  fail "bin/ holds: $(ls "$root/bin")"
for f in App.def Help/index.html Tabwright.dat FormatWords.txt examples/timesheet.dat examples/glean-watch.service \
         ../applications/example.quorra.Gleanora.desktop ../applications/example.quorra.Tabwright.desktop \
         ../metainfo/example.quorra.Gleanora.metainfo.xml ../metainfo/example.quorra.Tabwright.metainfo.xml \
         ../man/man1/glean.1.gz ../man/man1/Gleanora.1.gz ../man/man1/Tabwright.1.gz \
         ../doc/gleanora/copyright ../doc/gleanora/changelog.Debian.gz; do
  [[ -f "$share/$f" ]] || fail "not installed: $f"
done
for size in 16 22 24 32 48 64 128 256; do
  for icon in gleanora tabwright; do
    [[ -f "$root/share/icons/hicolor/${size}x${size}/apps/$icon.png" ]] || fail "no $size px icon $icon"
  done
done
[[ ! -e "$share/Settings" && ! -e "$share/FormTypes" ]] || fail "user folders in the read-only data folder"

# The installed glean harvests the installed example forms.
mkdir -p "$tmp/in" "$tmp/done"
cp "$share"/examples/forms/* "$tmp/in/"
count=$(ls "$tmp/in" | wc -l)
"$root/bin/glean" /type "$share/examples/timesheet.dat" /in "$tmp/in" /out "$tmp/done" \
  /data "$tmp/timesheets.csv" 2>"$tmp/glean.log" || { cat "$tmp/glean.log"; fail "glean"; }
cmp "$tmp/timesheets.csv" "$source/examples/timesheets.expected.csv" || fail "harvested data file differs"
[[ $(ls "$tmp/done" | wc -l) -eq $count && -z "$(ls "$tmp/in")" ]] || fail "forms not moved"

# Desktop entries, AppStream metadata and man pages are well-formed.
if command -v desktop-file-validate >/dev/null; then
  desktop-file-validate "$root"/share/applications/*.desktop || fail "desktop entries"
fi
if command -v appstreamcli >/dev/null; then
  for f in "$root"/share/metainfo/*.xml; do
    appstreamcli validate --no-net "$f" >"$tmp/as.log" 2>&1 || { cat "$tmp/as.log"; fail "metainfo $f"; }
  done
fi
if command -v man >/dev/null; then
  for page in glean Gleanora Tabwright; do
    warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$root/share/man/man1/$page.1.gz" 2>&1 >/dev/null)
    [[ -z "$warnings" ]] || fail "man page $page: $warnings"
  done
fi

# The example user service is one systemd accepts, for the glean and man page installed here.
if command -v systemd-analyze >/dev/null; then
  sed "s|/usr/bin/glean|$root/bin/glean|" "$share/examples/glean-watch.service" >"$tmp/glean-watch.service"
  # It warns about a value it does not understand and still succeeds: any word is a failure.
  MANPATH=$root/share/man systemd-analyze verify "$tmp/glean-watch.service" >"$tmp/sd.log" 2>&1 && [[ ! -s "$tmp/sd.log" ]] ||
    { cat "$tmp/sd.log"; fail "examples/glean-watch.service"; }
fi

# The editor and the Edit button, from the installed layout.
package=$(gzip -dc "$root/share/doc/gleanora/changelog.Debian.gz" | sed -n '1s/^gleanora (\([^)]*\)).*/\1/p')
GLEANORA_INSTALLED_ROOT=$root GLEANORA_PACKAGE_VERSION=$package QT_QPA_PLATFORM=offscreen "$tst" ||
  fail "tst_Installed"
echo "installed layout works"
