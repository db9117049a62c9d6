#!/usr/bin/env bash
# The web player's files as a browser fetches them, gzipped (-9): the goal's
# three (selfplay-player.js, .wasm, .css), then everything the page loads.
#   bench/web/bundle_size.sh [SITE_DIR]   (default build-web/selfplay-web)
set -euo pipefail
site=${1:-build-web/selfplay-web}
gz() { gzip -9 -c "$1" | wc -c; }
goal=0
for f in selfplay-player.js selfplay-player.wasm selfplay-player.css; do
  goal=$((goal + $(gz "$site/$f")))
done
all=0
for f in "$site"/*.js "$site"/*.wasm "$site"/*.css; do
  all=$((all + $(gz "$f")))
done
printf '{"name": "bundle_gzip", "player_js_wasm_css_kb": %.1f, "all_files_kb": %.1f, "goal": "<= 350 KB"}\n' \
  "$(echo "$goal / 1024" | bc -l)" "$(echo "$all / 1024" | bc -l)"
