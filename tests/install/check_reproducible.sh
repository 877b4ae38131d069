#!/usr/bin/env bash
# Builds the packages of one commit twice, in two folders of different names and depths, one
# after the other, with a different umask, time zone and locale, and checks that every .deb
# (the debug symbols' too) is the same to the byte. Each build takes minutes, so this runs only
# on request: with VRK_TEST_REPRODUCIBLE=1 from ctest, or by hand.
#   check_reproducible.sh [COMMIT]   (default: HEAD)
# Exits 77 (skipped) when not asked for, or when git or dpkg-buildpackage is missing.
set -u
source_dir=$(realpath "$(dirname "$0")/../..")
commit=${1:-HEAD}
if [[ $# -eq 0 && -z ${VRK_TEST_REPRODUCIBLE:-} ]]; then
    echo "SKIP: builds the packages twice; set VRK_TEST_REPRODUCIBLE=1 to run it" >&2
    exit 77
fi
for tool in git dpkg-buildpackage dh; do
    command -v "$tool" >/dev/null || { echo "SKIP: $tool is not installed" >&2; exit 77; }
done
git -C "$source_dir" rev-parse --verify -q "$commit^{commit}" >/dev/null ||
    { echo "SKIP: $source_dir is not a git checkout holding $commit" >&2; exit 77; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failed=0

# The tests do not change what is packaged; leaving them out halves the time.
build() {
    local out=$1
    shift
    mkdir -p "$out"
    env "$@" DEB_BUILD_OPTIONS="nocheck ${DEB_BUILD_OPTIONS:-}" \
        "$source_dir/scripts/build-packages" --binary-only --no-lintian "$out" "$commit" >"$out/build.log" 2>&1 ||
        { tail -n 40 "$out/build.log" >&2; echo "FAIL: the build in $out" >&2; exit 1; }
}
echo "building $(git -C "$source_dir" rev-parse --short "$commit") in two folders"
(umask 022 && build "$work/first" TZ=UTC LC_ALL=C.UTF-8) || exit 1
(umask 002 && build "$work/a/much/longer/second/folder" TZ=Asia/Tokyo LC_ALL=C) || exit 1

first=$(cd "$work/first" && ls *.deb *.ddeb 2>/dev/null)
second=$(cd "$work/a/much/longer/second/folder" && ls *.deb *.ddeb 2>/dev/null)
[[ -n $first ]] || { echo "FAIL: the first build made no package" >&2; exit 1; }
[[ $first == "$second" ]] || { echo "FAIL: the builds made different packages: $first / $second" >&2; exit 1; }
for file in $first; do
    if cmp -s "$work/first/$file" "$work/a/much/longer/second/folder/$file"; then
        echo "same: $file $(sha256sum <"$work/first/$file" | cut -c1-16)"
    else
        failed=1
        echo "FAIL: $file differs between the builds" >&2
        if command -v diffoscope >/dev/null; then
            diffoscope "$work/first/$file" "$work/a/much/longer/second/folder/$file" | head -n 60 >&2
        fi
    fi
done
exit $failed
