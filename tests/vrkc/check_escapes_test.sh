#!/usr/bin/env bash
# vrkc --check on a story whose file name and lines hold terminal controls and line breaks:
# every finding is one line, and no control reaches the terminal.
#   check_escapes_test.sh VRKC
set -u
vrkc=$1
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
failed=0
fail() { echo "FAIL: $*" >&2; failed=1; }

# A name that sets the title and would forge a finding of its own on a second line.
name=$(printf 'bad\033]0;x\007\r\nfake.txt:1: none')
printf '*START\ntext\n?\ncaption\nNO\033]52;c;aWQK\007WHERE\n?END\n' >"$dir/$name.txt"
out=$("$vrkc" --check "$dir/$name.txt" 2>&1)
status=$?
err=$("$vrkc" --check "$dir/$name.vrk" 2>&1)
printf '%s\n%s\n' "$out" "$err" | cat -v

[[ $status == 1 ]] || fail "--check ended with $status"
# Each finding on a line of its own, beginning with the file's name.
while IFS= read -r line; do
    [[ $line == "$dir/bad\\x1b]0;x\\x07\\r\\nfake.txt:1: none.txt"* ]] || fail "a line of its own: $line"
done <<<"$out"
if printf '%s%s' "$out" "$err" | LC_ALL=C grep -q $'[\x01-\x08\x0b-\x1f\x7f]'; then
    fail "a control character reached the terminal"
fi
[[ $out == *'bad\x1b]0;x\x07\r\nfake.txt:1: none.txt:5: jump target "NO\x1b]52'* ]] ||
    fail "the finding does not show the name and target escaped"
[[ $err == *'bad\x1b]0;x\x07\r\nfake.VRK'* ]] || fail "the error does not show the name escaped"
exit $failed
