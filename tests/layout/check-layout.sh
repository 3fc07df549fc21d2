#!/usr/bin/env bash
# The layout check (ctest -L layout): each folder of src/ includes and links only the folders it may
# reach, only ui/ reaches Qt Widgets, and the real platform implementations are named only where the
# services are put together (kWiringFiles). Prints every offending file and line, and fails on any.
#
#   check-layout.sh SRC_DIR [QTWIDGETS_INCLUDE_DIR]   check a source tree
#   check-layout.sh --self-test [QTWIDGETS_INCLUDE_DIR]   prove that the check finds planted faults
#
# The floors: util <- crypto <- state <- folder <- workspace <- app <- ui. folder and workspace share a
# floor; workspace may use folder (write-back encrypts over a container and refreshes a name file), never
# the other way round. platform stands beside the floors: it uses util alone, and is used from state up,
# through its interfaces. cli is a floor of its own on util, crypto, state and platform.
set -uo pipefail

declare -A kAllowed=(
    [util]="util"
    [crypto]="util crypto"
    [platform]="util platform"
    [state]="util crypto platform state"
    [folder]="util crypto platform state folder"
    [workspace]="util crypto platform state folder workspace"
    [app]="util crypto platform state folder workspace app"
    [ui]="util crypto platform state folder workspace app ui"
    [cli]="util crypto platform state cli"
)
# The folder that alone may use Qt Widgets.
kWidgetsFolder=ui
# Platform services are reached through their interfaces: the real implementations (classes of
# src/platform declared `final : public <Interface>`) are named only where the program or the CLI puts
# its services together.
kWiringFiles="ui/main.cpp cli/main.cpp"

Allows() { # Allows FOLDER TARGET_FOLDER
    [[ " ${kAllowed[$1]} " == *" $2 "* ]]
}

IsWidgetsHeader() { # IsWidgetsHeader HEADER
    local header=$1
    [[ $header == QtWidgets || $header == QtWidgets/* ]] && return 0
    [[ -n $widgetsDir && $header != */* && -f $widgetsDir/$header ]]
}

# CheckTree SRC_DIR: prints the violations; returns 1 when there is any.
CheckTree() {
    local src=$1 failed=0 dir folder file line text header first token
    for dir in "$src"/*/; do
        dir=${dir%/}
        folder=$(basename "$dir")
        if [[ -z ${kAllowed[$folder]+set} ]]; then
            echo "$dir: folder '$folder' has no place in the layout rule (tests/layout/check-layout.sh)"
            failed=1
            continue
        fi

        # Includes: "folder/File.h" or <folder/File.h> of a project folder, and Qt Widgets headers.
        while IFS= read -r hit; do
            file=${hit%%:*}
            hit=${hit#*:}
            line=${hit%%:*}
            text=${hit#*:}
            [[ $text =~ include[[:space:]]*[\<\"]([^\>\"]+) ]] || continue
            header=${BASH_REMATCH[1]}
            first=${header%%/*}
            if [[ $header == */* && -n ${kAllowed[$first]+set} ]] && ! Allows "$folder" "$first"; then
                echo "$file:$line: $folder/ may not include $first/ ($header); $folder/ may include: ${kAllowed[$folder]}"
                failed=1
            fi
            if [[ $folder != "$kWidgetsFolder" ]] && IsWidgetsHeader "$header"; then
                echo "$file:$line: $folder/ may not include the Qt Widgets header <$header>; only $kWidgetsFolder/ uses Qt Widgets"
                failed=1
            fi
        done < <(find "$dir" -type f \( -name '*.h' -o -name '*.hpp' -o -name '*.cpp' -o -name '*.inl' \) -print0 |
                 sort -z | xargs -0 -r grep -nHE '^[[:space:]]*#[[:space:]]*include[[:space:]]*[<"][^>"]+[>"]')

        # Links: the folder libraries named in the folder's CMakeLists.txt, and Qt Widgets.
        file=$dir/CMakeLists.txt
        [[ -f $file ]] || continue
        while IFS= read -r hit; do
            line=${hit%%:*}
            text=${hit#*:}
            text=${text%%#*}
            for token in $(grep -oE 'korimbo_[a-z]+' <<<"$text"); do
                first=${token#korimbo_}
                if [[ -n ${kAllowed[$first]+set} ]] && ! Allows "$folder" "$first"; then
                    echo "$file:$line: $folder/ may not link $token; $folder/ may use: ${kAllowed[$folder]}"
                    failed=1
                fi
            done
            if [[ $folder != "$kWidgetsFolder" ]] && grep -qE '(^|[^A-Za-z])Widgets([^A-Za-z]|$)' <<<"$text"; then
                echo "$file:$line: $folder/ may not use Qt Widgets; only $kWidgetsFolder/ links it"
                failed=1
            fi
        done < <(grep -nE 'korimbo_[a-z]+|Widgets' "$file")
    done

    # Platform implementations outside platform/ and the wiring files.
    local implementations pattern relative
    implementations=$(cat "$src"/platform/*.h 2>/dev/null |
                      sed -nE 's/^[[:space:]]*class[[:space:]]+([A-Za-z0-9_]+)[[:space:]]+final[[:space:]]*:[[:space:]]*public.*/\1/p' |
                      sort -u | paste -sd'|' -)
    if [[ -n $implementations ]]; then
        pattern="(^|[^A-Za-z0-9_])($implementations)([^A-Za-z0-9_]|$)"
        while IFS= read -r hit; do
            file=${hit%%:*}
            hit=${hit#*:}
            line=${hit%%:*}
            relative=${file#"$src"/}
            [[ $relative == platform/* || " $kWiringFiles " == *" $relative "* ]] && continue
            token=$(grep -oE "$pattern" <<<"${hit#*:}" | head -1 | tr -cd 'A-Za-z0-9_')
            echo "$file:$line: names the platform implementation $token; reach it through its interface (only $kWiringFiles make the real services)"
            failed=1
        done < <(find "$src" -type f \( -name '*.h' -o -name '*.hpp' -o -name '*.cpp' -o -name '*.inl' \) -print0 |
                 sort -z | xargs -0 -r grep -nHE "$pattern")
    fi
    return $failed
}

# A small tree with one fault of each kind: every one must be reported with its file and line.
SelfTest() {
    local tree out status
    tree=$(mktemp -d "${TMPDIR:-/tmp}/layout-selftest.XXXXXX")
    trap 'rm -rf "$tree"' RETURN
    mkdir -p "$tree/util" "$tree/crypto" "$tree/ui"
    printf '#include "util/Good.h"\n' >"$tree/util/Good.h"
    printf '#include "crypto/Engine.h"\n\n#include "util/Good.h"\n  #  include <state/Registry.h>\n' >"$tree/crypto/Engine.cpp"
    printf '#include "util/Good.h"\n#include <QtWidgets/QDialog>\n#include <QString>\n#include <QPushButton>\n' >"$tree/crypto/Engine.h"
    printf 'add_library(korimbo_crypto STATIC Engine.cpp)\ntarget_link_libraries(korimbo_crypto PUBLIC korimbo_util korimbo_app Qt6::Widgets)\n' >"$tree/crypto/CMakeLists.txt"
    printf '#include "app/App.h"\n#include <QDialog>\n#include <QtWidgets/QWidget>\n' >"$tree/ui/Frame.cpp"
    mkdir -p "$tree/platform" "$tree/app"
    printf 'class Volumes {};\nclass LocalVolumes final : public Volumes {};\n' >"$tree/platform/Volumes.h"
    printf '#include "platform/Volumes.h"\nLocalVolumes volumes;\n' >"$tree/ui/main.cpp"
    printf '#include "platform/Volumes.h"\nVolumes& Pick();\n\nstatic LocalVolumes s_volumes;\n' >"$tree/app/App.cpp"
    out=$(CheckTree "$tree")
    status=$?
    echo "$out"
    local expected=(
        "$tree/crypto/Engine.cpp:4: crypto/ may not include state/"
        "$tree/crypto/Engine.h:2: crypto/ may not include the Qt Widgets header <QtWidgets/QDialog>"
        "$tree/crypto/CMakeLists.txt:2: crypto/ may not link korimbo_app"
        "$tree/crypto/CMakeLists.txt:2: crypto/ may not use Qt Widgets"
        "$tree/app/App.cpp:4: names the platform implementation LocalVolumes"
    )
    # A bare class header is known as a Widgets one from Qt's include folder.
    [[ -n $widgetsDir ]] && expected+=("$tree/crypto/Engine.h:4: crypto/ may not include the Qt Widgets header <QPushButton>")
    local want ok=1
    [[ $status -ne 0 ]] || { echo "self-test: the planted faults were not refused"; ok=0; }
    for want in "${expected[@]}"; do
        grep -qF "$want" <<<"$out" || { echo "self-test: not reported: $want"; ok=0; }
    done
    # Allowed includes and ui's widgets must not be reported.
    if grep -qE '/(util/Good.h|ui/Frame.cpp|ui/main.cpp|platform/Volumes.h):|korimbo_util|QString' <<<"$out"; then
        echo "self-test: an allowed include or link was reported"
        ok=0
    fi
    [[ $(grep -c . <<<"$out") -eq ${#expected[@]} ]] || { echo "self-test: expected ${#expected[@]} reports"; ok=0; }
    [[ $ok -eq 1 ]] && echo "self-test: every planted fault was reported"
    [[ $ok -eq 1 ]]
}

if [[ ${1:-} == --self-test ]]; then
    widgetsDir=${2:-}
    SelfTest
    exit $?
fi
[[ $# -ge 1 && -d $1 ]] || { echo "usage: $0 SRC_DIR [QTWIDGETS_INCLUDE_DIR] | --self-test [QTWIDGETS_INCLUDE_DIR]" >&2; exit 2; }
widgetsDir=${2:-}
[[ -n $widgetsDir && ! -d $widgetsDir ]] && { echo "no Qt Widgets include folder at $widgetsDir" >&2; exit 2; }
if CheckTree "$1"; then
    echo "layout: every include and link of $1 follows the rule"
else
    echo "layout: the folders above break the layout rule (see docs/ARCHITECTURE.md)"
    exit 1
fi
