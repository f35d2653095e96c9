#!/usr/bin/env bash
# Installs the build into temporary prefixes and checks that each gets a ready program folder.
#   tst_install.sh BUILD_DIR SOURCE_DIR [CMAKE]
set -uo pipefail
build=$1
source=$2
cmake=${3:-cmake}
work=$(mktemp -d)
ketbook_pid=
cleanup()
{
  [ -n "$ketbook_pid" ] && kill "$ketbook_pid" 2>/dev/null && wait "$ketbook_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

install_into() # PREFIX [DESTDIR]
{
  if ! DESTDIR=${2:-} "$cmake" --install "$build" --prefix "$1" >"$work/install.log" 2>&1; then
    cat "$work/install.log"
    echo "FAIL: cmake --install --prefix $1 failed"
    exit 1
  fi
}

# A folder name the launcher has to escape.
prefix="$work/shop 100% \$ok"
folder="$prefix/Tallyvane"
install_into "$prefix"

for f in Ketbook updaterKetbook; do
  [ -x "$folder/$f" ] || fail "$f is not installed as a program"
done
for f in tips.tip manual.html tallyvane.png; do
  cmp -s "$source/data/$f" "$folder/$f" || fail "$f is not installed as in data/"
done
[ "$(head -c 15 "$folder/InventoryDb.mdb" 2>/dev/null)" = "SQLite format 3" ] || fail "no empty database installed"
# Whatever the build's program folder holds is installed too, but for what running the
# programs leaves there (reports, backups, downloads, signatures).
for f in "$build/Tallyvane"/*; do
  name=$(basename "$f")
  case $name in
  report.html | Backup | *.part | *.sig | *.manifest | Ketbook.version | InventoryDb.mdb.*) continue ;;
  esac
  [ -e "$folder/$name" ] || fail "$name is in the build's program folder but not installed"
done

launcher="$folder/tallyvane.desktop"
[ -x "$launcher" ] || fail "the launcher is not installed as executable"
grep -qxF 'Exec="'"$work"'/shop 100%% \\$ok/Tallyvane/Ketbook"' "$launcher" ||
  fail "the launcher does not start the installed Ketbook: $(grep '^Exec=' "$launcher")"
grep -qxF "Path=$folder" "$launcher" || fail "the launcher does not run in the installed folder"
grep -qxF "Icon=$folder/tallyvane.png" "$launcher" || fail "the launcher's icon is not the installed one"
grep -qF "$build" "$launcher" && fail "the launcher names the build folder"

# Ketbook starts from the installed folder and shows its main window: the tip of the day, shown
# once the window has loaded the installed tips file, records the next tip in the settings.
export HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config"
mkdir -p "$XDG_CONFIG_HOME"
# The tips file is how the window is seen; without it there is nothing to wait for.
[ -f "$folder/tips.tip" ] || { echo "FAIL: no tips file installed"; exit 1; }
# timeout only ends a Ketbook left behind should the test itself be ended for hanging.
(cd / && exec timeout 600 "$folder/Ketbook") >"$work/ketbook.log" 2>&1 &
ketbook_pid=$!
while ! grep -rqs '^NextTip=' "$XDG_CONFIG_HOME"; do
  if ! kill -0 "$ketbook_pid" 2>/dev/null; then
    wait "$ketbook_pid"
    fail "Ketbook ended (status $?) before showing its window: $(cat "$work/ketbook.log")"
    break
  fi
  sleep 0.2
done
if kill "$ketbook_pid" 2>/dev/null; then wait "$ketbook_pid" 2>/dev/null; fi
ketbook_pid=

# A reinstall keeps the shop's data.
printf 'the shop data' >"$folder/InventoryDb.mdb"
install_into "$prefix"
[ "$(cat "$folder/InventoryDb.mdb")" = "the shop data" ] || fail "a reinstall replaced the database"

# Staged for packaging: the files go under DESTDIR, the launcher names the final folder.
install_into /opt/tallyvane-test "$work/stage"
staged="$work/stage/opt/tallyvane-test/Tallyvane"
[ -x "$staged/Ketbook" ] && [ -f "$staged/InventoryDb.mdb" ] || fail "nothing installed under DESTDIR"
grep -qxF 'Exec="/opt/tallyvane-test/Tallyvane/Ketbook"' "$staged/tallyvane.desktop" ||
  fail "a staged launcher names the staging folder: $(grep '^Exec=' "$staged/tallyvane.desktop")"

[ "$failures" -eq 0 ] || exit 1
echo "PASS"
