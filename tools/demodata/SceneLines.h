// The scene's words: every line the actor says and every subtitle of the
// director's commentary, by text-table key. The text table "vosk.en.tab" is
// written from this list, and each spoken line gets its voice file
// "Voices/<key>.wav" with its mouth shapes "Voices/<key>.lip", so that the
// scripts' SayLine("/KEY/...") finds both.
#pragma once

namespace demodata {

struct SceneLine {
  const char* key;
  const char* text;
  bool spoken;  // has a voice file
};

inline constexpr SceneLine kSceneLines[] = {
    {"TITLE", "Vosk Quorvale: the yard at dusk", false},
    {"HELP", "Click: walk or use.  Right click: look.  F5 save, F9 load, F2 rendering, C commentary, T subtitles.", false},
    {"NOSAVE", "could not save", false},
    {"LAMP01", "The lamp over the door. It hums like a tired bee.", true},
    {"LAMP02", "Brighter now that the sun has gone.", true},
    {"DOOR01", "Locked. Nobody ever leaves me a key.", true},
    {"WINDOW01", "Warm light, and a smell of soup. Not for robots.", true},
    {"SUN01", "What a sunset. I should watch it properly.", true},
    {"GATE01", "The road out. Let us have a look.", true},
    {"BACK01", "Nothing out there but the road. Home again.", true},
    {"NIGHT01", "Night already. Time to head for the porch.", true},
    {"COM_YARD_1", "Every picture of this yard is painted at build time.", true},
    {"COM_YARD_2", "And every sound, the voices too, is made by our own tools.", true},
};

}  // namespace demodata
