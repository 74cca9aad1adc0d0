#!/usr/bin/env bash
# Installs the build under a DESTDIR and checks the result as a desktop, a
# software centre, man and bash would see it.
#   check_install.sh BUILD_DIR SCRATCH_DIR APP_ID VERSION
set -uo pipefail
build=$1 scratch=$2 app_id=$3 version=$4
python=/usr/bin/python3

failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

rm -rf "$scratch"
mkdir -p "$scratch"
root=$scratch/root
if ! DESTDIR=$root cmake --install "$build" --prefix /usr >"$scratch/install.log" 2>&1; then
  cat "$scratch/install.log"
  echo "FAIL: cmake --install"
  exit 1
fi
usr=$root/usr

# --- Every file in its place -------------------------------------------------
bin=$usr/bin/hopster
desktop=$usr/share/applications/$app_id.desktop
metainfo=$usr/share/metainfo/$app_id.metainfo.xml
icon=$usr/share/icons/hicolor/scalable/apps/$app_id.svg
symbolic=$usr/share/icons/hicolor/symbolic/apps/$app_id-symbolic.svg
completion=$usr/share/bash-completion/completions/hopster
manpage=$usr/share/man/man1/hopster.1
service=$usr/share/dbus-1/services/$app_id.service
for file in "$bin" "$desktop" "$metainfo" "$icon" "$symbolic" "$completion" "$manpage" "$service"; do
  [[ -s $file ]] || fail "not installed: ${file#"$root"}"
done
[[ -x $bin ]] || fail "the program is not executable"
if ((failures)); then
  find "$root" -type f | sed "s|^$root||"
  exit 1
fi
# Nothing of the build folder may leak into what is installed.
if grep -rlF "$build" "$usr/share" >/dev/null; then fail "an installed data file names the build folder"; fi
if readelf -d "$bin" | grep -qE 'R(UN)?PATH'; then fail "the installed program keeps a run path"; fi

# --- Desktop entry and metainfo ---------------------------------------------
desktop-file-validate "$desktop" >"$scratch/desktop.log" 2>&1 || {
  cat "$scratch/desktop.log"
  fail "desktop-file-validate"
}
appstreamcli validate --no-net "$metainfo" >"$scratch/appstream.log" 2>&1 || {
  cat "$scratch/appstream.log"
  fail "appstreamcli validate"
}
entry() { sed -n "s/^$1=//p" "$desktop"; }
[[ $(entry Exec) == hopster* ]] || fail "desktop entry does not run hopster: $(entry Exec)"
[[ $(entry Icon) == "$app_id" ]] || fail "desktop entry icon $(entry Icon) is not $app_id"
[[ $(entry X-Purism-FormFactor) == *Mobile* ]] || fail "desktop entry is not marked for phones"
[[ $(entry DBusActivatable) == true ]] || fail "desktop entry is not activatable over D-Bus"

# The session bus starts the installed program for the name the desktop entry
# is called by: the file is named after it, its one group names it and runs
# the program where it was installed. (desktop-file-validate takes desktop
# entries only, not the bus's own files of the same syntax.)
expected_service=$(printf '[D-BUS Service]\nName=%s\nExec=/usr/bin/hopster' "$app_id")
[[ $(<"$service") == "$expected_service" ]] || fail "D-Bus service file: $(<"$service")"

# One id everywhere: metainfo id and launchable name the desktop entry; the
# release is this version; no configure placeholder is left.
"$python" - "$metainfo" "$app_id" "$version" <<'PY' || fail "metainfo contents"
import sys, xml.etree.ElementTree as ET
path, app_id, version = sys.argv[1:]
text = open(path, encoding="utf-8").read()
root = ET.fromstring(text.encode())
problems = []
if "@" in text.replace("&#64;", ""):
    problems.append("a configure placeholder is left")
if root.findtext("id") != app_id:
    problems.append("id %r" % root.findtext("id"))
if root.findtext("launchable[@type='desktop-id']") != app_id + ".desktop":
    problems.append("launchable %r" % root.findtext("launchable"))
if root.findtext("provides/binary") != "hopster":
    problems.append("provides no binary hopster")
releases = [r.get("version") for r in root.iterfind("releases/release")]
if not releases or releases[0] != version:
    problems.append("latest release %r, not %s" % (releases[:1], version))
controls = {c.text for c in root.iterfind("supports/control")} | {
    c.text for c in root.iterfind("recommends/control")}
if "touch" not in controls:
    problems.append("touch is not supported")
if root.find("requires/display_length") is None and root.find("recommends/display_length") is None:
    problems.append("no display length, so phone software centres leave it out")
for p in problems:
    print("metainfo:", p)
sys.exit(1 if problems else 0)
PY

# --- Icons: well-formed SVG; the symbolic one in a single colour --------------
"$python" - "$icon" "$symbolic" <<'PY' || fail "icons"
import re, sys, xml.etree.ElementTree as ET
icon, symbolic = sys.argv[1:]
ok = True
for path in (icon, symbolic):
    try:
        ET.parse(path)
    except ET.ParseError as e:
        print(path, e)
        ok = False
colours = set()
for el in ET.parse(symbolic).iter():
    for key in ("fill", "stroke"):
        value = el.get(key)
        if value and value != "none":
            colours.add(value.lower())
    for key, value in re.findall(r"(fill|stroke)\s*:\s*([^;]+)", el.get("style", "")):
        if value.strip() != "none":
            colours.add(value.strip().lower())
if len(colours) > 1 or any("url(" in c for c in colours):
    print("symbolic icon colours:", sorted(colours))
    ok = False
sys.exit(0 if ok else 1)
PY

# --- The installed program runs ----------------------------------------------
home=$scratch/home
mkdir -p "$home/config/hopster" "$home/data" "$home/cache" "$home/runtime"
chmod 700 "$home/runtime"
echo '{"hasSeenOnboarding": true}' >"$home/config/hopster/settings.json"
run() {
  env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM=offscreen XDG_CONFIG_HOME="$home/config" \
    XDG_DATA_HOME="$home/data" XDG_CACHE_HOME="$home/cache" XDG_RUNTIME_DIR="$home/runtime" \
    DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent timeout 120 "$bin" "$@"
}
help_text=$(run --help) || fail "hopster --help"
run --version >"$scratch/version.out" 2>&1 || fail "hopster --version"
grep -qF "$version" "$scratch/version.out" || fail "hopster --version does not say $version: $(cat "$scratch/version.out")"
run --smoke-test >"$scratch/smoke.log" 2>&1 || {
  tail -20 "$scratch/smoke.log"
  fail "installed hopster --smoke-test"
}
run --headless --fast --seconds 20 --seed 7 >"$scratch/headless.log" 2>&1 || {
  tail -20 "$scratch/headless.log"
  fail "installed hopster --headless"
}
run history >"$scratch/history.out" 2>&1 || {
  cat "$scratch/history.out"
  fail "installed hopster history"
}
[[ -s $scratch/history.out ]] || fail "hopster history printed nothing after a recording"

# --- The options of --help are documented and completed ----------------------
# Options as --help lists them: an indented line that starts with one.
mapfile -t options < <(grep -oE '^ {1,4}--[a-z][a-z-]*' <<<"$help_text" | tr -d ' ' | sort -u)
((${#options[@]} >= 10)) || fail "found only ${#options[@]} options in --help"
options+=(--help --version)
subcommands=(history export recount stats trophies)

# The manual page: renders without a warning and names every option and
# subcommand.
groff -man -ww -z "$manpage" 2>"$scratch/groff.log" && [[ ! -s $scratch/groff.log ]] || {
  cat "$scratch/groff.log"
  fail "groff warns about the manual page"
}
man_text=$(MANWIDTH=200 man --warnings -l "$manpage" 2>"$scratch/man.log")
[[ ! -s $scratch/man.log ]] || {
  cat "$scratch/man.log"
  fail "man warns about the manual page"
}
grep -q "^HOPSTER(1)" <<<"$man_text" || fail "the manual page has no HOPSTER(1) title"
grep -qF "Hopster $version" <<<"$man_text" || fail "the manual page does not carry version $version"
for word in "${options[@]}" "${subcommands[@]}"; do
  grep -qE -- "(^|[^a-z-])$word([^a-z-]|$)" <<<"$man_text" || fail "the manual page lacks $word"
done
for status in 0 1 2 3; do
  grep -qE "^ {7}$status( |$)" <<<"$man_text" || fail "the manual page lacks exit status $status"
done

# The completion: parses, and offers what the program takes.
bash -n "$completion" || fail "bash -n on the completion"
complete_words() {
  # Prints the completions of the words given, the last being completed.
  bash -c '
    source "$1"; shift
    COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1)); COMP_LINE="$*"; COMP_POINT=${#COMP_LINE}
    COMPREPLY=()
    _hopster hopster "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD-1]}"
    printf "%s\n" "${COMPREPLY[@]}"' _ "$completion" "$@"
}
expect_completions() {
  # expect_completions "WORDS…" WANTED…: each WANTED is among the completions.
  local words=$1 got wanted
  shift
  read -ra line <<<"$words"
  [[ $words == *" " ]] && line+=("")
  got=$(cd "$scratch" && complete_words "${line[@]}")
  for wanted in "$@"; do
    grep -qxF -- "$wanted" <<<"$got" || fail "completing '$words' does not offer $wanted (got: $(tr '\n' ' ' <<<"$got"))"
  done
}
expect_only() {
  local words=$1 got
  shift
  read -ra line <<<"$words"
  [[ $words == *" " ]] && line+=("")
  got=$(cd "$scratch" && complete_words "${line[@]}" | sort | tr '\n' ' ')
  [[ $got == "$(printf '%s ' "$@")" ]] || fail "completing '$words' offers '$got', not '$*'"
}
expect_completions "hopster " "${options[@]}" "${subcommands[@]}"
expect_only "hopster hi" history
expect_only "hopster --headless --seconds 30 st" stats
expect_only "hopster --motion r" replay:
expect_completions "hopster --motion " sim stdin phone iio
expect_only "hopster history " --help --json
expect_only "hopster stats --j" --json
expect_only "hopster trophies " --help --json
expect_only "hopster export --format " csv json
expect_completions "hopster export -" --format -o --help
expect_only "hopster recount --" --help
# A file argument completes files, not words.
touch "$scratch/run1.json"
expect_only "hopster recount run" run1.json
expect_only "hopster --motion replay:run" replay:run1.json

if ((failures)); then
  echo "$failures check(s) failed"
  exit 1
fi
echo "installed and checked: $(find "$root" -type f | wc -l) files under $root"
