#!/usr/bin/env bash
# Installs what is missing, builds every preset and runs every test.
# Prints, per preset and in all, how many tests passed, failed and were
# skipped, with the reason each skipped test gave, and the time taken.
set -uo pipefail
cd "$(dirname "$0")/.."
start=$SECONDS

scripts/install-deps.sh || exit 1

# The reason a skipped test gave: the first line of its output that speaks of
# skipping, else its last line. Reads ctest's log of the last run.
skip_reasons() {  # build dir, test names...
  local log=$1/Testing/Temporary/LastTest.log
  shift
  local name
  for name in "$@"; do
    awk -v name="$name" '
      $0 ~ "^[0-9]+/[0-9]+ Test: " && substr($0, index($0, "Test: ") + 6) == name {
        inside = 1; out = 0; next
      }
      inside && /^Output:/ { out = 1; next }
      inside && out && /^-+$/ { next }
      inside && out && /^<end of output>/ { inside = 0
        print "  skipped: " name ": " (reason != "" ? reason : last); exit }
      inside && out && NF { last = $0; if (reason == "" && tolower($0) ~ /skip/) reason = $0 }
    ' "$log" 2>/dev/null
  done
}

presets=$(cmake --list-presets=configure 2>/dev/null | sed -n 's/^ *"\([^"]*\)".*/\1/p')
passed=0
failed=0
skipped=0
broken=()
reasons=()
for preset in $presets; do
  echo "=== $preset"
  preset_start=$SECONDS
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
  mapfile -t skipped_names < <(sed -n 's/^[[:space:]]*[0-9]* - \(.*\) (Skipped)$/\1/p' "$log")
  rm -f "$log"
  if [ -z "$total" ]; then
    broken+=("$preset (no tests)")
    continue
  fi
  skips=${#skipped_names[@]}
  # ctest counts a skipped test among those that did not fail.
  passed=$((passed + total - bad - skips))
  failed=$((failed + bad))
  skipped=$((skipped + skips))
  if [ "$skips" -gt 0 ]; then
    # Every preset builds in build/<preset>.
    while IFS= read -r line; do reasons+=("$preset: ${line#  skipped: }"); done \
      < <(skip_reasons "build/$preset" "${skipped_names[@]}")
  fi
  echo "--- $preset: $((total - bad - skips)) passed, $bad failed, $skips skipped" \
    "in $((SECONDS - preset_start)) s"
  [ "$status" -eq 0 ] || [ "$bad" -gt 0 ] || broken+=("$preset (ctest)")
done

echo
[ ${#broken[@]} -eq 0 ] || echo "Not run or broken: ${broken[*]}"
if [ ${#reasons[@]} -gt 0 ]; then
  echo "Skipped tests and why:"
  printf '  %s\n' "${reasons[@]}"
fi
elapsed=$((SECONDS - start))
echo "time: $((elapsed / 60)) min $((elapsed % 60)) s"
echo "total: $passed passed, $failed failed, $skipped skipped"
[ "$failed" -eq 0 ] && [ ${#broken[@]} -eq 0 ]
