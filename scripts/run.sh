#!/usr/bin/env bash
# Sets up, builds and starts Lumbra beside a local sandbox server with demo feeds.
# LUMBRA_SANDBOX_PORT picks the sandbox's port (default 8080).
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
bash scripts/build.sh

port="${LUMBRA_SANDBOX_PORT:-8080}"
build/sandbox/lumbra-sandbox --port "$port" --demo &
sandbox=$!
trap 'kill "$sandbox" 2>/dev/null; wait "$sandbox" 2>/dev/null || true' EXIT
sleep 0.5
if ! kill -0 "$sandbox" 2>/dev/null; then
    echo "run: the sandbox could not start on port $port; try LUMBRA_SANDBOX_PORT=8181 $0" >&2
    exit 1
fi
echo "run: in Lumbra, type http://127.0.0.1:$port as the server and press Log In;"
echo "run: your browser opens the sandbox's page, where \"Grant access\" logs you in."
build/Lumbra/lumbra "$@"
