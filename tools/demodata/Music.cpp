// The demo's music and speech: the music script's tables (music.txt), a short
// resident tone, a compressed looping theme, a fanfare for a scripted moment
// and one spoken line with its mouth shapes, all synthesised here.
//
//   SFX/tone.mlu         a 16-bit Melo chime of half a second
//   Loops/theme.mlc      MCMP (VIMA) of a stereo Melo: a four-bar phrase that
//                        loops (a JUMP back to its start), its "exit" marker at
//                        the loop point and an ending phrase closed by "_end"
//   Loops/fanfare.mlu    a Melo fanfare ending in "_end" (the sequence)
//   Voices/demo_line.wav a spoken-like line of three syllables, and
//   Voices/demo_line.lip its mouth shapes
#include <cmath>
#include <vector>

#include "DemoData.h"
#include "MeloWriter.h"

namespace {

using namespace melowriter;

constexpr int kRate = 22050;

constexpr char kMusicTable[] =
    "# The music script's tables. Rows, fields separated by blanks:\n"
    "#   state|sequence index id name music type hook-attribute cycle fade-ms volume pan\n"
    "#   name music-name file-name\n"
    "# A music name of \"-\" is none. Types: 2 cross-fade, 3 switch, 4 a sequence that\n"
    "# waits for its \"_end\" marker, 10 change over at the playing music's \"exit\".\n"
    "state 0 1000 STATE_NULL - 0 0 0 0 0 0\n"
    "state 1 1999 yard_night theme 2 0 0 1000 90 64\n"
    "state 2 1001 yard theme 2 0 0 1500 110 64\n"
    "sequence 0 2000 SEQ_NULL - 0 0 0 0 0 0\n"
    "sequence 1 2001 fanfare fanfare 4 0 0 500 120 64\n"
    "name theme theme.mlc\n"
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

Bytes Theme() {
  const std::vector<double> loopLow = Phrase({220, 277, 330, 277, 247, 294, 370, 294}, 0.5);
  const std::vector<double> loopHigh = Phrase({330, 415, 494, 415, 370, 440, 554, 440}, 0.5);
  const std::vector<double> endLow = Phrase({220, 165, 220}, 0.6);
  const std::vector<double> endHigh = Phrase({330, 247, 330}, 0.6);
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

Bytes Fanfare() {
  std::vector<double> notes = Phrase({392, 392, 523}, 0.25);
  AddNote(notes, 659, 0.75, 9000);
  const uint32_t bytes = static_cast<uint32_t>(notes.size() * 2);
  MeloBuilder m;
  m.Frmt(0, 16, kRate, 1).Regn(0, bytes).Text(bytes, "_end").Stop(bytes);
  m.data = Pcm16(Mono(notes), true);
  return m.Build();
}

// Three syllables: a buzzing voice whose loudness and pitch move like speech.
// The mouth opens ('A'), rounds ('O') and closes ('M') with them.
struct Syllable {
  double start, length, pitch;
  uint16_t shape;
};
constexpr Syllable kSyllables[] = {
    {0.10, 0.30, 140, 'A'}, {0.50, 0.25, 170, 'O'}, {0.85, 0.40, 125, 'A'}};
constexpr double kLineSeconds = 1.4;

Bytes Line() {
  std::vector<double> wave(static_cast<size_t>(kLineSeconds * kRate), 0.0);
  for (const Syllable& s : kSyllables) {
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
  return Wave(kRate, 16, 1, Pcm16(Mono(wave), false));
}

Bytes LineLip() {
  std::vector<std::pair<uint16_t, uint16_t>> entries = {{0, 'M'}};
  for (const Syllable& s : kSyllables) {
    entries.push_back({static_cast<uint16_t>(s.start * 1000 / 16), s.shape});
    entries.push_back({static_cast<uint16_t>((s.start + s.length) * 1000 / 16), 'M'});
  }
  entries.push_back({static_cast<uint16_t>(kLineSeconds * 1000 / 16), 0});
  return Lip(entries);
}

}  // namespace

DEMODATA_WRITER(WriteMusic) {
  return demodata::WriteText(gameDir / "music.txt", kMusicTable) &&
         demodata::WriteBytes(gameDir / "SFX" / "tone.mlu", Tone()) &&
         demodata::WriteBytes(gameDir / "Loops" / "theme.mlc", Theme()) &&
         demodata::WriteBytes(gameDir / "Loops" / "fanfare.mlu", Fanfare()) &&
         demodata::WriteBytes(gameDir / "Voices" / "demo_line.wav", Line()) &&
         demodata::WriteBytes(gameDir / "Voices" / "demo_line.lip", LineLip());
}
