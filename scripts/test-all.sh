#!/usr/bin/env bash
# Installs what is missing, builds every preset and runs every test.
set -uo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh || exit 1

presets=$(cmake --list-presets=configure 2>/dev/null | sed -n 's/^ *"\([^"]*\)".*/\1/p')
passed=0
failed=0
broken=()
for preset in $presets; do
  echo "=== $preset"
  if ! cmake --preset "$preset" >/dev/null || ! cmake --build --preset "$preset" -j 2; then
    broken+=("$preset (build)")
    continue
  fi
  log=$(mktemp)
  ctest --preset "$preset" 2>&1 | tee "$log"
  status=${PIPESTATUS[0]}
  summary=$(grep -E 'tests passed, [0-9]+ tests failed out of [0-9]+' "$log" | tail -n 1)
  total=$(sed -n 's/.* out of \([0-9]*\).*/\1/p' <<<"$summary")
  bad=$(sed -n 's/.*passed, \([0-9]*\) tests failed.*/\1/p' <<<"$summary")
  rm -f "$log"
  if [ -z "$total" ]; then
    broken+=("$preset (no tests)")
    continue
  fi
  passed=$((passed + total - bad))
  failed=$((failed + bad))
  [ "$status" -eq 0 ] || [ "$bad" -gt 0 ] || broken+=("$preset (ctest)")
done

echo
[ ${#broken[@]} -eq 0 ] || echo "Not run or broken: ${broken[*]}"
echo "total: $passed passed, $failed failed"
[ "$failed" -eq 0 ] && [ ${#broken[@]} -eq 0 ]
