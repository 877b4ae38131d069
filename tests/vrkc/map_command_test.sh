#!/usr/bin/env bash
# vrkc --map writes the map by the output's extension, from a source or a compiled project;
# vrkc --check prints warnings and keeps status 0 for them unless --strict.
#   map_command_test.sh VRKC SOURCE_DIR
set -u
vrkc=$1
source_dir=$2
failed=0
fail() { echo "FAIL: $*" >&2; failed=1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

"$vrkc" --map "$source_dir/samples/demo/demo.txt" "$work/demo.svg" || fail "--map into .svg ends with $?"
grep -q '<svg' "$work/demo.svg" || fail "the .svg holds no SVG"
grep -q '列車を降りる' "$work/demo.svg" || fail "the .svg lacks a caption in UTF-8"

# A compiled project, into DOT (any letter case of the extension).
"$vrkc" "$source_dir/samples/demo/demo.txt" "$work/DEMO" || fail "the demo does not compile"
"$vrkc" --map "$work/DEMO.VRK" "$work/demo.DOT" || fail "--map of a compiled project ends with $?"
head -c 7 "$work/demo.DOT" | grep -q '^digraph' || fail "the .dot is no DOT graph"
grep -q 'P_HALL2' "$work/demo.DOT" || fail "the .dot lacks a label"

# Neither .svg nor .dot is a usage error, and nothing is written.
"$vrkc" --map "$work/DEMO.VRK" "$work/demo.png" 2>/dev/null
[[ $? == 2 ]] || fail "an output of another kind is no usage error"
[[ ! -e $work/demo.png ]] || fail "a .png was written"
"$vrkc" --map "$work/DEMO.VRK" 2>/dev/null
[[ $? == 2 ]] || fail "--map without an output is no usage error"
"$vrkc" --map "$work/NONE.VRK" "$work/none.svg" 2>/dev/null
[[ $? == 1 ]] || fail "a missing story does not end with 1"

# Warnings only: printed as such, status 0; with --strict, 1.
printf '*START\n!005\ntext\n/\n*VRKALTER\n' >"$work/warn.txt"
for _ in $(seq 18); do echo '????' >>"$work/warn.txt"; done
echo 'title' >>"$work/warn.txt"
out=$("$vrkc" --check "$work/warn.txt")
status=$?
[[ $status == 0 ]] || fail "warnings alone end --check with $status: $out"
[[ $out == *'warn.txt:2: warning: flag 5 is set but never tested'* ]] || fail "no warning: $out"
"$vrkc" --check --strict "$work/warn.txt" >/dev/null
[[ $? == 1 ]] || fail "--strict does not count warnings"
"$vrkc" --strict "$work/warn.txt" "$work/OUT" 2>/dev/null
[[ $? == 2 ]] || fail "--strict without --check is no usage error"
exit $failed
