#!/usr/bin/env bash
# Builds the Debian package from a build tree and checks it as the archive would: its files, its
# control fields, its desktop entry and AppStream metadata, and lintian with no errors.
# Usage: scripts/check-package.sh path/to/build      (exit 77: a checking tool is missing)
set -euo pipefail

if [ $# -ne 1 ] || [ ! -f "$1/CPackConfig.cmake" ]; then
    echo "usage: $0 path/to/build" >&2
    exit 2
fi
build=$(realpath "$1")
for tool in cpack dpkg-deb dpkg-shlibdeps lintian appstreamcli desktop-file-validate; do
    if ! command -v "$tool" >/dev/null; then
        echo "check-package: $tool is missing (scripts/install-deps.sh --test installs it)" >&2
        exit 77
    fi
done

work=$(mktemp -d "${TMPDIR:-/tmp}/zalvo-package.XXXXXX")
trap 'rm -rf "$work"' EXIT
failures=0
fail() {
    echo "check-package: FAILED: $*" >&2
    failures=$((failures + 1))
}

cpack --config "$build/CPackConfig.cmake" -B "$work" >"$work/cpack.log" 2>&1 || {
    cat "$work/cpack.log" >&2
    fail "cpack did not build the package"
    exit 1
}
debs=("$work"/zalvo_*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || { fail "expected one zalvo_*.deb, found: ${debs[*]}"; exit 1; }
deb=${debs[0]}

dpkg-deb -c "$deb" | awk '{ print $6 }' | sed 's|^\./|/|' >"$work/files"
for file in /usr/bin/zalvo /usr/share/applications/zalvo.desktop \
    /usr/share/icons/hicolor/16x16/apps/zalvo.png /usr/share/icons/hicolor/32x32/apps/zalvo.png \
    /usr/share/icons/hicolor/48x48/apps/zalvo.png /usr/share/icons/hicolor/scalable/apps/zalvo.svg \
    /usr/share/metainfo/org.zalvo.Zalvo.metainfo.xml /usr/share/man/man1/zalvo.1.gz \
    /usr/share/doc/zalvo/copyright /usr/share/doc/zalvo/changelog.Debian.gz /usr/lib/zalvo/libzalvo_ffmpeg.so \
    /usr/lib/zalvo/libzalvo_taglib.so; do
    grep -qxF "$file" "$work/files" || fail "$file is not in the package"
done
if grep -v '^/usr/' "$work/files" | grep -q .; then
    fail "files outside /usr: $(grep -v '^/usr/' "$work/files" | tr '\n' ' ')"
fi

field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = zalvo ] || fail "Package is '$(field Package)'"
[ "$(field Section)" = sound ] || fail "Section is '$(field Section)'"
grep -q '^[0-9][0-9.]*-[0-9]\+$' <<<"$(field Version)" || fail "Version '$(field Version)' is not upstream-revision"
depends=$(field Depends)
# Found by shlibdeps in the program and its FFmpeg and TagLib modules, and what it loads at run time by name.
for needed in libqt6widgets6 libsndfile1 libpulse0 libtag1v5 libsoxr0 libopenal1 libcue2 libavformat59 libavcodec59 libswresample4 qt6-qpa-plugins; do
    grep -q "\b$needed\b" <<<"$depends" || fail "Depends lacks $needed: $depends"
done

mkdir "$work/root"
dpkg-deb -x "$deb" "$work/root"
appstreamcli validate --no-net "$work/root/usr/share/metainfo/org.zalvo.Zalvo.metainfo.xml" >"$work/appstream.log" ||
    { cat "$work/appstream.log" >&2; fail "appstreamcli validate"; }
desktop-file-validate "$work/root/usr/share/applications/zalvo.desktop" || fail "desktop-file-validate"

# lintian refuses to run as root unless told; a throw-away package is no risk.
lintian --fail-on error --allow-root --suppress-tags initial-upload-closes-no-bugs "$deb" || fail "lintian reports errors"

[ "$failures" -eq 0 ] || exit 1
echo "check-package: $(basename "$deb") is sound"
