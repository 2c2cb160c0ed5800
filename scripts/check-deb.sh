#!/usr/bin/env bash
# Builds the release preset, makes the Debian package with cpack in a
# directory of its own and checks it: exactly /usr/bin/tarvelin and the
# README, no Depends (the program is linked statically), Recommends zip, the
# project's version, and that the packaged program starts and ends at "0".
#
#   bash scripts/check-deb.sh [BUILD_DIR]     # BUILD_DIR: build/release
set -euo pipefail
cd "$(dirname "$0")/.."
root="$PWD"
build="${1:-build/release}"
[[ $build == /* ]] || build="$root/$build"

fail() {
  echo "check-deb: $*" >&2
  exit 1
}

cmake --preset release -B "$build" > /dev/null ||
  fail "configuring the release preset in $build failed"
cmake --build "$build" --parallel 2 ||
  fail "building the release preset in $build failed"

work="$build/deb-check"
rm -rf "$work"
mkdir -p "$work/root" "$work/run"
if ! output=$(cd "$build" &&
    cpack -G DEB --config CPackConfig.cmake -B "$work" 2>&1); then
  fail "cpack -G DEB failed: $output"
fi
mapfile -t packages < <(find "$work" -maxdepth 1 -name '*.deb')
((${#packages[@]} == 1)) ||
  fail "cpack made ${#packages[@]} .deb files in $work, not one"
package="${packages[0]}"
echo "check-deb: made $package"

# Mode and path of each entry; dpkg-deb -c lists them as tar tv does.
listing=$(dpkg-deb -c "$package" | awk '{ print $1, $6 }' | sort -k 2) ||
  fail "dpkg-deb -c $package failed"
expected="drwxr-xr-x ./usr/
drwxr-xr-x ./usr/bin/
-rwxr-xr-x ./usr/bin/tarvelin
drwxr-xr-x ./usr/share/
drwxr-xr-x ./usr/share/doc/
drwxr-xr-x ./usr/share/doc/tarvelin/
-rw-r--r-- ./usr/share/doc/tarvelin/README.md"
[[ $listing == "$expected" ]] ||
  fail "$package holds, by mode and path:"$'\n'"$listing"$'\n'"not:"$'\n'"$expected"

for check in "Package=tarvelin" "Version=1.1.0" "Recommends=zip" "Depends=" \
    "Pre-Depends="; do
  name="${check%%=*}"
  want="${check#*=}"
  got=$(dpkg-deb -f "$package" "$name") ||
    fail "dpkg-deb -f $package $name failed"
  [[ $got == "$want" ]] ||
    fail "$package: $name is \"$got\", not \"$want\""
done

dpkg-deb -x "$package" "$work/root" || fail "dpkg-deb -x $package failed"
program="$work/root/usr/bin/tarvelin"
cmp -s README.md "$work/root/usr/share/doc/tarvelin/README.md" ||
  fail "the README.md in $package is not the project's"
dynamic=$(readelf -d "$program") || fail "readelf -d $program failed"
if grep -q '(NEEDED)' <<<"$dynamic"; then
  fail "usr/bin/tarvelin in $package needs shared libraries," \
    "yet the package depends on nothing"
fi

status=0
(cd "$work/run" && printf '0\n' | "$program" > out.txt 2> err.txt) ||
  status=$?
first_line=$(head -n 1 "$work/run/out.txt")
if ((status != 0)) || [[ $first_line != $'\tTarvelin 1.1' ]]; then
  fail "the packaged tarvelin did not start as it should: status $status," \
    "output: $(cat "$work/run/out.txt" "$work/run/err.txt")"
fi
echo "check-deb: $(basename "$package") holds what it should and its program starts"
