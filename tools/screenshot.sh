#!/usr/bin/env bash
# Makes docs/screenshot.png again: the main window with a few machines and a
# program loaded, rendered on Qt's offscreen platform (no display needed).
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
bash "$here/tools/setup.sh"
QT_QPA_PLATFORM=offscreen "$here/build/tools/tavrin_screenshot" "$here/docs/screenshot.png"
