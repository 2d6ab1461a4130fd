#!/usr/bin/env bash
# Makes the packages into dist/ (or $TARV_DIST): the Debian package of the Linux programs
# (build/package, with Debian's hardening flags), and the Windows zip and NSIS installer of the
# Windows programs (build/mingw-gui, with the static Qt of scripts/qt-windows.sh, built the first
# time: 30-45 minutes, or the one TARV_QT_PREFIX names), Qt's corresponding source beside them,
# and SHA256SUMS of it all. Installs what is missing. scripts/test-packages.sh then tests dist/.
#
# The same commit gives the same bytes: every time inside the packages is the last commit's
# (SOURCE_DATE_EPOCH, which cpack and help2man honour), the programs hold no build folders or link
# times, and the archives have fixed owners and modes.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/packages.sh
ensure_packages "${BUILD_PACKAGES[@]}" "${WINDOWS_PACKAGES[@]}" "${QT_WINDOWS_PACKAGES[@]}" "${PACKAGE_PACKAGES[@]}"

step() { printf '\n== [%ds] %s\n' "$SECONDS" "$*"; }

dist=${TARV_DIST:-dist}
SOURCE_DATE_EPOCH=$(git log -1 --format=%ct 2>/dev/null || stat -c %Y CMakeLists.txt)
export SOURCE_DATE_EPOCH

# cpack leaves its work beside the packages; only the packages go to dist/.
pack() {
    local build=$1
    rm -rf "$build/packages"
    cpack --config "$build/CPackConfig.cmake" -B "$build/packages" >"$build/cpack.log" 2>&1 || {
        cat "$build/cpack.log"
        exit 1
    }
    find "$build/packages" -maxdepth 1 -type f \( -name '*.deb' -o -name '*.zip' -o -name '*.exe' \) -exec cp {} "$dist/" \;
}

mkdir -p "$dist"
rm -f "$dist"/tarv-configurator* "$dist"/qt6-base_* "$dist"/QT-SOURCE.txt "$dist"/SHA256SUMS

step "Debian package (build/package)"
# Debian's own flags with all hardening (stack protector, fortify, relro, bindnow) and the source
# folder mapped away.
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
CXXFLAGS="$(dpkg-buildflags --get CXXFLAGS) $(dpkg-buildflags --get CPPFLAGS)" \
    LDFLAGS=$(dpkg-buildflags --get LDFLAGS) cmake --preset package --fresh >/dev/null
cmake --build --preset package
pack build/package

step "Windows zip and installer (build/mingw-gui)"
TARV_QT_PREFIX=${TARV_QT_PREFIX:-$(scripts/qt-windows.sh)}
export TARV_QT_PREFIX
"$TARV_QT_PREFIX/bin/qt-cmake" --preset mingw-gui --no-warn-unused-cli >/dev/null
cmake --build --preset mingw-gui
pack build/mingw-gui

step "Qt's corresponding source, beside the Windows packages"
if [ -d "$TARV_QT_PREFIX/source" ]; then
    cp -p "$TARV_QT_PREFIX"/source/* "$dist/"
else
    echo "the Qt in $TARV_QT_PREFIX has no source beside it (not made by scripts/qt-windows.sh);" \
        "the Windows packages must not be passed on without it" >&2
fi

step "the configurator's own source, for relinking the Windows programs with another Qt"
# The commit's tree as it is (git archive: the commit's time on every member, no owners).
git archive --format=tar.gz --prefix=tarv-configurator-2.1.0.0/ -o "$dist/tarv-configurator-2.1.0.0-source.tar.gz" HEAD

step "$dist/"
(cd "$dist" && find . -maxdepth 1 -type f ! -name SHA256SUMS -printf '%f\n' | LC_ALL=C sort | xargs sha256sum >SHA256SUMS)
ls -l "$dist/"
