// The demo's director's commentary, "commentary_def.txt": one track about the
// yard, with two subtitles timed against its sound.
#include "DemoData.h"

namespace {

constexpr char kCommentaryDef[] =
    "# Director's commentary of the demo: name, sound, subtitle count, then\n"
    "# one line per subtitle: colour index, text key, start ms, end ms.\n"
    "yard_tour\n"
    "commentary_yard.wav\n"
    "2\n"
    "0 /COM_YARD_1/ 0 4000\n"
    "0 /COM_YARD_2/ 4000 9000\n";

}  // namespace

DEMODATA_WRITER(WriteCommentary) {
  return demodata::WriteText(gameDir / "commentary_def.txt", kCommentaryDef);
}
