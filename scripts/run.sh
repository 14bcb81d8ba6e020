#!/usr/bin/env bash
# Installs what is missing, builds Zandorel, shares the sample folder through
# the local stand-in service and opens the program on it. Without a display
# it lists the folder with the headless tool instead.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

install_packages "${PACKAGES[@]}"
build_project RelWithDebInfo

PORT="${ZANDOREL_PORT:-8765}"
SHARE="$BUILD_DIR/shared-folder"
SHARE_BIN="$BUILD_DIR/src/standin/zandorel-share"
CLI="$BUILD_DIR/src/cli/zandorel-cli"
APP="$BUILD_DIR/src/app/Zandorel"

# A copy of the sample folder, so the private sample can lose its read
# permission for others (git keeps no such permission) without touching the
# checkout. The copy's place is fixed, so its address stays the same.
rm -rf "$SHARE"
cp -r "$ROOT/samples/shared-folder" "$SHARE"
chmod -R o+rX "$SHARE"
chmod o-r "$SHARE/private-notes.txt"

ADDRESS_FILE="$(mktemp)"
"$SHARE_BIN" --port "$PORT" --versioninfo "$ROOT/samples/versioninfo.xml" "$SHARE" >"$ADDRESS_FILE" 2>/dev/null &
SHARE_PID=$!
trap 'kill "$SHARE_PID" 2>/dev/null || true; wait "$SHARE_PID" 2>/dev/null || true; rm -f "$ADDRESS_FILE"' EXIT

for _ in $(seq 1 100); do
    [ -s "$ADDRESS_FILE" ] && break
    if ! kill -0 "$SHARE_PID" 2>/dev/null; then
        echo "The stand-in share service could not start on port $PORT (set ZANDOREL_PORT to another port)." >&2
        exit 1
    fi
    sleep 0.1
done
ADDRESS="$(head -n 1 "$ADDRESS_FILE")"
if [ -z "$ADDRESS" ]; then
    echo "The stand-in share service did not answer." >&2
    exit 1
fi

CONFIG_ARGS=()
if [ "$PORT" != "8765" ]; then
    # The shipped settings point at port 8765; give the tool the other one.
    CONFIG="$BUILD_DIR/run-config.xml"
    sed "s#http://127.0.0.1:8765#http://127.0.0.1:$PORT#" "$ROOT/config/ZandorelConfig.xml" >"$CONFIG"
    CONFIG_ARGS=(--config "$CONFIG")
fi

echo "Shared folder address (paste it into the program): $ADDRESS"
if [ -x "$APP" ] && { [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; } && [ "$PORT" = "8765" ]; then
    "$APP"
else
    echo "No display: listing the folder with zandorel-cli."
    echo
    "$CLI" --address "$ADDRESS" "${CONFIG_ARGS[@]}"
fi
