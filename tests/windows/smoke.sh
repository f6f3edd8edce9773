#!/usr/bin/env bash
# Smoke test of the Windows build under wine, on an X display (run it under xvfb-run).
#   tests/windows/smoke.sh   (from the repository root, after `make windows`)
# Checks build/windows/vexo.exe statically (PE32 i386, GUI, system DLLs only, resources 101
# and 102), then under wine: the host checks (paths, resources, directory file system),
# vexo.exe to the end by itself (exit 0) with screenshots of the logo, Alt+Enter to a window
# and Escape to end early (exit 0), vexo-plain.exe without an archive (the message, exit 1),
# and `kestol.exe pak list` against the Linux tool.
# The 32-bit programs run under 32-bit wine wherever 32-bit code runs: natively, or through
# the qemu-i386 handler that tests/i386/with-i386.sh holds for the run (the script re-runs
# itself through it). Only where neither works do the same programs, built for x86-64, run
# under wine64, and the test says so loudly. Sound goes to a PulseAudio null sink, which
# plays in real time, so the demo must take its real length (80 to 95 s), and screenshots
# taken along the way must show the same moments as the demo rendered headless
# (tests/windows/timeline.py).
set -euo pipefail
cd "$(dirname "$0")/../.."
root=$PWD
[ -n "${KESTOL_I386_RUN:-}" ] || exec tests/i386/with-i386.sh "$0" "$@"
win32=build/windows
native=build/default
pak=$native/assets/content/vexo.pak
icon=$native/assets/content/icon.bmp
work=$root/build/windows-smoke
JOBS=${JOBS:-2}

say() { printf '== %s\n' "$*"; }
fail() { printf 'FAILED: %s\n' "$*" >&2; exit 1; }
elapsed() { echo $(( $(date +%s) - $1 )); }
now_ms() { echo $(( $(date +%s%N) / 1000000 )); }

[ -n "${DISPLAY:-}" ] || fail "no X display (run under xvfb-run)"
for f in $win32/vexo.exe $win32/vexo-plain.exe $win32/win32-host-check.exe $win32/tools/kestol.exe \
         $pak $native/tools/kestol; do
  [ -e "$f" ] || fail "$f is missing (make windows and the native build first)"
done

# ---- Static checks on the 32-bit program ----------------------------------------------
say "static checks of $win32/vexo.exe"
info=$(file -b $win32/vexo.exe)
echo "   file: $info"
[[ $info == "PE32 executable (GUI) Intel 80386"* ]] || fail "vexo.exe is not a PE32 i386 GUI program"
check_imports() {
  local dlls
  dlls=$(i686-w64-mingw32-objdump -p "$1" | sed -n 's/^\s*DLL Name: //p' | tr 'a-z' 'A-Z' | sort -u)
  echo "   $(basename "$1") imports: $(echo $dlls)"
  for d in $dlls; do
    case $d in KERNEL32.DLL|USER32.DLL|WINMM.DLL|MSVCRT.DLL) ;; *) fail "$1 imports $d" ;; esac
  done
}
check_imports $win32/vexo.exe
check_imports $win32/tools/kestol.exe
[[ $(file -b $win32/tools/kestol.exe) == "PE32 executable (console) Intel 80386"* ]] ||
  fail "kestol.exe is not a PE32 i386 console program"
# The resource directory: type FILESYSTEM with number 102 (0x66), a group icon (type 14)
# with number 101 (0x65); the archive resource has the size of vexo.pak.
resources=$(i686-w64-mingw32-objdump -p $win32/vexo.exe | sed -n '/Resource Directory section/,/^ String table/p')
resource_ids() { awk -v t="$1" '$2 == "Entry:" && $0 ~ t {f = 1; next} f && /Entry: ID/ {print $4; exit}' <<<"$resources"; }
[ "$(resource_ids 'FILESYSTEM')" = "0x000066," ] || fail "vexo.exe has no resource 102 of type FileSystem"
[ "$(resource_ids 'ID: 0x00000e')" = "0x000065," ] || fail "vexo.exe has no icon resource 101"
pak_size=$(printf '0x%06x' "$(stat -c %s $pak)")
grep -q "Size: $pak_size," <<<"$resources" || fail "resource 102 does not have the size of vexo.pak"
if i686-w64-mingw32-objdump -p $win32/vexo-plain.exe | grep -q FILESYSTEM; then
  fail "vexo-plain.exe carries an archive"
fi
echo "   resources 101 (icon) and 102 (FileSystem, $(stat -c %s $pak) bytes) present"

# ---- Which wine runs the programs -------------------------------------------------------
bin=$win32
case $KESTOL_I386_RUN in
  native) how="natively" ;;
  qemu*) how="through qemu-i386 ${KESTOL_I386_RUN#qemu } (binfmt_misc handler kestol-qemu-i386)" ;;
  handler*) how="through the binfmt_misc handler '${KESTOL_I386_RUN#handler }'" ;;
  *) how= ;;
esac
if [ -n "$how" ] && [ -x /usr/lib/wine/wine ] && /usr/lib/wine/wine --version >/dev/null 2>&1; then
  wine=/usr/lib/wine/wine
  say "32-bit: $win32/vexo.exe (PE32) under 32-bit wine, its code run $how"
elif [ -x /usr/lib/wine/wine64 ] && /usr/lib/wine/wine64 --version >/dev/null 2>&1; then
  wine=/usr/lib/wine/wine64
  bin=build/windows64
  if [ -n "$how" ]; then why="32-bit code runs here, but 32-bit wine (wine32:i386) is missing"
  else why="this machine runs no 32-bit code (neither the kernel nor a qemu handler)"; fi
  printf '%s\n' "!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!" \
    "!!! FALLBACK: $why." \
    "!!! The x86-64 build of the same programs runs under wine64, NOT the 32-bit vexo.exe." \
    "!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!"
  cmake --preset windows64 -DKESTOL_WINDOWS_PAK=$root/$pak -DKESTOL_WINDOWS_ICON=$root/$icon >/dev/null
  cmake --build $bin -j"$JOBS" >/dev/null
else
  fail "no working wine (install wine, and wine32 where 32-bit code runs)"
fi
echo "   wine: $($wine --version) ($wine)"

# Our own HOME, prefix and PulseAudio daemon with a null sink (a sound card that plays in
# real time: wine's wave-out position then moves as on real hardware).
rm -rf "$work"
mkdir -p "$work/home" "$work/run" "$work/plain" "$work/pulse"
chmod 700 "$work/pulse"
export HOME=$work/home WINEPREFIX=$work/home/.wine WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
export XDG_RUNTIME_DIR=$work/pulse PULSE_RUNTIME_PATH=$work/pulse PULSE_STATE_PATH=$work/pulse
export PULSE_SERVER=unix:$work/pulse/native PULSE_CLIENTCONFIG=$work/pulse/client.conf
echo 'autospawn = no' > "$PULSE_CLIENTCONFIG"
# The demo's clock is the sound device's, which stalls whenever the sound server or the
# program is late; on Windows the program's audio thread runs at time-critical priority,
# which wine cannot give it. As root, the sound server and the demo run at a raised
# priority instead, so that other work on the machine (a parallel build) cannot slow them.
prio=()
if [ "$(id -u)" = 0 ]; then prio=(nice -n -10); fi
"${prio[@]}" pulseaudio -n --daemonize=no --high-priority=yes --realtime=yes --exit-idle-time=-1 --use-pid-file=no --system=no \
  --log-target=file:"$work/pulse/log" \
  -L "module-native-protocol-unix socket=$work/pulse/native auth-anonymous=1" \
  -L "module-null-sink sink_name=smoke rate=44100 channels=2" \
  >/dev/null 2>&1 & pulse_pid=$!
cleanup() {
  "${wine%/*}/wineserver" -k >/dev/null 2>&1 || true
  kill $pulse_pid 2>/dev/null || true
}
trap cleanup EXIT
for i in $(seq 50); do pactl info >/dev/null 2>&1 && break; sleep 0.2; done
pactl info >/dev/null 2>&1 || { cat "$work/pulse/log" >&2; fail "the PulseAudio daemon did not start"; }
start=$(date +%s)
$wine wineboot -i >/dev/null 2>&1 || true
"${wine%/*}/wineserver" -w
# wine's pulse driver, not its ALSA one, whatever the machine offers.
$wine reg add 'HKCU\Software\Wine\Drivers' /v Audio /d pulse /f >/dev/null 2>&1
"${wine%/*}/wineserver" -w
echo "   wine prefix made in $(elapsed $start) s; sound to a PulseAudio null sink"

say "host checks (win32-host-check.exe)"
mkdir -p "$work/check"
(cd "$work/check" && $wine "$root/$bin/win32-host-check.exe" | tr -d '\r' > checks.txt) ||
  { cat "$work/check/checks.txt"; fail "host checks"; }
echo "   $(grep -c '^ok' "$work/check/checks.txt") checks passed"

cp $bin/vexo.exe "$work/run/"
cp $bin/vexo-plain.exe "$work/plain/"
# Waits (up to $2 seconds) for a visible top-level window titled $1; prints its id. Polls,
# since a search fails now and then while another window is being destroyed.
wait_window() {
  local id deadline=$(( $(date +%s) + $2 ))
  while [ "$(date +%s)" -lt $deadline ]; do
    id=$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -1) || true
    [ -n "$id" ] && { echo "$id"; return 0; }
    sleep 0.2
  done
  return 1
}

# ---- 1. The whole demo, ending by itself --------------------------------------------------
say "vexo.exe runs to the end by itself, in real time"
cd "$work/run"
start=$(date +%s)
"${prio[@]}" $wine ./vexo.exe > out.txt 2> err.txt & pid=$!
window=$(wait_window "Vexo Demo" 60) || { kill $pid; fail "no window titled 'Vexo Demo' within 60 s"; }
shown=$(now_ms)
echo "   window after $(elapsed $start) s"
# A screenshot every 5 s from the window's appearance, with the time it was taken.
: > shots.txt
stream= loads=
for i in $(seq -w 0 15); do
  target=$(( shown + 1000 + 10#$i * 5000 ))
  while kill -0 $pid 2>/dev/null && [ "$(now_ms)" -lt $target ]; do sleep 0.05; done
  kill -0 $pid 2>/dev/null || break
  t=$(( $(now_ms) - shown ))
  xwd -root -silent > "shot$i.xwd"
  printf '%d.%03d shot%s.png\n' $((t / 1000)) $((t % 1000)) "$i" >> shots.txt
  loads+=" $(cut -d' ' -f1 /proc/loadavg)"
  [ -n "$stream" ] || stream=$(pactl list short sink-inputs 2>/dev/null | head -1)
done
if ! timeout 600 tail --pid=$pid -f /dev/null; then kill $pid; fail "vexo.exe did not end within 10 minutes"; fi
wait $pid && rc=0 || rc=$?
run_time=$(elapsed $start)
echo "   ended by itself after $run_time s with exit code $rc"
[ $rc = 0 ] || { cat err.txt; fail "exit code $rc"; }
[ -n "$stream" ] || fail "vexo.exe played nothing into the PulseAudio sink"
echo "   its sound went to the null sink (stream: $(echo $stream | cut -d' ' -f1-3))"
# A machine busy with more than it has cores for cannot keep the demo's sound in real time,
# and it then plays slower; the lower bound (a clock running too fast) holds always.
load=$(awk '{ for (i = 1; i <= NF; i++) s += $i; printf "%.1f", s / NF }' <<<"$loads")
cores=$(nproc)
stretch=1.0
if awk -v l="$load" -v c="$cores" 'BEGIN { exit !(l > 1.5 * c) }'; then
  stretch=1.6
  echo "   !!! the machine was overloaded during the run (load $load on $cores cores):"
  echo "   !!! the demo may play slower than real time; up to $((95 * 16 / 10)) s is accepted"
fi
[ "$run_time" -ge 80 ] || fail "the demo took $run_time s; in real time it takes 80 to 95 s"
[ "$run_time" -le $((95 * ${stretch/./} / 10)) ] ||
  fail "the demo took $run_time s; in real time it takes 80 to 95 s (load $load on $cores cores)"
for f in shot*.xwd; do ffmpeg -loglevel error -y -i "$f" "${f%.xwd}.png" && rm "$f"; done
# The same moments rendered headless in virtual time (60 frames a second; every 15th is
# kept): the timeline's reference.
cmake --build "$root/$native" -j"$JOBS" --target vexo-capture >/dev/null
rm -rf "$work/reference"; mkdir -p "$work/reference"
"$root/$native/tools/capture/vexo-capture" --no-video --scale 1 --quiet --frames "$work/reference" \
  --frame-list "$(seq -s, 0 15 6000)" >/dev/null || fail "vexo-capture could not render the reference frames"
/usr/bin/python3 "$root/tests/windows/timeline.py" "$work/reference" 60 15 shots.txt $stretch ||
  fail "the screenshots do not follow the demo's timeline"

# ---- 2. Alt+Enter gives a window, Escape ends it early ------------------------------------
say "Alt+Enter switches vexo.exe to a window, Escape ends it early"
start=$(date +%s)
$wine ./vexo.exe > out.txt 2> err.txt & pid=$!
window=$(wait_window "Vexo Demo" 60) || { kill $pid; fail "no window after $(elapsed $start) s"; }
sleep 1
xdotool windowfocus --sync "$window" key alt+Return
# The client area: the content doubled, as the 1024 x 768 screen holds three times it.
for i in $(seq 1 20); do
  sleep 0.25
  geometry=$(xdotool getwindowgeometry "$window" 2>/dev/null | sed -n 's/.*Geometry: //p')
  [ "$geometry" = 640x400 ] && break
done
echo "   windowed client area: $geometry"
[ "$geometry" = 640x400 ] || { kill $pid; fail "Alt+Enter did not give a 640x400 window"; }
xdotool windowfocus --sync "$window" key Escape
if ! timeout 30 tail --pid=$pid -f /dev/null; then kill $pid; fail "Escape did not end vexo.exe"; fi
wait $pid && rc=0 || rc=$?
echo "   ended $(elapsed $start) s after the start (a full run took $run_time s), exit code $rc"
[ $rc = 0 ] || fail "exit code $rc after Escape"
[ "$(elapsed $start)" -lt "$run_time" ] || fail "Escape did not end the demo early"

# ---- 3. Without the archive ----------------------------------------------------------------
say "vexo-plain.exe without vexo.pak"
cd "$work/plain"
$wine ./vexo-plain.exe > out.txt 2> err.txt & pid=$!
box=$(wait_window "Vexo Demo" 60) || { kill $pid; fail "no message box"; }
xdotool windowfocus --sync "$box" key Return
if ! timeout 30 tail --pid=$pid -f /dev/null; then kill $pid; fail "the message box did not end the program"; fi
wait $pid && rc=0 || rc=$?
message=$(tr -d '\r' < err.txt)
echo "   message: $message; exit code $rc"
[ "$message" = "Vexo Demo: Error opening archive 'vexo.pak'." ] || fail "unexpected message"
[ $rc = 1 ] || fail "exit code $rc, expected 1"

# ---- 4. The toolbox reads the same archive -------------------------------------------------
say "kestol.exe pak list"
cp "$root/$pak" "$work/vexo.pak"
cd "$work"
"$root/$native/tools/kestol" pak list vexo.pak > list-linux.txt
$wine "$root/$bin/tools/kestol.exe" pak list vexo.pak | tr -d '\r' > list-windows.txt
diff list-linux.txt list-windows.txt || fail "kestol.exe lists the archive differently"
echo "   $(wc -l < list-linux.txt) entries, the same as the Linux tool"

say "Windows smoke test passed ($bin under $(basename $wine)${how:+, 32-bit code run $how})"
