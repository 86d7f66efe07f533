#!/usr/bin/env bash
# Runs the program on the staged demo game. With a display it runs until the
# window is closed (F5 saves, F9 loads).
#
# Without one (or with CI set) it runs under Xvfb with the boot parameter
# "tour": the demo shows itself (Quill walks to the door and looks at it,
# looks at the window, the game is saved and loaded, he goes out through the
# gate and the road cutscene plays, the rendering is switched and back), says
# what it did and ends by itself, in well under a minute. VQ_RUN_SECONDS
# (default 120) is the most the tour may take: a program still running then
# is ended with SIGTERM (SDL turns it into the normal quit) and the run fails.
set -uo pipefail
game=${1:-build/game}
cd "$game" || exit 1
if [ -n "${DISPLAY:-}" ] && [ -z "${CI:-}" ]; then
  exec ./VoskQuorvale -log
fi
seconds=${VQ_RUN_SECONDS:-120}
# No sound card on a machine without a display, as a rule: a silent device.
export SDL_AUDIODRIVER=${SDL_AUDIODRIVER:-dummy}
messages=$(mktemp)
trap 'rm -f "$messages"' EXIT
echo "--- the demo's tour under Xvfb (at most ${seconds} s) ---"
xvfb-run -a -s "-screen 0 1280x1024x24" \
  timeout -s TERM "$seconds" ./VoskQuorvale -log -b tour > /dev/null 2> "$messages"
status=$?
grep -F "[Demo] - tour" "$messages" | sed "s/^\[Demo\] - //"
if ! grep -qF "[Demo] - tour over:" "$messages"; then
  echo "the tour did not finish"
  echo "--- tail of Vosk.log ---"
  tail -n 40 Vosk.log 2>/dev/null || echo "(no Vosk.log)"
  [ "$status" -eq 0 ] && status=1
fi
[ "$status" -eq 124 ] && echo "the tour took longer than ${seconds} s"
echo "--- VoskQuorvale exited with status $status ---"
exit $status
