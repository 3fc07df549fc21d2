#!/usr/bin/env bash
# Runs the CTest suite of a build folder: tools/run-tests.sh BUILD_DIR [ctest arguments...]
#
# Root reads and writes past permission bits, so a suite run as root never sees a refused open. Run as
# root, this script therefore hands the suite to an unprivileged user (TEST_USER, default nobody) with a
# home, a temporary folder and a runtime folder of its own. The build folder stays root's and is only
# read: CTest keeps its log (Testing/) in a folder of that user, whose CTestTestfile.cmake points at the
# build folder, and the log is copied back into the build folder afterwards.
# When that user cannot reach the checkout (a clone below /root, mode 700), the suite runs as root and
# says so. TEST_USER=root, or a run that is not root in the first place, runs the suite as it is.
set -euo pipefail

[ $# -ge 1 ] || { echo "usage: $0 BUILD_DIR [ctest arguments...]" >&2; exit 2; }
build=$(cd "$1" && pwd)
shift
source_dir=$(cd "$(dirname "$0")/.." && pwd)
test_user=${TEST_USER:-nobody}
export QT_QPA_PLATFORM=offscreen

run_here() {
    echo "-- Test suite runs as $(id -un) (uid $(id -u))"
    cd "$build"
    exec ctest --output-on-failure "$@"
}

if [ "$(id -u)" -ne 0 ] || [ "$test_user" = root ]; then
    run_here "$@"
fi

if ! command -v setpriv >/dev/null || ! uid=$(id -u "$test_user" 2>/dev/null) || ! gid=$(id -g "$test_user"); then
    echo "-- WARNING: no setpriv or no user '$test_user' here: the test suite runs as root," \
         "so permission bits are not tested"
    run_here "$@"
fi
as_user=(setpriv "--reuid=$uid" "--regid=$gid" --clear-groups --)

# The user must read the source folder (suppression lists, test data) and the build folder (test
# programs and CTest files).
probe=$(find "$build/tests" -maxdepth 2 -type f -name '*_Test*' -perm -u+x -print -quit 2>/dev/null || true)
if ! "${as_user[@]}" test -r "$source_dir/CMakeLists.txt" -a -r "$build/CTestTestfile.cmake" \
        -a -x "$build/tests" -a -x "${probe:-$build/tests}"; then
    echo "-- WARNING: user '$test_user' cannot reach $source_dir or $build (a parent folder is closed" \
         "to others): the test suite runs as root, so permission bits are not tested"
    run_here "$@"
fi

# A folder of the user's own for CTest's log, the home, the temporary and the runtime folder: below
# TMPDIR, or below /tmp when the user cannot reach TMPDIR.
work=
for base in "${TMPDIR:-/tmp}" /tmp; do
    candidate=$(mktemp -d "$base/korimbo-tests.XXXXXX") || continue
    mkdir -p "$candidate/ctest" "$candidate/home" "$candidate/tmp" "$candidate/runtime"
    printf 'subdirs("%s")\n' "$build" >"$candidate/ctest/CTestTestfile.cmake"
    chown -R "$uid:$gid" "$candidate"
    chmod 700 "$candidate/home" "$candidate/tmp" "$candidate/runtime"
    if "${as_user[@]}" test -w "$candidate/ctest"; then
        work=$candidate
        break
    fi
    rm -rf "$candidate"
done
if [ -z "$work" ]; then
    echo "-- WARNING: user '$test_user' can write in no temporary folder here: the test suite runs as" \
         "root, so permission bits are not tested"
    run_here "$@"
fi
trap 'rm -rf "$work"' EXIT

echo "-- Test suite runs as $test_user (uid $uid), not as root: permission bits apply"
status=0
(
    cd "$work/ctest"
    exec "${as_user[@]}" env -u XDG_CONFIG_HOME -u XDG_DATA_HOME -u XDG_CACHE_HOME -u XDG_STATE_HOME \
        -u DBUS_SESSION_BUS_ADDRESS -u SUDO_USER -u SUDO_UID -u SUDO_GID \
        HOME="$work/home" TMPDIR="$work/tmp" XDG_RUNTIME_DIR="$work/runtime" \
        USER="$test_user" LOGNAME="$test_user" \
        ctest --output-on-failure "$@"
) || status=$?

# Keep CTest's log where a developer looks for it.
if [ -d "$work/ctest/Testing" ]; then
    mkdir -p "$build/Testing"
    cp -R "$work/ctest/Testing/." "$build/Testing/" 2>/dev/null || true
fi

# The tests that mount FAT and exFAT images (label "mounts") skipped above: mounting needs root. They run
# once more as root, within the same selection (several -L options must all match).
if (cd "$build" && ctest -N -L mounts "$@" | grep -q 'Total Tests: [1-9]'); then
    echo "-- Tests that mount file-system images run as root"
    (cd "$build" && ctest --output-on-failure -L mounts "$@") || status=$?
fi
exit "$status"
