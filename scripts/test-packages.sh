#!/usr/bin/env bash
# Tests the packages that scripts/package.sh made in dist/:
#  - the Debian package, as Debian checks packages (lintian, appstreamcli, desktop-file-validate),
#    then unpacked into a scratch root with dpkg-deb -x: its fields, its files, and its programs
#    running from there;
#  - the Windows zip: the programs (one file each, importing only system DLLs), README, licences;
#  - the NSIS installer, run silently under wine (/S) in a throwaway prefix: what it installs,
#    the installed program's window on a private X display, and a clean uninstall;
#  - Qt's corresponding source and the checksums in dist/;
#  - the same bytes again: the programs linked and packed a second time give the same .deb, .zip
#    and installer.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/packages.sh
source scripts/wine-session.sh
ensure_packages "${WINDOWS_PACKAGES[@]}" "${TEST_PACKAGES[@]}" "${PACKAGE_PACKAGES[@]}" xdotool

readonly version=2.1.0.0
deb=dist/tarv-configurator_${version}_amd64.deb
zip=dist/tarv-configurator-${version}-win64.zip
setup=dist/tarv-configurator-${version}-win64.exe
for file in "$deb" "$zip" "$setup"; do
    [ -f "$file" ] || fail "$file is missing: run scripts/package.sh first"
done

session_begin packages
scratch=$sessionWork/scratch

expect_file() {
    [ -f "$1" ] || fail "missing: ${1#"$scratch"/}"
}

step "checksums"
listed=$(cut -c67- dist/SHA256SUMS | LC_ALL=C sort)
present=$(cd dist && find . -maxdepth 1 -type f ! -name SHA256SUMS -printf '%f\n' | LC_ALL=C sort)
[ "$listed" = "$present" ] || fail "SHA256SUMS lists: $listed; dist/ holds: $present"
(cd dist && sha256sum --quiet -c SHA256SUMS) || fail "a checksum of SHA256SUMS does not hold"
echo "ok: $(wc -l <dist/SHA256SUMS) files"

step "Qt's corresponding source and the configurator's own beside the Windows packages"
for pattern in 'qt6-base_*.dsc' 'qt6-base_*.orig.tar.xz' 'qt6-base_*.debian.tar.xz' QT-SOURCE.txt \
    "tarv-configurator-${version}-source.tar.gz"; do
    compgen -G "dist/$pattern" >/dev/null || fail "dist/ lacks $pattern"
done
echo "ok"

step "lintian"
lintian --fail-on error,warning --display-info "$deb" | tee "$sessionWork/lintian.log" ||
    fail "lintian found errors or warnings"
echo "ok: no errors, no warnings"

step "Debian package $deb"
field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = tarv-configurator ] || fail "Package: $(field Package)"
[ "$(field Version)" = "$version" ] || fail "Version: $(field Version)"
[ "$(field Architecture)" = amd64 ] || fail "Architecture: $(field Architecture)"
depends=$(field Depends)
dependsNames=$(tr ',' '\n' <<<"$depends" | sed 's/(.*//; s/^ *//; s/ *$//')
for library in libc6 libstdc++6 libqt6widgets6 libqt6gui6 libqt6core6; do
    grep -Fqx "$library" <<<"$dependsNames" || fail "Depends lacks $library: $depends"
done
echo "Depends: $depends"
mkdir -p "$scratch/deb"
dpkg-deb -x "$deb" "$scratch/deb"
root=$scratch/deb/usr
for program in tarv-configurator tarv-configurator-demo tarv-adapter-sim; do
    [ -x "$root/bin/$program" ] || fail "not an executable: /usr/bin/$program"
done
expect_file "$root/share/applications/tarv-configurator.desktop"
expect_file "$root/share/icons/hicolor/64x64/apps/tarv-configurator.png"
expect_file "$root/share/doc/tarv-configurator/60-tarv-adapter.rules"
expect_file "$root/share/doc/tarv-configurator/README.md"
expect_file "$root/share/doc/tarv-configurator/copyright"
expect_file "$root/share/doc/tarv-configurator/changelog.gz"
for page in tarv-configurator tarv-configurator-demo tarv-adapter-sim tarv-cli; do
    expect_file "$root/share/man/man1/$page.1.gz"
done
grep -q '^License: Expat' "$root/share/doc/tarv-configurator/copyright" || fail "the copyright file names no MIT (Expat) licence"
man -l "$root/share/man/man1/tarv-cli.1.gz" 2>/dev/null | grep -q 'restore' || fail "tarv-cli's manual page does not tell restore"
metainfo=$root/share/metainfo/com.tarv.Configurator.metainfo.xml
expect_file "$metainfo"
appstreamcli validate --no-net "$metainfo" || fail "the AppStream metainfo does not validate"
desktop-file-validate "$root/share/applications/tarv-configurator.desktop" || fail "the desktop entry does not validate"
# The desktop entry starts a program of the package and names its icon.
exec=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$root/share/applications/tarv-configurator.desktop")
[ -x "$root/bin/$exec" ] || fail "the desktop entry starts '$exec', which the package does not hold"
grep -qx 'Icon=tarv-configurator' "$root/share/applications/tarv-configurator.desktop" || fail "desktop entry icon"
# The udev rule stays optional: nothing is installed into udev's own folders.
extra=$(find "$scratch/deb" -mindepth 1 -maxdepth 1 ! -name usr)
[ -z "$extra" ] || fail "the package installs outside /usr: $extra"
# The stripped programs still run from the unpacked package.
"$root/bin/tarv-adapter-sim" --help >/dev/null || fail "tarv-adapter-sim --help"
report=$(LC_ALL=C QT_QPA_PLATFORM=offscreen timeout 60 "$root/bin/tarv-configurator-demo" --report-after 1500) ||
    fail "the packaged demo did not run"
grep -qx 'LblPn=KV24' <<<"$report" || fail "the packaged demo showed: $report"
echo "ok: fields, files, desktop entry, and the programs run"

step "Windows zip $zip"
mkdir -p "$scratch/zip"
(cd "$scratch/zip" && cmake -E tar xf "$OLDPWD/$zip")
top=$scratch/zip/tarv-configurator-${version}-win64
for file in tarv-configurator.exe tarv-configurator-demo.exe tarv-cli.exe README.md NOTICE.txt \
    licenses/tarv-configurator-LICENSE.txt licenses/Qt/LGPL-3.0-only.txt licenses/Qt/GPL-3.0-only.txt; do
    expect_file "$top/$file"
done
# The programs lie flat beside the README, each once.
[ ! -e "$top/bin" ] || fail "the zip has a bin/ folder: $(ls "$top/bin")"
dlls=$(find "$top" -iname '*.dll')
[ -z "$dlls" ] || fail "the zip holds DLLs: $dlls"
for exe in "$top"/*.exe; do
    if [ "$(basename "$exe")" = tarv-cli.exe ]; then
        check_imports_only_system_dlls "$exe" console
    else
        check_imports_only_system_dlls "$exe"
    fi
done
ls -l "$top"/*.exe

step "NSIS installer $setup, silently under wine"
timeout 300 wine "$setup" /S </dev/null >"$sessionWork/setup.log" 2>&1 || fail "the installer failed: $(cat "$sessionWork/setup.log")"
timeout 120 wineserver -w || true
installed="$WINEPREFIX/drive_c/Program Files/Tarv Configurator"
for file in tarv-configurator.exe tarv-configurator-demo.exe Uninstall.exe README.md NOTICE.txt \
    licenses/tarv-configurator-LICENSE.txt licenses/Qt/LGPL-3.0-only.txt; do
    [ -f "$installed/$file" ] || fail "not installed: $file"
done
menu=$(find "$WINEPREFIX/drive_c" -path '*Start Menu/Programs/Tarv Configurator' -type d | head -n 1)
[ -n "$menu" ] || fail "no Start-menu folder"
for shortcut in "Tarv Configurator.lnk" "Tarv Configurator Demo.lnk"; do
    [ -f "$menu/$shortcut" ] || fail "no Start-menu shortcut $shortcut"
done
echo "Start-menu shortcuts in ${menu#"$WINEPREFIX"/}"
uninstallKey='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Tarv Configurator'
registered=$(timeout 60 wine reg query "$uninstallKey" /v DisplayVersion </dev/null 2>/dev/null | tr -d '\r')
grep -q "DisplayVersion.*$version" <<<"$registered" || fail "no uninstall entry with DisplayVersion $version: $registered"
echo "ok: installed, with shortcut and uninstall entry (version $version)"

step "the installed program starts"
xvfb_start
timeout 120 wine "$installed/tarv-configurator.exe" </dev/null >"$sessionWork/installed.out" 2>&1 &
programPid=$!
window=$(wait_window '^Tarv Configurator' 60) || true
[ -n "$window" ] || fail "the installed program showed no window within 60 s: $(cat "$sessionWork/installed.out")"
caption=$(window_name "$window")
[ "$caption" = "Tarv Configurator (Ver. $version)" ] || fail "caption '$caption'"
send_keys "$window" alt+F4
wait_exit "$programPid" 30
status=$exitCode
[ "$status" -eq 0 ] || fail "the installed program ended with exit code $status"
echo "ok: '$caption' opened and closed with exit code 0"

step "silent uninstall"
timeout 120 wine "$installed/Uninstall.exe" /S </dev/null >"$sessionWork/uninstall.log" 2>&1 ||
    fail "the uninstaller failed: $(cat "$sessionWork/uninstall.log")"
# The uninstaller runs on from a copy of itself; its end is the end of wine's last process.
timeout 120 wineserver -w || true
[ ! -e "$installed" ] || fail "left behind: $(find "$installed" | head)"
[ ! -e "$menu" ] || fail "the Start-menu shortcuts are left behind"
if timeout 60 wine reg query "$uninstallKey" </dev/null >/dev/null 2>&1; then fail "the uninstall entry is left behind"; fi
echo "ok: nothing left behind"

step "the same bytes again"
# The programs are linked again and everything packed again from the same commit; the objects
# they are linked from are the compiler's output of the same files with the same flags.
rm -f build/package/tarv-configurator build/package/tarv-configurator-demo build/package/tarv-adapter-sim \
    build/package/cli/tarv-cli build/mingw-gui/*.exe build/mingw-gui/cli/*.exe
again=$sessionWork/dist-again
TARV_DIST=$again scripts/package.sh >"$sessionWork/package-again.log" 2>&1 ||
    fail "the second packaging failed: $(tail -n 30 "$sessionWork/package-again.log")"
for file in "$deb" "$zip" "$setup"; do
    cmp "$file" "$again/$(basename "$file")" || fail "$(basename "$file") differs between two runs"
    echo "ok: $(basename "$file") is the same, byte for byte"
done
step "done"
