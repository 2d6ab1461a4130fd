#!/usr/bin/env bash
# Makes the packages into dist/: the Debian package of the Linux build (build/ci), and the Windows
# zip and NSIS installer of the Windows programs (build/mingw-gui, with the static Qt of
# scripts/qt-windows.sh, which is built the first time: 30-45 minutes). Installs what is missing.
# scripts/test-packages.sh then tests what is in dist/.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/packages.sh
ensure_packages "${BUILD_PACKAGES[@]}" "${WINDOWS_PACKAGES[@]}" "${QT_WINDOWS_PACKAGES[@]}" "${PACKAGE_PACKAGES[@]}"

step() { printf '\n== [%ds] %s\n' "$SECONDS" "$*"; }

# cpack leaves its work beside the packages; only the packages and their checksums go to dist/.
pack() {
    local build=$1
    rm -rf "$build/packages"
    cpack --config "$build/CPackConfig.cmake" -B "$build/packages" >"$build/cpack.log" 2>&1 || {
        cat "$build/cpack.log"
        exit 1
    }
    find "$build/packages" -maxdepth 1 -type f \( -name '*.deb' -o -name '*.zip' -o -name '*.exe' -o -name '*.sha256' \) \
        -exec cp {} dist/ \;
}

mkdir -p dist
rm -f dist/tarv-configurator*

step "Debian package of the Linux build (build/ci)"
cmake --preset ci >/dev/null
cmake --build --preset ci
pack build/ci

step "Windows zip and installer (build/mingw-gui)"
TARV_QT_PREFIX=$(scripts/qt-windows.sh)
export TARV_QT_PREFIX
"$TARV_QT_PREFIX/bin/qt-cmake" --preset mingw-gui --no-warn-unused-cli >/dev/null
cmake --build --preset mingw-gui
pack build/mingw-gui

step "dist/"
ls -l dist/
