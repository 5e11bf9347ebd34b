#!/usr/bin/env bash
# Two builds of the converter on the same store, taken in turns, so that a
# shared machine's swings fall on both alike: the store of scaling_bench.sh
# (the mail import's test corpus, repeated), and in each round, for each
# build (the order alternating from round to round), `kestrel export`,
# tollan-cli --single-pst with --jobs 1 and with --jobs 2. Prints the median
# of every figure for each build, the ratios of the second build to the
# first, each build's --jobs 1 and --jobs 2 wall time as a ratio to its own
# export, --jobs 2's throughput against --jobs 1's, and the throughput the
# per-message times project for 8 cores (as in scaling_bench.sh).
#
# usage: compare_builds.sh BEFORE_BUILD AFTER_BUILD [REPEATS [ROUNDS]]
#        (defaults: 400 copies of the corpus, 7 rounds)
set -euo pipefail
before=$(cd "$1" && pwd)
after=$(cd "$2" && pwd)
repeats=${3:-400}
rounds=${4:-7}
here=$(cd "$(dirname "$0")/../../.." && pwd)
work=$(mktemp -d /dev/shm/compare-builds.XXXXXX)
trap 'rm -rf "$work"' EXIT
corpus=$here/tests/platform/mail/corpus

args=()
for ((i = 0; i < repeats; i++)); do args+=("$corpus" "$corpus/charsets" "$corpus/damaged"); done
"$after/tools/make-sample-store/make-sample-store" "$work/store" --from-eml "${args[@]}" --quiet
echo "store: $(du -sb "$work/store" | cut -f1) bytes ($repeats x the corpus), $(nproc) cores, $rounds rounds" \
  "(a message count comes with the first export)"

messages=""
declare -A fig  # "build/figure" -> the values of the rounds, one per line

note() { fig[$1]+="$2"$'\n'; }

timed() {  # timed KEY COMMAND...: notes KEY/wall and KEY/cpu; output in $work/out.log
  local key=$1
  shift
  /usr/bin/time -f "%e %U %S" -o "$work/time.log" "$@" >"$work/out.log" 2>&1 || true
  local wall user sys
  read -r wall user sys < <(tail -n 1 "$work/time.log")
  note "$key/wall" "$wall"
  note "$key/cpu" "$(echo "$user + $sys" | bc)"
}

round() {  # round BUILD_DIR NAME
  local bin=$1/tools name=$2
  rm -rf "$work/export"
  timed "$name/export" "$bin/kestrel/kestrel" export "$work/store" "$work/export"
  [ -n "$messages" ] || messages=$(find "$work/export" -name '*.eml' | wc -l)
  rm -rf "$work/export"
  for jobs in 1 2; do
    rm -rf "$work/out" && mkdir "$work/out"
    timed "$name/jobs$jobs" "$bin/tollan-cli/tollan-cli" --single-pst --jobs "$jobs" --stats -o "$work/out" "$work/store"
    # stats: writer cpu W s (w us/message), peak P MB; import processes (N) cpu I s (i us/message), ...
    local w p i
    read -r w p i < <(grep '^stats:' "$work/out.log" |
      sed -E 's/.*writer cpu [0-9.]+ s \(([0-9.]+) us\/message\), peak ([0-9]+) MB.*cpu [0-9.]+ s \(([0-9.]+) us\/message\).*/\1 \2 \3/')
    note "$name/jobs$jobs/writer_us" "$w"
    note "$name/jobs$jobs/peak_mb" "$p"
    note "$name/jobs$jobs/import_us" "$i"
  done
}

for ((r = 0; r < rounds; r++)); do
  if ((r % 2 == 0)); then round "$before" before; round "$after" after; else round "$after" after; round "$before" before; fi
done

median() { printf '%s' "${fig[$1]}" | sort -g | awk '{v[NR] = $1} END {print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2}'; }
ratio() { echo "scale=4; $1 / $2" | bc -l; }

echo "$messages messages"
printf '%-28s %12s %12s %8s\n' "median of $rounds" before after ratio
for f in export/wall jobs1/wall jobs1/cpu jobs1/writer_us jobs1/peak_mb jobs2/wall jobs2/cpu jobs2/writer_us jobs2/import_us \
         jobs2/peak_mb; do
  b=$(median "before/$f")
  a=$(median "after/$f")
  printf '%-28s %12s %12s %8.2f\n' "$f" "$b" "$a" "$(ratio "$a" "$b")"
done
for name in before after; do
  e=$(median "$name/export/wall")
  j1=$(median "$name/jobs1/wall")
  j2=$(median "$name/jobs2/wall")
  w=$(median "$name/jobs2/writer_us")
  i=$(median "$name/jobs2/import_us")
  projected=$(echo "a = 1000000 / $w; b = 8 * 1000000 / ($w + $i); if (a < b) a else b" | bc -l)
  printf '%s: --jobs 1 %.2fx export, --jobs 2 %.2fx export; --jobs 2 gives %.2fx the throughput of --jobs 1; 8 cores projected %.0f msgs/s, %.2fx --jobs 1\n' \
    "$name" "$(ratio "$j1" "$e")" "$(ratio "$j2" "$e")" "$(ratio "$j1" "$j2")" "$projected" \
    "$(echo "$projected * $j1 / $messages" | bc -l)"
done
