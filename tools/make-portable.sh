#!/usr/bin/env bash
# Makes the self-contained folder DIST/korimbo-portable/ and DIST/korimbo-portable.tar.gz from a build:
#   korimbo-portable, korimbo-cli      the program and the CLI, RPATH $ORIGIN/lib
#   korimbo-portable.sh, korimbo-cli.sh  launchers for a stick mounted without execute rights (sh FILE)
#   korimbo-portable.desktop           the same launcher for desktops that start .desktop files from a stick
#   lib/                               every shared library they need except those left to the host (below)
#   plugins/                           the Qt plugins: xcb and wayland platforms and what they load
#   translations/                      Qt's own Japanese texts (qtbase_ja.qm: the file dialog, standard buttons)
#   fonts/                             a Japanese font and a fontconfig file that adds it to the machine's
#                                      fonts (a machine without a Japanese font, or without fontconfig's
#                                      files at all, would show every text as boxes)
#   qt.conf                            points Qt at plugins/ instead of the build machine's Qt
#   ZORp/help/                         the user guide (the program's state appears in ZORp/ when it runs)
#
# Left to the host, because they are the machine's own graphics stack and must be one copy per process
# (the GL driver loads them too): glibc, the GL dispatch libraries (libglvnd), the X client core (libX11,
# libxcb and its protocol extensions, libXau, libXdmcp, libXext) and the Wayland client core
# (libwayland-client, -cursor, -egl). Everything these need in turn is the host's as well.
#
#   make-portable.sh BUILD_DIR SOURCE_DIR DIST_DIR
set -euo pipefail

build=${1:?build folder}
source=${2:?source folder}
dist=${3:?dist folder}
out=$dist/korimbo-portable

# Host libraries, by soname.
kHost='^(ld-linux.*|libc|libm|libdl|libpthread|librt|libresolv|libutil|libanl|libGL|libEGL|libGLX|libOpenGL|libGLdispatch|libGLESv[12].*|libX11|libX11-xcb|libXext|libXau|libXdmcp|libxcb|libxcb-(composite|damage|dpms|dri2|dri3|glx|present|randr|record|render|res|screensaver|shape|shm|sync|xf86dri|xfixes|xinerama|xinput|xkb|xtest|xv|xvmc)|libwayland-(client|cursor|egl))\.so(\.[0-9]+)*$'

plugins=$(qtpaths6 --query QT_INSTALL_PLUGINS 2>/dev/null || echo /usr/lib/x86_64-linux-gnu/qt6/plugins)
translations=$(qtpaths6 --query QT_INSTALL_TRANSLATIONS 2>/dev/null || echo /usr/share/qt6/translations)
kFont=/usr/share/fonts/opentype/noto/NotoSansCJK-Regular.ttc
kFontLicence=/usr/share/doc/fonts-noto-cjk/copyright
kPlugins=(
    platforms/libqxcb.so
    platforms/libqwayland-generic.so
    platforms/libqwayland-egl.so
    xcbglintegrations/libqxcb-glx-integration.so
    xcbglintegrations/libqxcb-egl-integration.so
    wayland-shell-integration/libxdg-shell.so
    wayland-decoration-client/libbradient.so
    wayland-graphics-integration-client/libqt-plugin-wayland-egl.so
    imageformats/libqsvg.so
    imageformats/libqico.so
    imageformats/libqgif.so
    imageformats/libqjpeg.so
    iconengines/libqsvgicon.so
    platforminputcontexts/libcomposeplatforminputcontextplugin.so
    platforminputcontexts/libibusplatforminputcontextplugin.so
    platformthemes/libqxdgdesktopportal.so
)

for program in "$build/portable/korimbo-portable" "$build/korimbo-cli"; do
    [ -x "$program" ] || { echo "make-portable: $program is missing; build first" >&2; exit 1; }
done

rm -rf "$out" "$dist/korimbo-portable.tar.gz"
mkdir -p "$out/lib" "$out/plugins" "$out/translations" "$out/fonts" "$out/ZORp/help"
cp "$build/portable/korimbo-portable" "$build/korimbo-cli" "$out/"
cp "$source"/res/help/* "$out/ZORp/help/"
for launcher in korimbo-portable.sh korimbo-cli.sh; do cp "$source/res/portable/launcher.sh" "$out/$launcher"; done
cp "$source/res/portable/korimbo-portable.desktop" "$out/"
chmod 0755 "$out"/*.sh
for plugin in "${kPlugins[@]}"; do
    [ -f "$plugins/$plugin" ] || { echo "make-portable: Qt plugin $plugin is missing" >&2; exit 1; }
    mkdir -p "$out/plugins/$(dirname "$plugin")"
    cp "$plugins/$plugin" "$out/plugins/$plugin"
done

[ -f "$translations/qtbase_ja.qm" ] || { echo "make-portable: $translations/qtbase_ja.qm is missing" >&2; exit 1; }
cp "$translations/qtbase_ja.qm" "$out/translations/"

# The launchers point fontconfig here: the machine's own configuration first, when it has one, then the
# bundled font, so the Japanese texts can be read wherever the stick goes.
for file in "$kFont" "$kFontLicence"; do
    [ -f "$file" ] || { echo "make-portable: $file is missing (fonts-noto-cjk)" >&2; exit 1; }
done
cp "$kFont" "$out/fonts/"
cp "$kFontLicence" "$out/fonts/NotoSansCJK-copyright.txt"
cat > "$out/fonts/fonts.conf" <<'EOF'
<?xml version="1.0"?>
<!DOCTYPE fontconfig SYSTEM "urn:fontconfig:fonts.dtd">
<fontconfig>
  <include ignore_missing="yes">/etc/fonts/fonts.conf</include>
  <dir prefix="relative">.</dir>
  <dir>/usr/share/fonts</dir>
  <dir prefix="xdg">fonts</dir>
  <cachedir prefix="xdg">fontconfig</cachedir>
</fontconfig>
EOF

# Walk the NEEDED entries from the programs and plugins, descending only into bundled libraries: what a
# host library needs is the host's business. ldd tells where the build machine finds each name.
declare -A seen=() host=()
queue=("$out/korimbo-portable" "$out/korimbo-cli")
while IFS= read -r -d '' plugin; do queue+=("$plugin"); done < <(find "$out/plugins" -name '*.so' -print0)
while [ ${#queue[@]} -gt 0 ]; do
    elf=${queue[0]}
    queue=("${queue[@]:1}")
    declare -A where=()
    while read -r name _ path _; do
        [ -n "${path:-}" ] && where[$name]=$path
    done < <(ldd "$elf" | awk '$2 == "=>" { print $1, $2, $3 }')
    for needed in $(objdump -p "$elf" | awk '$1 == "NEEDED" { print $2 }'); do
        if [[ $needed =~ $kHost ]]; then
            host[$needed]=1
            continue
        fi
        [ -n "${seen[$needed]:-}" ] && continue
        path=${where[$needed]:-}
        [ -n "$path" ] && [ -f "$path" ] || { echo "make-portable: $elf needs $needed, not found" >&2; exit 1; }
        seen[$needed]=1
        cp -L "$path" "$out/lib/$needed"
        queue+=("$out/lib/$needed")
    done
    unset where
done

# Debug information stays in the build; the RPATH (not RUNPATH, so LD_LIBRARY_PATH cannot pull in another
# copy) points every file at lib/.
chmod u+w "$out"/lib/* "$out"/korimbo-* 
strip --strip-unneeded "$out/korimbo-portable" "$out/korimbo-cli" "$out"/lib/* $(find "$out/plugins" -name "*.so")
patchelf --force-rpath --set-rpath '$ORIGIN/lib' "$out/korimbo-portable" "$out/korimbo-cli"
for lib in "$out"/lib/*; do patchelf --force-rpath --set-rpath '$ORIGIN' "$lib"; done
while IFS= read -r -d '' plugin; do
    patchelf --force-rpath --set-rpath '$ORIGIN/../../lib' "$plugin"
done < <(find "$out/plugins" -name '*.so' -print0)

# Relative to the folder of qt.conf: Qt looks for plugins here only, never in the build machine's Qt.
cat > "$out/qt.conf" <<'EOF'
[Paths]
Prefix = .
Libraries = lib
Plugins = plugins
Translations = translations
EOF

glibc=$(find "$out" -type f \( -name 'korimbo-*' ! -name '*.sh' ! -name '*.desktop' -o -name '*.so*' \) \
    -exec objdump -T {} + 2>/dev/null |
    grep -o 'GLIBC_[0-9.]*' | sort -u -V | tail -1)
printf "%s\n" "${!host[@]}" | sort > "$out/HOST-LIBRARIES.txt"
tar -C "$dist" -czf "$dist/korimbo-portable.tar.gz" korimbo-portable

echo "Bundle:    $out ($(du -sh "$out" | cut -f1), $(ls "$out/lib" | grep -c '\.so') libraries)"
echo "Archive:   $dist/korimbo-portable.tar.gz ($(du -h "$dist/korimbo-portable.tar.gz" | cut -f1))"
echo "Needs:     $glibc or newer"
echo "From host: $(tr '\n' ' ' < "$out/HOST-LIBRARIES.txt")"
