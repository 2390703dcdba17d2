#!/usr/bin/env bash
# Installs what is missing, builds, and starts the program. Without arguments it runs the
# demo: an ECU simulator on a pseudo-terminal, connected at once. Arguments replace that.
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
install_missing
build "$ROOT/build"
if [ $# -eq 0 ]; then set -- --simulate --connect; fi
exec "$ROOT/build/src/app/kline-diag" "$@"
