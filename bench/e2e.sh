#!/usr/bin/env bash
# End-to-end benchmark of the storage actions through the host (not a test):
# puts one ~64 MiB mixed file (text-like, binary and random parts, made
# deterministically) into a fresh storage with `vvhost exec vqPutFile` and
# extracts it again with `vvhost exec vqExtractFile`, with compression on and
# off, with and without a password, and does the same with `zip -5`/`unzip`
# and `sqlite3 -A` on the same file. Every extracted file is compared with
# the original (cmp). Prints one table row per tool and configuration: put
# and extract throughput in MB/s (10^6 bytes of input per second, wall
# clock, best of VV_BENCH_RUNS runs) and the size of the container.
#
# Each timed step is one process run, so the figures include starting the
# host and loading the plug-in; with a password every action also waits for
# the password check (at least 256 ms per open).
#
# Environment: VV_BENCH_BUILD (default build/bench) is the release build
# folder, built here when needed; VV_BENCH_RUNS (default 3) the number of
# runs per row; VV_BENCH_MIB (default 64) the size of the input in MiB.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
dir=${VV_BENCH_BUILD:-build/bench}
runs=${VV_BENCH_RUNS:-3}
mib=${VV_BENCH_MIB:-64}

# Tools: the project's own set-up, plus the comparison tools when missing.
bash scripts/setup.sh
missing=()
for p in zip unzip sqlite3; do
  command -v "$p" >/dev/null 2>&1 || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "e2e: installing ${missing[*]}"
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO=sudo
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "${missing[@]}"
fi

# A release build of the host and the plug-in.
if [ ! -f "$dir/build.ninja" ]; then
  cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVV_BUILD_TESTS=OFF >/dev/null
fi
cmake --build "$dir" -j 2 --target vvhost veVazevid >/dev/null
host=$root/$dir/bin/vvhost

work=$root/$dir/e2e
mkdir -p "$work"
input=$work/mixed-${mib}MiB.bin

# The input: 1 MiB chunks in the repeating order text, binary, text, random,
# binary, text, binary, random (3/8 text-like, 3/8 binary, 1/4 random), all
# from one fixed-seed xorshift generator, so every run and every machine gets
# the same bytes.
make_input() {
  perl -e '
    use strict; use warnings;
    my ($mib, $path) = @ARGV;
    open(my $out, ">:raw", $path) or die "cannot write $path: $!";
    my $x = 2463534242;
    sub rnd { $x ^= ($x << 13) & 0xFFFFFFFF; $x ^= $x >> 17; $x ^= ($x << 5) & 0xFFFFFFFF; return $x; }
    my @words = qw(the of and to in is that for it as was with be by on not he this are or his from at which
      but have an they you were her she there been one all we their has would when if so no what can more out
      other into time only some could them these two may then do first any like my now over such our man me
      even most made after also did many before must through back years where much your way well down should
      because each just those people how too little state good very make world still own see men work long get
      here between both life being under never day same another know while last might us great old year off
      come since against go came right used take three storage page block header volume stream record file
      directory cipher checksum buffer offset length folder archive backup report invoice customer order);
    my @kinds = qw(t b t r b t b r);
    my $chunk = 1 << 20;
    for my $i (0 .. $mib - 1) {
      my $kind = $kinds[$i % 8];
      my $buf = "";
      if ($kind eq "t") {
        while (length($buf) < $chunk) {
          my $n = 4 + rnd() % 11;
          my @line = map { $words[rnd() % @words] } 1 .. $n;
          $buf .= sprintf("%06d ", rnd() % 1000000) if rnd() % 4 == 0;
          $buf .= ucfirst(join(" ", @line)) . (rnd() % 3 ? ".\n" : ",\n");
        }
      } elsif ($kind eq "b") {
        my $t = 1700000000 + $i * 65536;
        my $rec = 0;
        while (length($buf) < $chunk) {
          my $r = rnd();
          $t += $r % 3;
          $buf .= pack("VVvvf<", $rec++, $t, $r & 0x3FF, ($r >> 10) & 0x7, ($r >> 13) % 5000 / 16.0);
        }
      } else {
        $buf = pack("V*", map { rnd() } 1 .. $chunk / 4);
      }
      print $out substr($buf, 0, $chunk);
    }
    close($out) or die "cannot write $path: $!";
  ' "$mib" "$input"
}
if [ ! -f "$input" ] || [ "$(stat -c %s "$input")" -ne $((mib << 20)) ]; then
  echo "e2e: making the ${mib} MiB input file"
  make_input
fi
size=$(stat -c %s "$input")
name=$(basename "$input")

now() { date +%s.%N; }
elapsed() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.3f", b - a }'; }
mbps() { awk -v n="$size" -v s="$1" 'BEGIN { if (s > 0) printf "%.1f", n / 1e6 / s; else print "-" }'; }
smaller() { awk -v a="$1" -v b="$2" 'BEGIN { print (a == "" || b < a) ? b : a }'; }
folder_bytes() { find "$1" -type f -printf '%s\n' | awk '{ s += $1 } END { print s + 0 }'; }

rows=()
# row LABEL PUT_SECONDS EXTRACT_SECONDS CONTAINER_BYTES CHECK
row() {
  local ratio
  ratio=$(awk -v c="$4" -v n="$size" 'BEGIN { printf "%.1f%%", 100 * c / n }')
  rows+=("$(printf '%-34s %10s %12s %14s %8s  %s' "$1" "$(mbps "$2")" "$(mbps "$3")" "$4" "$ratio" "$5")")
}

# vvhost exec ACTION PARAMS...: fails unless the action answered true with
# the success code (the list action leaves the code empty).
vv() {
  local output
  output=$("$host" exec "$@")
  if ! grep -qx 'result=true' <<<"$output"; then
    echo "e2e: vvhost exec $1 failed:" >&2
    echo "$output" >&2
    return 1
  fi
}

bench_vv() {
  local label=$1 flag=$2 password=$3 key=$4
  local box=$work/$key out=$work/$key-out best_put="" best_get="" t0 t1 check="identical"
  for ((r = 0; r < runs; r++)); do
    rm -rf "$box" "$out"
    mkdir -p "$box" "$out"
    vv vqCreateStream "$box/store.vv" "$password" "$flag" || { row "$label" 0 0 0 "FAILED (create)"; return; }
    t0=$(now)
    vv vqPutFile "$box/store.vv" "$input" "$password" "$flag" || { row "$label" 0 0 0 "FAILED (put)"; return; }
    t1=$(now)
    best_put=$(smaller "$best_put" "$(elapsed "$t0" "$t1")")
    t0=$(now)
    vv vqExtractFile "$box/store.vv" "$name" "$password" "$out" "$flag" || {
      row "$label" "$best_put" 0 "$(folder_bytes "$box")" "FAILED (extract)"
      return
    }
    t1=$(now)
    best_get=$(smaller "$best_get" "$(elapsed "$t0" "$t1")")
    cmp -s "$input" "$out/$name" || check="DIFFERS"
  done
  row "$label" "$best_put" "$best_get" "$(folder_bytes "$box")" "$check"
}

bench_zip() {
  local box=$work/zip out=$work/zip-out best_put="" best_get="" t0 t1 check="identical"
  for ((r = 0; r < runs; r++)); do
    rm -rf "$box" "$out"
    mkdir -p "$box" "$out"
    t0=$(now)
    zip -q -5 -j "$box/mixed.zip" "$input"
    t1=$(now)
    best_put=$(smaller "$best_put" "$(elapsed "$t0" "$t1")")
    t0=$(now)
    unzip -q -o "$box/mixed.zip" -d "$out"
    t1=$(now)
    best_get=$(smaller "$best_get" "$(elapsed "$t0" "$t1")")
    cmp -s "$input" "$out/$name" || check="DIFFERS"
  done
  row "zip -5 / unzip" "$best_put" "$best_get" "$(folder_bytes "$box")" "$check"
}

bench_sqlar() {
  local box=$work/sqlar out=$work/sqlar-out best_put="" best_get="" t0 t1 check="identical"
  for ((r = 0; r < runs; r++)); do
    rm -rf "$box" "$out"
    mkdir -p "$box" "$out"
    t0=$(now)
    sqlite3 "$box/mixed.sqlar" -AcC "$work" "$name"
    t1=$(now)
    best_put=$(smaller "$best_put" "$(elapsed "$t0" "$t1")")
    t0=$(now)
    sqlite3 "$box/mixed.sqlar" -AxC "$out"
    t1=$(now)
    best_get=$(smaller "$best_get" "$(elapsed "$t0" "$t1")")
    cmp -s "$input" "$out/$name" || check="DIFFERS"
  done
  row "sqlite3 -A (sqlar)" "$best_put" "$best_get" "$(folder_bytes "$box")" "$check"
}

echo "e2e: input $name, $size bytes; best of $runs run(s) per row; $(nproc) cores"
bench_vv "veVazevid stored" 0 "" vv-stored
bench_vv "veVazevid deflate" 1 "" vv-deflate
bench_vv "veVazevid stored + password" 0 "bench password" vv-stored-pw
bench_vv "veVazevid deflate + password" 1 "bench password" vv-deflate-pw
bench_zip
bench_sqlar

printf '%-34s %10s %12s %14s %8s  %s\n' "tool / configuration" "put MB/s" "extract MB/s" "container B" "of input" "extracted file"
for r in "${rows[@]}"; do echo "$r"; done
status=0
for r in "${rows[@]}"; do
  case "$r" in *identical) ;; *) status=1 ;; esac
done
exit $status
