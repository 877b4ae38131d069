#!/usr/bin/env bash
# The demo's source checks clean with the command the README gives, run from the source tree
# with the build's folder; in a fresh clone its files are not beside it, which is one finding.
#   check_demo_source_test.sh VRKC SOURCE_DIR BUILT_DEMO_DIR
set -u
vrkc=$(realpath "$1")
source_dir=$2
built=$3
failed=0
fail() { echo "FAIL: $*" >&2; failed=1; }

cd "$source_dir" || exit 1
relative=$(realpath --relative-to=. "$built")
out=$("$vrkc" --check --media "$relative" samples/demo/demo.txt 2>&1)
status=$?
[[ $status == 0 && -z $out ]] || fail "the README's command ends with $status: $out"

# The source alone, where no build put anything: one finding, naming the way out.
clone=$(mktemp -d)
trap 'rm -rf "$clone"' EXIT
mkdir -p "$clone/samples/demo"
cp samples/demo/demo.txt "$clone/samples/demo/"
out=$(cd "$clone" && "$vrkc" --check samples/demo/demo.txt 2>&1)
status=$?
echo "$out"
[[ $status == 1 ]] || fail "without its files the demo's source ends with $status"
[[ $(wc -l <<<"$out") == 1 ]] || fail "more than one finding without the files"
[[ $out == *'none of the 7 files the story names'*'--media DIR'* ]] || fail "the finding does not say where to look"

# --media is for --check, and names a folder.
"$vrkc" --media "$relative" samples/demo/demo.txt "$clone/OUT" 2>/dev/null
[[ $? == 2 ]] || fail "--media without --check is no usage error"
"$vrkc" --check --media "$clone/none" samples/demo/demo.txt 2>/dev/null
[[ $? == 2 ]] || fail "--media with no folder is no usage error"
exit $failed
