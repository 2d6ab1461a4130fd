# Installs the Debian packages that are missing from the ones named, with apt-get (through sudo
# when not root). Sourced by the project's scripts.
ensure_packages() {
    local missing=()
    local pkg
    for pkg in "$@"; do
        dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed' || missing+=("$pkg")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    local sudo=()
    [ "$(id -u)" -eq 0 ] || sudo=(sudo)
    echo "Installing: ${missing[*]}"
    "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -qq
    "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

# What the build needs on Debian 12, and what the tests need on top. The keyboard library is the
# one Qt's X11 support already runs on; the window reads the keyboard map through it. CLI11 and
# nlohmann-json are header-only, for tarv-cli and the command core's journal. ccache keeps the
# compilers' output across builds and clones (CMakeLists.txt).
BUILD_PACKAGES=(g++ cmake ninja-build pkg-config qt6-base-dev libgtest-dev fonts-dejavu-core
    libxkbcommon-dev libxkbcommon-x11-dev libcli11-dev nlohmann-json3-dev ccache)
TEST_PACKAGES=(xvfb xauth)
# The Windows cross build and its tests under wine (scripts/test-windows.sh): the POSIX thread
# model compiler, not the g++-mingw-w64-x86-64 meta-package, whose "win32" default has no
# std::thread; GoogleTest's sources; 64-bit wine; the Linux build of the adapter emulator; and the
# header-only argument and JSON libraries of tarv-cli.
WINDOWS_PACKAGES=(g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 googletest wine wine64 g++ cmake ninja-build
    libcli11-dev nlohmann-json3-dev ccache)
# Qt for Windows, built from Debian's qt6-base source (scripts/qt-windows.sh): the cross compiler,
# and the Linux Qt of the same version, whose moc, uic and rcc serve the cross build.
QT_WINDOWS_PACKAGES=(g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 cmake ninja-build perl xz-utils
    qt6-base-dev qt6-base-dev-tools)
# The Windows window under wine (scripts/test-windows.sh): Qt for Windows as above, a private X
# server, xdotool to find the window, read its caption and press keys, and scrot to keep a
# screenshot of it as a PNG file.
WINDOWS_GUI_PACKAGES=("${QT_WINDOWS_PACKAGES[@]}" xvfb xauth xdotool scrot)
# The packages (scripts/package.sh, scripts/test-packages.sh): NSIS to make the Windows installer
# on Linux, dpkg-dev for dpkg-shlibdeps, which finds the Debian package's dependencies.
PACKAGE_PACKAGES=(nsis dpkg-dev help2man lintian appstream desktop-file-utils)
