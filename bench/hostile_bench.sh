#!/usr/bin/env bash
# glean over hostile workbooks (bench/make_hostile.py: cell bombs, shared-
# string bombs, deep nesting, huge dimensions, up to the part-size limit):
# each one harvested alone, with its time and peak memory printed. The goal
# is under 2 s and 64 MB each; a workbook over a limit must fail alone, with
# a message that names the limit. Figures only: nothing here fails on time.
#
# The files are generated once into build-bench/hostile (about 15 files of a
# few MB each); delete that folder to make them again.
# Usage: bench/hostile_bench.sh [CASE ...]   (file names from make_hostile.py)
set -euo pipefail
cd "$(dirname "$0")/.."

dir=build-bench/hostile
work=build-bench/hostile-run

cmake -S . -B build-release -G Ninja -DCMAKE_BUILD_TYPE=Release -DSANITIZE=OFF \
    -DBUILD_TESTING=OFF -DBUILD_BENCH=OFF >/dev/null
cmake --build build-release --target glean -j2 >/dev/null
glean=$(realpath build-release/bin/glean)

/usr/bin/python3 bench/make_hostile.py "$dir" "$@" >/dev/null
rm -rf "$work"
mkdir -p "$work"
# On a shared machine the wall clock also counts other people's work; the
# CPU column (user + system time of glean) shows what glean itself costs.
printf '%-32s %8s %8s %8s %9s  %s\n' workbook "file KB" seconds "CPU s" "peak MB" result
for file in "$dir"/*.*; do
    name=$(basename "$file")
    [[ $name == form.dat || $name == *.part ]] && continue
    if [[ $# -gt 0 ]] && ! printf '%s\n' "$@" | grep -qx "$name"; then continue; fi
    # One workbook per folder: the input pattern names just it.
    mkdir -p "$work/in-$name"
    ln -sf "$(realpath "$file")" "$work/in-$name/$name"
    rm -f "$work/data.csv"
    /usr/bin/time -v -o "$work/time.txt" "$glean" /type "$dir/form.dat" /in "$work/in-$name/*" \
        /data "$work/data.csv" /jobs 1 >"$work/stdout.txt" 2>"$work/stderr.txt" || true
    rss=$(awk -F: '/Maximum resident set size/ {print $2}' "$work/time.txt")
    cpu=$(awk -F: '/User time/ {u=$2} /System time/ {s=$2} END {print u + s}' "$work/time.txt")
    secs=$(awk '/Elapsed \(wall clock\)/ {n = split($NF, t, ":"); s = 0; for (i = 1; i <= n; i++) s = s * 60 + t[i]; print s}' "$work/time.txt")
    if [[ -s $work/data.csv ]]; then
        result="read, $(($(wc -l <"$work/data.csv") - 1)) lines"
    else
        result=$(grep -v '^$' "$work/stderr.txt" | head -1 | sed "s|$(realpath "$work")/in-$name/||" | cut -c1-150)
    fi
    printf '%-32s %8d %8.2f %8.2f %9.1f  %s\n' "$name" "$(($(stat -c %s "$file") / 1024))" "$secs" "$cpu" \
        "$(echo "$rss / 1024" | bc -l)" "$result"
done
