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

    # A file rank 0 cannot write: the whole job ends, told, without waiting.
    mkdir "$work/mpifail"
    timeout 300 mpirun --oversubscribe -np 3 "$study" --workdir "$work/mpifail" --profile "$work/days.csv" \
        --study-csv "$work/no/such/folder/out" "$work/grid.cdu" 2>"$work/mpifail.err"
    status=$?
    [ $status -ne 0 ] && [ $status -ne 124 ] || fail "an unwritable file: tarvel-study ended with $status"
    grep -q "Невозможно записать файл" "$work/mpifail.err" || fail "an unwritable file is not told: $(cat "$work/mpifail.err")"

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
