#!/bin/sh
# Starts the program named like this script (korimbo-portable.sh: korimbo-portable, korimbo-cli.sh:
# korimbo-cli) from the folder that holds both. A FAT or exFAT stick is often mounted without execute
# rights, so the program is started through the host's dynamic loader, the one the program names, and
# told its folder: it keeps its state there.
#
#   sh /media/USER/STICK/korimbo-portable/korimbo-portable.sh
#
# POSIX sh only: the host's shell may be dash or busybox.

here=$(CDPATH='' cd -- "$(dirname -- "$0")" && pwd -P) || exit 1
program=$(basename -- "$0" .sh)
binary=$here/$program

if [ ! -f "$binary" ]; then
    echo "$program.sh: プログラム本体 $binary が見つかりません。" >&2
    exit 1
fi

# The interpreter path stored in the program (PT_INTERP), e.g. /lib64/ld-linux-x86-64.so.2: it lies in
# the first page of the file as a path among the headers' bytes.
named_loader() {
    dd if="$1" bs=4096 count=1 2>/dev/null | tr -c '[:print:]' '[\n*]' |
        grep '^/[^ ]*/ld-[^/ ]*\.so\.[0-9][0-9]*$' | head -n 1
}

KORIMBO_PROGRAM_FOLDER=$here
export KORIMBO_PROGRAM_FOLDER

# The bundled GIO starts a program for a file through gio-launch-desktop, looked for where Debian keeps
# it and then on PATH: a machine of another layout, or without GLib, has none there and every start
# fails. The machine's own is taken where it is; else env, which runs its arguments just as well.
if [ -z "${GIO_LAUNCH_DESKTOP:-}" ]; then
    for helper in /usr/lib/x86_64-linux-gnu/glib-2.0/gio-launch-desktop \
        /usr/lib/aarch64-linux-gnu/glib-2.0/gio-launch-desktop /usr/libexec/gio-launch-desktop \
        /usr/lib64/glib-2.0/gio-launch-desktop /usr/lib/glib-2.0/gio-launch-desktop /usr/bin/env /bin/env; do
        if [ -f "$helper" ] && [ -x "$helper" ]; then
            GIO_LAUNCH_DESKTOP=$helper
            export GIO_LAUNCH_DESKTOP
            break
        fi
    done
fi

# The bundle's fontconfig file takes the machine's and adds a Japanese font (see make-portable.sh).
if [ -z "${FONTCONFIG_FILE:-}" ] && [ -f "$here/fonts/fonts.conf" ]; then
    FONTCONFIG_FILE=$here/fonts/fonts.conf
    export FONTCONFIG_FILE
fi

for loader in "$(named_loader "$binary")" \
    /lib64/ld-linux-x86-64.so.2 /lib/x86_64-linux-gnu/ld-linux-x86-64.so.2 \
    /lib/ld-linux-aarch64.so.1 /lib/aarch64-linux-gnu/ld-linux-aarch64.so.1; do
    if [ -n "$loader" ] && [ -f "$loader" ] && [ -x "$loader" ]; then
        exec "$loader" "$binary" "$@"
    fi
done

# No loader known here: the program itself, where the stick lets it run.
if [ -x "$binary" ]; then
    exec "$binary" "$@"
fi
echo "$program.sh: $binary を起動するための動的ローダーがこのシステムに見つかりません。" >&2
exit 1
