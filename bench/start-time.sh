#!/usr/bin/env bash
# Start and exit time of korimbo-portable with one registered folder, on an X display (Xvfb):
#   start = from launching the program (a session bus is started for it first) until its main window is
#           exposed and its first frame painted; also from the exec of the program itself
#           (the program prints both with KORIMBO_START_TRACE=1), with the processor time the program
#           had used by then (steadier than the wall clock on a shared machine); cross-checked by polling
#           X for the visible main window with xdotool (an upper bound: each poll is a process);
#   exit  = from the close request (Alt+F4 through the window manager) until the process has ended.
# The first run registers the default encrypted folder (the first-start dialogs, typed with xdotool) and
# is not counted. The program runs as `nobody` from a private copy, with a private HOME and a session
# bus of its own, as a user would start it.
#
#   bench/start-time.sh BUILD/portable/korimbo-portable [RUNS]     (DISPLAY must name a running X server,
#   e.g. /work/shared/tools/xsession start 95 && DISPLAY=:95 bench/start-time.sh build/portable/korimbo-portable)
# KORIMBO_START_STEPS=1 also prints every traced step of each run (main, application, init-instance,
# created, shown, exposed, painted), in ms after the launch.
set -euo pipefail
program=$(readlink -f "${1:?usage: start-time.sh PATH/TO/korimbo-portable [RUNS]}")
runs=${2:-10}
: "${DISPLAY:?DISPLAY must name a running X server}"
command -v xdotool >/dev/null || { echo "missing: xdotool" >&2; exit 1; }
password='Tiger#Lily42x'
title='^Korimbo-portable$'

work=$(mktemp -d /tmp/korimbo-start.XXXXXX)
app_pid=""
cleanup() {
    [ -n "$app_pid" ] && kill "$app_pid" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
mkdir -p "$work/app" "$work/home" "$work/run"
cp "$program" "$work/app/korimbo-portable"
chmod 700 "$work/run"
chown -R nobody:nogroup "$work"
chmod 755 "$work"

now_ns() { date +%s%N; }

# Starts the program in the background; its pid (of dbus-run-session) lands in app_pid.
launch() {
    (cd "$work/app" && exec setpriv --reuid=nobody --regid=nogroup --clear-groups env HOME="$work/home" \
        XDG_RUNTIME_DIR="$work/run" DISPLAY="$DISPLAY" KORIMBO_START_TRACE=1 \
        dbus-run-session sh -c 'echo "korimbo-start: exec $(date +%s%N) 0" >&2; exec ./korimbo-portable' \
        2>"$work/trace" >/dev/null) &
    app_pid=$!
}

# Waits (in 5 ms steps, 20 s at most) until the trace has a line for step $1; prints its time.
trace_time() {
    for _ in $(seq 4000); do
        line=$(grep -m1 "^korimbo-start: $1 " "$work/trace" 2>/dev/null || true)
        [ -n "$line" ] && { echo "$line" | awk '{print $3}'; return 0; }
        sleep 0.005
    done
    echo "no '$1' in the trace" >&2
    return 1
}

# Polls X until a visible window named $1 exists; prints the time it was first seen.
visible_time() {
    for _ in $(seq 4000); do
        xdotool search --onlyvisible --name "$1" >/dev/null 2>&1 && { now_ns; return 0; }
        sleep 0.005
    done
    echo "no window '$1'" >&2
    return 1
}

# Closes the main window (cancelling the login dialog first) and prints how long the process took to end.
close_and_time() {
    local main dialog t0
    dialog=$(xdotool search --onlyvisible --name 'パスワード認証' 2>/dev/null | head -1 || true)
    if [ -n "$dialog" ]; then
        xdotool windowactivate --sync "$dialog" key Escape
        for _ in $(seq 400); do
            xdotool search --onlyvisible --name 'パスワード認証' >/dev/null 2>&1 || break
            sleep 0.005
        done
    fi
    main=$(xdotool search --onlyvisible --name "$title" | head -1)
    xdotool windowactivate --sync "$main"
    t0=$(now_ns)
    xdotool key --window "$main" alt+F4
    while kill -0 "$app_pid" 2>/dev/null; do sleep 0.002; done
    echo $(( ($(now_ns) - t0) / 1000000 ))
    app_pid=""
}

# First start: the folder password (typed twice), the two messages after it and the guidance.
launch
for _ in $(seq 4000); do
    xdotool search --onlyvisible --name 'パスワード設定' >/dev/null 2>&1 && break
    sleep 0.005
done
dialog=$(xdotool search --onlyvisible --name 'パスワード設定' | head -1)
xdotool windowactivate --sync "$dialog"
xdotool type --delay 10 "$password"
xdotool key Tab
xdotool type --delay 10 "$password"
xdotool key Return
sleep 1
xdotool key Return
sleep 0.5
xdotool key Return
sleep 0.5
xdotool key Return
sleep 1
close_and_time >/dev/null
[ -d "$work/app/ZORp" ] || { echo "the first start made no state" >&2; exit 1; }

echo "load before: $(uptime)"
printf '%4s %11s %11s %13s %7s %13s %8s\n' run 'exposed ms' 'painted ms' 'from exec ms' 'cpu ms' 'X visible ms' 'exit ms'
all_painted=()
all_exec=()
all_cpu=()
all_exit=()
for run in $(seq "$runs"); do
    t0=$(now_ns)
    launch
    seen=$(visible_time "$title")
    exposed=$(trace_time exposed)
    painted=$(trace_time painted)
    cpu=$(awk '/^korimbo-start: painted /{print int($4 / 1000000)}' "$work/trace")
    exec_ms=$(( (painted - $(trace_time exec)) / 1000000 ))
    sleep 0.3
    exit_ms=$(close_and_time)
    printf '%4d %11d %11d %13d %7d %13d %8d\n' "$run" $(( (exposed - t0) / 1000000 )) $(( (painted - t0) / 1000000 )) \
        "$exec_ms" "$cpu" $(( (seen - t0) / 1000000 )) "$exit_ms"
    if [ -n "${KORIMBO_START_STEPS:-}" ]; then # every traced step, in ms after the launch
        awk -v t0="$t0" '/^korimbo-start: /{printf "      %-14s %6d ms, cpu %4d ms\n", $2, ($3 - t0) / 1000000, $4 / 1000000}' "$work/trace"
    fi
    all_painted+=($(( (painted - t0) / 1000000 )))
    all_exit+=("$exit_ms")
    all_cpu+=("$cpu")
    all_exec+=("$exec_ms")
done
median() { printf '%s\n' "$@" | sort -n | awk '{a[NR]=$1} END{print a[int((NR+1)/2)]}'; }
echo "median over $runs runs: painted $(median "${all_painted[@]}") ms after the launch ($(median "${all_exec[@]}") ms after the exec of the program, without the session bus start), $(median "${all_cpu[@]}") ms of processor time by then; exit $(median "${all_exit[@]}") ms"
echo "load after: $(uptime)"
