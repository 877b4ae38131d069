#!/usr/bin/env bash
# Installs the build into a staging directory (DESTDIR) and checks that every file lands where
# the freedesktop and Debian conventions put it, and that the installed programs work there.
#   check_install.sh BUILD_DIR
# Exits 77 (skipped) when a needed tool is missing.
set -u
build=$(realpath "$1")
source_dir=$(realpath "$(dirname "$0")/../..")
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
failed=0
fail() { echo "FAIL: $*" >&2; failed=1; }
need() { command -v "$1" >/dev/null || { echo "SKIP: $1 is not installed" >&2; exit 77; }; }
need desktop-file-validate
need update-mime-database
need man
need readelf

DESTDIR="$stage" cmake --install "$build" --prefix /usr >/dev/null || { echo "FAIL: cmake --install" >&2; exit 1; }
usr="$stage/usr"

# Every file in its place.
for f in bin/vrkc lib/vrk3/vrk3 lib/vrk3/vrk3-sound-sdl.so lib/vrk3/vrk3-window.so share/applications/vrk3.desktop share/mime/packages/vrk3.xml \
    share/man/man1/vrk3.1.gz share/man/man1/vrkc.1.gz share/doc/vrk3/vrk3.html share/doc/vrk3/vrk3-en.html \
    share/metainfo/invalid.vrk3.vrk3.metainfo.xml \
    share/vrk3/demo/DEMO.VRK share/vrk3/demo/DEMO.VRJ share/vrk3/demo/DEMO.V01 share/vrk3/demo/night.jpg \
    share/vrk3/demo/theme.mid share/vrk3/demo/bell.wav; do
    [[ -f $usr/$f ]] || fail "$f is not installed"
done
[[ -x $usr/bin/vrkc && -x $usr/lib/vrk3/vrk3 ]] || fail "the programs are not executable"
# The command on the path and the manual beside the program are links that resolve.
[[ -L $usr/bin/vrk3 && $(readlink -f "$usr/bin/vrk3") == "$usr/lib/vrk3/vrk3" ]] || fail "bin/vrk3 does not lead to lib/vrk3/vrk3"
[[ -f $(readlink -f "$usr/lib/vrk3/vrk3.html") ]] || fail "lib/vrk3/vrk3.html does not lead to the manual"
# The audio libraries are loaded with the sound module at the first sound, not at start-up.
needed=$(readelf -d "$usr/lib/vrk3/vrk3" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p')
[[ -n $needed ]] || fail "readelf shows no library vrk3 links"
if grep -iE 'sdl|fluidsynth' <<<"$needed"; then fail "vrk3 links the audio libraries itself"; fi
# Qt comes with the window module, so the terminal player never loads it.
if grep -iE 'qt' <<<"$needed"; then fail "vrk3 links Qt itself"; fi
readelf --dyn-syms -W "$usr/lib/vrk3/vrk3-window.so" | grep -qw vrk3_run_window ||
    fail "the window module exports no vrk3_run_window"
readelf --dyn-syms -W "$usr/lib/vrk3/vrk3-sound-sdl.so" | grep -qw vrk3_make_sound_backend ||
    fail "the sound module exports no vrk3_make_sound_backend"
# The shipped slots are read-only, so readers' saves go to their own directory.
[[ $(stat -c %a "$usr/share/vrk3/demo/DEMO.V01") == 444 ]] || fail "DEMO.V01 is writable"
# Nothing lands outside /usr.
extra=$(cd "$stage" && find . -mindepth 1 -maxdepth 1 ! -name usr)
[[ -z $extra ]] || fail "files outside /usr: $extra"

# The desktop entry is valid and opens a story with vrk3.
desktop-file-validate "$usr/share/applications/vrk3.desktop" || fail "desktop-file-validate"
grep -qx 'Exec=vrk3 %f' "$usr/share/applications/vrk3.desktop" || fail "the entry does not run vrk3 %f"
grep -qx 'MimeType=application/x-vrk3-story;' "$usr/share/applications/vrk3.desktop" || fail "the entry names no story type"

# Software centres can list the player: the metadata is valid without a warning, is named after
# its id, starts the installed desktop entry and opens the story type. The URLs are not fetched.
metainfo=$usr/share/metainfo/invalid.vrk3.vrk3.metainfo.xml
if command -v appstreamcli >/dev/null; then
    report=$(appstreamcli validate --no-net --no-color "$metainfo" 2>&1) || fail "appstreamcli validate: $report"
    if grep -E '^[WE]:' <<<"$report"; then fail "appstreamcli validate warns"; fi
else
    echo "note: appstreamcli is not installed; the AppStream metadata was not validated"
fi
grep -q '<id>invalid.vrk3.vrk3</id>' "$metainfo" || fail "the metadata's file is not named after its id"
launchable=$(sed -n 's|.*<launchable type="desktop-id">\(.*\)</launchable>.*|\1|p' "$metainfo")
[[ -n $launchable && -f $usr/share/applications/$launchable ]] || fail "the metadata launches '$launchable', which is not installed"
grep -q '<mediatype>application/x-vrk3-story</mediatype>' "$metainfo" || fail "the metadata names no story type"
grep -q '<content_rating type="oars-' "$metainfo" || fail "the metadata has no content rating"
for shot in "$source_dir"/docs/screenshot-*.png; do
    grep -q "/$(basename "$shot")</image>" "$metainfo" || fail "the metadata does not show $(basename "$shot")"
done

# The story's first file gets the story type from the staged MIME database.
update-mime-database "$usr/share/mime" >/dev/null 2>&1 || fail "update-mime-database"
grep -q '^[0-9]*:application/x-vrk3-story:\*\.vrk' "$usr/share/mime/globs2" || fail "*.vrk is not in globs2"
if command -v gio >/dev/null; then
    cp "$usr/share/vrk3/demo/DEMO.VRK" "$stage/tale.vrk"
    for file in "$stage/tale.vrk" "$usr/share/vrk3/demo/DEMO.VRK"; do
        type=$(XDG_DATA_DIRS="$usr/share" XDG_DATA_HOME="$stage/none" gio info -a standard::content-type "$file" |
            sed -n 's/.*standard::content-type: //p')
        [[ $type == application/x-vrk3-story ]] || fail "$(basename "$file") has type '$type'"
    done
else
    echo "note: gio is not installed; the type was checked in globs2 only"
fi
if command -v update-desktop-database >/dev/null; then
    update-desktop-database "$usr/share/applications" || fail "update-desktop-database"
    grep -q '^application/x-vrk3-story=vrk3.desktop' "$usr/share/applications/mimeinfo.cache" ||
        fail "mimeinfo.cache does not send stories to vrk3.desktop"
fi

# The icon in each hicolor size, each PNG as large as its folder says.
for size in 16 22 24 32 48 64 128 256; do
    png="$usr/share/icons/hicolor/${size}x${size}/apps/vrk3.png"
    if [[ ! -f $png ]]; then
        fail "no ${size}x${size} icon"
        continue
    fi
    read -r w h < <(od -An -tu1 -j16 -N8 "$png" | awk '{print $1*16777216+$2*65536+$3*256+$4, $5*16777216+$6*65536+$7*256+$8}')
    [[ $w == "$size" && $h == "$size" ]] || fail "the ${size}x${size} icon is ${w}x${h}"
done

# The manual pages render and say where the settings and saves live.
for page in vrk3 vrkc; do
    text=$(MANWIDTH=100 man -l "$usr/share/man/man1/$page.1.gz" 2>&1) || fail "man $page"
    [[ $text == *"$page"* ]] || fail "man $page shows no name"
done
[[ $(MANWIDTH=200 man -l "$usr/share/man/man1/vrk3.1.gz" 2>/dev/null) == *'$XDG_CONFIG_HOME/vrk3/vrk.ini'* ]] ||
    fail "man vrk3 does not say where vrk.ini lives"

# The installed programs run from the staging directory.
help=$("$usr/bin/vrk3" --help) || fail "vrk3 --help"
for text in vrk.ini '$XDG_CONFIG_HOME/vrk3/vrk.ini' '$XDG_DATA_HOME/vrk3' --headless; do
    [[ $help == *"$text"* ]] || fail "vrk3 --help does not mention $text"
done
[[ $("$usr/bin/vrk3" --version) =~ ^vrk3\ [0-9]+\.[0-9]+$ ]] || fail "vrk3 --version"
[[ $("$usr/bin/vrkc" --version) =~ ^vrkc\ [0-9]+\.[0-9]+$ ]] || fail "vrkc --version"
[[ $("$usr/bin/vrkc" --help) == *--check* ]] || fail "vrkc --help does not mention --check"
"$usr/bin/vrkc" --check "$usr/share/vrk3/demo/DEMO.VRK" || fail "the installed demo does not pass vrkc --check"
# The help opens the manual beside the program, so the staged link must reach it.
if [[ -n $(find "$usr/lib/vrk3" -xtype l) ]]; then fail "broken links in lib/vrk3"; fi

exit $failed
