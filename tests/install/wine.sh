# shellcheck shell=bash disable=SC2154
# Shared by check-zip and check-installer, after common.sh: a Wine prefix made fresh for the
# check in its work folder, run through the build's wine-run, and removed with it.

need wine wineserver timeout
wine_run="$build/wine-run"
[ -x "$wine_run" ] || skip "$build has no wine-run: not a Windows build cross-built here"

# A home of the check's own, since a new prefix links its Desktop and Documents to $HOME; none of
# the build's DLLs, so a program finds only what the package brings; the default ports folder,
# %APPDATA%\ORVA\ports inside the prefix. The server ends a second after the prefix's last
# program, so that waiting for it waits for the programs left running (the uninstaller runs
# from a copy of itself) and no longer.
export ORVA_WINEPREFIX="$work/prefix" HOME="$work/home" ORVA_WINE_PACKAGED=1
export ORVA_WINESERVER_SECONDS=1
# Wine names a DLL that is missing.
export WINEDEBUG=-all,err+module
unset ORVA_CONFIG_HOME XDG_CONFIG_HOME
# Nor Qt's variables, which a technician's machine does not set either: ./test exports
# QT_QPA_PLATFORM=offscreen, a platform the packages do not carry.
for name in $(compgen -e | grep -E '^(WINE)?QT_' || true); do
    unset "$name"
done
# No window on the tester's screen; without a display Wine makes none.
unset DISPLAY WAYLAND_DISPLAY
mkdir -p "$HOME"
# Not the build folder, where cmd would find the build's own orva.exe.
cd "$work" || exit 1

on_windows() { "$wine_run" "$@"; }
wait_for_wine() { timeout 60 env WINEPREFIX="$ORVA_WINEPREFIX" wineserver -w; }
stop_wine() {
    if [ -d "$ORVA_WINEPREFIX" ]; then
        WINEPREFIX="$ORVA_WINEPREFIX" wineserver -k 2>/dev/null || true
    fi
}
trap 'stop_wine; restore' EXIT
