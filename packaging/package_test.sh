#!/usr/bin/env bash
# The Debian packages end to end (CTest package_test, label package):
#
#   package_test.sh BUILD_DIR CPACK
#
# makes brightquill-client and brightquill-marking with CPack from the built
# tree BUILD_DIR, lints them (no lintian error), installs them with apt, and
# with the installed programs runs a headless demo exam (events replayed), a
# whole demo exam in the real web engine (offscreen) from the menu's launcher
# and `bqmark mark` on the installed demo papers' model answers; then purges
# them and checks that nothing of theirs is left. Whatever happens, the
# packages and the dependencies apt installed for them are purged again.
#
# Exit 77 (skipped) where packages cannot be installed: not root and no
# password-free sudo, no apt, or the packages are installed already (they are
# someone's installation, not this test's to remove).
set -euo pipefail

build=$(readlink -f "$1")
cpack=$2
packages=(brightquill-marking brightquill-client)

say() { printf 'package: %s\n' "$*"; }
skip() { say "$*, skipped"; exit 77; }
fail() { say "FAILED: $*" >&2; exit 1; }
# Seconds since START (a `date +%s.%N`), one decimal.
since() { awk -v s="$1" -v e="$(date +%s.%N)" 'BEGIN { printf "%.1f", e - s }'; }

command -v apt-get >/dev/null && command -v dpkg-query >/dev/null || skip "no apt"
sudo=()
if [ "$(id -u)" -ne 0 ]; then
  sudo -n true 2>/dev/null || skip "not root and no password-free sudo"
  sudo=(sudo -n)
fi
for p in "${packages[@]}"; do
  if dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'ok installed'; then
    skip "$p is installed on this machine already"
  fi
done
command -v dpkg-shlibdeps >/dev/null || skip "no dpkg-shlibdeps (apt-get install dpkg-dev)"

work=$build/package-test
rm -rf "$work"
mkdir -p "$work"

installed_packages() {
  dpkg-query -W -f='${db:Status-Status} ${binary:Package}\n' | awk '$1 == "installed" { print $2 }' | sort
}
installed_packages >"$work/before.txt"

# Purges what this test installed: our packages, then what apt brought for them.
cleanup() {
  local status=$? p state installed=()
  for p in "${packages[@]}"; do
    # Any state but not-installed: installed, half-configured, config-files ...
    state=$(dpkg-query -W -f='${db:Status-Status}' "$p" 2>/dev/null || true)
    [ -z "$state" ] || [ "$state" = not-installed ] || installed+=("$p")
  done
  if [ ${#installed[@]} -gt 0 ]; then
    "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get purge -y -qq "${installed[@]}" >/dev/null || status=1
  fi
  if [ -f "$work/before.txt" ]; then
    local added
    # Only those apt installed as dependencies: what someone else installed
    # meanwhile by name stays.
    mapfile -t added < <(installed_packages | comm -13 "$work/before.txt" - |
                         comm -12 - <(apt-mark showauto | sort))
    if [ ${#added[@]} -gt 0 ]; then
      say "purging what apt installed for the packages: ${added[*]}"
      "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get purge -y -qq "${added[@]}" >/dev/null || status=1
    fi
  fi
  rm -rf "$work"
  exit $status
}
trap cleanup EXIT

# --- Build and lint ---------------------------------------------------------

start=$(date +%s.%N)
"$cpack" -G DEB --config "$build/CPackConfig.cmake" -B "$work/cpack" >"$work/cpack.log" 2>&1 ||
  { cat "$work/cpack.log"; fail "cpack"; }
client_deb=$(ls "$work"/cpack/brightquill-client_*.deb)
marking_deb=$(ls "$work"/cpack/brightquill-marking_*.deb)
say "built in $(since "$start") s: $(cd "$work/cpack" && du -h ./*.deb | tr '\n\t' '  ')"

for deb in "$client_deb" "$marking_deb"; do
  # Each package says who it is and what it needs.
  dpkg-deb -f "$deb" Package Version Depends Recommends | sed 's/^/  /'
done
dpkg-deb -f "$client_deb" Depends | grep -q 'fonts-wqy-microhei' || fail "the client does not depend on its font"
dpkg-deb -f "$client_deb" Depends | grep -q 'libqt6webenginewidgets6' ||
  fail "the client's Depends lack the web engine (dpkg-shlibdeps)"
dpkg-deb -f "$marking_deb" Depends | grep -q 'brightquill-client (= ' ||
  fail "the marking tools do not depend on the client's libraries"

if command -v lintian >/dev/null; then
  lintian --fail-on error --tag-display-limit 0 "$client_deb" "$marking_deb" >"$work/lintian.txt" 2>&1 ||
    { cat "$work/lintian.txt"; fail "lintian reports errors"; }
  say "lintian: no error ($(grep -c '^W: ' "$work/lintian.txt" || true) warnings)"
  sed 's/^/  /' "$work/lintian.txt"
elif [ "${CI:-}" = true ]; then
  fail "lintian is not installed"
else
  say "lintian is not installed: not linted"
fi

# --- Install ----------------------------------------------------------------

start=$(date +%s.%N)
"${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
  "$client_deb" "$marking_deb" >"$work/apt.log" 2>&1 || { cat "$work/apt.log"; fail "apt-get install"; }
say "installed in $(since "$start") s"

# The menu entry starts the launcher, beside the viewer and the libraries.
desktop=/usr/share/applications/brightquill-exam.desktop
[ -f "$desktop" ] || fail "no menu entry $desktop"
launcher=$(sed -n 's/^Exec=//p' "$desktop")
lib=$(dirname "$launcher")
demo=/usr/share/brightquill/demo
for f in /usr/bin/BqTestMy /usr/bin/bqmark /usr/bin/bqdb /usr/bin/bqcall "$lib/questionpane" \
         "$launcher" "$lib/libBrightquillWebCom.so.0" "$demo/BqTest.MDB" "$demo/BqLogin.asp" "$demo/images/hand.gif" \
         /usr/share/icons/hicolor/scalable/apps/brightquill-exam.svg \
         /usr/lib/systemd/system/brightquill-marking-worker@.service \
         /etc/brightquill/marking-worker.conf /usr/share/man/man1/bqmark.1.gz \
         /usr/share/brightquill/papers/models/wordtest/festival.docx; do
  [ -e "$f" ] || fail "$f is not installed"
done
for program in /usr/bin/BqTestMy /usr/bin/bqmark /usr/bin/bqdb /usr/bin/bqcall "$lib/questionpane"; do
  if ldd "$program" | grep -q 'not found'; then ldd "$program"; fail "$program misses a library"; fi
done
# The programs take the libraries from the private folder, not from the build tree.
used=$(ldd /usr/bin/bqcall | awk '$1 == "libBrightquillCom.so.0" { print $3 }')
[ -n "$used" ] && [ "$(readlink -f "$used")" = "$(readlink -f "$lib/libBrightquillCom.so.0")" ] ||
  fail "bqcall uses ${used:-no} libBrightquillCom.so.0, not the one in $lib"
if grep -rqs -- "$build" /usr/bin/BqTestMy /usr/bin/bqmark; then fail "a program names the build tree"; fi
# The settings of the workers may hold a password: root only.
[ "$(stat -c %a /etc/brightquill/marking-worker.conf)" = 600 ] || fail "the worker settings are not 0600"
zcat /usr/share/man/man1/bqmark.1.gz | grep -q '^\.SS "bqmark work"' || fail "bqmark(1) lacks its work command"
if command -v systemd-analyze >/dev/null; then
  systemd-analyze verify --man=no /usr/lib/systemd/system/brightquill-marking-worker@batch.service \
    >"$work/verify.txt" 2>&1 || { cat "$work/verify.txt"; fail "systemd-analyze verify"; }
fi

# The client runs as the user who runs the test, in folders of the test's own.
export HOME=$work/home XDG_DATA_HOME= XDG_CONFIG_HOME= XDG_CACHE_HOME= XDG_STATE_HOME=
export BQ_DRIVES=$work/drives
mkdir -p "$HOME" "$BQ_DRIVES"

# --- The installed client: a headless demo exam for card bq1 ------------------

program=$work/program
cp -RL "$demo" "$program"
python3 - "$program" >"$work/events.jsonl" <<'EOF'
import json, sys
folder = sys.argv[1]
def page(name): return "File://" + folder + "/" + name
events = [{"event": "NavigateComplete2", "url": page("BqLogin.asp")}]
for typed in ["B", "BQ", "BQ1", "确定"]:
    events.append({"event": "StatusTextChange", "activeValue": typed})
for name in ["StdKnow.asp", "Begin.asp", "selection.asp", "operation.asp", "excel.asp", "EndTest.asp"]:
    events.append({"event": "BeforeNavigate2", "url": page(name)})
    events.append({"event": "NavigateComplete2", "url": page(name), "locationName": name})
    if name == "operation.asp":
        events.append({"event": "CommandStateChange", "activeDefaultValue": "请点击打开",
                       "locationName": name})
events.append({"event": "Close"})
for e in events: print(json.dumps(e, ensure_ascii=False))
EOF
BqTestMy --headless --app-folder "$program" --events "$work/events.jsonl" >"$work/effects.jsonl" 2>"$work/headless.err" ||
  { cat "$work/headless.err"; fail "the headless exam failed"; }
python3 - "$work/effects.jsonl" "$BQ_DRIVES/c" "$lib/questionpane" <<'EOF' || fail "the headless exam"
import json, os, sys
effects = [json.loads(line) for line in open(sys.argv[1], encoding="utf-8")]
drive_c, viewer = sys.argv[2], sys.argv[3]
def kind(k): return [e for e in effects if e["effect"] == k]
problems = [m["text"] for m in kind("message")]
work = next((os.path.join(drive_c, d) for d in os.listdir(drive_c) if d.lower() == "bqtest"), None)
if work is None: problems.append("no work folder C:\\BQTEST")
else:
    names = {n.lower(): n for n in os.listdir(work)}
    for n in ["wdbq1.doc", "wtbq1.doc", "exbq1.xls", "pptbq1.ppt", "questionpane.exe", "bq.avi"]:
        if n not in names: problems.append("C:\\BQTEST lacks " + n)
    copy = os.path.join(work, names.get("questionpane.exe", "-"))
    if os.path.islink(copy) or not os.access(copy, os.X_OK) or open(copy, "rb").read() != open(viewer, "rb").read():
        problems.append("the viewer's copy in C:\\BQTEST is not the installed program")
runs = [r["command"] for r in kind("run")]
if "c:\\bqtest\\QuestionPane.exe opbq1.tg" not in runs: problems.append("the open button ran %r" % runs)
written = [w["path"] for w in kind("write") if w["path"].endswith("excel.asp")]
if not written: problems.append("excel.asp was not written")
if not kind("quit"): problems.append("the program did not end on Close")
for p in problems: print("package: headless exam:", p)
sys.exit(1 if problems else 0)
EOF
[ ! -e "$program/excel.asp" ] || fail "the pages were not deleted on close"
say "headless demo exam: passed"

# --- The menu's launcher: a whole demo exam in the real engine ----------------

shots=$work/demo-run
copied=$HOME/.local/share/brightquill/program
# A folder the school began (its own style sheet, no database yet): the
# launcher adds what is missing and keeps what is there.
mkdir -p "$copied"
printf 'body { margin: 0; }\n' >"$copied/bq.css"
QT_QPA_PLATFORM=offscreen BQ_OPEN=true timeout 300 "$launcher" --demo-run "$shots" \
  >"$work/demo-run.log" 2>&1 || { tail -n 30 "$work/demo-run.log"; fail "the demo run from the launcher"; }
[ -f "$copied/BqTest.MDB" ] && [ ! -L "$copied/questionpane.exe" ] && [ -x "$copied/questionpane.exe" ] ||
  fail "the launcher did not make the program folder $copied"
[ "$(cat "$copied/bq.css")" = 'body { margin: 0; }' ] || fail "the launcher replaced a file of the folder"
[ "$(find "$shots" -name '*.png' | wc -l)" -ge 5 ] || fail "the demo run saved too few pictures"
say "demo run from the launcher: $(find "$shots" -name '*.png' | wc -l) pictures"

# --- The installed marking tools: the demo papers' model answers --------------

papers=/usr/share/brightquill/papers
class=$work/class
mkdir -p "$class"
cp "$papers/models/wordtable/scores.docx" "$class/wtBQ1.doc"
cp "$papers/models/wordtest/festival.docx" "$class/wdBQ1.doc"
cp "$papers/models/exceltest/sales_1.xlsx" "$class/exBQ1.xls"
cp "$papers/models/powerpoint/hometown.pptx" "$class/pptBQ1.ppt"
cp "$papers/models/operation/1.txt" "$class/opBQ1.txt"
# S01 hands in the question documents untouched (marked on paper BQ1).
cp "$papers/files/wordtable/scores.docx" "$class/wtS01.doc"
cp "$papers/files/wordtest/festival.docx" "$class/wdS01.doc"
cp "$papers/files/exceltest/sales.xlsx" "$class/exS01.xls"
cp "$papers/files/powerpoint/hometown.pptx" "$class/pptS01.ppt"
bqmark mark "$class" --exam "$demo/BqTest.MDB" --paper BQ1 --out "$work/marks" -j 2 --quiet \
  >"$work/bqmark.log" 2>&1 || { cat "$work/bqmark.log"; fail "bqmark mark"; }
python3 - "$work/marks/marks.json" <<'EOF' || fail "bqmark's marks"
import json, sys
marks = {e["examinee"].upper(): e for e in json.load(open(sys.argv[1], encoding="utf-8"))["examinees"]}
problems = []
if abs(marks["BQ1"]["total"] - 100) > 1e-9: problems.append("the model answers total %r, not 100" % marks["BQ1"]["total"])
if marks["S01"]["total"] != 0: problems.append("the untouched documents total %r, not 0" % marks["S01"]["total"])
for p in problems: print("package: bqmark:", p)
sys.exit(1 if problems else 0)
EOF
say "bqmark on the installed model answers: passed"

# --- Purge --------------------------------------------------------------------

for p in "${packages[@]}"; do dpkg-query -L "$p"; done | sort -u >"$work/files.txt"
start=$(date +%s.%N)
"${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get purge -y -qq "${packages[@]}" >"$work/purge.log" 2>&1 ||
  { cat "$work/purge.log"; fail "apt-get purge"; }
say "purged in $(since "$start") s"
left=()
while read -r f; do
  # Folders of the system the packages only shared (/usr/bin ...) stay.
  [ -e "$f" ] || [ -L "$f" ] || continue
  [ -d "$f" ] && [ ! -L "$f" ] && [ -n "$(dpkg-query -S "$f" 2>/dev/null)" ] && continue
  left+=("$f")
done <"$work/files.txt"
for f in /etc/brightquill "$lib" /usr/share/brightquill; do
  [ ! -e "$f" ] || left+=("$f")
done
[ ${#left[@]} -eq 0 ] || fail "left after the purge: ${left[*]}"
say "purge left nothing behind"
