#!/usr/bin/env bash
# Peak memory (max RSS) and throughput of korimbo-cli encrypting and decrypting one office-like file of
# 4 GiB (GIB to change it). Opening a file in the workspace is the same decryption into the work area,
# and its write-back the same encryption. The bodies stream through fixed buffers, so the peak must not
# grow with the file.
#
#   bench/peak-memory.sh BUILD/korimbo-cli [GIB]
set -euo pipefail
cli=$(readlink -f "${1:?usage: peak-memory.sh PATH/TO/korimbo-cli [GIB]}")
gib=${2:-4}
bench_bin=${KORIMBO_BENCH_BIN:-"$(dirname "$cli")/bench/korimbo-bench"}
work=$(mktemp -d -p "${TMPDIR:-/var/tmp}")
trap 'rm -rf "$work"' EXIT
export KORIMBO_PASSWORD='Bench#2025pw'

"$bench_bin" --write-data "$work" 64
for _ in $(seq $((gib * 16))); do cat "$work/office.dat"; done > "$work/big.dat"
rm -f "$work/office.dat" "$work/random.dat"
size_mb=$(( $(stat -c %s "$work/big.dat") / 1000000 ))

run() { # label command...
    /usr/bin/time -f '%e %M' -o "$work/t" "${@:2}" >/dev/null
    read -r secs kb < "$work/t"
    awk -v l="$1" -v s="$secs" -v k="$kb" -v m="$size_mb" \
        'BEGIN { printf "%-10s %8.1f s %8.1f MB/s %8.1f MiB peak\n", l, s, m / s, k / 1024 }'
}
echo "load before: $(uptime)"
run encrypt "$cli" encrypt "$work/big.dat" "$work/big.zorf"
run decrypt "$cli" decrypt "$work/big.zorf" "$work/big.out"
cmp "$work/big.dat" "$work/big.out" && echo "round trip of $size_mb MB: identical"
echo "load after: $(uptime)"
