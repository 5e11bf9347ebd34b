#!/usr/bin/env bash
# How the conversion scales with import processes: a store of real messages
# (the mail import's test corpus, repeated) converted by tollan-cli with each
# of the given --jobs values in both modes, next to `kestrel export` of the
# same store in the same run, on a memory-backed folder. For every run: wall
# and processor time, messages/s, the load average when it started, the
# processor time per message of the writer (this process) and of the import
# processes, and peak memory (the writer's, and the sum over all processes
# taken as the writer's plus jobs x the largest import process). Ends with
# each run's throughput as a ratio to --jobs 1 of the same mode, and the
# throughput the per-message times project for 8 cores.
#
# usage: scaling_bench.sh BUILD_DIR [REPEATS [JOBS...]]
#        (defaults: 200 copies of the corpus; jobs 1, 2 and the cores)
set -euo pipefail
build=$(cd "$1" && pwd)
repeats=${2:-200}
shift $(( $# >= 2 ? 2 : $# ))
cores=$(nproc)
jobs_list=("$@")
[ ${#jobs_list[@]} -gt 0 ] || jobs_list=(1 2 "$cores")
here=$(cd "$(dirname "$0")/../../.." && pwd)
work=$(mktemp -d /dev/shm/scaling-bench.XXXXXX)
trap 'rm -rf "$work"' EXIT
bin=$build/tools
corpus=$here/tests/platform/mail/corpus

args=()
for ((i = 0; i < repeats; i++)); do args+=("$corpus" "$corpus/charsets" "$corpus/damaged"); done
"$bin/make-sample-store/make-sample-store" "$work/store" --from-eml "${args[@]}" --quiet
bytes=$(du -sb "$work/store" | cut -f1)
load() { cut -d' ' -f1 /proc/loadavg; }

run() {  # run NAME COMMAND...: sets WALL CPU RSS LOAD; the command's output in $work/out.log
  local log="$work/time.log"
  shift
  LOAD=$(load)
  /usr/bin/time -f "%e %U %S %M" -o "$log" "$@" >"$work/out.log" 2>&1 || true
  read -r WALL user sys RSS < <(tail -n 1 "$log")
  CPU=$(echo "$user + $sys" | bc)
}

run export "$bin/kestrel/kestrel" export "$work/store" "$work/export"
total=$(find "$work/export" -name '*.eml' | wc -l)
echo "store: $total messages ($repeats x the corpus), $((bytes / 1000000)) MB; $cores cores"
printf '%-24s wall %6.2f s  cpu %6.2f s  %8.0f msgs/s  load %s\n' "kestrel export" "$WALL" "$CPU" \
  "$(echo "$total / $WALL" | bc -l)" "$LOAD"
export_wall=$WALL
eml_bench=$build/bench/platform/mail/eml_dir_bench
[ -x "$eml_bench" ] && "$eml_bench" "$work/export"
rm -rf "$work/export"

declare -A rate
for mode in single-pst pst-per-file; do
  for jobs in "${jobs_list[@]}"; do
    rm -rf "$work/out" && mkdir "$work/out"
    run "$mode $jobs" "$bin/tollan-cli/tollan-cli" "--$mode" --jobs "$jobs" --stats -o "$work/out" "$work/store"
    stats=$(grep '^stats:' "$work/out.log" || true)
    converted=$(sed -n 's/^Messages: \([0-9]*\) converted.*/\1/p' "$work/out.log")
    # stats: writer cpu W s (w us/message), peak P MB; import processes (N) cpu I s (i us/message), peak of one Q MB
    read -r w_us w_peak i_us i_peak < <(echo "$stats" |
      sed -E 's/.*writer cpu [0-9.]+ s \(([0-9.]+) us\/message\), peak ([0-9]+) MB.*cpu [0-9.]+ s \(([0-9.]+) us\/message\), peak of one ([0-9]+) MB/\1 \2 \3 \4/')
    workers=$(( jobs > 1 ? jobs : 0 ))
    sum_peak=$(( w_peak + workers * i_peak ))
    rate[$mode/$jobs]=$(echo "$converted / $WALL" | bc -l)
    printf '%-24s wall %6.2f s  cpu %6.2f s  %8.0f msgs/s  %5.2fx export  load %-5s  writer %6.1f us/msg  import %6.1f us/msg  peak writer %4d MB, all %4d MB  (%s converted)\n' \
      "$mode --jobs $jobs" "$WALL" "$CPU" "${rate[$mode/$jobs]}" "$(echo "$WALL / $export_wall" | bc -l)" "$LOAD" \
      "$w_us" "$i_us" "$w_peak" "$sum_peak" "$converted"
    if [ "$jobs" -gt 1 ]; then
      # With N cores the writer takes one message per W us on its core and the
      # imports share all N; the slower of the two sets the pace.
      for n in 8; do
        printf '  projected for %d cores: %.0f msgs/s (writer bound %.0f, processor bound %.0f)\n' "$n" \
          "$(echo "a = 1000000 / $w_us; b = $n * 1000000 / ($w_us + $i_us); if (a < b) a else b" | bc -l)" \
          "$(echo "1000000 / $w_us" | bc -l)" "$(echo "$n * 1000000 / ($w_us + $i_us)" | bc -l)"
      done
    fi
  done
  for jobs in "${jobs_list[@]}"; do
    printf '%s: --jobs %s gives %.2fx the throughput of --jobs 1\n' "$mode" "$jobs" \
      "$(echo "${rate[$mode/$jobs]} / ${rate[$mode/1]}" | bc -l)"
  done
done
