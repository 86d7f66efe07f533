#!/usr/bin/env bash
# Runs the program on the staged demo game. With a display it runs until the
# window is closed (F5 saves, F9 loads). Without one it runs under Xvfb with
# the boot parameter "saveload" (the demo saves and loads by itself), ends the
# program after a few seconds with SIGTERM (SDL turns it into the normal quit)
# and prints the tail of the program log.
set -uo pipefail
game=${1:-build/game}
cd "$game" || exit 1
if [ -n "${DISPLAY:-}" ] && [ -z "${CI:-}" ]; then
  exec ./VoskQuorvale -log
fi
seconds=${VQ_RUN_SECONDS:-5}
xvfb-run -a -s "-screen 0 1280x1024x24" bash -c '
  ./VoskQuorvale -log -b saveload > /dev/null &
  pid=$!
  sleep '"$seconds"'
  kill -TERM $pid 2>/dev/null
  wait $pid
'
status=$?
echo "--- tail of Vosk.log ---"
tail -n 40 Vosk.log 2>/dev/null || echo "(no Vosk.log)"
echo "--- VoskQuorvale exited with status $status ---"
exit $status
