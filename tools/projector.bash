# Sourced by ./run and tools/make-screenshot: starts build/virtual-projector on COM1 of
# $XDG_CONFIG_HOME with its arguments, waits until its link is there, and stops it at exit.
# Fails (returns 1) when the projector did not come up.
start_projector() {
    local link="$XDG_CONFIG_HOME/ORVA/ports/COM1"
    mkdir -p "$XDG_CONFIG_HOME/ORVA/ports"
    rm -f "$link" # left behind if an earlier run was killed outright
    printf '[StartUP]\nComPort=1\nBaudRate=96\n' >"$XDG_CONFIG_HOME/ORVA/ORVA.conf"
    build/virtual-projector --port 1 --baud 9600 "$@" &
    projector=$!
    trap 'kill "$projector" 2>/dev/null || true; wait "$projector" 2>/dev/null || true' EXIT
    for _ in $(seq 100); do
        [ -L "$link" ] && return 0
        kill -0 "$projector" 2>/dev/null || break
        sleep 0.1
    done
    echo "the virtual projector did not come up on COM1" >&2
    return 1
}
