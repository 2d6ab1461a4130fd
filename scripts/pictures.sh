#!/usr/bin/env bash
# Renders the README's pictures with the real program: the demo (its emulated KV24 on COM3) on
# Qt's offscreen platform, so no display is needed.
#   docs/window.png        the main window showing the encoder
#   docs/port-dialog.png   the port dialog that the port button opens
# Run it again after a change to the window and commit the pictures. Installs what is missing.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/packages.sh
ensure_packages "${BUILD_PACKAGES[@]}"

cmake --preset default >/dev/null
cmake --build --preset default --target tarv-configurator-demo
mkdir -p docs
# The C locale's short dates; the fonts are Debian's DejaVu, which fontconfig finds.
LC_ALL=C QT_QPA_PLATFORM=offscreen build/default/tarv-configurator-demo --report-after 2000 \
    --screenshot docs/window.png --port-dialog-screenshot docs/port-dialog.png >/dev/null
for picture in docs/window.png docs/port-dialog.png; do
    [ -s "$picture" ] || { echo "$picture was not made" >&2; exit 1; }
    echo "$picture"
done
