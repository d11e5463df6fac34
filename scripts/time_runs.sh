#!/usr/bin/env bash
# Times whole default runs of Tolvan on every mesh under the data folder and
# prints one table row per mesh: wall and user time (best of N runs), peak
# memory against its bound (3 x the sequence in memory + 40 MiB), and the time
# per million point transformations (vertices x frames x bones).
# Usage: scripts/time_runs.sh [PATH/TO/Tolvan] [RUNS] [DATA_DIR]
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
tool=$(realpath "${1:-$here/build/Tolvan}")
runs=${2:-1}
data=$(realpath "${3:-$here/../shared/data}")
[ -x "$tool" ] || { echo "time_runs.sh: no executable at $tool (build first)" >&2; exit 1; }
[ -d "$data" ] || { echo "time_runs.sh: no data folder at $data" >&2; exit 1; }
[ -x /usr/bin/time ] || { echo "time_runs.sh: /usr/bin/time is missing (apt-get install time)" >&2; exit 1; }

printf '| %-16s | %6s | %8s | %9s | %8s | %8s | %9s | %10s | %9s |\n' \
  mesh frames vertices bones wall_s user_s peak_MiB bound_MiB s_per_M
printf '|%s|%s|%s|%s|%s|%s|%s|%s|%s|\n' ------------------ -------- ---------- ----------- \
  ---------- ---------- ----------- ------------ -----------
for dir in "$data"/*/; do
  name=$(basename "$dir")
  seq=$(ls "$dir"*.anim.txt 2>/dev/null | head -n 1)
  rest=$(ls "$dir"*.rest.obj 2>/dev/null | head -n 1)
  [ -n "$seq" ] && [ -n "$rest" ] || continue
  read -r frames vertices < "$seq"
  work=$(mktemp -d)
  best_wall=""; best_user=""; peak=0
  for ((i = 0; i < runs; ++i)); do
    if ! /usr/bin/time -f '%e %U %M' -o "$work/time.txt" "$tool" "$seq" "$rest" "$work/out.rig.txt" \
        > "$work/stdout.txt" 2> "$work/stderr.txt"; then
      echo "time_runs.sh: $name failed: $(tail -n 1 "$work/stderr.txt")" >&2
      continue 2
    fi
    read -r wall user mem < <(tail -n 1 "$work/time.txt")
    if [ -z "$best_wall" ] || awk -v a="$wall" -v b="$best_wall" 'BEGIN { exit !(a < b) }'; then
      best_wall=$wall
    fi
    if [ -z "$best_user" ] || awk -v a="$user" -v b="$best_user" 'BEGIN { exit !(a < b) }'; then
      best_user=$user
    fi
    [ "$mem" -gt "$peak" ] && peak=$mem
  done
  # Bones after the initial segmentation and at the end of the run.
  first=$(sed -n 's/^Segmentation.*| \([0-9]*\) (bones)$/\1/p' "$work/stdout.txt" | head -n 1)
  last=$(awk '/^# JOINTS/ { getline; print $1; exit }' "$work/out.rig.txt")
  awk -v n="$name" -v F="$frames" -v V="$vertices" -v b0="$first" -v b1="$last" -v w="$best_wall" \
      -v u="$best_user" -v m="$peak" 'BEGIN {
        seqMB = F * V * 3 * 8 / 1048576; budget = 3 * seqMB + 40
        bones = b1 + 0; if (bones == 0) bones = b0 + 0
        work = V * F * bones / 1e6
        printf "| %-16s | %6d | %8d | %4s->%-3s | %8.2f | %8.2f | %9.1f | %10.1f | %9.4f |\n",
               n, F, V, b0, b1, w, u, m / 1024, budget, (work > 0 ? w / work : 0)
      }'
  rm -rf "$work"
done
