#!/usr/bin/env bash
# glean end to end (read, format, append) over 1,000 .xls and 1,000 .xlsx
# filled-in forms: workbooks per second with one job and with every core, the
# peak memory, and a check that the data file is the same for any job count.
#
# The corpus is generated once into build-bench/corpus (bench/make_corpus.py;
# the .xls conversion by LibreOffice takes a few minutes); delete that folder
# to make it again. Workbooks are not moved (no /out), so every run reads the
# same files.
set -euo pipefail
cd "$(dirname "$0")/.."

N=${N:-1000}
REPEAT=${REPEAT:-3}
corpus=build-bench/corpus
work=build-bench/run

cmake -S . -B build-release -G Ninja -DCMAKE_BUILD_TYPE=Release -DSANITIZE=OFF \
    -DBUILD_TESTING=OFF -DBUILD_BENCH=OFF >/dev/null
cmake --build build-release --target glean -j2 >/dev/null
glean=build-release/bin/glean

if [[ ! -f $corpus/form.dat || $(ls $corpus/xls 2>/dev/null | wc -l) -lt $N ]]; then
    echo "Generating the corpus ($N forms per format) in $corpus ..."
    /usr/bin/python3 bench/make_corpus.py "$corpus" "$N"
fi

rm -rf "$work"
mkdir -p "$work"
cores=$(nproc)
# On a shared machine the wall clock also counts other people's work; the
# CPU column (user + system time of glean) shows what glean itself costs.
printf '%-6s %5s %10s %13s %12s %12s\n' format jobs seconds "workbooks/s" "per CPU-s" "peak RSS MB"
for fmt in xls xlsx; do
    count=$(ls "$corpus/$fmt"/*."$fmt" | wc -l)
    reference=""
    for jobs in 1 "$cores"; do
        best=""
        bestcpu=""
        for ((r = 0; r < REPEAT; r++)); do
            data=$work/$fmt-$jobs.csv
            rm -f "$data"
            start=$(date +%s.%N)
            /usr/bin/time -v -o "$work/time.txt" "$glean" /type "$corpus/form.dat" \
                /in "$corpus/$fmt/*.$fmt" /data "$data" /jobs "$jobs" 2>"$work/stderr.txt" || {
                echo "glean failed:"; tail -5 "$work/stderr.txt"; exit 1; }
            end=$(date +%s.%N)
            secs=$(echo "$end - $start" | bc -l)
            if [[ -z $best ]] || (($(echo "$secs < $best" | bc -l))); then best=$secs; fi
            rss=$(awk -F: '/Maximum resident set size/ {print $2}' "$work/time.txt")
            cpu=$(awk -F: '/User time/ {u=$2} /System time/ {s=$2} END {print u + s}' "$work/time.txt")
            if [[ -z ${bestcpu:-} ]] || (($(echo "$cpu < $bestcpu" | bc -l))); then bestcpu=$cpu; fi
        done
        if [[ -z $reference ]]; then
            reference=$data
        elif ! cmp -s "$reference" "$data"; then
            echo "DIFFERENT data file with $jobs jobs for $fmt"; exit 1
        fi
        printf '%-6s %5d %10.3f %13.0f %12.0f %12.1f\n' "$fmt" "$jobs" "$best" \
            "$(echo "$count / $best" | bc -l)" "$(echo "$count / $bestcpu" | bc -l)" "$(echo "$rss / 1024" | bc -l)"
    done
    echo "$fmt: $(tail -1 "$work/stderr.txt"); $(wc -l <"$reference") lines, same data file for 1 and $cores jobs"
done
