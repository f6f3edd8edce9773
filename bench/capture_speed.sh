#!/bin/sh
# How long `vexo-capture` takes to render the whole demo to MP4, as a ratio to the demo's
# own length, before and after the encoder settings changed, in the same run on the same
# machine. "Before" is the old encoder command (x264 preset faster, CRF 17, one thread),
# replayed through a stand-in `ffmpeg` on PATH that rewrites today's arguments back.
#   bench/capture_speed.sh [path/to/vexo-capture] [--twice]
# --twice also captures each setting a second time and compares the bytes.
set -eu
capture=build/default/tools/capture/vexo-capture
twice=no
for a in "$@"; do
  case "$a" in
    --twice) twice=yes ;;
    -h|--help) sed -n '2,7p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) capture=$a ;;
  esac
done
[ -x "$capture" ] || { echo "capture_speed: no vexo-capture at '$capture' (build it first)" >&2; exit 2; }
real_ffmpeg=$(command -v ffmpeg) || { echo "capture_speed: ffmpeg is not installed" >&2; exit 2; }
dir=$(mktemp -d /tmp/capture-speed-XXXXXX)
trap 'rm -rf "$dir"' EXIT INT TERM

# The stand-in: the old one-thread command line.
mkdir "$dir/old"
cat > "$dir/old/ffmpeg" <<SHIM
#!/bin/sh
# Each argument taken from the front and put back at the end, rewritten.
count=\$#
while [ \$count -gt 0 ]; do
  a=\$1; shift; count=\$((count - 1))
  case "\$a" in
    -filter_threads|-x264-params) shift; count=\$((count - 1)); continue ;;
    -threads) shift; count=\$((count - 1)); set -- "\$@" -threads 1; continue ;;
    -crf) shift; count=\$((count - 1)); set -- "\$@" -crf 17; continue ;;
    -preset) shift; count=\$((count - 1)); set -- "\$@" -preset faster; continue ;;
  esac
  set -- "\$@" "\$a"
done
exec "$real_ffmpeg" "\$@"
SHIM
chmod +x "$dir/old/ffmpeg"

now() { date +%s.%N; }
# The CPU seconds (user + system) of every finished child of this shell, from the output
# of `times` (which must run in this shell itself, not in a command substitution).
cpu() {
  awk 'NR == 2 { t = 0; for (i = 1; i <= 2; ++i) { split($i, p, "m"); t += p[1] * 60 + p[2] } printf "%.2f", t }' "$1"
}
# run NAME [old] ARGS...: one capture; sets wall and cpu (seconds).
run() {
  name=$1; shift
  path=$PATH
  if [ "${1:-}" = old ]; then path=$dir/old:$PATH; shift; fi
  times > "$dir/times0"
  t0=$(now)
  PATH=$path "$capture" --quiet -o "$dir/$name.mp4" --log "$dir/$name.log" "$@" 2>/dev/null ||
    { echo "capture_speed: the capture '$name' failed" >&2; exit 1; }
  t1=$(now)
  times > "$dir/times1"
  c0=$(cpu "$dir/times0") c1=$(cpu "$dir/times1")
  wall=$(echo "$t0 $t1" | awk '{ printf "%.2f", $2 - $1 }')
  cpu=$(echo "$c0 $c1" | awk '{ printf "%.2f", $2 - $1 }')
}

run before old
before=$wall before_cpu=$cpu
run after
after=$wall after_cpu=$cpu
length=$(awk '$5 == "end" { printf "%.3f", $2 / 1000 }' "$dir/after.log")
echo "demo length $length s; wall time as a ratio to it (CPU seconds of all processes beside)"
echo "$before $length $before_cpu" |
  awk '{ printf "before (faster, CRF 17, 1 thread)  %6.2f s wall = %.3f x the demo  (%.1f s CPU)\n", $1, $1 / $2, $3 }'
echo "$after $length $after_cpu" |
  awk '{ printf "after (default)                    %6.2f s wall = %.3f x the demo  (%.1f s CPU)\n", $1, $1 / $2, $3 }'
echo "$before $after $before_cpu $after_cpu" |
  awk '{ printf "speed-up %.2f x in wall time, %.2f x in CPU time\n", $1 / $2, $3 / $4 }'
echo "load average at the end: $(cut -d' ' -f1-3 /proc/loadavg 2>/dev/null || echo unknown)"
echo "video bytes: before $(wc -c < "$dir/before.mp4"), after $(wc -c < "$dir/after.mp4")"
if [ "$twice" = yes ]; then
  run after2
  run one1 --threads 1
  run one2 --threads 1
  cmp -s "$dir/after.mp4" "$dir/after2.mp4" && echo "default: the same bytes twice" || echo "default: DIFFERENT bytes"
  cmp -s "$dir/one1.mp4" "$dir/one2.mp4" && echo "--threads 1: the same bytes twice" || echo "--threads 1: DIFFERENT bytes"
fi
