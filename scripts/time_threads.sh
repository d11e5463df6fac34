#!/usr/bin/env bash
# Times default runs of Tolvan with 1 and 2 threads and prints three tables:
#  1. wall time and peak memory for the bundled example, the horse (when the
#     data folder has it) and the large generated creature (53,282 vertices,
#     120 frames; skipped with --quick);
#  2. how the time grows with vertices x frames: three sizes of the creature;
#  3. the horse (or, without it, the example) stage by stage.
# Every table notes the machine's load (uptime) before and after it.
# Usage: scripts/time_threads.sh [--quick] [PATH/TO/Tolvan] [DATA_DIR]
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
quick=0
if [ "${1:-}" = "--quick" ]; then quick=1; shift; fi
tool=$(realpath "${1:-$here/build/Tolvan}")
data=$(realpath -m "${2:-$here/../shared/data}")
make="$(dirname "$tool")/tolvan-make-example"
for need in "$tool" "$make"; do
  [ -x "$need" ] || { echo "time_threads.sh: no executable at $need (build first)" >&2; exit 1; }
done
[ -x /usr/bin/time ] || { echo "time_threads.sh: /usr/bin/time is missing (apt-get install time)" >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
load() { echo "load: $(uptime | sed 's/.*load average: //')"; }

# make NAME ARGS...: a generated creature in $work/NAME.
make_creature() { local name=$1; shift; "$make" "$@" "$work/$name" > /dev/null; }

# run SEQ REST THREADS: sets wall, peak (MiB), bones and leaves the stage
# times in $work/stages.txt.
run() {
  TOLVAN_THREADS=$3 TOLVAN_STAGE_TIMES=1 /usr/bin/time -f '%e %M' -o "$work/time.txt" \
    "$tool" "$1" "$2" "$work/out.rig.txt" > "$work/stdout.txt" 2> "$work/stages.txt"
  read -r wall peak < <(tail -n 1 "$work/time.txt")
  peak=$(awk -v k="$peak" 'BEGIN { printf "%.1f", k / 1024 }')
  bones=$(awk '/^# JOINTS/ { getline; print $1; exit }' "$work/out.rig.txt")
}

row() { # NAME SEQ REST
  read -r frames vertices < "$2"
  run "$2" "$3" 1; local w1=$wall p1=$peak b=$bones
  run "$2" "$3" 2; local w2=$wall p2=$peak
  awk -v n="$1" -v V="$vertices" -v F="$frames" -v b="$b" -v w1="$w1" -v w2="$w2" -v p1="$p1" -v p2="$p2" \
    -v seq="$(stat -c %s "$2")" 'BEGIN {
      printf "| %-13s | %7d | %6d | %5s | %8.2f | %8.2f | %5.2f | %8.1f | %8.1f | %8.1f |\n",
             n, V, F, b, w1, w2, (w2 > 0 ? w1 / w2 : 0), p1, p2, 3 * V * F * 24 / 1048576 + 40 }'
}

header() {
  printf '| %-13s | %7s | %6s | %5s | %8s | %8s | %5s | %8s | %8s | %8s |\n' mesh vertices frames bones \
    wall_1t_s wall_2t_s x peak_1t_MiB peak_2t_MiB bound_MiB
  echo '|---------------|---------|--------|-------|----------|----------|-------|----------|----------|----------|'
}

echo "## Default runs, 1 and 2 threads (bound: 3 x the sequence in memory + 40 MiB)"
load
header
make_creature example
row example "$work/example/creature.anim.txt" "$work/example/creature.rest.obj"
horse="$data/horse-gallop"
[ -f "$horse/horse-gallop.anim.txt" ] && row horse "$horse/horse-gallop.anim.txt" "$horse/horse-gallop.rest.obj"
if [ "$quick" = 0 ]; then
  make_creature large --detail 5.5 --frames 120
  row "large" "$work/large/creature.anim.txt" "$work/large/creature.rest.obj"
  rm -rf "$work/large"
fi
load

echo
echo "## Growth with vertices x frames (generated creature, 30 frames)"
load
header
for detail in 1.5 2 2.5; do
  make_creature "d$detail" --detail "$detail"
  row "detail $detail" "$work/d$detail/creature.anim.txt" "$work/d$detail/creature.rest.obj"
done
load

echo
if [ -f "$horse/horse-gallop.anim.txt" ]; then
  name=horse; seq="$horse/horse-gallop.anim.txt"; rest="$horse/horse-gallop.rest.obj"
else
  name=example; seq="$work/example/creature.anim.txt"; rest="$work/example/creature.rest.obj"
fi
echo "## Stages of the $name, wall seconds"
load
run "$seq" "$rest" 1; cp "$work/stages.txt" "$work/stages1.txt"
run "$seq" "$rest" 2; cp "$work/stages.txt" "$work/stages2.txt"
echo '| stage            | 1 thread | 2 threads |     x |'
echo '|------------------|----------|-----------|-------|'
paste <(awk '$2 == "stage" { print $3, $4 }' "$work/stages1.txt") \
      <(awk '$2 == "stage" { print $3, $4 }' "$work/stages2.txt") |
  awk '{ printf "| %-16s | %8.3f | %9.3f | %5.2f |\n", $1, $2, $4, ($4 > 0 ? $2 / $4 : 0) }'
load
