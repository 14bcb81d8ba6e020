#!/usr/bin/env bash
# Installs what is missing, builds Zandorel, shares the sample folder through
# the local stand-in service and opens the program on it. Without a usable
# display it lists the folder with the headless tool instead.
#
#   ZANDOREL_PORT=N bash scripts/run.sh    share on port N (0: any free port)
#
# Stopping this script in any way (Ctrl+C, closing the terminal, kill) ends
# the window and the stand-in with it.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

install_packages "${PACKAGES[@]}"

echo "Building Zandorel, zandorel-cli and zandorel-share in $(build_dir_name)/ (a few minutes the first time)..."
configure_project RelWithDebInfo
build_targets Zandorel zandorel-cli zandorel-share

SHARE="$BUILD_DIR/shared-folder"
SHARE_BIN="$BUILD_DIR/src/standin/zandorel-share"
CLI="$BUILD_DIR/src/cli/zandorel-cli"
APP="$BUILD_DIR/src/app/Zandorel"
SHARE_LOG="$BUILD_DIR/zandorel-share.log"
DEFAULT_SERVICE="http://127.0.0.1:8765"

# A copy of the sample folder, so the private sample can lose its read
# permission for others (git keeps no such permission) without touching the
# checkout. The copy's place is fixed, so its address stays the same.
rm -rf "$SHARE"
cp -r "$ROOT/samples/shared-folder" "$SHARE"
chmod -R o+rX "$SHARE"
chmod o-r "$SHARE/private-notes.txt"

# Children get SIGTERM when this script dies, even by SIGKILL.
CHILD_PIDS=()
start_child() {
    if setpriv --pdeathsig TERM true 2>/dev/null; then
        setpriv --pdeathsig TERM -- "$@" &
    else
        "$@" &
    fi
    CHILD_PIDS+=($!)
}
stop_children() {
    local pid
    for pid in "${CHILD_PIDS[@]}"; do
        kill -TERM "$pid" 2>/dev/null || true
    done
    for pid in "${CHILD_PIDS[@]}"; do
        wait "$pid" 2>/dev/null || true
    done
    CHILD_PIDS=()
}
RUNTIME_DIR=""
ADDRESS_FILE="$(mktemp)"
PROBE_ERR="$(mktemp)"
trap 'stop_children; rm -f "$ADDRESS_FILE" "$PROBE_ERR"; [ -z "$RUNTIME_DIR" ] || rm -rf "$RUNTIME_DIR"' EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
trap 'exit 129' HUP

# Qt wants a private runtime folder; a root shell (su) or a bare ssh session
# has none, and Qt would complain about it on every start.
if [ -z "${XDG_RUNTIME_DIR:-}" ] || [ ! -d "$XDG_RUNTIME_DIR" ] || [ ! -w "$XDG_RUNTIME_DIR" ]; then
    RUNTIME_DIR="$(mktemp -d "${TMPDIR:-/tmp}/zandorel-runtime.XXXXXX")"
    chmod 700 "$RUNTIME_DIR"
    export XDG_RUNTIME_DIR="$RUNTIME_DIR"
fi

# start_share PORT: starts the stand-in; true once it prints its address.
start_share() {
    : >"$ADDRESS_FILE"
    start_child "$SHARE_BIN" --port "$1" --versioninfo "$ROOT/samples/versioninfo.xml" "$SHARE" \
        >"$ADDRESS_FILE" 2>"$SHARE_LOG"
    SHARE_PID=$!
    for _ in $(seq 1 100); do
        [ -s "$ADDRESS_FILE" ] && return 0
        kill -0 "$SHARE_PID" 2>/dev/null || return 1
        sleep 0.1
    done
    return 1
}

PORT="${ZANDOREL_PORT:-8765}"
if ! start_share "$PORT"; then
    share_status=0
    wait "$SHARE_PID" 2>/dev/null || share_status=$?
    # 69: the address cannot be listened on.
    if [ -z "${ZANDOREL_PORT:-}" ] && [ "$share_status" -eq 69 ]; then
        echo "Port 8765 is busy; sharing on a free port instead."
        stop_children
        PORT=0
        start_share 0 || true
    fi
fi
ADDRESS="$(head -n 1 "$ADDRESS_FILE")"
if [ -z "$ADDRESS" ]; then
    echo "The stand-in share service could not start on port $PORT:" >&2
    tail -n 3 "$SHARE_LOG" >&2
    echo "Set ZANDOREL_PORT to another port (0 for any free one) and try again." >&2
    exit 1
fi
SERVICE="$(printf '%s\n' "$ADDRESS" | sed -E 's#^(https?://[^/?]*).*#\1#')"
echo "Sharing samples/shared-folder with zandorel-share at $SERVICE (log: $(build_dir_name)/zandorel-share.log)."

# The programs accept only addresses of the share service in their
# settings. On another address, this run uses a copy of the settings beside
# the program whose ShareService is the stand-in's.
CONFIG_ARGS=()
if [ "$SERVICE" != "$DEFAULT_SERVICE" ]; then
    CONFIG="$BUILD_DIR/run-config.xml"
    SOURCE_CONFIG="$(dirname "$APP")/ZandorelConfig.xml"
    [ -f "$SOURCE_CONFIG" ] || SOURCE_CONFIG="$ROOT/config/ZandorelConfig.xml"
    # The stand-in also answers the update check: both addresses name it.
    sed -E -e "s#[[:space:]]+(ShareService|UpdateService)=\"[^\"]*\"##g" \
        -e "0,/<Config([ >\/])/s##<Config ShareService=\"$SERVICE\" UpdateService=\"$SERVICE\"\1#" \
        "$SOURCE_CONFIG" >"$CONFIG"
    CONFIG_ARGS=(--config "$CONFIG")
    echo "Settings for this run: $(build_dir_name)/run-config.xml (ShareService and UpdateService $SERVICE)."
fi

echo "Shared folder address (paste it into the program): $ADDRESS"

# Open the window only where one can be opened.
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
    echo "Zandorel: no display, DISPLAY and WAYLAND_DISPLAY are unset" >"$PROBE_ERR"
elif [ ! -x "$APP" ]; then
    echo "Zandorel: the window program was not built" >"$PROBE_ERR"
elif PLATFORM="$(timeout 20 "$APP" --probe-display 2>"$PROBE_ERR")"; then
    echo "Opening the Zandorel window ($PLATFORM). Close it, or press Ctrl+C here, to stop."
    start_child "$APP" "${CONFIG_ARGS[@]}"
    status=0
    wait "${CHILD_PIDS[-1]}" || status=$?
    exit "$status"
fi
REASON="$(grep -v '^QStandardPaths' "$PROBE_ERR" | tail -n 1 | sed 's/^Zandorel: //')"
echo "No window (${REASON:-the display could not be opened}); listing the folder with zandorel-cli instead."
echo
"$CLI" --address "$ADDRESS" "${CONFIG_ARGS[@]}"
