#!/usr/bin/env bash
# Runs a command on a machine made able to run 32-bit x86 Linux programs, and tells it how.
#   tests/i386/with-i386.sh [--] command [args...]
# The command finds KESTOL_I386_RUN in its environment: "native" (the kernel runs 32-bit
# code), "handler NAME" (an i386 binfmt_misc handler someone else registered), "qemu
# VERSION" (a handler this script registered for the command's run), or "none" (no way was
# found; the commands that would make one are printed).
#
# Where the kernel refuses 32-bit code, and as root, the script registers a binfmt_misc
# handler "kestol-qemu-i386" (flags OCF) for qemu-i386 from the qemu-user package of the
# system's backports suite (Debian 12's own qemu 7.2 cannot start wine: it treats
# MAP_FIXED_NOREPLACE as a hint). The package is fetched with a private apt state (the
# source line derived from the system's own Debian entry, the suite renamed) and unpacked
# into build/qemu-user; the system's apt sources stay as they are. Runs in parallel share the
# handler; the last one to end removes it (and unmounts binfmt_misc if it mounted it). A
# handler of another name is never touched.
#   KESTOL_I386=auto (default) | native | qemu   (qemu: use the handler even where the
#   kernel runs 32-bit code, to try that road)
#   KESTOL_QEMU_DIR   where qemu-user is unpacked (default build/qemu-user)
set -euo pipefail
[ "${1:-}" = "--" ] && shift
[ $# -gt 0 ] || { echo "usage: $0 [--] command [args...]" >&2; exit 2; }
root=$(cd "$(dirname "$0")/../.." && pwd)
mode=${KESTOL_I386:-auto}
qemu_dir=${KESTOL_QEMU_DIR:-$root/build/qemu-user}
binfmt=/proc/sys/fs/binfmt_misc
name=kestol-qemu-i386
state=/run/$name            # users/<pid> per run sharing the handler; mounted if we mounted
lock=/run/$name.lock

note() { printf '   [i386] %s\n' "$*" >&2; }
die() { printf 'FAILED: [i386] %s\n' "$*" >&2; exit 1; }

# The smallest 32-bit x86 ELF program: one load segment whose code is exit(42) through
# int 0x80. Exit status 42 means the machine ran it, however it did.
probe_file=
make_probe() {
  probe_file=$(mktemp "${TMPDIR:-/tmp}/i386-probe.XXXXXX")
  {
    printf '\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00'  # 32-bit, LE, v1
    printf '\x02\x00\x03\x00\x01\x00\x00\x00'                          # EXEC, i386, v1
    printf '\x54\x80\x04\x08\x34\x00\x00\x00\x00\x00\x00\x00'          # entry, phoff, shoff
    printf '\x00\x00\x00\x00\x34\x00\x20\x00\x01\x00\x00\x00\x00\x00\x00\x00'  # flags, sizes, 1 phdr
    printf '\x01\x00\x00\x00\x00\x00\x00\x00\x00\x80\x04\x08\x00\x80\x04\x08'  # PT_LOAD
    printf '\x60\x00\x00\x00\x60\x00\x00\x00\x05\x00\x00\x00\x00\x10\x00\x00'  # 96 B, r-x
    printf '\xb8\x01\x00\x00\x00\xbb\x2a\x00\x00\x00\xcd\x80'          # exit(42)
  } > "$probe_file"
  chmod +x "$probe_file"
}
runs_32bit() {
  local rc=0
  "$probe_file" 2>/dev/null || rc=$?
  [ $rc = 42 ]
}

# Enabled binfmt_misc entries that take i386 ELF programs (magic: ELF, 32-bit, LE; machine 3).
i386_handlers() {
  local f
  [ -e $binfmt/status ] || return 0
  for f in $binfmt/*; do
    case ${f##*/} in register|status) continue ;; esac
    grep -qx enabled "$f" 2>/dev/null || continue
    sed -n 's/^magic //p' "$f" | grep -q '^7f454c460101.\{24\}0300' && echo "${f##*/}"
  done
  return 0
}

# The one-line or deb822 entry of the system's Debian release, with the suite renamed to
# its backports suite; printed in deb822 form.
backports_source() {
  local codename uris comps keys
  codename=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
  [ -n "$codename" ] || return 1
  shopt -s nullglob
  local f
  for f in /etc/apt/sources.list.d/*.sources; do
    # Paragraphs separated by blank lines; the first with Types deb and the bare codename.
    awk -v s="$codename" -v RS= '
      $0 ~ "(^|\n)Types:[^\n]*(^| )deb( |\n|$)" && $0 ~ "(^|\n)Suites:([^\n]* )?" s "( |\n|$)" {
        print; exit }' "$f" > "$qemu_dir/apt/entry" || true
    if [ -s "$qemu_dir/apt/entry" ]; then
      uris=$(sed -n 's/^URIs:[[:space:]]*//p' "$qemu_dir/apt/entry")
      comps=$(sed -n 's/^Components:[[:space:]]*//p' "$qemu_dir/apt/entry")
      keys=$(sed -n 's/^Signed-By:[[:space:]]*//p' "$qemu_dir/apt/entry")
      printf 'Types: deb\nURIs: %s\nSuites: %s-backports\nComponents: %s\n' "$uris" "$codename" "$comps"
      [ -z "$keys" ] || printf 'Signed-By: %s\n' "$keys"
      return 0
    fi
  done
  for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
    [ -e "$f" ] || continue
    local line
    line=$(awk -v s="$codename" '$1 == "deb" { for (i = 2; i <= NF; i++) if ($i == s) { $i = s "-backports"; print; exit } }' "$f")
    if [ -n "$line" ]; then
      # One-line form: kept as it is, in a .list file of its own.
      echo "$line"
      return 0
    fi
  done
  return 1
}

# build/qemu-user/usr/bin/qemu-i386 from the backports suite's qemu-user package.
fetch_qemu() {
  local q=$qemu_dir/usr/bin/qemu-i386
  if [ -x "$q" ] && "$q" --version >/dev/null 2>&1; then return 0; fi
  rm -rf "$qemu_dir"
  mkdir -p "$qemu_dir/apt/lists/partial" "$qemu_dir/apt/cache/archives/partial" "$qemu_dir/apt/sources.list.d" "$qemu_dir/deb"
  local src
  src=$(backports_source) || die "no Debian release entry in the apt sources to derive the backports suite from"
  local codename; codename=$(. /etc/os-release && echo "$VERSION_CODENAME")
  if [[ $src == deb\ * ]]; then
    echo "$src" > "$qemu_dir/apt/sources.list.d/backports.list"
  else
    echo "$src" > "$qemu_dir/apt/sources.list.d/backports.sources"
  fi
  note "fetching qemu-user from $codename-backports (private apt state in $qemu_dir/apt)"
  local apt=(-o Dir::Etc::SourceList=/dev/null -o Dir::Etc::SourceParts="$qemu_dir/apt/sources.list.d"
             -o Dir::State::Lists="$qemu_dir/apt/lists" -o Dir::Cache="$qemu_dir/apt/cache"
             -o APT::Architectures::=amd64 -o Debug::NoLocking=1 -qq)
  apt-get "${apt[@]}" update >/dev/null || die "apt-get update of $codename-backports failed"
  (cd "$qemu_dir/deb" && apt-get "${apt[@]}" download "qemu-user/$codename-backports" 2>&1 |
     grep -v 'unsandboxed as root' >&2 || true)
  local deb; deb=$(ls "$qemu_dir"/deb/qemu-user_*.deb 2>/dev/null | head -1)
  [ -n "$deb" ] || die "apt-get download qemu-user/$codename-backports gave no package"
  dpkg -x "$deb" "$qemu_dir"
  [ -x "$q" ] || die "$deb holds no usr/bin/qemu-i386"
  local missing; missing=$(ldd "$q" | sed -n 's/^\s*\(\S*\) => not found/\1/p' | tr '\n' ' ')
  [ -z "$missing" ] || die "$q needs libraries this system lacks: $missing"
  "$q" --version >/dev/null || die "$q does not run"
}

# Registers (or joins) the shared handler; sets up its removal at exit.
mounted_here=0
# Called with the lock held (fetch_qemu too: parallel runs share the folder).
join_handler() {
  if [ ! -e $binfmt/status ]; then
    mount -t binfmt_misc binfmt_misc $binfmt || die "cannot mount binfmt_misc on $binfmt"
    mkdir -p "$state"; touch "$state/mounted"
  fi
  mkdir -p "$state/users"
  # Runs that ended without cleaning up (killed) no longer count.
  local u
  for u in "$state"/users/*; do
    [ -e "$u" ] && ! kill -0 "${u##*/}" 2>/dev/null && rm -f "$u"
  done
  if [ ! -e $binfmt/$name ]; then
    # ELF, 32-bit, little-endian, version 1, any OS ABI byte, e_type 2 or 3 (the mask
    # drops bit 0), e_machine 3 (i386). O: qemu gets an open descriptor of the program;
    # C: credentials from the program; F: the interpreter is opened now, so the kernel
    # finds it whatever the process's root or mount namespace.
    local magic='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
    local mask='\xff\xff\xff\xff\xff\xff\xff\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'
    echo ":$name:M::$magic:$mask:$qemu_dir/usr/bin/qemu-i386:OCF" > $binfmt/register ||
      die "registering the handler failed"
    note "registered binfmt_misc handler $name -> $qemu_dir/usr/bin/qemu-i386 (flags OCF)"
  fi
  touch "$state/users/$$"
  flock -u 9
  trap leave_handler EXIT
}
leave_handler() {
  flock 9
  rm -f "$state/users/$$"
  local u others=0
  for u in "$state"/users/*; do
    [ -e "$u" ] && kill -0 "${u##*/}" 2>/dev/null && others=1
  done
  if [ $others = 0 ]; then
    if [ -e $binfmt/$name ]; then
      echo -1 > $binfmt/$name && note "removed binfmt_misc handler $name"
    fi
    if [ -e "$state/mounted" ]; then
      # Unmounted only if nothing else was registered meanwhile.
      if [ -z "$(ls $binfmt | grep -vx -e register -e status)" ]; then
        umount $binfmt && note "unmounted binfmt_misc"
      fi
    fi
    rm -rf "$state" "$lock"
  fi
  flock -u 9
  rm -f "$probe_file"
}

commands_for_root() {
  cat >&2 <<EOF
   [i386] No 32-bit code runs here (or KESTOL_I386=qemu asked for the handler), and only root
   [i386] can register one. As root, this script does it for the run; by hand, with qemu-i386
   [i386] from the backports suite's qemu-user (Debian 12's own qemu 7.2 cannot start wine):
   [i386]   apt-get download qemu-user/<release>-backports && dpkg -x qemu-user_*.deb <folder>
   [i386]   sudo mount -t binfmt_misc binfmt_misc $binfmt   # if $binfmt/status is missing
   [i386]   echo ':$name:M::\\x7fELF\\x01\\x01\\x01\\x00\\x00\\x00\\x00\\x00\\x00\\x00\\x00\\x00\\x02\\x00\\x03\\x00:\\xff\\xff\\xff\\xff\\xff\\xff\\xff\\x00\\xff\\xff\\xff\\xff\\xff\\xff\\xff\\xff\\xfe\\xff\\xff\\xff:<folder>/usr/bin/qemu-i386:OCF' | sudo tee $binfmt/register
   [i386]   (and at the end: echo -1 | sudo tee $binfmt/$name)
EOF
}

make_probe
trap 'rm -f "$probe_file"' EXIT
case $mode in auto|native|qemu) ;; *) die "KESTOL_I386 is auto, native or qemu, not '$mode'" ;; esac

run=
foreign=$(i386_handlers | grep -vx "$name" | head -1 || true)
if [ $mode != qemu ] && [ -n "$foreign" ] && runs_32bit; then
  run="handler $foreign"
  note "32-bit programs run through the existing binfmt_misc handler '$foreign' (left as it is)"
elif [ $mode != qemu ] && [ -z "$(i386_handlers)" ] && runs_32bit; then
  run=native
  note "the kernel runs 32-bit code natively"
elif [ $mode = native ]; then
  die "the kernel does not run 32-bit code natively (KESTOL_I386=native)"
elif [ "$(id -u)" = 0 ]; then
  exec 9>"$lock"
  flock 9
  fetch_qemu
  join_handler
  runs_32bit || die "a 32-bit program does not run through the handler $name"
  run="qemu $("$qemu_dir/usr/bin/qemu-i386" --version | sed -n '1s/.*version \([0-9.]*\).*/\1/p')"
  note "32-bit programs run through qemu-i386 ${run#qemu } (binfmt_misc handler $name)"
else
  commands_for_root
  run=none
fi

export KESTOL_I386_RUN=$run
rc=0
"$@" || rc=$?
exit $rc
