// The demo's music and speech: the music script's tables (music.txt), a short
// resident tone, two compressed looping themes, a fanfare for a scripted
// moment, the actor's spoken lines with their mouth shapes and the director's
// commentary, all synthesised here.
//
//   SFX/tone.mlu         a 16-bit Melo chime of half a second
//   Loops/theme.mlc      MCMP (VIMA) of a stereo Melo: a four-bar phrase that
//                        loops (a JUMP back to its start), its "exit" marker at
//                        the loop point and an ending phrase closed by "_end"
//   Loops/night.mlc      the same form: the slower night theme
//   Loops/fanfare.mlu    a Melo fanfare ending in "_end" (the sequence)
//   Voices/<ID>.wav      each spoken line of the scene's text table, and
//   Voices/<ID>.lip      its mouth shapes
//   Voices/demo_line.wav a spoken-like line of three syllables (and .lip)
//   commentary_yard.wav  the director's commentary track
#include <cctype>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "DemoData.h"
#include "MeloWriter.h"
#include "SceneLines.h"

namespace {

using namespace melowriter;

constexpr int kRate = 22050;

constexpr char kMusicTable[] =
    "# The music script's tables. Rows, fields separated by blanks:\n"
    "#   state|sequence index id name music type hook-attribute cycle fade-ms volume pan\n"
    "#   name music-name file-name\n"
    "# A music name of \"-\" is none. Types: 2 cross-fade, 3 switch, 4 a sequence that\n"
    "# waits for its \"_end\" marker, 10 change over at the playing music's \"exit\".\n"
    "# The yard at dusk, quieter on the porch (the theme goes on where it was),\n"
    "# and the yard at night.\n"
    "state 0 1000 STATE_NULL - 0 0 0 0 0 0\n"
    "state 1 1999 yard_night night 2 0 0 1500 100 64\n"
    "state 2 1001 yard theme 2 0 0 1500 110 64\n"
    "state 3 1002 porch theme 3 0 0 800 70 64\n"
    "sequence 0 2000 SEQ_NULL - 0 0 0 0 0 0\n"
    "sequence 1 2001 fanfare fanfare 4 0 0 500 120 64\n"
    "name theme theme.mlc\n"
    "name night night.mlc\n"
    "name fanfare fanfare.mlu\n";

// A note of frequency f for seconds, with a soft attack and decay.
void AddNote(std::vector<double>& out, double f, double seconds, double level) {
  const size_t n = static_cast<size_t>(seconds * kRate);
  for (size_t i = 0; i < n; ++i) {
    const double t = static_cast<double>(i) / kRate;
    const double envelope = std::min(1.0, t * 40.0) * std::exp(-3.0 * t / seconds);
    out.push_back(level * envelope *
                  (std::sin(2 * M_PI * f * t) + 0.3 * std::sin(4 * M_PI * f * t)));
  }
}

std::vector<double> Phrase(std::initializer_list<double> notes, double noteSeconds) {
  std::vector<double> out;
  for (double f : notes) AddNote(out, f, noteSeconds, 9000);
  return out;
}

std::vector<int16_t> Mono(const std::vector<double>& wave) {
  std::vector<int16_t> s(wave.size());
  for (size_t i = 0; i < wave.size(); ++i)
    s[i] = static_cast<int16_t>(std::clamp(wave[i], -32767.0, 32767.0));
  return s;
}

// Two voices a fifth apart, one a little to each side.
std::vector<int16_t> Stereo(const std::vector<double>& low, const std::vector<double>& high) {
  std::vector<int16_t> s(2 * low.size());
  for (size_t i = 0; i < low.size(); ++i) {
    const double h = i < high.size() ? high[i] : 0.0;
    s[2 * i] = static_cast<int16_t>(std::clamp(low[i] * 0.8 + h * 0.4, -32767.0, 32767.0));
    s[2 * i + 1] = static_cast<int16_t>(std::clamp(low[i] * 0.4 + h * 0.8, -32767.0, 32767.0));
  }
  return s;
}

Bytes Tone() {
  MeloBuilder m;
  std::vector<double> chime;
  AddNote(chime, 880, 0.5, 12000);
  const uint32_t bytes = static_cast<uint32_t>(chime.size() * 2);
  m.Frmt(0, 16, kRate, 1).Regn(0, bytes).Stop(bytes);
  m.data = Pcm16(Mono(chime), true);
  return m.Build();
}

// A looping theme: two voices of a phrase played over and over (a JUMP back
// to its start, with its "exit" marker at the loop point), then an ending
// phrase closed by "_end"; compressed as MCMP with VIMA blocks.
Bytes LoopedTheme(const std::vector<double>& loopLow, const std::vector<double>& loopHigh,
                  const std::vector<double>& endLow, const std::vector<double>& endHigh) {
  std::vector<int16_t> pcm = Stereo(loopLow, loopHigh);
  const uint32_t loopBytes = static_cast<uint32_t>(pcm.size() * 2);
  const std::vector<int16_t> ending = Stereo(endLow, endHigh);
  pcm.insert(pcm.end(), ending.begin(), ending.end());
  const uint32_t endBytes = static_cast<uint32_t>(ending.size() * 2);
  // The VIMA blocks decode to little-endian samples.
  MeloBuilder m;
  m.Frmt(0, 16, kRate, 2, 1).Regn(0, loopBytes);
  m.Text(loopBytes, "exit").Jump(loopBytes, 0, 0, 60).Regn(loopBytes, endBytes);
  m.Text(loopBytes + endBytes, "_end").Stop(loopBytes + endBytes);
  const Bytes melo = m.Build();
  const Bytes header(melo.begin(), melo.begin() + m.DataOffset());
  return Mcmp(header, pcm, 2, 32768);
}

Bytes Theme() {
  return LoopedTheme(Phrase({220, 277, 330, 277, 247, 294, 370, 294}, 0.5),
                     Phrase({330, 415, 494, 415, 370, 440, 554, 440}, 0.5),
                     Phrase({220, 165, 220}, 0.6), Phrase({330, 247, 330}, 0.6));
}

// The night: a slow phrase in a minor key, lower and softer.
Bytes Night() {
  return LoopedTheme(Phrase({147, 175, 220, 196, 175, 165}, 0.8),
                     Phrase({220, 262, 330, 294, 262, 247}, 0.8), Phrase({147, 110}, 0.9),
                     Phrase({220, 165}, 0.9));
}

Bytes Fanfare() {
  std::vector<double> notes = Phrase({392, 392, 523}, 0.25);
  AddNote(notes, 659, 0.75, 9000);
  const uint32_t bytes = static_cast<uint32_t>(notes.size() * 2);
  MeloBuilder m;
  m.Frmt(0, 16, kRate, 1).Regn(0, bytes).Text(bytes, "_end").Stop(bytes);
  m.data = Pcm16(Mono(notes), true);
  return m.Build();
}

// Speech: a buzzing voice whose loudness and pitch move like speech, one
// syllable per vowel group of a text, and the mouth shapes that go with it
// (the phoneme codes of the actor's lip-shape table: the syllable's vowel,
// 'm' for a word that starts with m, b or p, '_' between words).
struct Syllable {
  double start, length, pitch;
  uint16_t shape;
};

struct Speech {
  std::vector<Syllable> syllables;
  double seconds = 0.0;
};

bool IsVowel(char c) {
  return std::strchr("aeiouy", c) != nullptr;
}

Speech Syllables(const std::string& text) {
  Speech speech;
  double t = 0.10, pitch = 160.0;
  bool wordStart = true;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = static_cast<char>(std::tolower(static_cast<unsigned char>(text[i])));
    if (!std::isalpha(static_cast<unsigned char>(c))) {
      if (!wordStart) t += std::strchr(".,!?", c) ? 0.25 : 0.06;
      wordStart = true;
      continue;
    }
    if (wordStart && std::strchr("mbp", c)) {
      speech.syllables.push_back({t, 0.06, pitch, 'm'});
      t += 0.06;
    }
    wordStart = false;
    if (!IsVowel(c)) continue;
    while (i + 1 < text.size() && IsVowel(static_cast<char>(std::tolower(text[i + 1])))) ++i;
    const uint16_t shape = c == 'y' ? 'i' : static_cast<uint16_t>(c);
    speech.syllables.push_back({t, 0.17, pitch, shape});
    t += 0.19;
    pitch = 120.0 + std::fmod(pitch * 1.37, 60.0);  // an unsteady, spoken melody
  }
  speech.seconds = t + 0.2;
  return speech;
}

std::vector<double> SpeechWave(const Speech& speech) {
  std::vector<double> wave(static_cast<size_t>(speech.seconds * kRate), 0.0);
  for (const Syllable& s : speech.syllables) {
    const size_t first = static_cast<size_t>(s.start * kRate);
    const size_t n = static_cast<size_t>(s.length * kRate);
    for (size_t i = 0; i < n && first + i < wave.size(); ++i) {
      const double t = static_cast<double>(i) / kRate;
      const double envelope = std::sin(M_PI * t / s.length);
      double v = 0;
      for (int h = 1; h <= 6; ++h) v += std::sin(2 * M_PI * s.pitch * h * t) / h;
      wave[first + i] = 7000 * envelope * v;
    }
  }
  return wave;
}

Bytes SpeechLip(const Speech& speech, uint16_t closed) {
  std::vector<std::pair<uint16_t, uint16_t>> entries = {{0, closed}};
  for (const Syllable& s : speech.syllables) {
    entries.push_back({static_cast<uint16_t>(s.start * 1000 / 16), s.shape});
    entries.push_back({static_cast<uint16_t>((s.start + s.length) * 1000 / 16), closed});
  }
  entries.push_back({static_cast<uint16_t>(speech.seconds * 1000 / 16), 0});
  return Lip(entries);
}

// The first demo line: three syllables whose mouth opens ('A'), rounds ('O')
// and closes ('M') with them.
Speech DemoLine() {
  Speech speech;
  speech.syllables = {{0.10, 0.30, 140, 'A'}, {0.50, 0.25, 170, 'O'}, {0.85, 0.40, 125, 'A'}};
  speech.seconds = 1.4;
  return speech;
}

bool WriteSpeech(const std::filesystem::path& base, const Speech& speech, uint16_t closed) {
  std::filesystem::path wav = base, lip = base;
  wav += ".wav";
  lip += ".lip";
  return demodata::WriteBytes(wav, Wave(kRate, 16, 1, Pcm16(Mono(SpeechWave(speech)), false))) &&
         demodata::WriteBytes(lip, SpeechLip(speech, closed));
}

// The scene's spoken lines, and the director's commentary: its two subtitles
// spoken one after the other in one track.
bool WriteSceneSpeech(const std::filesystem::path& gameDir) {
  std::string commentary;
  for (const demodata::SceneLine& line : demodata::kSceneLines) {
    if (!line.spoken) continue;
    if (std::strncmp(line.key, "COM_", 4) == 0) {
      commentary += std::string(line.text) + " ";
    } else if (!WriteSpeech(gameDir / "Voices" / line.key, Syllables(line.text), '_')) {
      return false;
    }
  }
  return demodata::WriteBytes(
      gameDir / "commentary_yard.wav",
      Wave(kRate, 16, 1, Pcm16(Mono(SpeechWave(Syllables(commentary))), false)));
}

}  // namespace

DEMODATA_WRITER(WriteMusic) {
  return demodata::WriteText(gameDir / "music.txt", kMusicTable) &&
         demodata::WriteBytes(gameDir / "SFX" / "tone.mlu", Tone()) &&
         demodata::WriteBytes(gameDir / "Loops" / "theme.mlc", Theme()) &&
         demodata::WriteBytes(gameDir / "Loops" / "night.mlc", Night()) &&
         demodata::WriteBytes(gameDir / "Loops" / "fanfare.mlu", Fanfare()) &&
         WriteSpeech(gameDir / "Voices" / "demo_line", DemoLine(), 'M') && WriteSceneSpeech(gameDir);
}
