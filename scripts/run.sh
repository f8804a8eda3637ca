#!/usr/bin/env bash
# Sets up, builds and starts Lumbra.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
bash scripts/build.sh
exec build/Lumbra/lumbra "$@"
