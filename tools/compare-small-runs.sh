#!/bin/bash
# Runs two tarvel-cli builds on the same networks within 99 nodes and 149
# branches and compares every working file byte for byte (network.cdu, .err,
# .out, .rez, .tok, .rip and losses.rez), the messages and the exit code
# (the message telling where the reading of a text stopped is left out).
#
#   tools/compare-small-runs.sh OLD_CLI NEW_CLI NETGEN [COUNT]
#
# NETGEN is the tarvel-netgen of a build; it writes COUNT seeded networks
# (default 300), every other one with a figure of any form in each field that
# the run leaves unread (flags, unused reals, reactive limits crossed or not,
# a branch's reals after Kt), which must change nothing. The samples and the fuzz seeds of the source tree are run as
# well; a text that the old build refuses for its size, or solves by the
# sparse method, is left out.
set -u
old=$(realpath "$1"); new=$(realpath "$2"); netgen=$(realpath "$3"); count=${4:-300}
src=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

"$netgen" small "$count" "$work/nets" || exit 2
cp "$src"/samples/*.cdu "$src"/tests/data/fuzz-seeds/*.cdu "$work/nets/"

options=("" "--iterations 2" "--precision 0.001 --iterations 20" "--iterations 0")
files=(network.cdu network.err network.out network.rez network.tok network.rip losses.rez)
runs=0; same=0; skipped=0; differ=0
for net in "$work"/nets/*.cdu; do
    for opt in "${options[@]}"; do
        rm -rf "$work/a" "$work/b"; mkdir "$work/a" "$work/b"
        # shellcheck disable=SC2086
        (cd "$work/a" && "$old" $opt --losses "$net" >stdout 2>stderr; echo $? >rc)
        # Beyond the old limits (the old build solved it by the sparse method)
        # the full model may give other figures: left out as well.
        if grep -qa "больше 99\|больше 149" "$work/a/stderr" 2>/dev/null ||
           iconv -f cp1251 -t utf-8 "$work/a/network.err" 2>/dev/null | grep -q "больше 99\|больше 149" ||
           iconv -f cp1251 -t utf-8 "$work/a/network.out" 2>/dev/null | grep -q "разреженным методом"; then
            skipped=$((skipped + 1)); continue
        fi
        # shellcheck disable=SC2086
        (cd "$work/b" && "$new" $opt --losses "$net" >stdout 2>stderr; echo $? >rc)
        runs=$((runs + 1))
        ok=1
        # Where the reading stopped is told in more words (line, column, also for
        # refused data) than by older builds; every other message must agree.
        for d in a b; do
            grep -av "^Данные прочитаны не полностью: \|^Данные кончились внутри записи " "$work/$d/stderr" \
                >"$work/$d/messages"
        done
        for f in "${files[@]}" stdout messages rc; do
            if [ -e "$work/a/$f" ] || [ -e "$work/b/$f" ]; then
                if ! cmp -s "$work/a/$f" "$work/b/$f"; then
                    echo "DIFFERS: $(basename "$net") [$opt] $f"
                    ok=0
                fi
            fi
        done
        if [ $ok = 1 ]; then same=$((same + 1)); else differ=$((differ + 1)); fi
    done
done
echo "runs: $runs, identical: $same, different: $differ, left out for their size: $skipped"
[ $differ = 0 ]
