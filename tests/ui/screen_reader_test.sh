#!/usr/bin/env bash
# Runs screen_reader_tree.py on a session bus and a virtual X server of its own, with the
# accessibility bus the session bus starts on demand: no reader's desktop is touched.
#
#   screen_reader_test.sh VRK3 DEMO_DIR
#
# Exits 77 (skipped) when the X server, the session bus, AT-SPI or pyatspi is missing.
set -u
here=$(cd "$(dirname "$0")" && pwd)
for tool in xvfb-run Xvfb dbus-run-session; do
    if ! command -v "$tool" >/dev/null 2>&1; then
        echo "SKIPPED: $tool is not installed (scripts/install-deps installs it)"
        exit 77
    fi
done
if [[ ! -e /usr/share/dbus-1/services/org.a11y.Bus.service ]]; then
    echo "SKIPPED: AT-SPI (at-spi2-core) is not installed (scripts/install-deps installs it)"
    exit 77
fi
# Debian's python, whose pyatspi the package installs, whatever python3 comes first on PATH.
if ! /usr/bin/python3 -c 'import pyatspi' >/dev/null 2>&1; then
    echo "SKIPPED: pyatspi is not installed (python3-pyatspi; scripts/install-deps installs it)"
    exit 77
fi
if [[ ! -x $1 || ! -e $2/DEMO.VRK ]]; then
    echo "SKIPPED: the player or the demo story is not built: $1 $2"
    exit 77
fi
exec dbus-run-session -- xvfb-run -a -s "-screen 0 1024x768x24" \
    /usr/bin/python3 "$here/screen_reader_tree.py" "$@"
