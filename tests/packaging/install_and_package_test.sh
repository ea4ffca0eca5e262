#!/usr/bin/env bash
# The installed tree and the Debian package hold what a packaged program needs,
# and the desktop metadata validates.
set -u
build=${VANTIRO_BUILD_DIR:?}
src=${VANTIRO_SOURCE_DIR:?}
tmp=$(mktemp -d); trap 'rm -rf "$tmp"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

desktop-file-validate "$src/data/vantiro.desktop" || fail "desktop entry does not validate"
appstreamcli validate --no-net "$src/data/vantiro.metainfo.xml" >"$tmp/as.log" 2>&1 ||
    { cat "$tmp/as.log"; fail "metainfo does not validate"; }
man --warnings -l "$src/data/vantiro.1" >/dev/null 2>"$tmp/man.log"
[[ -s "$tmp/man.log" ]] && { cat "$tmp/man.log"; fail "man page has warnings"; }
bash -n "$src/data/vantiro.bash-completion" || fail "bash completion does not parse"

cmake --install "$build" --prefix "$tmp/root/usr" >/dev/null || fail "cmake --install failed"
for f in bin/vantiro share/vantiro/fonts/NotoSans-Regular.ttf share/vantiro/fonts/NotoSansThai-Regular.ttf \
         share/applications/io.github.vantiro.Vantiro.desktop \
         share/icons/hicolor/scalable/apps/io.github.vantiro.Vantiro.svg \
         share/metainfo/io.github.vantiro.Vantiro.metainfo.xml share/man/man1/vantiro.1.gz \
         share/doc/vantiro/copyright share/doc/vantiro/changelog.gz \
         share/bash-completion/completions/vantiro; do
    [[ -e "$tmp/root/usr/$f" ]] || fail "not installed: $f"
done
for f in NotoSans-Regular.ttf NotoSansThai-Regular.ttf; do
    [[ -L "$tmp/root/usr/share/vantiro/fonts/$f" ]] || fail "font $f is copied instead of linked to fonts-noto-core's"
done
# The installed program finds its fonts through ../share/vantiro/fonts/.
"$tmp/root/usr/bin/vantiro" help | grep -q '^usage: vantiro' || fail "installed vantiro help"

(cd "$tmp" && cpack -G DEB --config "$build/CPackConfig.cmake" -B "$tmp/pkg" >/dev/null 2>&1) ||
    fail "cpack could not build the package"
deb=$(ls "$tmp"/pkg/vantiro_*.deb 2>/dev/null | head -1)
if [[ -n "$deb" ]]; then
    depends=$(dpkg-deb -f "$deb" Depends)
    for lib in libsdl2 libmpv libcurl fonts-noto-core; do
        [[ "$depends" == *"$lib"* ]] || fail "package does not depend on $lib: $depends"
    done
    dpkg-deb -c "$deb" > "$tmp/contents"
    grep -q './usr/bin/vantiro$' "$tmp/contents" || fail "package lacks /usr/bin/vantiro"
    grep -q 'share/vantiro/fonts/NotoSans-Regular.ttf' "$tmp/contents" || fail "package lacks the fonts"
    # Lintian's errors are what Debian would refuse; its warnings are reported.
    if command -v lintian >/dev/null; then
        lintian "$deb" > "$tmp/lintian.log" 2>&1
        grep '^W:' "$tmp/lintian.log"
        grep '^E:' "$tmp/lintian.log" && fail "lintian reports errors"
        grep 'duplicate-font-file' "$tmp/lintian.log" && fail "the package copies fonts that fonts-noto-core installs"
    fi
else
    fail "no package was built"
fi
echo "$failures failed"
[[ $failures -eq 0 ]]
