#!/usr/bin/env bash
# Builds a static Qt for 64-bit Windows (Core, Gui, Widgets and the Windows platform plugin) from
# Debian's own qt6-base source package, with the POSIX thread model mingw-w64 compiler, and
# installs it into a cache folder outside the clone. The host tools (moc, uic, rcc) are those of
# Debian's Linux Qt, which has the same version.
#
# Prints the install prefix as its only line on standard output; progress goes to standard
# error. Does nothing but print the prefix when that folder is already complete. The folder's
# name carries the Qt version and a hash of the options, so a change of options builds afresh.
#   TARV_QT_CACHE   where the builds are kept (default: ~/.cache/tarv-qt)
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/packages.sh

readonly sourcePackage=qt6-base
readonly toolchain=$PWD/cmake/mingw-w64-x86_64.cmake
cache=${TARV_QT_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/tarv-qt}

say() { printf '[qt-windows %ds] %s\n' "$SECONDS" "$*" >&2; }

# Static QtBase with what the configurator needs and nothing it does not. Two features must be
# off for the Windows platform plugin to compile: tablet events, since Debian's source leaves out
# the bundled wintab headers, and dynamic GL, which Qt 6.4 keeps on when OpenGL is off.
readonly qtOptions=(
    -DCMAKE_BUILD_TYPE=Release
    -DBUILD_SHARED_LIBS=OFF
    -DQT_BUILD_EXAMPLES=OFF
    -DQT_BUILD_TESTS=OFF
    -DFEATURE_sql=OFF
    -DFEATURE_network=OFF
    -DFEATURE_dbus=OFF
    -DFEATURE_opengl=OFF
    -DFEATURE_dynamicgl=OFF
    -DFEATURE_printsupport=OFF
    -DFEATURE_concurrent=OFF
    -DFEATURE_xml=OFF
    -DFEATURE_testlib=OFF
    -DFEATURE_vulkan=OFF
    -DFEATURE_icu=OFF
    -DFEATURE_system_zlib=OFF
    -DFEATURE_tabletevent=OFF
)
readonly hostOptions=(-DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake)

# Its output goes to standard error: standard output carries only the prefix.
ensure_packages "${QT_WINDOWS_PACKAGES[@]}" >&2

# The Linux Qt's version is the version of the source we build: its host tools must match.
qtVersion=$(dpkg-query -W -f='${source:Upstream-Version}' qt6-base-dev)
qtVersion=${qtVersion%%+*}
optionsHash=$( { printf '%s\n' "${qtOptions[@]}" "${hostOptions[@]}"; cat "$toolchain"; \
    x86_64-w64-mingw32-g++-posix --version | head -n 1; } | sha256sum | cut -c1-12)
prefix=$cache/qt-$qtVersion-mingw-w64-static-$optionsHash

source_dir=$cache/qtbase-everywhere-src-$qtVersion

# The licence texts that go with programs linked against this static Qt: Qt's own (the LGPL-3.0
# and the GPL it builds on) and those of the third-party code that Qt bundles. Added to a prefix
# that lacks them, also to one that an earlier version of this script completed.
install_licenses() {
    [ -f "$prefix/licenses/LGPL-3.0-only.txt" ] && return 0
    if [ ! -d "$source_dir/LICENSES" ]; then
        say "the Qt source ($source_dir) is gone, so its licence texts cannot be copied; remove $prefix to build again"
        exit 1
    fi
    mkdir -p "$prefix/licenses/3rdparty"
    cp "$source_dir"/LICENSES/{LGPL-3.0-only,GPL-3.0-only,GPL-2.0-only}.txt "$prefix/licenses/"
    # The bundled code that a Windows build of Core, Gui and Widgets compiles in.
    local dir notices
    for dir in zlib pcre2 libpng libjpeg freetype harfbuzz-ng double-conversion md4c tinycbor easing blake2 \
        sha3 rfc6234 icc; do
        dir=$source_dir/src/3rdparty/$dir
        mapfile -t notices < <(find "$dir" -maxdepth 1 -type f \( -iname 'licen[cs]e*' -o -iname 'copying*' \
            -o -iname 'copyright*' -o -iname '*-license.txt' -o -iname '*_license' \))
        [ ${#notices[@]} -gt 0 ] || continue
        mkdir -p "$prefix/licenses/3rdparty/$(basename "$dir")"
        cp "${notices[@]}" "$prefix/licenses/3rdparty/$(basename "$dir")/"
    done
}

# Qt's complete corresponding source, as the LGPL asks it to go with the programs: the source
# package files as fetched, and a note of how this Qt was built from them. scripts/package.sh
# puts them beside the Windows packages. Added to a prefix that lacks them, as the licences are.
install_source() {
    [ -f "$prefix/source/QT-SOURCE.txt" ] && return 0
    local files=("$downloads"/qt6-base_"$qtVersion"*)
    if [ ! -f "${files[0]}" ]; then
        say "the Qt source package files are gone from $downloads; remove $prefix to build again"
        exit 1
    fi
    mkdir -p "$prefix/source"
    cp -p "${files[@]}" "$prefix/source/"
    {
        echo "Qt $qtVersion for Windows, as linked statically into tarv-configurator.exe and"
        echo "tarv-configurator-demo.exe"
        echo
        echo "Source: Debian's qt6-base source package, version $debianVersion, the files beside this"
        echo "note (qt6-base_*.dsc, qt6-base_*.orig.tar.xz, qt6-base_*.debian.tar.xz) as apt-get source"
        echo "fetched them. The build uses the upstream source in the .orig.tar.xz as it is: Debian's"
        echo "patches in the .debian.tar.xz are not applied."
        echo
        echo "Compiler: $(x86_64-w64-mingw32-g++-posix --version | head -n 1), with the toolchain file"
        echo "cmake/mingw-w64-x86_64.cmake of the configurator's source. Host tools (moc, uic, rcc):"
        echo "Debian's own Qt $qtVersion (qt6-base-dev-tools)."
        echo
        echo "Configure options (cmake -G Ninja -DCMAKE_TOOLCHAIN_FILE=... -DCMAKE_INSTALL_PREFIX=...):"
        printf '  %s\n' "${qtOptions[@]}" "${hostOptions[@]}"
        echo
        echo "To build the same Qt again, or a modified one: in the configurator's source, run"
        echo "scripts/qt-windows.sh (it fetches this source package, unpacks the .orig.tar.xz into"
        echo "~/.cache/tarv-qt, configures it with the options above and installs it; it prints the"
        echo "install prefix). To use a modified Qt, change the unpacked source there, remove the prefix"
        echo "and run the script again; then TARV_QT_PREFIX=<prefix> scripts/test-windows.sh links the"
        echo "configurator's programs against it."
    } >"$prefix/source/QT-SOURCE.txt"
}

# One build at a time per cache: a second run waits here, then finds the prefix complete.
mkdir -p "$cache"
exec 8>"$cache/.lock"
if ! flock -n 8; then
    say "another Qt build is running in $cache; waiting for it"
    flock 8
fi

debianVersion=$(dpkg-query -W -f='${source:Version}' qt6-base-dev)
downloads=$cache/downloads
if [ -f "$prefix/.complete" ]; then
    install_licenses
    install_source
    say "Qt $qtVersion for Windows is ready in $prefix"
    echo "$prefix"
    exit 0
fi

sudo=()
[ "$(id -u)" -eq 0 ] || sudo=(sudo)

# apt fetches the source only with a deb-src entry. Ours copies the machine's own Debian entries
# with their type changed, so no mirror address is written anywhere by us.
ensure_deb_src() {
    if grep -rqsE '^(Types:.*deb-src|deb-src )' /etc/apt/sources.list /etc/apt/sources.list.d/; then
        return 0
    fi
    local list=/etc/apt/sources.list.d/tarv-deb-src
    if [ -f /etc/apt/sources.list.d/debian.sources ]; then
        sed 's/^Types:.*/Types: deb-src/' /etc/apt/sources.list.d/debian.sources \
            | "${sudo[@]}" tee "$list.sources" >/dev/null
    elif [ -f /etc/apt/sources.list ]; then
        sed -n 's/^deb /deb-src /p' /etc/apt/sources.list | "${sudo[@]}" tee "$list.list" >/dev/null
    else
        say "no Debian sources entry to copy a deb-src entry from"
        exit 1
    fi
    say "added a deb-src entry ($list.*)"
    "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -qq >&2
}

if [ ! -f "$source_dir/.unpacked" ]; then
    ensure_deb_src
    mkdir -p "$downloads"
    say "fetching the $sourcePackage source package"
    (cd "$downloads" && apt-get source --download-only -qq "$sourcePackage=$debianVersion" >&2)
    rm -rf "$source_dir"
    tar -xf "$downloads"/qt6-base_"$qtVersion"*.orig.tar.xz -C "$cache"
    touch "$source_dir/.unpacked"
fi

build=$cache/build-$qtVersion-$optionsHash
say "configuring Qt $qtVersion for x86_64-w64-mingw32 in $build"
rm -rf "$prefix"
cmake -S "$source_dir" -B "$build" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_INSTALL_PREFIX="$prefix" \
    "${qtOptions[@]}" "${hostOptions[@]}" >"$build.configure.log" 2>&1 || {
    tail -n 60 "$build.configure.log" >&2
    exit 1
}

# Ninja's step count, shown every 25 steps; the whole output is kept in a log beside the build.
say "building (the whole log is $build.log)"
set +e
cmake --build "$build" 2>&1 | tee "$build.log" | awk '
    match($0, /^\[[0-9]+\/[0-9]+\]/) {
        split(substr($0, 2, RLENGTH - 2), step, "/")
        if (step[1] % 25 == 0 || step[1] == step[2]) { printf "  step %d of %d\n", step[1], step[2] > "/dev/stderr"; fflush("/dev/stderr") }
    }'
status=${PIPESTATUS[0]}
set -e
if [ "$status" -ne 0 ]; then
    grep -n -m 20 -E 'error|FAILED' "$build.log" >&2 || tail -n 60 "$build.log" >&2
    exit "$status"
fi

cmake --install "$build" >"$build.install.log" 2>&1
install_licenses
install_source
touch "$prefix/.complete"
say "Qt $qtVersion for Windows installed in $prefix"
echo "$prefix"
