#!/usr/bin/env bash
# Builds and runs the benchmarks. Arguments go to the decode benchmark (item counts).
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
bash scripts/build.sh
build/bench/bench_items_decode "$@"
QT_QPA_PLATFORM=offscreen QTWEBENGINE_DISABLE_SANDBOX=1 build/bench/bench_refresh 100000
QT_QPA_PLATFORM=offscreen build/bench/bench_timeline 100000
build/bench/bench_excerpt
QT_QPA_PLATFORM=offscreen build/bench/bench_sidebar 1000000
build/bench/bench_vault 10000
QT_QPA_PLATFORM=offscreen build/bench/bench_search 20000 100000
QT_QPA_PLATFORM=offscreen build/bench/bench_hostile
QT_QPA_PLATFORM=offscreen QTWEBENGINE_DISABLE_SANDBOX=1 build/bench/bench_reading_view
QT_QPA_PLATFORM=offscreen QTWEBENGINE_DISABLE_SANDBOX=1 build/bench/bench_quote_marks
