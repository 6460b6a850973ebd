#!/usr/bin/env bash
# glean end to end (read, format, append) over 1,000 .xls and 1,000 .xlsx
# filled-in forms, side by side with the floor (what reading the same files
# costs at all, ../shared/bench/floors) in the same sitting, so that the
# ratios hold on a busy machine too. Prints per format: glean's workbooks per
# second with 1 and 2 jobs, the floor's, glean (1 job) / floor, 2 jobs / 1
# job, peak memory, and the window's run against glean's on 100 workbooks
# (bench/window_bench.cpp, offscreen). Checks that the data file is the same
# for any number of jobs.
#
# The corpus is generated once into build-bench/corpus (bench/make_corpus.py;
# the .xls conversion by LibreOffice takes a few minutes); delete that folder
# to make it again. Workbooks are not moved (no /out), so every run reads the
# same files. FLOORS names the floor script when it is not beside the project.
set -euo pipefail
cd "$(dirname "$0")/.."

N=${N:-1000}
REPEAT=${REPEAT:-3}
corpus=build-bench/corpus
work=build-bench/run
floors=${FLOORS:-../shared/bench/floors}
[[ -x $floors ]] || floors=/work/shared/bench/floors

# The floor is built from C with zlib and pugixml; /usr/bin/time gives peak memory.
scripts/install-deps gcc g++ zlib1g-dev libpugixml-dev time bc >/dev/null

cmake -S . -B build-release -G Ninja -DCMAKE_BUILD_TYPE=Release -DSANITIZE=OFF \
    -DBUILD_TESTING=OFF -DBUILD_BENCH=ON >/dev/null
cmake --build build-release --target glean window_bench -j2 >/dev/null
glean=build-release/bin/glean

if [[ ! -f $corpus/form.dat || $(ls $corpus/xls 2>/dev/null | wc -l) -lt $N ]]; then
    echo "Generating the corpus ($N forms per format) in $corpus ..."
    /usr/bin/python3 bench/make_corpus.py "$corpus" "$N"
fi

rm -rf "$work"
mkdir -p "$work"

# The floors, best of 3 each: "xlsx parse floor: N workbooks/s ...", "xls read floor: ...".
floor_out=$("$floors" "$corpus/xlsx" "$corpus/xls")
floor_xlsx=$(awk '/xlsx parse floor/ {print $4}' <<<"$floor_out")
floor_xls=$(awk '/xls read floor/ {print $4}' <<<"$floor_out")

# Best workbooks/s of REPEAT runs of glean with JOBS jobs; sets rate, rss (MB) and data.
run_glean() {
    local fmt=$1 jobs=$2 count best="" maxrss=0
    count=$(ls "$corpus/$fmt"/*."$fmt" | wc -l)
    data=$work/$fmt-$jobs.csv
    for ((r = 0; r < REPEAT; r++)); do
        rm -f "$data"
        local start end secs kb
        start=$(date +%s.%N)
        /usr/bin/time -v -o "$work/time.txt" "$glean" /type "$corpus/form.dat" \
            /in "$corpus/$fmt/*.$fmt" /data "$data" /jobs "$jobs" 2>"$work/stderr.txt" || {
            echo "glean failed:"; tail -5 "$work/stderr.txt"; exit 1; }
        end=$(date +%s.%N)
        secs=$(echo "$end - $start" | bc -l)
        if [[ -z $best ]] || (($(echo "$secs < $best" | bc -l))); then best=$secs; fi
        kb=$(awk -F: '/Maximum resident set size/ {print $2 + 0}' "$work/time.txt")
        ((kb > maxrss)) && maxrss=$kb
    done
    rate=$(echo "$count / $best" | bc -l)
    rss=$(echo "$maxrss / 1024" | bc -l)
}

# The window's run / glean's run on the same 100 workbooks, one process, offscreen.
window_ratio() {
    local fmt=$1 sample=$work/window-$fmt
    mkdir -p "$sample"
    ls "$corpus/$fmt"/*."$fmt" | head -100 | xargs cp -t "$sample"
    GLEAN_BENCH_IN=$sample GLEAN_BENCH_FORM=$corpus/form.dat QT_QPA_PLATFORM=offscreen \
        build-release/bench/window_bench --benchmark_repetitions=3 --benchmark_report_aggregates_only=true \
        --benchmark_format=csv 2>/dev/null |
        awk -F, '/"GleanRun.*_median"/ {g = $3} /"WindowRun.*_median"/ {w = $3} END {if (g > 0) printf "%.2f", w / g; else print "?"}'
}

printf '%-5s %12s %12s %12s %11s %11s %9s %9s %13s\n' format "1 job wb/s" "2 jobs wb/s" "floor wb/s" \
    "1 job/floor" "2 jobs/1" "RSS1 MB" "RSS2 MB" "window/glean"
for fmt in xls xlsx; do
    run_glean "$fmt" 1
    r1=$rate m1=$rss ref=$data
    run_glean "$fmt" 2
    r2=$rate m2=$rss
    if ! cmp -s "$ref" "$data"; then
        echo "DIFFERENT data file with 2 jobs for $fmt"; exit 1
    fi
    floor=$floor_xls
    [[ $fmt == xlsx ]] && floor=$floor_xlsx
    printf '%-5s %12.0f %12.0f %12.0f %11.2f %11.2f %9.1f %9.1f %13s\n' "$fmt" "$r1" "$r2" "$floor" \
        "$(echo "$r1 / $floor" | bc -l)" "$(echo "$r2 / $r1" | bc -l)" "$m1" "$m2" "$(window_ratio "$fmt")"
done
echo "floor: xls = reading every file's bytes; xlsx = reading, inflating and parsing the parts a harvester needs."
echo "Goals: 1 job/floor >= 0.5 (xls), >= 0.7 (xlsx); 2 jobs/1 >= 1.8; window/glean <= 1.2; same data file for 1 and 2 jobs (checked)."
