#!/usr/bin/env bash
# Static checks of our own code: formatting, whitespace, clang-tidy and
# cppcheck. Needs the compile commands of the dev build (build/dev).
set -euo pipefail
cd "$(dirname "$0")/.."

mapfile -t sources < <(git ls-files 'src/*.cpp' 'src/*.h' 'tests/*.cpp' \
  'tests/*.h' 'fuzz/*.cpp' 'fuzz/*.h')

echo "-- clang-format"
clang-format --dry-run --Werror "${sources[@]}"

echo "-- whitespace"
# Golden files keep the exact bytes the tests expect, CR LF included.
mapfile -t texts < <(git ls-files | grep -v -E '^(fuzz/corpus|fuzz/archive_corpus|tests/golden)/')
bad=0
for file in "${texts[@]}"; do
  [[ -f $file ]] || continue
  grep -Iq . "$file" || continue  # binary or empty
  if grep -n -E '[[:space:]]+$' "$file" | grep -v $'\r$' | head -n 3 |
      sed "s|^|$file: trailing space: |" | grep .; then
    bad=1
  fi
  if grep -q $'\r' "$file"; then
    echo "$file: carriage return"; bad=1
  fi
  if [[ -n $(tail -c 1 "$file") ]]; then
    echo "$file: no newline at the end"; bad=1
  fi
done
((bad == 0))

echo "-- clang-tidy"
[[ -f build/dev/compile_commands.json ]] || cmake --preset dev >/dev/null
mapfile -t units < <(printf '%s\n' "${sources[@]}" | grep -E '^(src|tests)/.*\.cpp$')
if ! report=$(clang-tidy -p build/dev --quiet "${units[@]}" 2>&1); then
  grep -v -E '^[0-9]+ warnings? generated\.$' <<<"$report"
  exit 1
fi

echo "-- cppcheck"
cppcheck --enable=warning,style,performance,portability --std=c++17 \
  --error-exitcode=1 --inline-suppr --quiet \
  --suppress=missingIncludeSystem --suppress=useStlAlgorithm \
  -I src -I tests "${units[@]}"
echo "lint: clean"
