#!/usr/bin/env bash
# Soak: the picture changed through the program 1,000 times (valid, damaged and
# oversized files in turn, Transparent and Always on top toggled in between);
# fails if handles or memory grow after warm-up. About half a minute under Wine.
#   tests/soak/run.sh [CHANGES]
# Same environment overrides as tests/hostile/run.sh.
export ZORVANE_SOAK_CHANGES=${1:-1000}
exec bash "$(dirname "${BASH_SOURCE[0]}")/../hostile/run.sh" 'Soak.*'
