#!/usr/bin/env bash
# tarvel-cli --profile and tarvel-study as a user runs them:
#   check_study_runs.sh TARVEL_CLI TARVEL_NETGEN SOURCE_DIR [TARVEL_STUDY]
# - a run writes the working files, timeseries.rez, PREFIX-steps.csv and the JSON;
# - every wrong profile ends with 2, a message naming the line, and no file;
# - a MATPOWER case runs with its own scenario table;
# - with tarvel-study: 1 and 3 processes write the same bytes as tarvel-cli,
#   and a failure (an unwritable file, a wrong profile) ends the job with a
#   message and a non-zero status instead of waiting.
set -u
cli=$1 netgen=$2 src=$3 study=${4:-}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

"$netgen" grid 300 4 "$work/grid.cdu" || exit 1
{
    echo "# two days of four districts"
    echo "step,d0,d1,d2,d3"
    for h in $(seq 1 48); do
        awk -v h="$h" 'BEGIN { printf "%d,%.4f,%.4f,1,%.4f\n", h, 0.8 + 0.2 * sin(h / 3.82), 0.9 + 0.1 * cos(h / 3.82), 1.05 }'
    done
} >"$work/days.csv"

mkdir "$work/one"
"$cli" --workdir "$work/one" --profile "$work/days.csv" --study-csv "$work/one/out" --study-json "$work/one/out.json" \
    "$work/grid.cdu" 2>"$work/one.err"
status=$?
[ $status -eq 0 ] || fail "tarvel-cli --profile ended with $status: $(cat "$work/one.err")"
for f in network.out network.rez timeseries.rez out-steps.csv out.json; do
    [ -s "$work/one/$f" ] || fail "tarvel-cli --profile did not write $f"
done
[ "$(head -n 1 "$work/one/out-steps.csv")" = "step,outcome,iterations,load_mw,base_mw,losses_mw,vmin_pu,vmin_node,vmax_pu,vmax_node,max_loading_pct,max_loading_branch,violations" ] ||
    fail "the steps file's header"
[ "$(wc -l <"$work/one/out-steps.csv")" -eq 49 ] || fail "the steps file holds $(wc -l <"$work/one/out-steps.csv") lines, not 49"

# Wrong profiles: exit 2, the line named, nothing written.
bad() {  # name, expected text, profile lines...
    local name=$1 expected=$2
    shift 2
    printf '%s\n' "$@" >"$work/$name.csv"
    rm -rf "$work/bad" && mkdir "$work/bad"
    "$cli" --workdir "$work/bad" --profile "$work/$name.csv" --study-csv "$work/bad/out" "$work/grid.cdu" 2>"$work/bad.err"
    local s=$?
    [ $s -eq 2 ] || fail "$name: exit $s instead of 2"
    grep -q -- "$expected" "$work/bad.err" || fail "$name: message \"$(cat "$work/bad.err")\" lacks \"$expected\""
    [ -z "$(ls -A "$work/bad")" ] || fail "$name: files written: $(ls "$work/bad")"
}
bad repeated "строка 4: шаг 2 повторяется" "step,d1" "1,1" "2,1" "2,1"
bad missing "строка 3: пропущен шаг 2" "step,d1" "1,1" "3,1"
bad negative "строка 2: столбец \"d1\": отрицательный множитель" "step,d1" "1,-1"
bad empty "строка 3: столбец \"d2\": пустой множитель" "step,d1,d2" "1,1,1" "2,1,"
bad text "строка 2: столбец \"d1\": множитель не число" "step,d1" "1,x"
bad district "нет узлов нагрузки района 9" "step,d9" "1,1"
bad node "нет узла нагрузки 77777" "step,n77777" "1,1"
bad scenario "изменение CT_TBRCH BR_STATUS CT_REP не поддерживается" "chgtab = [" "1 0 CT_TBRCH 3 BR_STATUS CT_REP 0;" "];"

# The N-1 of every step: on one and on two threads the same files; the
# outcome counts follow the fixed columns, the violations name their step.
awk '$1 == "0301" && $4 != 0 { print $3, $4, 0.05; if (++n == 6) exit }' "$work/grid.cdu" >"$work/tight.lim"
head -n 26 "$work/days.csv" >"$work/day.csv"  # a comment, the header and 24 steps
branches=$(awk '$1 == "0301" && $4 != 0' "$work/grid.cdu" | wc -l)
for threads in 1 2; do
    dir="$work/n1-$threads"
    mkdir "$dir"
    "$cli" --workdir "$dir" --threads $threads --profile "$work/day.csv" --contingencies all --limits "$work/tight.lim" \
        --study-csv "$dir/out" --study-json "$dir/out.json" "$work/grid.cdu" 2>"$dir.err"
    status=$?
    [ $status -eq 4 ] || fail "the N-1 of every step on $threads threads ended with $status: $(cat "$dir.err")"
done
for f in "$work/n1-1"/*; do
    cmp -s "$f" "$work/n1-2/$(basename "$f")" || fail "N-1 of every step: $(basename "$f") differs for 1 and 2 threads"
done
[ "$(head -n 1 "$work/n1-1/out-steps.csv")" = "step,outcome,iterations,load_mw,base_mw,losses_mw,vmin_pu,vmin_node,vmax_pu,vmax_node,max_loading_pct,max_loading_branch,violations,outages_solved,outages_not_converged,outages_diverged,outages_split,outages_with_violations" ] ||
    fail "the combined steps file's header: $(head -n 1 "$work/n1-1/out-steps.csv")"
[ "$(wc -l <"$work/n1-1/out-steps.csv")" -eq 25 ] || fail "the combined steps file holds other than 24 steps"
awk -F, -v m="$branches" 'NR > 1 && ($11 == "" || $14 + $15 + $16 + $17 != m) { bad = 1 } END { exit bad }' \
    "$work/n1-1/out-steps.csv" || fail "a step's outages do not add up to the $branches branches, or its loading is missing"
grep -q "^24,base,overload," "$work/n1-1/out-violations.csv" || fail "the violations of step 24 itself are missing"
iconv -f cp1251 -t utf-8 "$work/n1-1/timeseries.rez" | grep -q "небезопасные при отключении одной ветви" ||
    fail "timeseries.rez does not list the insecure steps"

# Wrong outages or limits with a profile: exit 2, the line named, nothing written.
badstudy() {  # name, expected text, options...
    local name=$1 expected=$2
    shift 2
    rm -rf "$work/bad" && mkdir "$work/bad"
    "$cli" --workdir "$work/bad" --profile "$work/day.csv" "$@" --study-csv "$work/bad/out" "$work/grid.cdu" 2>"$work/bad.err"
    local s=$?
    [ $s -eq 2 ] || fail "$name: exit $s instead of 2"
    grep -q -- "$expected" "$work/bad.err" || fail "$name: message \"$(cat "$work/bad.err")\" lacks \"$expected\""
    [ -z "$(ls -A "$work/bad")" ] || fail "$name: files written: $(ls "$work/bad")"
}
printf '# outages\n99998 99999\n' >"$work/none.lst"
printf '# limits\nx y z\n' >"$work/bad.lim"
badstudy "unknown branch" "Строка 2 списка отключений" --contingencies "$work/none.lst"
badstudy "wrong limits" "Строка 2 файла пределов" --contingencies all --limits "$work/bad.lim"
badstudy "wrong limits without N-1" "Строка 2 файла пределов" --limits "$work/bad.lim"
badstudy "missing list" "Невозможно прочитать файл" --contingencies "$work/no-such.lst"

# A MATPOWER case with its scenario table (a week of its area loads).
mkdir "$work/case"
"$cli" --workdir "$work/case" --profile "$src/tests/data/series/scenarios_ACTIVSg200-week.m" \
    --study-csv "$work/case/week" "$src/tests/data/series/case_ACTIVSg200.m" 2>"$work/case.err"
status=$?
[ $status -eq 0 ] || fail "the scenario week ended with $status: $(tail -n 3 "$work/case.err")"
[ "$(wc -l <"$work/case/week-steps.csv")" -eq 169 ] || fail "the scenario week's steps file"
grep -q "столбце зон (ZONE)" "$work/case.err" || fail "the zones of the scenario table are not told"

if [ -n "$study" ]; then
    export OMPI_ALLOW_RUN_AS_ROOT=1 OMPI_ALLOW_RUN_AS_ROOT_CONFIRM=1 OMPI_MCA_rmaps_base_oversubscribe=1
    for ranks in 1 3; do
        dir="$work/mpi$ranks"
        mkdir "$dir"
        timeout 300 mpirun --oversubscribe -np $ranks "$study" --workdir "$dir" --profile "$work/days.csv" \
            --study-csv "$dir/out" --study-json "$dir/out.json" "$work/grid.cdu" 2>"$dir.err"
        status=$?
        [ $status -eq 0 ] || fail "tarvel-study on $ranks processes ended with $status: $(cat "$dir.err")"
        for f in "$work/one"/*; do
            cmp -s "$f" "$dir/$(basename "$f")" || fail "$ranks processes: $(basename "$f") differs from tarvel-cli's"
        done
        [ "$(ls "$dir" | wc -l)" -eq "$(ls "$work/one" | wc -l)" ] || fail "$ranks processes: other files than tarvel-cli's"
    done

    # The N-1 of every step, its pairs of step and outage shared by the processes.
    for ranks in 1 3; do
        dir="$work/mpin1-$ranks"
        mkdir "$dir"
        timeout 300 mpirun --oversubscribe -np $ranks "$study" --workdir "$dir" --threads 1 --profile "$work/day.csv" \
            --contingencies all --limits "$work/tight.lim" --study-csv "$dir/out" --study-json "$dir/out.json" \
            "$work/grid.cdu" 2>"$dir.err"
        status=$?
        [ $status -eq 4 ] || fail "tarvel-study with N-1 on $ranks processes ended with $status: $(cat "$dir.err")"
        for f in "$work/n1-1"/*; do
            cmp -s "$f" "$dir/$(basename "$f")" || fail "N-1, $ranks processes: $(basename "$f") differs from tarvel-cli's"
        done
        [ "$(ls "$dir" | wc -l)" -eq "$(ls "$work/n1-1" | wc -l)" ] || fail "N-1, $ranks processes: other files than tarvel-cli's"
    done
    mkdir "$work/mpibadlist"
    timeout 300 mpirun --oversubscribe -np 3 "$study" --workdir "$work/mpibadlist" --profile "$work/day.csv" \
        --contingencies "$work/none.lst" "$work/grid.cdu" 2>"$work/mpibadlist.err"
    status=$?
    [ $status -eq 2 ] || fail "a wrong outage list: tarvel-study ended with $status"
    [ "$(grep -c "Строка 2 списка отключений" "$work/mpibadlist.err")" -eq 1 ] || fail "a wrong outage list is not told once"
    [ -z "$(ls -A "$work/mpibadlist")" ] || fail "a wrong outage list: files written"

    # A file rank 0 cannot write: the whole job ends, told before any rank
    # computes, without waiting.
    mkdir "$work/mpifail"
    timeout 300 mpirun --oversubscribe -np 3 "$study" --workdir "$work/mpifail" --profile "$work/days.csv" \
        --study-csv "$work/no/such/folder/out" "$work/grid.cdu" 2>"$work/mpifail.err"
    status=$?
    [ $status -ne 0 ] && [ $status -ne 124 ] || fail "an unwritable file: tarvel-study ended with $status"
    grep -q "out-steps.csv\" (--study-csv) не может быть создан: папка" "$work/mpifail.err" ||
        fail "an unwritable file is not told: $(cat "$work/mpifail.err")"
    [ ! -e "$work/mpifail/network.cdu" ] || fail "an unwritable file: the base case ran all the same"

    # A wrong profile: told once, exit 2, nothing written.
    mkdir "$work/mpibad"
    timeout 300 mpirun --oversubscribe -np 3 "$study" --workdir "$work/mpibad" --profile "$work/negative.csv" \
        "$work/grid.cdu" 2>"$work/mpibad.err"
    status=$?
    [ $status -eq 2 ] || fail "a wrong profile: tarvel-study ended with $status"
    [ "$(grep -c "отрицательный множитель" "$work/mpibad.err")" -eq 1 ] || fail "a wrong profile is not told once"
    [ -z "$(ls -A "$work/mpibad")" ] || fail "a wrong profile: files written"
fi

[ $failures -eq 0 ] && echo "all study runs as expected"
exit $((failures > 0))
