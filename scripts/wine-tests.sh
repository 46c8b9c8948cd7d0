#!/usr/bin/env bash
# The launcher's Wine tests (tests/wine/run_wine_tests.py) inside the Wine
# session. Needs the win64 build. Arguments go to the runner (-k NAME).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
export PYTHONDONTWRITEBYTECODE=1
exec "$root/scripts/wine-session.sh" python3 "$root/tests/wine/run_wine_tests.py" "$@"
