#!/usr/bin/env bash
# Makes the Debian packages of debian/ from this build, without compiling again: the build is
# installed where dh_auto_install would put it and the rest of dh's binary sequence runs as in
# a package build (dh_install's split, dh_missing, dh_shlibdeps, dh_gencontrol, dh_builddeb).
# Checks which package holds which file and that each package's declared dependencies cover
# every library its programs link. With --system-install it then installs the packages on this
# machine (apt-get install ./...deb), plays the installed demo with the installed vrk3 and
# removes the packages again; that runs only as root with CI=true or VRK_TEST_SYSTEM_INSTALL=1.
#   check_package.sh BUILD_DIR [--system-install]
# Exits 77 (skipped) when a needed tool is missing or the system install is not allowed.
set -u
build=$(realpath "$1")
mode=${2:-}
source_dir=$(realpath "$(dirname "$0")/../..")
work=$(mktemp -d)
chmod 755 "$work"
trap 'rm -rf "$work"' EXIT
failed=0
fail() { echo "FAIL: $*" >&2; failed=1; }
need() { command -v "$1" >/dev/null || { echo "SKIP: $1 is not installed" >&2; exit 77; }; }
packages=(vrk3 vrkc vrk3-demo)

if [[ $mode == --system-install ]]; then
    if [[ $(id -u) != 0 ]]; then
        echo "SKIP: installing the packages needs root" >&2
        exit 77
    fi
    if [[ ${CI:-} != true && -z ${VRK_TEST_SYSTEM_INSTALL:-} ]]; then
        echo "SKIP: installs on this machine; set CI=true or VRK_TEST_SYSTEM_INSTALL=1 to run it" >&2
        exit 77
    fi
    need apt-get
fi
for tool in dh dpkg-deb dpkg-shlibdeps readelf ldd; do need "$tool"; done

# debian/ is all the binary sequence reads from the source tree.
mkdir -p "$work/src"
cp -r "$source_dir/debian" "$work/src/"
(
    cd "$work/src" || exit 1
    export DEB_BUILD_OPTIONS=nocheck
    dh binary --buildsystem=cmake+ninja --no-act | sed -n '/dh_testroot/,$p' | while read -r step; do
        case $step in
            dh_auto_install*)
                DESTDIR="$work/src/debian/tmp" cmake --install "$build" --prefix /usr >/dev/null || exit 1
                # debian/rules configures without the reading page (VRK_INSTALL_WEB_PAGE=OFF); a
                # build tree that make web ran beside installs it, and the package must not ship it.
                rm -rf "$work/src/debian/tmp/usr/share/vrk3/web"
                ;;
            *) eval "$step" || { echo "$step failed" >&2; exit 1; } ;;
        esac
    done
) >"$work/dh.log" 2>&1 || { cat "$work/dh.log" >&2; echo "FAIL: dh's binary sequence" >&2; exit 1; }

declare -A deb=()
for package in "${packages[@]}"; do
    deb[$package]=$(ls "$work"/"${package}"_*.deb 2>/dev/null | head -n 1)
    if [[ -z ${deb[$package]} ]]; then
        echo "FAIL: no package $package was made" >&2
        exit 1
    fi
    echo "package: $(basename "${deb[$package]}"), $(stat -c %s "${deb[$package]}") bytes"
    echo "  Depends: $(dpkg-deb -f "${deb[$package]}" Depends)"
done

if [[ $mode != --system-install ]]; then
    for package in "${packages[@]}"; do
        dpkg-deb -x "${deb[$package]}" "$work/root-$package"
        [[ -f $work/root-$package/usr/share/doc/$package/copyright ]] || fail "$package has no copyright file"
    done
    # Each file in the package a distribution would look for it in.
    has() {
        local package=$1
        shift
        for f in "$@"; do
            [[ -e $work/root-$package/$f || -L $work/root-$package/$f ]] || fail "$f is not in $package"
        done
    }
    has vrk3 usr/bin/vrk3 usr/lib/vrk3/vrk3 usr/lib/vrk3/vrk3-window.so usr/lib/vrk3/vrk3-sound-sdl.so \
        usr/lib/vrk3/vrk3.html usr/share/doc/vrk3/vrk3.html usr/share/doc/vrk3/vrk3-en.html \
        usr/share/man/man1/vrk3.1.gz usr/share/applications/vrk3.desktop usr/share/mime/packages/vrk3.xml \
        usr/share/icons/hicolor/256x256/apps/vrk3.png usr/share/metainfo/invalid.vrk3.vrk3.metainfo.xml
    has vrkc usr/bin/vrkc usr/share/man/man1/vrkc.1.gz
    has vrk3-demo usr/share/vrk3/demo/DEMO.VRK usr/share/vrk3/demo/DEMO.VRJ usr/share/vrk3/demo/DEMO.V01 \
        usr/share/vrk3/demo/night.jpg usr/share/vrk3/demo/theme.mid usr/share/vrk3/demo/bell.wav
    [[ -z $(find "$work/root-vrkc" "$work/root-vrk3-demo" -path '*/lib/vrk3*') ]] || fail "the player's files are in another package"
    [[ ! -e $work/root-vrk3/usr/bin/vrkc && ! -e $work/root-vrk3/usr/share/vrk3/demo ]] || fail "vrk3 holds the compiler or the demo"
    [[ $(readlink -f "$work/root-vrk3/usr/bin/vrk3") == "$work/root-vrk3/usr/lib/vrk3/vrk3" ]] ||
        fail "usr/bin/vrk3 does not lead to usr/lib/vrk3/vrk3"
    [[ $(dpkg-deb -f "${deb[vrk3-demo]}" Architecture) == all ]] || fail "the demo is not Architecture: all"
    # dh_fixperms would make every file writable by its owner; the slots must stay read-only, or
    # root's saves would land in the shipped story.
    for slot in DEMO.V01 DEMO.V02 DEMO.V03 DEMO.V04; do
        perms=$(dpkg-deb -c "${deb[vrk3-demo]}" | awk -v f="./usr/share/vrk3/demo/$slot" '$6 == f { print $1 }')
        [[ $perms == -r--r--r-- ]] || fail "$slot is packaged as '$perms', not read-only"
    done
    # The binary packages as a distribution's checker sees them: no error and no warning (make
    # package also checks the source package, which only a whole package build makes).
    if command -v lintian >/dev/null; then
        lintian --fail-on error,warning "${deb[@]}" || fail "lintian reports errors or warnings"
    else
        echo "note: lintian is not installed; the packages were not checked with it"
    fi

    # Each library a program or a module links comes from a package its own package names.
    covers() {
        local package=$1
        shift
        local -A owners=()
        local depends names program soname path owner
        depends=$(dpkg-deb -f "${deb[$package]}" Depends)
        for program in "$@"; do
            program=$work/root-$package/$program
            [[ -f $program ]] || { fail "$program is not in $package"; continue; }
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
        ((${#owners[@]} > 0)) || fail "no library linked by $package's programs was found"
        names=$(tr ',|' '\n\n' <<<"$depends" | sed 's/(.*//; s/ //g')
        for owner in "${!owners[@]}"; do
            grep -qxF "$owner" <<<"$names" || fail "$owner (for ${owners[$owner]}) is not a dependency of $package"
        done
        [[ $depends != *-dev* ]] || fail "$package depends on a development package"
    }
    # The window and sound modules are loaded at run time, but their libraries are dependencies
    # all the same.
    covers vrk3 usr/lib/vrk3/vrk3 usr/lib/vrk3/vrk3-window.so usr/lib/vrk3/vrk3-sound-sdl.so
    covers vrkc usr/bin/vrkc
    [[ $(dpkg-deb -f "${deb[vrk3]}" Depends) == *fonts-ipafont* ]] || fail "no Japanese font is a dependency"
    [[ $(dpkg-deb -f "${deb[vrk3-demo]}" Depends) == *vrk3* ]] || fail "the demo does not depend on the player"
    # What the window needs beyond its libraries: a voice for reading aloud (Qt's plugin brings
    # none) and Qt's Japanese for its dialogs.
    recommends=$(dpkg-deb -f "${deb[vrk3]}" Recommends)
    for wanted in qt6-speech-speechd-plugin speech-dispatcher speech-dispatcher-espeak-ng qt6-translations-l10n; do
        tr ',|' '\n\n' <<<"$recommends" | sed 's/(.*//; s/ //g' | grep -qxF "$wanted" ||
            fail "$wanted is not recommended"
    done
    exit $failed
fi

# The machine gets the packages, plays the demo with them, and loses them again.
declare -A was_installed=()
for package in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' && was_installed[$package]=1
done
export DEBIAN_FRONTEND=noninteractive
mkdir -p "$work/apt"
for package in "${packages[@]}"; do
    cp "${deb[$package]}" "$work/apt/$package.deb"
done
chmod -R a+rX "$work/apt"
apt-get install -y -qq "$work"/apt/*.deb >"$work/apt.log" 2>&1 || { cat "$work/apt.log" >&2; echo "FAIL: apt-get install" >&2; exit 1; }
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
[[ -f /usr/share/metainfo/invalid.vrk3.vrk3.metainfo.xml ]] || fail "the AppStream metadata is missing"
# The MIME trigger ran: the installed system knows the story type.
grep -q 'application/x-vrk3-story' /usr/share/mime/globs2 2>/dev/null || fail "the system's MIME database has no story type"
remove=()
for package in "${packages[@]}"; do
    [[ -n ${was_installed[$package]:-} ]] || remove+=("$package")
done
if ((${#remove[@]} > 0)); then
    apt-get purge -y -qq "${remove[@]}" >>"$work/apt.log" 2>&1 || fail "apt-get purge"
fi
exit $failed
