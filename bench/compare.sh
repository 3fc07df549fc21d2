#!/usr/bin/env bash
# Times korimbo-cli encrypt and decrypt against gpg, gzip|openssl and the two-core limit
# pigz -6 -p2|openssl on the same files, in one run, and prints throughput, the ratios to gpg and the
# peak memory (max RSS) of each. The container's own zlib stream is also expanded by plain zlib
# (korimbo-bench --inflate) and by the fast inflate decryption uses (--inflate-fast); the limit of a
# decryption is that fast inflate plus the AES of the body (openssl enc -d of the same bytes), and
# python's zlib checks the stream where python3 is present. The load average before and after is
# printed, since a busy machine skews every figure.
#
#   bench/compare.sh BUILD/korimbo-cli [RUNS [MIB]]     (MIB: size of each data file, 256 unless given)
set -euo pipefail
cli=$(readlink -f "${1:?usage: compare.sh PATH/TO/korimbo-cli [RUNS]}")
runs=${2:-3}
data_mib=${3:-256}
bench_bin=${KORIMBO_BENCH_BIN:-"$(dirname "$cli")/bench/korimbo-bench"}
for tool in gpg openssl gzip pigz /usr/bin/time; do
    command -v "$tool" >/dev/null || { echo "missing: $tool (make bench-deps installs it)" >&2; exit 1; }
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$bench_bin" --write-data "$work" "$data_mib"
printf 'Bench#2025pw\n' > "$work/pw"
export GNUPGHOME="$work/gnupg"
mkdir -m 700 "$GNUPGHOME"
export KORIMBO_PASSWORD='Bench#2025pw'
size_mb=$(( $(stat -c %s "$work/office.dat") / 1000000 ))

# best of $runs: prints "seconds maxrss_kb". The time is taken to the microsecond around the run
# (time's own %e has centiseconds only, too coarse for runs of a fifth of a second).
measure() {
    local best="" mem=0 start end secs kb
    for _ in $(seq "$runs"); do
        start=$(date +%s%N)
        /usr/bin/time -f '%M' -o "$work/t" "$@" >/dev/null 2>"$work/err" || { cat "$work/err" >&2; return 1; }
        end=$(date +%s%N)
        secs=$(awk -v a="$start" -v b="$end" 'BEGIN{printf "%.6f", (b-a)/1e9}')
        read -r kb < "$work/t"
        if [ -z "$best" ] || awk -v a="$secs" -v b="$best" 'BEGIN{exit !(a<b)}'; then best=$secs; fi
        [ "$kb" -gt "$mem" ] && mem=$kb
    done
    echo "$best $mem"
}

echo "load before: $(uptime)"
gpg_opts=(--batch --yes --quiet --pinentry-mode loopback --passphrase-file "$work/pw")
printf '%-14s %-16s %10s %10s %8s %10s\n' data tool 'enc MB/s' 'dec MB/s' 'enc/gpg' 'peak MiB'
for data in office random; do
    src="$work/$data.dat"
    read -r k_enc k_enc_mem < <(measure "$cli" encrypt "$src" "$work/$data.zorf")
    read -r k_dec k_dec_mem < <(measure "$cli" decrypt "$work/$data.zorf" "$work/$data.k.out")
    cmp -s "$src" "$work/$data.k.out" || { echo "korimbo round trip differs on $data" >&2; exit 1; }
    "$bench_bin" --body-stream "$work/$data.zorf" "$work/$data.z"
    if command -v python3 >/dev/null; then
        python3 -c 'import sys, zlib; sys.exit(zlib.decompress(open(sys.argv[1], "rb").read()) != open(sys.argv[2], "rb").read())' \
            "$work/$data.z" "$src" || { echo "python zlib does not read the $data stream" >&2; exit 1; }
    fi
    read -r z_dec z_dec_mem < <(measure "$bench_bin" --inflate "$work/$data.z" "$work/$data.z.out")
    cmp -s "$src" "$work/$data.z.out" || { echo "plain inflate of the $data stream differs" >&2; exit 1; }
    read -r f_dec f_dec_mem < <(measure "$bench_bin" --inflate-fast "$work/$data.z" "$work/$data.f.out")
    cmp -s "$src" "$work/$data.f.out" || { echo "fast inflate of the $data stream differs" >&2; exit 1; }
    read -r g_enc g_enc_mem < <(measure gpg "${gpg_opts[@]}" --symmetric --cipher-algo AES256 --compress-algo zlib \
        --compress-level 6 -o "$work/$data.gpg" "$src")
    read -r g_dec g_dec_mem < <(measure gpg "${gpg_opts[@]}" -o "$work/$data.g.out" -d "$work/$data.gpg")
    read -r o_enc o_enc_mem < <(measure sh -c "gzip -6 -c '$src' | openssl enc -aes-256-cbc -pbkdf2 \
        -pass file:'$work/pw' -out '$work/$data.gz.enc'")
    read -r o_dec o_dec_mem < <(measure sh -c "openssl enc -d -aes-256-cbc -pbkdf2 -pass file:'$work/pw' \
        -in '$work/$data.gz.enc' | gzip -dc > '$work/$data.o.out'")
    read -r p_enc p_enc_mem < <(measure sh -c "pigz -6 -p2 -c '$src' | openssl enc -aes-256-cbc -pbkdf2 \
        -pass file:'$work/pw' -out '$work/$data.pz.enc'")
    # the AES of a body as large as the container's, on its own
    read -r a_dec a_dec_mem < <(measure openssl enc -d -aes-256-cbc -nopad -K "$(printf '%064d' 0)" \
        -iv "$(printf '%032d' 0)" -in "$work/$data.zorf" -out /dev/null)
    label=$([ "$data" = office ] && echo office-like || echo incompressible)
    row() { # tool enc dec encmem decmem
        awk -v l="$label" -v t="$1" -v e="$2" -v d="$3" -v m1="$4" -v m2="$5" -v s="$size_mb" -v ge="$g_enc" \
            'BEGIN{m=(m1>m2?m1:m2)/1024; printf "%-14s %-16s %10s %10s %8s %10.1f\n", l, t,
                   e=="-"?"-":sprintf("%.1f",s/e), d=="-"?"-":sprintf("%.1f",s/d), e=="-"?"-":sprintf("%.2f",ge/e), m}'
    }
    row korimbo "$k_enc" "$k_dec" "$k_enc_mem" "$k_dec_mem"
    row gpg "$g_enc" "$g_dec" "$g_enc_mem" "$g_dec_mem"
    row gzip+openssl "$o_enc" "$o_dec" "$o_enc_mem" "$o_dec_mem"
    row pigz-p2+openssl "$p_enc" - "$p_enc_mem" 0
    row zlib-inflate - "$z_dec" 0 "$z_dec_mem"
    row fast-inflate - "$f_dec" 0 "$f_dec_mem"
    limit=$(awk -v f="$f_dec" -v a="$a_dec" 'BEGIN{printf "%.6f", f + a}')
    row inflate+aes - "$limit" 0 "$f_dec_mem"
    awk -v ke="$k_enc" -v kd="$k_dec" -v ge="$g_enc" -v gd="$g_dec" -v pe="$p_enc" -v zd="$z_dec" -v li="$limit" -v l="$label" \
        'BEGIN{printf "%-14s korimbo/gpg: encrypt %.2fx, decrypt %.2fx; encrypt at %.0f%% of pigz -p2|openssl; decrypt at %.0f%% of zlib inflate, %.0f%% of fast inflate + AES\n", l, ge/ke, gd/kd, 100*pe/ke, 100*zd/kd, 100*li/kd}'
done
echo "load after: $(uptime)"
