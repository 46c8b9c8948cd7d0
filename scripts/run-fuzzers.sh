#!/usr/bin/env bash
# Runs every libFuzzer harness of build/fuzz for a bounded time each, on a
# working copy of its checked-in seed corpus and the seeds made from the
# built launchers (tests/fuzz/make_seeds.py --built; `make fuzz` builds them).
set -euo pipefail
seconds=${1:-60}
cd "$(dirname "$0")/.."
python3 tests/fuzz/make_seeds.py --built build/fuzz/corpus-work
for harness in build/fuzz/tests/fuzz/*_fuzz; do
  name=$(basename "$harness" _fuzz)
  work=build/fuzz/corpus-work/$name
  mkdir -p "$work"
  cp -n tests/fuzz/corpus/"$name"/* "$work"/ 2>/dev/null || true
  # Whole launchers, and packages of many blocks, are several hundred KiB.
  case $name in
    package | launcher_image | resource) options=(-max_len=1048576) ;;
    *) options=() ;;
  esac
  echo "fuzzing $name for ${seconds}s ${options[*]}"
  "$harness" "$work" "${options[@]}" -max_total_time="$seconds" -print_final_stats=1 2>&1 | grep -E '^(stat::number_of_executed_units|Done|==|SUMMARY)' || true
  test "${PIPESTATUS[0]}" -eq 0
done
