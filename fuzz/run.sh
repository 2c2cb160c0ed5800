#!/usr/bin/env bash
# Builds the dialogue fuzzer with the "fuzz" preset and runs it for the given
# number of seconds (default 60) on a copy of fuzz/corpus, so the committed
# corpus stays as it is. Exits non-zero when libFuzzer finds anything; the
# input that did it is left in build/fuzz/run/artifacts/.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds="${1:-60}"
case "$seconds" in
  '' | *[!0-9]*)
    echo "usage: fuzz/run.sh [seconds]" >&2
    exit 2
    ;;
esac

cmake --preset fuzz
cmake --build --preset fuzz

work=build/fuzz/run
rm -rf "$work"
mkdir -p "$work/corpus" "$work/artifacts"
cp fuzz/corpus/* "$work/corpus/"

build/fuzz/fuzz/dialogue_fuzzer "$work/corpus" \
  -dict=fuzz/dialogue.dict \
  -max_total_time="$seconds" \
  -max_len=4096 \
  -timeout=10 \
  -rss_limit_mb=2048 \
  -print_final_stats=1 \
  -artifact_prefix="$work/artifacts/"

if compgen -G "$work/artifacts/*" > /dev/null; then
  echo "fuzz/run.sh: findings in $work/artifacts/" >&2
  exit 1
fi
