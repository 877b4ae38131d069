#!/usr/bin/env bash
# Builds the Debian package and checks that its declared dependencies cover every library the
# installed programs link. With --system-install it then installs the package on this machine
# (apt-get install ./...deb), plays the installed demo with the installed vrk3 and removes the
# package again; that runs only as root with CI=true or VRK_TEST_SYSTEM_INSTALL=1.
#   check_package.sh BUILD_DIR [--system-install]
# Exits 77 (skipped) when a needed tool is missing or the system install is not allowed.
set -u
build=$(realpath "$1")
mode=${2:-}
work=$(mktemp -d)
chmod 755 "$work"
trap 'rm -rf "$work"' EXIT
failed=0
fail() { echo "FAIL: $*" >&2; failed=1; }
need() { command -v "$1" >/dev/null || { echo "SKIP: $1 is not installed" >&2; exit 77; }; }

if [[ $mode == --system-install ]]; then
    if [[ $(id -u) != 0 ]]; then
        echo "SKIP: installing the package needs root" >&2
        exit 77
    fi
    if [[ ${CI:-} != true && -z ${VRK_TEST_SYSTEM_INSTALL:-} ]]; then
        echo "SKIP: installs on this machine; set CI=true or VRK_TEST_SYSTEM_INSTALL=1 to run it" >&2
        exit 77
    fi
    need apt-get
fi
for tool in cpack dpkg-deb dpkg-shlibdeps readelf ldd; do need "$tool"; done

cpack_dir=$(dirname "$(command -v cmake)")
"$cpack_dir/cpack" -G DEB --config "$build/CPackConfig.cmake" -B "$work/out" >"$work/cpack.log" 2>&1 ||
    { cat "$work/cpack.log" >&2; echo "FAIL: cpack" >&2; exit 1; }
deb=$(ls "$work"/out/*.deb 2>/dev/null | head -n 1)
[[ -n $deb ]] || { echo "FAIL: no package was made" >&2; exit 1; }
depends=$(dpkg-deb -f "$deb" Depends)
echo "package: $(basename "$deb"), $(stat -c %s "$deb") bytes"
echo "Depends: $depends"

if [[ $mode != --system-install ]]; then
    [[ $(dpkg-deb -f "$deb" Package) == vrk3 ]] || fail "the package is not named vrk3"
    dpkg-deb -x "$deb" "$work/root"
    # Each library a program or the sound module links comes from a package the control file names.
    declare -A owners=()
    # The window and sound modules are loaded at run time, but their libraries are dependencies
    # all the same.
    for program in "$work/root/usr/lib/vrk3/vrk3" "$work/root/usr/lib/vrk3/vrk3-window.so" \
        "$work/root/usr/lib/vrk3/vrk3-sound-sdl.so" \
        "$work/root/usr/bin/vrkc"; do
        [[ -f $program ]] || { fail "$program is not in the package"; continue; }
        while read -r soname; do
            # ldd names the dynamic loader by its path alone (position-independent code that
            # uses thread-local storage links it).
            path=$(ldd "$program" | awk -v so="$soname" '$1 == so { print $3 } $1 ~ "/" so "$" { print $1 }')
            [[ -n $path ]] || { fail "$soname (linked by $(basename "$program")) is not found"; continue; }
            owner=$(dpkg -S "$(realpath "$path")" 2>/dev/null || dpkg -S "$path" 2>/dev/null)
            owner=${owner%%:*}
            [[ -n $owner ]] || { fail "no package owns $path"; continue; }
            owners[$owner]=$soname
        done < <(readelf -d "$program" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p')
    done
    ((${#owners[@]} > 0)) || fail "no linked library was found"
    names=$(tr ',|' '\n\n' <<<"$depends" | sed 's/(.*//; s/ //g')
    for owner in "${!owners[@]}"; do
        grep -qxF "$owner" <<<"$names" || fail "$owner (for ${owners[$owner]}) is not a dependency"
    done
    [[ $depends != *-dev* ]] || fail "the package depends on a development package"
    [[ $depends == *fonts-ipafont* ]] || fail "no Japanese font is a dependency"
    # What the window needs beyond its libraries: a voice for reading aloud (Qt's plugin brings
    # none) and Qt's Japanese for its dialogs.
    recommends=$(dpkg-deb -f "$deb" Recommends)
    echo "Recommends: $recommends"
    for wanted in qt6-speech-speechd-plugin speech-dispatcher speech-dispatcher-espeak-ng qt6-translations-l10n; do
        tr ',|' '\n\n' <<<"$recommends" | sed 's/(.*//; s/ //g' | grep -qxF "$wanted" ||
            fail "$wanted is not recommended"
    done
    exit $failed
fi

# The machine gets the package, plays the demo with it, and loses it again.
was_installed=0
dpkg-query -W -f='${Status}' vrk3 2>/dev/null | grep -q 'install ok installed' && was_installed=1
export DEBIAN_FRONTEND=noninteractive
cp "$deb" "$work/vrk3.deb"
chmod 644 "$work/vrk3.deb"
apt-get install -y -qq "$work/vrk3.deb" >"$work/apt.log" 2>&1 || { cat "$work/apt.log" >&2; echo "FAIL: apt-get install" >&2; exit 1; }
[[ $(command -v vrk3) == /usr/bin/vrk3 ]] || fail "vrk3 is not on the path after installing"
home="$work/home"
mkdir -p "$home"
play() {
    # A reader who is not root, so that saves go to the reader's own directory.
    if command -v setpriv >/dev/null; then
        chown -R nobody "$home"
        printf '\n\n:quit\n' | setpriv --reuid=nobody --regid=nogroup --clear-groups env HOME="$home" \
            XDG_DATA_HOME="$home/data" XDG_CONFIG_HOME="$home/config" /usr/bin/vrk3 --headless /usr/share/vrk3/demo/DEMO.VRK
    else
        printf '\n\n:quit\n' | HOME="$home" XDG_DATA_HOME="$home/data" XDG_CONFIG_HOME="$home/config" \
            /usr/bin/vrk3 --headless /usr/share/vrk3/demo/DEMO.VRK
    fi
}
transcript=$(play 2>&1)
status=$?
[[ $status == 0 ]] || fail "the installed vrk3 ended with $status"
[[ $transcript == *"@page START"* ]] || fail "the installed demo did not play: $transcript"
if command -v setpriv >/dev/null; then
    compgen -G "$home/data/vrk3/DEMO-*/DEMO.V01" >/dev/null || fail "the reader's save is not in XDG_DATA_HOME/vrk3"
fi
# Root, who could write the program's folder, keeps nothing there either.
before=$(ls -A /usr/lib/vrk3)
printf '\n\n:save\n:quit\n' | HOME="$home/root" XDG_DATA_HOME="$home/root/data" XDG_CONFIG_HOME="$home/root/config" \
    /usr/bin/vrk3 --headless /usr/share/vrk3/demo/DEMO.VRK >/dev/null 2>&1 || fail "root could not play the demo"
[[ $(ls -A /usr/lib/vrk3) == "$before" ]] || fail "playing as root wrote into /usr/lib/vrk3: $(ls -A /usr/lib/vrk3)"
compgen -G "$home/root/data/vrk3/DEMO-*/DEMO.VR\$" >/dev/null || fail "root's quick save is not in its own data folder"
/usr/bin/vrkc --check /usr/share/vrk3/demo/DEMO.VRK || fail "the installed demo does not pass vrkc --check"
[[ -f /usr/share/mime/packages/vrk3.xml && -f /usr/share/applications/vrk3.desktop ]] || fail "desktop files missing"
if ((was_installed == 0)); then
    apt-get purge -y -qq vrk3 >>"$work/apt.log" 2>&1 || fail "apt-get purge"
fi
exit $failed
