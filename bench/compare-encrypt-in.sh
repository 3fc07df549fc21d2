#!/usr/bin/env bash
# Files per second of encrypt-in (copy mode) beside gpg --symmetric on the same small office-like files.
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
# the items_per_second column of the benchmark's row
korimbo=$(awk -F, '/^name,/ { for (i = 1; i <= NF; ++i) if ($i == "items_per_second") c = i }
                   /BM_EncryptInCopy/ { print $c }' "$work/korimbo.csv")

start=$(date +%s.%N)
for f in $(ls "$work"/corpus/* | head -n "$gpg_files"); do
    gpg --batch --yes --quiet --pinentry-mode loopback --passphrase-file "$work/pw" --symmetric \
        --s2k-mode 3 --s2k-count 1024 --cipher-algo AES256 --compress-algo zlib \
        -o "$work/gpg/$(basename "$f").gpg" "$f"
done
end=$(date +%s.%N)
gpgconf --kill gpg-agent 2>/dev/null || true
gpg_rate=$(awk -v n="$gpg_files" -v s="$start" -v e="$end" 'BEGIN { printf "%.1f", n / (e - s) }')

printf '%-34s %12s\n' tool 'files/s'
printf '%-34s %12.1f\n' "korimbo encrypt-in (copy)" "$korimbo"
printf '%-34s %12s   (%s of the files)\n' "gpg --symmetric, a process a file" "$gpg_rate" "$gpg_files"
awk -v k="$korimbo" -v g="$gpg_rate" 'BEGIN { printf "korimbo/gpg: %.2fx\n", k / g }'
