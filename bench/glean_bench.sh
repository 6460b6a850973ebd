#!/usr/bin/env bash
# glean end to end (read, format, append) over 1,000 .xls and 1,000 .xlsx
# filled-in forms, side by side with the floor (what reading the same files
# costs at all, ../shared/bench/floors) in the same sitting, so that the
# ratios hold on a busy machine too. Prints per format: glean's workbooks per
# second with 1 and 2 jobs, the floor's, glean (1 job) / floor, 2 jobs / 1
# job beside what two processes of the floor gain over one on this machine,
# peak memory, and the window's run against glean's on 100 workbooks
# (bench/window_bench.cpp, offscreen), with what the paint at a run's end
# costs alone, and the window against glean run as a command. Then what the
# three calls that commit workbooks cost (bench/commit_floor.c), as the most
# of each floor that glean could reach were its reading and formatting free,
# and glean's rate when it moves each workbook, as users run it, against a
# floor that reads, commits and moves each .xls workbook. Checks that the
# data file is the same for 1, 2 and 3 jobs.
#
# The corpus is generated once into build-bench/corpus (bench/make_corpus.py;
# the .xls conversion by LibreOffice takes a few minutes); delete that folder
# to make it again. Workbooks are not moved (no /out), so every run reads the
# same files. FLOORS names the floor script when it is not beside the project.
set -euo pipefail
cd "$(dirname "$0")/.."

N=${N:-1000}
REPEAT=${REPEAT:-7}
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
declare -A floor_of=([xlsx]=$(awk '/xlsx parse floor/ {print $4}' <<<"$floor_out")
    [xls]=$(awk '/xls read floor/ {print $4}' <<<"$floor_out"))
floor_bin=${TMPDIR:-/tmp}/floor-bin  # built there by the floor script
gcc -O2 -o "$work/commit_floor" bench/commit_floor.c

# What the machine allows two jobs: the floor as two processes at once, each
# over half of the files (hard links in two folders), against one process
# over all of them. Reading files and system calls may scale far worse than
# computing on two cores; glean's 2 jobs / 1 is best read against this.
floor_cmd() {  # FORMAT DIR: the floor's command line for that format
    if [[ $1 == xls ]]; then echo "$floor_bin/floor read $2 xls"; else echo "$floor_bin/parsefloor parse $2"; fi
}
# The clock read as the floor script reads it: one process after each run.
seconds_now() { date +%s.%N; }
# BEST START END: the shorter of BEST (seconds, or empty) and END - START.
shorter() {
    local secs
    secs=$(echo "$3 - $2" | bc -l)
    if [[ -z $1 ]] || (($(echo "$secs < $1" | bc -l))); then echo "$secs"; else echo "$1"; fi
}
# Best seconds of 3 runs of the floor: one process over all, or two at once over the halves.
floor_secs() {
    local fmt=$1 procs=$2 best="" start end all half1 half2
    # The command lines are made before the clock starts: each $(...) is a process.
    all=$(floor_cmd "$fmt" "$corpus/$fmt")
    half1=$(floor_cmd "$fmt" "$work/half1/$fmt")
    half2=$(floor_cmd "$fmt" "$work/half2/$fmt")
    for _ in 1 2 3; do
        start=$(seconds_now)
        if ((procs == 1)); then
            $all >/dev/null
        else
            $half1 >/dev/null &
            $half2 >/dev/null &
            wait
        fi
        end=$(seconds_now)
        best=$(shorter "$best" "$start" "$end")
    done
    echo "$best"
}
for fmt in xls xlsx; do
    mkdir -p "$work/half1/$fmt" "$work/half2/$fmt"
    k=0
    for f in "$corpus/$fmt"/*."$fmt"; do
        half=$work/half$((k++ % 2 + 1))/$fmt
        ln "$f" "$half/" 2>/dev/null || cp "$f" "$half/"
    done
done
declare -A floor_scaling
for fmt in xls xlsx; do
    floor_scaling[$fmt]=$(echo "$(floor_secs "$fmt" 1) / $(floor_secs "$fmt" 2)" | bc -l)
done

# Best workbooks/s of REPEAT runs of glean with JOBS jobs; sets rate, rss (MB),
# data and count. With one job the floor runs in turns with glean (floor_best).
declare -A floor_best
# Timed runs are started bare, as the floor is: /usr/bin/time would add a
# process of its own to each. Peak memory comes from a separate run under it.
run_glean() {
    local fmt=$1 jobs=$2 best="" start end floor_line
    count=$(ls "$corpus/$fmt"/*."$fmt" | wc -l)
    floor_line=$(floor_cmd "$fmt" "$corpus/$fmt")
    data=$work/$fmt-$jobs.csv
    glean_once() {  # on a fresh data file, removed before the clock starts: rm is a process of its own
        "$@" "$glean" /type "$corpus/form.dat" /in "$corpus/$fmt/*.$fmt" /data "$data" /jobs "$jobs" \
            2>"$work/stderr.txt" || { echo "glean failed:"; tail -5 "$work/stderr.txt"; exit 1; }
    }
    for ((r = 0; r < REPEAT; r++)); do
        if ((jobs == 1)); then  # the floor in turns with glean: both meet the machine as it is
            start=$(seconds_now)
            $floor_line >/dev/null
            end=$(seconds_now)
            floor_best[$fmt]=$(shorter "${floor_best[$fmt]:-}" "$start" "$end")
        fi
        rm -f "$data"
        start=$(seconds_now)
        glean_once
        end=$(seconds_now)
        best=$(shorter "$best" "$start" "$end")
    done
    rm -f "$data"
    glean_once /usr/bin/time -v -o "$work/time.txt"
    rate=$(echo "$count / $best" | bc -l)
    rss=$(awk -F: '/Maximum resident set size/ {print $2 / 1024}' "$work/time.txt")
}

# The window's run / glean's run on the same 100 workbooks, one process,
# offscreen, with as many jobs as glean's 2 jobs: 50 runs of each in turns,
# best times compared. Start-up (process, QApplication, window) is excluded
# from both; the window's time runs from Run to the list painted as the run
# left it. The same on 10 workbooks splits the window's time in what each
# workbook adds (against glean's) and what every run costs whatever its size.
# Also timed in turns: glean run as a command on the same 100, its process
# started and ended, as a user who runs it waits for it.
# Sets window (the ratio on 100), window_each, window_fixed (ms) and
# window_command (the window against glean as a command, on 100).
window_ms() {  # FORMAT COUNT: "glean_ms window_ms paint_ms command_ms"
    local fmt=$1 count=$2 sample=$work/window-$1-$2 books=("$corpus/$1"/*."$1")
    mkdir -p "$sample"
    cp -t "$sample" "${books[@]:0:count}"
    GLEAN_BENCH_RATIO=50 GLEAN_BENCH_JOBS=2 GLEAN_BENCH_IN=$sample GLEAN_BENCH_FORM=$corpus/form.dat GLEAN_BENCH_GLEAN=$glean \
        QT_QPA_PLATFORM=offscreen build-release/bench/window_bench 2>/dev/null |
        awk '/window\/glean/ {g = $2; w = $5} /^paint/ {p = $2} /^command/ {c = $2}
             END {if (c == "") print "? ? ? ?"; else print g, w, p, c}'
}
window_ratio() {
    local g10 w10 p10 c10 g100 w100 p100 c100
    read -r g10 w10 p10 c10 < <(window_ms "$1" 10)
    read -r g100 w100 p100 c100 < <(window_ms "$1" 100)
    if [[ $g100 == "?" || $g10 == "?" ]]; then
        window="?" window_each="?" window_fixed="?" window_paint="?" window_command="?"
        return
    fi
    window_command=$(printf '%.2f' "$(echo "$w100 / $c100" | bc -l)")
    # The paint at a run's end, alone, against glean's whole run: the 0.2 over glean that 1.2 leaves must hold it.
    window_paint="$p100 ms, $(printf '%.2f' "$(echo "$p100 / $g100" | bc -l)")x glean's run"
    window=$(printf '%.2f' "$(echo "$w100 / $g100" | bc -l)")
    window_each=$(printf '%.2f' "$(echo "($w100 - $w10) / ($g100 - $g10)" | bc -l)")
    # w(n) = a + n b for each: what the window's a adds to glean's
    window_fixed=$(printf '%.2f' "$(echo "($w100 - $g100) - 100 * (($w100 - $w10) - ($g100 - $g10)) / 90" | bc -l)")
}

window_notes=""
printf '%-5s %12s %12s %12s %11s %9s %11s %11s %9s %9s %13s\n' format "1 job wb/s" "2 jobs wb/s" "floor wb/s" \
    "1 job/floor" "2 jobs/1" "floor 2/1" "2/1 of fl." "RSS1 MB" "RSS2 MB" "window/glean"
for fmt in xls xlsx; do
    run_glean "$fmt" 1
    r1=$rate m1=$rss ref=$data
    run_glean "$fmt" 2
    r2=$rate m2=$rss
    if ! cmp -s "$ref" "$data"; then
        echo "DIFFERENT data file with 2 jobs for $fmt"; exit 1
    fi
    "$glean" /type "$corpus/form.dat" /in "$corpus/$fmt/*.$fmt" /data "$work/$fmt-3.csv" /jobs 3 2>/dev/null
    if ! cmp -s "$ref" "$work/$fmt-3.csv"; then
        echo "DIFFERENT data file with 3 jobs for $fmt"; exit 1
    fi
    # The floor's best: of the floor script's runs and of those in turns with glean.
    floor=$(echo "$count / ${floor_best[$fmt]}" | bc -l)
    floor=$(echo "if (${floor_of[$fmt]} > $floor) ${floor_of[$fmt]} else $floor" | bc -l)
    floor_of[$fmt]=$floor
    fs=${floor_scaling[$fmt]}
    window_ratio "$fmt"
    printf '%-5s %12.0f %12.0f %12.0f %11.2f %9.2f %11.2f %11.2f %9.1f %9.1f %13s\n' "$fmt" "$r1" "$r2" "$floor" \
        "$(echo "$r1 / $floor" | bc -l)" "$(echo "$r2 / $r1" | bc -l)" "$fs" "$(echo "$r2 / $r1 / $fs" | bc -l)" \
        "$m1" "$m2" "$window"
    window_notes+="  $fmt: each workbook takes the window ${window_each}x glean's time; each run adds ${window_fixed} ms whatever its size,"$'\n'
    window_notes+="       of which the paint of the list, bar and buttons at its end ($window_paint on 100);"$'\n'
    window_notes+="       against glean run as a command on the same 100 (its process started and ended): ${window_command}"$'\n'
done
printf 'window/glean split by 10 and 100 workbooks:\n%s' "$window_notes"
# The corpus's workbooks of FORMAT in DEST (a fresh folder) as hard links,
# or copies where links cannot be made, for runs that move them away.
link_books() {  # FORMAT DEST
    if ! ln "$corpus/$1"/*."$1" "$2/" 2>/dev/null; then
        rm -f "$2"/*."$1"
        cp "$corpus/$1"/*."$1" "$2/"
    fi
}
# The three calls that commit workbooks (journal, append, look at the data
# file), timed against the reading alone, on lines of glean's size and a
# journal record of about its size: once for each workbook, as when each is
# moved, and once for each 64, as glean commits these runs (nothing moved).
# A fourth loop also moves each workbook, as a moving run must (hard links
# stand for the workbooks): what moving runs of .xls are measured against.
line_bytes=$(($(stat -c %s "$work/xls-1.csv") / $(ls "$corpus/xls"/*.xls | wc -l)))
rm -rf "$work/move-floor" && mkdir -p "$work/move-floor/a" "$work/move-floor/b"
link_books xls "$work/move-floor/a"
read -r commit_read commit_each commit_group commit_moved < <("$work/commit_floor" "$corpus/xls" xls "$line_bytes" 220 \
    "$work" 64 "$work/move-floor" | awk '{gsub(",", ""); print $2, $10, $14, $NF}')
rm -rf "$work/move-floor"
ceiling() {  # WB/S FLOOR: the most of FLOOR reachable with reading and formatting free
    echo "1 / (1 + $2 * (1 / $1 - 1 / $commit_read))" | bc -l
}
printf 'commit: the xls reading loop alone %.0f wb/s; with the three commit calls for each workbook %.0f, for each 64 %.0f:\n' \
    "$commit_read" "$commit_each" "$commit_group"
printf '  with reading and formatting free, 1 job/floor could reach at most %.2f (xls), %.2f (xlsx);\n' \
    "$(ceiling "$commit_group" "${floor_of[xls]}")" "$(ceiling "$commit_group" "${floor_of[xlsx]}")"
printf '  committing each workbook alone (as when each is moved), %.2f (xls), %.2f (xlsx)\n' \
    "$(ceiling "$commit_each" "${floor_of[xls]}")" "$(ceiling "$commit_each" "${floor_of[xlsx]}")"
# As users run it: each workbook moved to the output folder once its lines
# are in. Hard links stand for the workbooks, so the corpus stays.
moved_rate() {  # FORMAT: best workbooks/s of 3 runs, 1 job
    local fmt=$1 best="" start end count
    count=$(ls "$corpus/$fmt"/*."$fmt" | wc -l)
    for _ in 1 2 3; do
        rm -rf "$work/move-in" "$work/move-out" "$work/moved.csv"
        mkdir -p "$work/move-in" "$work/move-out"
        link_books "$fmt" "$work/move-in"
        start=$(seconds_now)
        "$glean" /type "$corpus/form.dat" /in "$work/move-in" /out "$work/move-out" /data "$work/moved.csv" \
            /jobs 1 >/dev/null 2>&1 || { echo "glean failed moving $fmt" >&2; exit 1; }
        end=$(seconds_now)
        best=$(shorter "$best" "$start" "$end")
    done
    echo "$count / $best" | bc -l
}
moved_xls=$(moved_rate xls)
moved_xlsx=$(moved_rate xlsx)
printf 'moved (each workbook moved to /out, as users run it), 1 job: xls %.0f wb/s, xlsx %.0f wb/s\n' \
    "$moved_xls" "$moved_xlsx"
printf '  xls against the floor that also looks at, commits and moves each workbook (%.0f wb/s): %.2f\n' \
    "$commit_moved" "$(echo "$moved_xls / $commit_moved" | bc -l)"
echo "floor: xls = reading every file's bytes; xlsx = reading, inflating and parsing the parts a harvester needs;"
echo "the best of the floor script's runs and of REPEAT runs in turns with glean's (REPEAT=$REPEAT)."
echo "floor 2/1: the floor as two processes at once over the two halves of the files, against one process over all"
echo "(best of 3 each): what this machine allows two jobs. 2/1 of fl.: glean's 2 jobs/1 divided by it."
echo "window/glean: 100 workbooks, 2 jobs, runs in turns, best of 50 each, start-up excluded from both;"
echo "against glean as a command, its process's start and end are in glean's time (the window is open already)."
echo "Goals: 1 job/floor >= 0.5 (xls), >= 0.7 (xlsx); 2 jobs/1 >= 1.8; window/glean <= 1.2; same data file for 1, 2 and 3 jobs (checked)."
