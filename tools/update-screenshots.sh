#!/usr/bin/env bash
# Refreshes the screenshots in docs/ from a run of the end-to-end script under Xvfb: the splash,
# the main window, the message box (its close button under the mouse) and the search box with text;
# and the tour of a user's day (tools/e2e-day.sh) in docs/tour/, in 128 colours to keep it small.
#
#   tools/update-screenshots.sh [BUILD_DIR]     (default: build-tests/)
set -uo pipefail
top="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$top/build-tests}"
"$top/tools/run-e2e.sh" "$build" || echo "update-screenshots: the end-to-end run had failures; copying what it took" >&2
for shot in splash main-window msgbox search-box; do
    if [ -s "$build/e2e/$shot.png" ]; then
        cp "$build/e2e/$shot.png" "$top/docs/$shot.png"
        echo "docs/$shot.png"
    else
        echo "update-screenshots: $shot.png was not taken" >&2
    fi
done
mkdir -p "$top/docs/tour"
for shot in "$build"/e2e/day/[0-9][0-9]-*.png; do
    [ -s "$shot" ] || continue
    convert "$shot" -strip -dither None -colors 128 "PNG8:$top/docs/tour/$(basename "$shot")"
    echo "docs/tour/$(basename "$shot")"
done
