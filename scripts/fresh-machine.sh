#!/usr/bin/env bash
# Times a make target of this repository on a freshly installed Debian machine.
#
#   scripts/fresh-machine.sh [options] COMMIT TARGET [MAKE-VARIABLE=VALUE...]
#
# Builds once a minimal Debian bookworm chroot (debootstrap --variant=minbase with only
# make, git, g++ and ca-certificates) and keeps it as a tarball, so that every run starts
# from the same clean state. Each run unpacks that tarball into a folder of its own,
# clones COMMIT of this repository into it (/src), mounts /proc, /sys and /dev, runs
# `make TARGET` there as root and reports its wall time, the load average, the packages
# it installed and the bytes it downloaded. The chroot has its own (empty) ccache; nothing
# of the host's build or caches is visible inside. Must run as root; not for CI.
#
# Options:
#   --root DIR     where the tarball, runs and logs live (default /work/chroot)
#   --name NAME    the run's folder, DIR/runs/NAME (default: short commit and target)
#   --reuse        run in the existing folder NAME as it is (e.g. `make test` after
#                  `make demo`), without unpacking or cloning again
#   --log FILE     the log (default DIR/logs/NAME-TARGET-TIME.log)
#   --mirror URL   the Debian mirror (default http://deb.debian.org/debian)
#   --repo DIR     the repository to clone from (default: the one holding this script)
#   --ca-file FILE certificates that Node.js (npm) in the chroot trusts besides its own,
#                  for networks whose proxy re-signs TLS (copied in as NODE_EXTRA_CA_CERTS)
#   -h, --help     this text
#
# Exit status: make's, or 2 for wrong usage, 1 when the chroot could not be prepared.
set -euo pipefail

usage() { sed -n '2,25p' "$0" | sed 's/^# \{0,1\}//'; }
die() {
  echo "fresh-machine.sh: $*" >&2
  exit 1
}

root_dir=/work/chroot
name=""
reuse=0
log=""
mirror=http://deb.debian.org/debian
repo="$(cd "$(dirname "$0")/.." && pwd)"
ca_file=""
while [ $# -gt 0 ]; do
  case "$1" in
    -h | --help) usage; exit 0 ;;
    --root) root_dir=${2:?--root needs a folder}; shift 2 ;;
    --name) name=${2:?--name needs a name}; shift 2 ;;
    --reuse) reuse=1; shift ;;
    --log) log=${2:?--log needs a file}; shift 2 ;;
    --mirror) mirror=${2:?--mirror needs a URL}; shift 2 ;;
    --repo) repo=${2:?--repo needs a folder}; shift 2 ;;
    --ca-file) ca_file=${2:?--ca-file needs a file}; shift 2 ;;
    --) shift; break ;;
    -*) echo "fresh-machine.sh: unknown option '$1' (see --help)" >&2; exit 2 ;;
    *) break ;;
  esac
done
if [ $# -lt 2 ]; then
  echo "fresh-machine.sh: needs COMMIT and TARGET (see --help)" >&2
  exit 2
fi
commit_arg=$1
target=$2
shift 2
make_vars=("$@")
for v in "${make_vars[@]}"; do
  [[ "$v" =~ ^[A-Za-z_][A-Za-z0-9_]*=[^\']*$ ]] ||
    { echo "fresh-machine.sh: '$v' is not VARIABLE=VALUE (no quotes)" >&2; exit 2; }
done
[[ "$target" =~ ^[A-Za-z0-9_.-]+$ ]] ||
  { echo "fresh-machine.sh: '$target' is not a make target name" >&2; exit 2; }
[ "$(id -u)" -eq 0 ] || die "must run as root (debootstrap, chroot and mounts need it)"
command -v debootstrap >/dev/null || die "debootstrap is missing (apt-get install debootstrap)"

commit=$(git -C "$repo" rev-parse --verify --quiet "$commit_arg^{commit}") ||
  die "$repo: no commit '$commit_arg'"
[ -n "$name" ] || name="${commit:0:7}-$target"
[[ "$name" =~ ^[A-Za-z0-9_.-]+$ && "$name" != . && "$name" != .. ]] ||
  die "run name '$name' must be letters, digits, '.', '_' or '-'"

mkdir -p "$root_dir/runs" "$root_dir/logs" || die "$root_dir: cannot create"
root_dir="$(cd "$root_dir" && pwd)"
tarball="$root_dir/bookworm-minbase.tar"
run="$root_dir/runs/$name"
[ -n "$log" ] || log="$root_dir/logs/$name-$target-$(date -u +%Y%m%dT%H%M%SZ).log"
: >"$log" || die "$log: cannot write"

say() { printf '%s\n' "$*" | tee -a "$log"; }

# True when anything is mounted at or below folder $1 (then it must not be deleted).
has_mounts() {
  local dir=$1
  findmnt -rn -o TARGET | awk -v d="$dir" '$0 == d || index($0, d "/") == 1 { f = 1 } END { exit !f }'
}

# Removes a chroot folder, refusing while anything (the host's /dev!) is mounted in it.
remove_tree() {
  local dir=$1
  [ -e "$dir" ] || return 0
  has_mounts "$dir" && die "$dir: still has mounts; unmount them before removing it"
  rm -rf --one-file-system "$dir" || die "$dir: cannot remove"
}

# Writes the pristine tarball: minbase plus make, git, g++ and ca-certificates.
make_pristine() {
  local tmp="$root_dir/pristine.tmp"
  remove_tree "$tmp"
  say "creating the pristine chroot (debootstrap, $mirror)"
  debootstrap --variant=minbase --include=make,git,g++,ca-certificates \
    bookworm "$tmp" "$mirror" >>"$log" 2>&1 || die "debootstrap failed (see $log)"
  cat >"$tmp/etc/apt/sources.list" <<EOF
deb $mirror bookworm main
deb $mirror bookworm-updates main
deb http://deb.debian.org/debian-security bookworm-security main
EOF
  # Services that packages would start belong to the host, not to this chroot.
  printf '#!/bin/sh\nexit 101\n' >"$tmp/usr/sbin/policy-rc.d"
  chmod 755 "$tmp/usr/sbin/policy-rc.d"
  chroot "$tmp" apt-get clean
  tar -C "$tmp" --numeric-owner -cpf "$tarball.part" . || die "$tarball: cannot write"
  mv "$tarball.part" "$tarball"
  remove_tree "$tmp"
}

mounted=()
# shellcheck disable=SC2317 # called by the EXIT trap
# Unmounts what this run mounted and stops what it left running inside; on every exit.
cleanup() {
  local proc_root pid i
  if [ -d "$run" ]; then
    for proc_root in /proc/[0-9]*/root; do
      pid=${proc_root#/proc/}
      pid=${pid%/root}
      [ "$(readlink "$proc_root" 2>/dev/null)" = "$run" ] && kill -KILL "$pid" 2>/dev/null
    done
  fi
  for ((i = ${#mounted[@]} - 1; i >= 0; i--)); do
    umount -R "${mounted[i]}" 2>/dev/null || umount -R -l "${mounted[i]}" ||
      echo "fresh-machine.sh: ${mounted[i]}: cannot unmount" >&2
  done
  mounted=()
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

mount_in() {
  local what=$1 dir="$run$2"
  shift 2
  mount "$@" "$what" "$dir" || die "$dir: cannot mount $what"
  mounted+=("$dir")
}

[ -f "$tarball" ] || make_pristine
if [ $reuse -eq 1 ]; then
  [ -d "$run/src/.git" ] || die "$run: no earlier run to reuse"
  [ "$(git -C "$run/src" rev-parse HEAD)" = "$commit" ] ||
    die "$run/src: holds another commit than $commit_arg"
  say "reusing $run"
else
  remove_tree "$run"
  mkdir -p "$run"
  tar -C "$run" --numeric-owner -xpf "$tarball" || die "$tarball: cannot unpack into $run"
  git clone --quiet --no-checkout "$repo" "$run/src" >>"$log" 2>&1 ||
    die "$repo: cannot clone into $run/src"
  git -C "$run/src" -c advice.detachedHead=false checkout --quiet --detach "$commit" ||
    die "$run/src: cannot check out $commit"
fi
cp -L /etc/resolv.conf "$run/etc/resolv.conf" || die "$run/etc/resolv.conf: cannot write"
extra_env=()
if [ -n "$ca_file" ]; then
  cp -L "$ca_file" "$run/etc/ssl/extra-ca.crt" || die "$ca_file: cannot copy into $run"
  extra_env+=(NODE_EXTRA_CA_CERTS=/etc/ssl/extra-ca.crt)
fi

mount_in proc /proc -t proc
mount_in sysfs /sys -t sysfs
mount_in /dev /dev --rbind
mount --make-rslave "$run/dev"

# What the chroot holds: packages installed, their installed size (KiB), downloads (bytes).
in_chroot() { chroot "$run" /usr/bin/env -i HOME=/root PATH=/usr/sbin:/usr/bin:/sbin:/bin "$@"; }
# shellcheck disable=SC2016 # dpkg-query's own field syntax
package_count() { in_chroot dpkg-query -W -f='${Status}\n' | grep -c 'install ok installed'; }
# shellcheck disable=SC2016
installed_kib() {
  in_chroot dpkg-query -W -f='${Status} ${Installed-Size}\n' |
    awk '/install ok installed/ { s += $4 } END { print s + 0 }'
}
download_bytes() {
  { find "$run/var/cache/apt/archives" -maxdepth 1 -name '*.deb' -printf '%s\n'
    if [ -d "$run/root/.npm" ]; then find "$run/root/.npm" -type f -printf '%s\n'; fi; } |
    awk '{ s += $1 } END { print s + 0 }'
}

packages_before=$(package_count)
kib_before=$(installed_kib)
bytes_before=$(download_bytes)
load_before=$(cut -d' ' -f1-3 /proc/loadavg)
say "commit $commit ($commit_arg), make $target ${make_vars[*]}"
say "run folder $run; log $log"
say "start $(date -u +%FT%TZ), load average $load_before, $(nproc) cores"

start=$EPOCHREALTIME
start_us=${start/./}
set +e
# Each line of output is stamped with the seconds since the start.
in_chroot TERM=dumb LANG=C.UTF-8 "${extra_env[@]}" /bin/bash -c "cd /src && make $target ${make_vars[*]}" 2>&1 |
  while IFS= read -r line; do
    tenths=$(((${EPOCHREALTIME/./} - start_us) / 100000))
    printf '[%5d.%d] %s\n' $((tenths / 10)) $((tenths % 10)) "$line"
  done >>"$log"
status=${PIPESTATUS[0]}
set -e
end=$EPOCHREALTIME
wall=$(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.0f", b - a }')

packages_after=$(package_count)
kib_after=$(installed_kib)
bytes_after=$(download_bytes)
load_after=$(cut -d' ' -f1-3 /proc/loadavg)
say "end $(date -u +%FT%TZ), load average $load_after"
say "make $target: $([ "$status" -eq 0 ] && echo succeeded || echo "FAILED (status $status)")" \
  "in $wall s ($((wall / 60)) min $((wall % 60)) s)"
say "packages: $packages_before -> $packages_after (+$((packages_after - packages_before))," \
  "+$(((kib_after - kib_before) / 1024)) MiB installed);" \
  "downloaded $(((bytes_after - bytes_before) / 1048576)) MiB (apt archives and npm cache)"
exit "$status"
