#!/usr/bin/env bash
# Sets up, builds and runs every test: the whole suite, the Debian package installed and
# started, then the core, sandbox and reader tests again under AddressSanitizer and
# UndefinedBehaviorSanitizer, then a short pass of every fuzz target. Exits non-zero when
# anything fails.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
bash scripts/build.sh
ctest --test-dir build --output-on-failure -j2 --timeout 300
bash scripts/package-test.sh
bash scripts/sanitize.sh
bash scripts/fuzz.sh "${LUMBRA_FUZZ_SECONDS:-10}"
