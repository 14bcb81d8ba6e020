#!/usr/bin/env bash
# Writes samples/saved-page.html: the root page of samples/shared-folder as a
# browser on a Chinese system saves it with "Web page, HTML only", that is the
# page text converted to GBK and its declared charset changed to match.
#
# usage: samples/make-saved-page.sh PATH/TO/zandorel-share
#
# The server runs on a temporary copy of the folder. The addresses in the page
# are those of the default address, http://127.0.0.1:8765: that port is used
# when free, otherwise the port taken is written over in the saved text.
set -euo pipefail

if [[ $# -ne 1 || ! -x $1 ]]; then
    echo "usage: $0 PATH/TO/zandorel-share" >&2
    exit 64
fi
share_bin=$1
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
saved="$here/saved-page.html"
work=$(mktemp -d)
server_pid=

cleanup() {
    if [[ -n $server_pid ]]; then
        kill "$server_pid" 2>/dev/null || true
        wait "$server_pid" 2>/dev/null || true
    fi
    rm -rf "$work"
}
trap cleanup EXIT

# Git keeps no "others may read" permission, so the copy gets it explicitly:
# everything readable by others except private-notes.txt, which the server
# then lists as private and refuses to send. Fixed dates keep the saved page
# the same from one run to the next.
cp -R "$here/shared-folder" "$work/shared-folder"
chmod -R u+rwX,go+rX "$work/shared-folder"
chmod o-r "$work/shared-folder/private-notes.txt"
find "$work/shared-folder" -exec touch -d '2026-12-06 10:00:00 UTC' {} +

# Starts the server on port $1 and waits for the first line it prints, the
# root page's address. Fails when the server ends first.
start_server() {
    : >"$work/address"
    "$share_bin" --port "$1" "$work/shared-folder" >"$work/address" 2>"$work/log" &
    server_pid=$!
    for _ in $(seq 100); do
        if IFS= read -r address <"$work/address" && [[ -n $address ]]; then
            return 0
        fi
        if ! kill -0 "$server_pid" 2>/dev/null; then
            wait "$server_pid" 2>/dev/null || true
            server_pid=
            return 1
        fi
        sleep 0.1
    done
    return 1
}

address=
if ! start_server 8765 && ! start_server 0; then
    echo "$0: zandorel-share did not start:" >&2
    cat "$work/log" >&2
    exit 1
fi

python3 - "$address" "$work/page.html" <<'EOF'
import sys
import urllib.request

with urllib.request.urlopen(sys.argv[1], timeout=10) as reply:
    page = reply.read()
with open(sys.argv[2], "wb") as out:
    out.write(page)
EOF

port=${address#http://127.0.0.1:}
port=${port%%/*}
if [[ $port != 8765 ]]; then
    sed -i "s#http://127\.0\.0\.1:$port/#http://127.0.0.1:8765/#g" "$work/page.html"
fi

iconv -f UTF-8 -t GBK "$work/page.html" >"$work/page-gbk.html"
sed -i 's#<meta charset="utf-8">#<meta charset="gbk">#' "$work/page-gbk.html"
mv "$work/page-gbk.html" "$saved"
echo "wrote $saved (from $address)"
