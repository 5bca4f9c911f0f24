#!/usr/bin/env bash
# Installs a build into a scratch prefix and uses it the way a normal user would: as a user
# other than root (created when missing) with the install tree read-only, it runs the
# installed larderly-cli (import, list, backup, restore) and starts the installed larderly
# offscreen, then checks that the data landed in that user's $XDG_DATA_HOME/larderly.
# Also validates the menu entry, the metainfo, the icons, the manual pages and the bash
# completion, and builds the Debian package to check its computed dependencies.
#
# usage: scripts/install-check.sh [BUILD_DIR]   (default: build)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build=$(cd "${1:-build}" && pwd)
started=$(date +%s)

app_id=org.larderly.Larderly
check_user=larderly-check
work=$(mktemp -d /tmp/larderly-install-check.XXXXXX)
cleanup() {
  chmod -R u+w "$work" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
chmod 755 "$work"

fail() {
  echo "install-check: FAILED: $*" >&2
  exit 1
}
step() { echo "install-check: $*"; }

# --- the installed layout -----------------------------------------------------------------
prefix=$work/prefix
cmake --install "$build" --prefix "$prefix" >/dev/null
for f in bin/larderly bin/larderly-cli lib/larderly/libvirtualdrive.so lib/larderly/liblarderly-cli-qt.so \
         share/larderly/Recipe.hlp \
         "share/applications/$app_id.desktop" "share/metainfo/$app_id.metainfo.xml" \
         "share/icons/hicolor/scalable/apps/$app_id.svg" \
         "share/icons/hicolor/48x48/apps/$app_id.png" "share/icons/hicolor/256x256/apps/$app_id.png" \
         share/man/man1/larderly.1.gz share/man/man1/larderly-cli.1.gz \
         share/bash-completion/completions/larderly-cli; do
  [ -f "$prefix/$f" ] || fail "cmake --install did not install $f"
done
for size in 48 256; do
  file "$prefix/share/icons/hicolor/${size}x${size}/apps/$app_id.png" | grep -q "PNG image data, $size x $size" ||
    fail "the ${size} pixel icon is not a $size x $size PNG"
done
desktop-file-validate "$prefix/share/applications/$app_id.desktop" || fail "desktop-file-validate"
appstreamcli validate --no-net "$prefix/share/metainfo/$app_id.metainfo.xml" >"$work/appstream.log" 2>&1 ||
  { cat "$work/appstream.log"; fail "appstreamcli validate"; }
for page in larderly larderly-cli; do
  warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l "$prefix/share/man/man1/$page.1.gz" 2>&1 >/dev/null)
  [ -z "$warnings" ] || fail "manual page $page: $warnings"
done
completion=$(bash -c 'source /usr/share/bash-completion/bash_completion
  source "$1"
  COMP_WORDS=(larderly-cli --home /tmp ba); COMP_CWORD=3; COMP_LINE="larderly-cli --home /tmp ba"
  COMP_POINT=${#COMP_LINE}
  _larderly_cli; echo "${COMPREPLY[*]}"' _ "$prefix/share/bash-completion/completions/larderly-cli")
[ "$completion" = backup ] || fail "bash completion of 'ba' gave '$completion'"
step "layout, desktop entry, metainfo, icons, manual pages and completion ok"

# --- a normal user, a read-only install tree ------------------------------------------------
chmod -R a-w,a+rX "$prefix"
mkdir -p "$work/input"
cp tests/data/import/mastercook.mxp tests/data/import/mealmaster-dashes.mmf "$work/input/"
chmod -R a+rX "$work/input"
home=$work/home
mkdir -p "$home"
if [ "$(id -u)" -eq 0 ]; then
  if ! id "$check_user" >/dev/null 2>&1; then
    useradd --no-create-home --home-dir /nonexistent --shell /usr/sbin/nologin "$check_user"
  fi
  chown "$check_user:" "$home"
  as_user=(runuser -u "$check_user" --)
  runuser -u "$check_user" -- test -w "$prefix/bin" && fail "the install tree is writable by $check_user"
else
  as_user=()
  [ -w "$prefix/bin" ] && fail "the install tree is writable"
fi
xdg_data=$home/xdg-data
# A clean environment: nothing from the build or the suite (LARDERLY_HOME above all).
run() {
  "${as_user[@]}" env -i PATH=/usr/bin:/bin HOME="$home" XDG_DATA_HOME="$xdg_data" \
    XDG_CONFIG_HOME="$home/.config" LANG=C.UTF-8 TZ=UTC QT_QPA_PLATFORM=offscreen "$@"
}
cli=$prefix/bin/larderly-cli
touch "$work/before-use"

run "$cli" --version | grep -q "^larderly-cli [0-9]" || fail "larderly-cli --version"
run "$cli" import "$work/input/mastercook.mxp" >"$work/out" || fail "import: $(cat "$work/out")"
run "$cli" list >"$work/list1" || fail "list"
[ -s "$work/list1" ] || fail "list shows nothing after an import"
run mkdir -p "$home/backups"
run "$cli" backup "$home/backups" >"$work/out" 2>&1 || fail "backup: $(cat "$work/out")"
[ -f "$home/backups/recipebackup.001" ] || fail "backup wrote no recipebackup.001"
run "$cli" import "$work/input/mealmaster-dashes.mmf" >"$work/out" || fail "second import: $(cat "$work/out")"
run "$cli" list >"$work/list2"
cmp -s "$work/list1" "$work/list2" && fail "the second import added nothing"
run "$cli" restore "$home/backups" >"$work/out" 2>&1 || fail "restore: $(cat "$work/out")"
run "$cli" list >"$work/list3"
cmp -s "$work/list1" "$work/list3" || fail "restore did not bring the backed-up recipes back"
run "$cli" burn --aspi libvirtualdrive.so --list >"$work/out" 2>&1 ||
  fail "the simulated writer is not found by its name: $(cat "$work/out")"
step "larderly-cli import, list, backup, restore and burn --list ok"

run timeout 120 "$prefix/bin/larderly" --screenshot "$home/main.png" >"$work/out" 2>&1 ||
  fail "the installed larderly did not start: $(cat "$work/out")"
file "$home/main.png" | grep -q "PNG image data" || fail "larderly --screenshot wrote no picture"
grep -qxF "Application Path=$xdg_data/larderly/" "$home/.config/larderly/rcpconfig.ini" ||
  fail "Application Path does not record $xdg_data/larderly/: $(cat "$home/.config/larderly/rcpconfig.ini")"
step "larderly started offscreen"

for t in tbl101.nx1 tbl102.nx1 tbl103.nx1 tbl104.nx1; do
  [ -f "$xdg_data/larderly/data/$t" ] || fail "$xdg_data/larderly/data/$t is missing"
done
if [ ${#as_user[@]} -gt 0 ]; then
  owner=$(stat -c %U "$xdg_data/larderly/data/tbl102.nx1")
  [ "$owner" = "$check_user" ] || fail "the data belongs to $owner"
fi
[ "$(stat -c %a "$xdg_data/larderly")" = 700 ] || fail "$xdg_data/larderly is not private to the user"
written=$(find "$prefix" -newer "$work/before-use" -print)
[ -z "$written" ] || fail "the programs wrote into the install tree: $written"
# Without XDG_DATA_HOME the data goes to ~/.local/share/larderly.
"${as_user[@]}" env -i PATH=/usr/bin:/bin HOME="$home" "$cli" list >/dev/null || fail "list without XDG_DATA_HOME"
[ -f "$home/.local/share/larderly/data/tbl102.nx1" ] || fail "without XDG_DATA_HOME the data is not in ~/.local/share"
step "data in the user's \$XDG_DATA_HOME/larderly, install tree untouched"

# --- the Debian package --------------------------------------------------------------------
if command -v dpkg-shlibdeps >/dev/null; then
  (cd "$build" && cpack -G DEB -B "$work/deb" >"$work/cpack.log" 2>&1) || { cat "$work/cpack.log"; fail "cpack -G DEB"; }
  deb=$(ls "$work"/deb/larderly_*.deb)
  depends=$(dpkg-deb -f "$deb" Depends)
  for lib in libc6 libqt6widgets6 libsqlite3-0; do
    [[ $depends == *"$lib "* || $depends == *"$lib," || $depends == *"$lib" ]] ||
      fail "the package does not depend on $lib: $depends"
  done
  dpkg-deb -c "$deb" >"$work/contents"
  for f in usr/bin/larderly usr/bin/larderly-cli usr/lib/larderly/libvirtualdrive.so usr/share/larderly/Recipe.hlp \
           "usr/share/applications/$app_id.desktop" usr/share/man/man1/larderly-cli.1.gz; do
    grep -q " \./$f\$" "$work/contents" || fail "the package lacks /$f"
  done
  step "package $(basename "$deb"): Depends: $depends"
fi

step "passed in $(($(date +%s) - started)) s"
