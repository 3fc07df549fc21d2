#!/usr/bin/env bash
# Take-out and delete of one folder of small files (1,000 and 10,000 unless other counts are given), each
# beside its peer on the same plain files in the same run: the take-out beside `cp -r` of the plain files
# (and a sync, since the take-out's copies are on the disk when it ends) and beside the engine's bare
# decryption of the same containers (its floor); the delete for good beside `rm -r`, the delete to the
# trash beside `gio trash` (when gio is installed; both trashes under a private XDG_DATA_HOME). The cost per
# file at the smallest and the largest count shows whether each stays linear.
#
#   bench/compare-bulk.sh BUILD/bench/korimbo-bench-bulk [COUNT...]
set -euo pipefail
bench=$(readlink -f "${1:?usage: compare-bulk.sh PATH/TO/korimbo-bench-bulk [COUNT...]}")
shift
counts=(1000 10000)
[ $# -eq 0 ] || counts=("$@")
export KORIMBO_BENCH_FILES=$(IFS=,; echo "${counts[*]}")

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export XDG_DATA_HOME="$work/data"
mkdir -p "$XDG_DATA_HOME"
have_gio=0
command -v gio >/dev/null && have_gio=1

"$bench" --benchmark_format=csv > "$work/korimbo.csv" 2>/dev/null
# a column of a benchmark's row
column() {
    awk -F, -v row="$1" -v col="$2" '/^name,/ { for (i = 1; i <= NF; ++i) if ($i == col) c = i }
                                     index($0, row) { print $c; exit }' "$work/korimbo.csv"
}
# seconds spent by a shell command
seconds() {
    local start end
    start=$(date +%s.%N)
    "$@"
    end=$(date +%s.%N)
    awk -v s="$start" -v e="$end" 'BEGIN { printf "%.6f", e - s }'
}
copy_and_sync() { cp -r "$1" "$2" && sync -f "$2"; }

# operation -> count -> files/s
declare -A rate
for n in "${counts[@]}"; do
    plain="$work/plain$n"
    "$bench" --write-corpus "$plain" "$n"
    sync -f "$plain"
    for op in TakeOut DecryptOnly DeletePermanent DeleteToTrash; do
        rate[$op,$n]=$(column "\"BM_$op/$n/" items_per_second)
    done
    rate[cp,$n]=$(awk -v n="$n" -v s="$(seconds copy_and_sync "$plain" "$work/copied")" 'BEGIN { print n / s }')
    rate[rm,$n]=$(awk -v n="$n" -v s="$(seconds rm -r "$work/copied")" 'BEGIN { print n / s }')
    if [ "$have_gio" = 1 ]; then
        cp -r "$plain" "$work/trashed" && sync -f "$work/trashed"
        rate[gio,$n]=$(awk -v n="$n" -v s="$(seconds gio trash "$work/trashed")" 'BEGIN { print n / s }')
        rm -rf "$XDG_DATA_HOME/Trash"
    fi
    rm -rf "$plain"
done

first=${counts[0]}
last=${counts[${#counts[@]} - 1]}
# one row: its label, its rate key, its peer's key ("" for none)
row() {
    local label=$1 key=$2 peer=$3
    [ -n "${rate[$key,$last]:-}" ] || return 0
    awk -v label="$label" -v r="${rate[$key,$last]}" -v p="${peer:+${rate[$peer,$last]}}" \
        -v a="${rate[$key,$first]}" -v b="${rate[$key,$last]}" \
        'BEGIN { ratio = p != "" ? sprintf("%.2f", p / r) : "-"
                 printf "%-44s %10.0f %8s %10.0f %10.0f %7.2f\n", label, r, ratio, 1e6 / a, 1e6 / b, a / b }'
}
echo "$(uptime)"
printf '%-44s %10s %8s %10s %10s %7s\n' "operation ($last files; cost/peer; us per file at" 'files/s' 'x peer' "$first" "$last" "$last/$first"
row "korimbo take-out (decrypt, copy to a folder)" TakeOut cp
row "  its floor: the engine's decryption alone" DecryptOnly cp
row "  cp -r of the plain files, and sync" cp ""
row "korimbo delete for good" DeletePermanent rm
row "  rm -r of the plain files" rm ""
row "korimbo delete to the trash" DeleteToTrash gio
row "  gio trash of the plain files" gio ""
echo "x peer: how many times the peer's rate is this one's (the time per file against the peer's);"
echo "the last column: the cost per file at $last against $first (1.00 is linear)."
