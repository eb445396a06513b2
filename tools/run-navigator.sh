#!/usr/bin/env bash
# Starts the navigator on a copy of data/ as its program folder.
# usage: tools/run-navigator.sh BUILD_DIR RUN_HOME
set -euo pipefail
build=${1:-build}
home=${2:-$build/run-home}
echo "run-navigator: the main window is not built yet; starting tessaro-tool instead." >&2
exec "$build/bin/tessaro-tool" --help
