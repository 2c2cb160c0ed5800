#!/usr/bin/env bash
# Builds the fuzzers with the "fuzz" preset and runs each for the given number
# of seconds (default 60): the dialogue fuzzer on a copy of fuzz/corpus, the
# archive fuzzer on a copy of fuzz/archive_corpus, so the committed corpora
# stay as they are. Exits non-zero when libFuzzer finds anything; the input
# that did it is left in build/fuzz/run/<fuzzer>/artifacts/.
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

run=build/fuzz/run
rm -rf "$run"
failed=0

# fuzz NAME CORPUS DICT MAX_LEN: runs build/fuzz/fuzz/NAME_fuzzer on a copy
# of CORPUS; a crash, a leak, a timeout or a left artifact is a finding.
fuzz() {
  local name=$1 corpus=$2 dict=$3 max_len=$4
  local work="$run/$name"
  mkdir -p "$work/corpus" "$work/artifacts"
  cp "$corpus"/* "$work/corpus/"
  echo "-- $name fuzzer, $seconds seconds"
  if ! "build/fuzz/fuzz/${name}_fuzzer" "$work/corpus" \
      -dict="$dict" \
      -max_total_time="$seconds" \
      -max_len="$max_len" \
      -timeout=10 \
      -rss_limit_mb=2048 \
      -print_final_stats=1 \
      -artifact_prefix="$work/artifacts/"; then
    failed=1
  fi
  if compgen -G "$work/artifacts/*" > /dev/null; then
    echo "fuzz/run.sh: findings in $work/artifacts/" >&2
    failed=1
  fi
}

fuzz dialogue fuzz/corpus fuzz/dialogue.dict 4096
fuzz archive fuzz/archive_corpus fuzz/archive.dict 65536

exit "$failed"
