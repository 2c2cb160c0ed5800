#!/usr/bin/env bash
# Measures Tarvelin against its floors with hyperfine, in a temporary
# directory, each pair fed the same way in one hyperfine run:
#   whole run:  printf '3 6 9\n' | tarvelin   vs  the same printf | zip alone
#               on the same staged maps/_loadout.gsc
#   early end:  printf '0\n' | tarvelin       vs  printf '0\n' | cat
# Results go to build/bench/ (JSON and Markdown); the ratios of the mean times
# are printed at the end. RUNS and WARMUP override the defaults (100 and 5).
set -euo pipefail
cd "$(dirname "$0")/.."
root="$PWD"
runs="${RUNS:-100}"
warmup="${WARMUP:-5}"

for tool in hyperfine zip unzip python3; do
  command -v "$tool" > /dev/null || {
    echo "bench/run.sh: $tool is needed" >&2
    exit 1
  }
done

cmake --preset release > /dev/null
cmake --build --preset release
tarvelin="$root/build/release/tarvelin"
results="$root/build/bench"
mkdir -p "$results"

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cd "$work"

# The script zip gets to pack, taken once from a real run's archive.
printf '3 6 9\n' | "$tarvelin" > /dev/null
mkdir staged
unzip -p sc_loadout.pk3 maps/_loadout.gsc > staged/_loadout.gsc
rm -f sc_loadout.pk3
script_size="$(wc -c < staged/_loadout.gsc)"
if [ "$script_size" -ne 2577 ]; then
  echo "bench/run.sh: staged script has $script_size bytes, not 2577" >&2
  exit 1
fi
listing() { unzip -Z1 sc_loadout.pk3 | sort | tr '\n' ' '; }

echo "== whole run against zip alone"
hyperfine --warmup "$warmup" --runs "$runs" \
  --prepare 'rm -rf sc_loadout.pk3 maps' \
  --prepare 'rm -f sc_loadout.pk3 && mkdir -p maps && cp staged/_loadout.gsc maps/' \
  --command-name 'tarvelin (3 6 9)' \
  --command-name 'zip alone' \
  --export-json "$results/whole.json" \
  --export-markdown "$results/whole.md" \
  "printf '3 6 9\\n' | '$tarvelin'" \
  "printf '3 6 9\\n' | zip -r ./sc_loadout.pk3 ./maps"
# Both did the same work: the same archive entries, and tarvelin cleaned up.
zip_entries="$(listing)"
rm -rf sc_loadout.pk3 maps
printf '3 6 9\n' | "$tarvelin" > /dev/null
tarvelin_entries="$(listing)"
if [ "$zip_entries" != "$tarvelin_entries" ] || [ -e maps ]; then
  echo "bench/run.sh: archives differ: '$tarvelin_entries' vs '$zip_entries'" >&2
  exit 1
fi
rm -f sc_loadout.pk3

echo "== early end against cat"
hyperfine --warmup "$warmup" --runs "$runs" \
  --command-name 'tarvelin (0)' \
  --command-name 'cat' \
  --export-json "$results/early.json" \
  --export-markdown "$results/early.md" \
  "printf '0\\n' | '$tarvelin'" \
  "printf '0\\n' | cat"
if [ -e sc_loadout.pk3 ] || [ -e maps ]; then
  echo "bench/run.sh: the early end left files behind" >&2
  exit 1
fi

python3 - "$results" << 'PY'
import json, sys
results = sys.argv[1]
for name, goal in (("whole", 1.5), ("early", 1.2)):
    with open(f"{results}/{name}.json") as f:
        program, floor = json.load(f)["results"]
    ratio = program["mean"] / floor["mean"]
    ok = ratio <= goal
    print(f"{name}: {program['command']} {program['mean'] * 1e3:.2f} ms "
          f"± {program['stddev'] * 1e3:.2f}, {floor['command']} "
          f"{floor['mean'] * 1e3:.2f} ms ± {floor['stddev'] * 1e3:.2f}, "
          f"ratio {ratio:.2f} (goal <= {goal}) {'ok' if ok else 'MISSED'}")
print("results in", results)
PY
