#!/usr/bin/env bash
# Files and MB per second of encrypt-in (copy mode) on small office-like files, beside one big file taken in
# the same way, cp -r of the same files, and gpg --symmetric on them.
# gpg runs one process per file, with the cheapest key derivation it allows (--s2k-mode 3 --s2k-count
# 1024): a login makes the folder's key once, so a per-file key derivation would not be a fair match.
# GnuPG 2.2 has no multi-file mode for --symmetric (--multifile covers --encrypt, --decrypt, --verify).
#
#   bench/compare-encrypt-in.sh BUILD/bench/korimbo-bench-encrypt-in [FILES [GPG_FILES]]
# GPG_FILES (default: all) times gpg on the first files of the corpus only, since a process a file is slow;
# the rate is per file either way.
set -euo pipefail
bench=$(readlink -f "${1:?usage: compare-encrypt-in.sh PATH/TO/korimbo-bench-encrypt-in [FILES]}")
export KORIMBO_BENCH_FILES=${2:-5000}
gpg_files=${3:-$KORIMBO_BENCH_FILES}
command -v gpg >/dev/null || { echo "missing: gpg (make bench-deps installs it)" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/corpus" "$work/gpg"
"$bench" --write-corpus "$work/corpus"
printf 'Bench#2025pw\n' > "$work/pw"
export GNUPGHOME="$work/gnupg"
mkdir -m 700 "$GNUPGHOME"

"$bench" --benchmark_format=csv > "$work/korimbo.csv" 2>/dev/null
# a column of a benchmark's row
column() {
    awk -F, -v row="$1" -v col="$2" '/^name,/ { for (i = 1; i <= NF; ++i) if ($i == col) c = i }
                                     $0 ~ row { print $c }' "$work/korimbo.csv"
}
korimbo=$(column BM_EncryptInCopy items_per_second)
small_mb=$(column BM_EncryptInCopy bytes_per_second | awk '{ printf "%.1f", $1 / 1e6 }')
big_mb=$(column BM_EncryptInOneBigFile bytes_per_second | awk '{ printf "%.1f", $1 / 1e6 }')
corpus_mb=$(du -sb "$work/corpus" | awk '{ print $1 / 1e6 }')

# cp -r of the same files, written out to the disk as the containers are
start=$(date +%s.%N)
cp -r "$work/corpus" "$work/copied" && sync -f "$work/copied"
end=$(date +%s.%N)
cp_mb=$(awk -v b="$corpus_mb" -v s="$start" -v e="$end" 'BEGIN { printf "%.1f", b / (e - s) }')
cp_rate=$(awk -v n="$KORIMBO_BENCH_FILES" -v s="$start" -v e="$end" 'BEGIN { printf "%.1f", n / (e - s) }')

start=$(date +%s.%N)
for f in $(ls "$work"/corpus/* | head -n "$gpg_files"); do
    gpg --batch --yes --quiet --pinentry-mode loopback --passphrase-file "$work/pw" --symmetric \
        --s2k-mode 3 --s2k-count 1024 --cipher-algo AES256 --compress-algo zlib \
        -o "$work/gpg/$(basename "$f").gpg" "$f"
done
end=$(date +%s.%N)
gpgconf --kill gpg-agent 2>/dev/null || true
gpg_rate=$(awk -v n="$gpg_files" -v s="$start" -v e="$end" 'BEGIN { printf "%.1f", n / (e - s) }')

printf '%-40s %10s %10s\n' tool 'files/s' 'MB/s'
printf '%-40s %10.1f %10s\n' "korimbo encrypt-in (copy), small files" "$korimbo" "$small_mb"
printf '%-40s %10s %10s\n' "korimbo encrypt-in, one 64 MiB file" - "$big_mb"
printf '%-40s %10s %10s\n' "cp -r of the same files (and sync)" "$cp_rate" "$cp_mb"
printf '%-40s %10s %10s   (%s of the files)\n' "gpg --symmetric, a process a file" "$gpg_rate" - "$gpg_files"
awk -v k="$korimbo" -v g="$gpg_rate" -v s="$small_mb" -v b="$big_mb" \
    'BEGIN { printf "small files at %.0f%% of one big file rate; korimbo/gpg: %.2fx\n", 100 * s / b, k / g }'
