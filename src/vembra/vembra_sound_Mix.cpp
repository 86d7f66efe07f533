// The cutscene sound engine's mix: the movie clock, each voice's tail, its
// command program and its pieces, and the ducking of class-1 voices.
#include <algorithm>

#include "vembra/vembra_sound_Internal.h"

namespace {

constexpr int64_t kClockRate = 1193180;  // timer ticks per second
constexpr int64_t kOverrunMargin = 15000;
constexpr int32_t kMaxPiece = 1536;
// Commands one voice may run in a block without playing anything: a program
// that only jumps would otherwise spin the fill thread for ever.
constexpr int kMaxCommands = 256;

uint32_t BE32(const uint8_t* p) {
  return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}
int BE16s(const uint8_t* p) {
  return int16_t(uint16_t(p[0] << 8 | p[1]));
}

// Variables of the command programs: 255 the master volume, 254 the voice's
// volume, 253 its pan, any other index one of the 256 variables.
int ReadVariable(const SoundEngine& e, const SoundVoice& v, int index) {
  switch (index) {
    case 255:
      return e.master;
    case 254:
      return v.volume;
    case 253:
      return v.pan;
    default:
      return e.variables[size_t(index)];
  }
}

void WriteVariable(SoundEngine& e, SoundVoice& v, int index, int value) {
  switch (index) {
    case 255:
      e.master = value & 0xFF;
      break;
    case 254:
      v.volume = int8_t(value);
      break;
    case 253:
      v.pan = int8_t(value);
      break;
    default:
      e.variables[size_t(index)] = uint8_t(value);
      break;
  }
}

// Starts a play command at a byte offset of the sound. Data that the ring has
// already overwritten (with a margin while more is still to come) is skipped
// when the command reaches past it; otherwise the sound ends.
void StartPlay(SoundVoice& v, int64_t offset, int64_t count, int rate) {
  if (rate <= 0) {
    Sound_EndVoice(v);
    return;
  }
  v.position = offset;
  v.left = count;
  v.rate = rate;
  const int64_t margin = v.written < v.length ? kOverrunMargin : 0;
  const int64_t oldest = v.written - v.playRoom;
  if (offset >= oldest + margin) return;
  const int64_t resume = oldest + kOverrunMargin;
  if (offset + count > resume) {
    v.left -= resume - offset;
    v.position = resume;
  } else {
    Sound_EndVoice(v);
  }
}

// Runs one command of the voice's program. A command that does not fit the
// program, or a jump out of it, ends the sound.
void RunCommand(SoundEngine& e, SoundVoice& v) {
  const uint8_t* program = v.playSound + v.playProgram;
  const int32_t size = v.playProgramLength;
  const int32_t at = v.command;
  if (at < 0 || at + 2 > size || at + 2 + program[at + 1] > size) {
    Sound_EndVoice(v);
    return;
  }
  const int op = program[at];
  const int length = program[at + 1];
  const uint8_t* a = program + at + 2;
  const int32_t next = at + 2 + length;
  const auto need = [&](int bytes) {
    if (length >= bytes) return true;
    Sound_EndVoice(v);
    return false;
  };
  const auto jump = [&](int relative) {
    const int32_t target = at + relative;
    if (target < 0 || target >= size)
      Sound_EndVoice(v);
    else
      v.command = target;
  };
  switch (op) {
    case 1:
      if (!need(8)) return;
      v.command = next;
      StartPlay(v, BE32(a), BE32(a + 4), e.defaultRate);
      return;
    case 6:
      if (!need(12)) return;
      v.command = next;
      StartPlay(v, BE32(a), BE32(a + 4), int(BE32(a + 8)));
      return;
    case 7: {
      if (!need(18)) return;
      if (v.loopLeft <= 0) {
        v.loopLeft = BE32(a + 4);
        v.loopBase = 0;
      }
      const int64_t piece = std::min<int64_t>(BE32(a + 12), v.loopLeft);
      const int64_t offset = int64_t(BE32(a)) + v.loopBase;
      v.loopLeft -= piece;
      v.loopBase += piece;
      if (v.loopLeft <= 0)
        jump(BE16s(a + 16));
      else
        v.command = next;
      if (v.state != kVoiceFree) StartPlay(v, offset, piece, int(BE32(a + 8)));
      return;
    }
    case 2:
      if (!need(3)) return;
      if (a[2] == 0 || ReadVariable(e, v, a[2]) != 0)
        jump(BE16s(a));
      else
        v.command = next;
      return;
    case 8:
    case 9:
    case 10:
    case 11: {
      if (!need(4)) return;
      const int value = ReadVariable(e, v, a[2]);
      const bool taken = op == 8 ? value > a[3] : op == 9 ? value < a[3] : op == 10 ? value == a[3]
                                                                                 : value != a[3];
      if (taken)
        jump(BE16s(a));
      else
        v.command = next;
      return;
    }
    case 3:
      if (!need(2)) return;
      WriteVariable(e, v, a[0], a[1]);
      v.command = next;
      return;
    case 4:
      if (!need(2)) return;
      WriteVariable(e, v, a[0], ReadVariable(e, v, a[0]) + a[1]);
      v.command = next;
      return;
    default:
      Sound_EndVoice(v);
      return;
  }
}

int PanOf(const SoundEngine& e, const SoundVoice& v) {
  const int pan = std::clamp(v.pan, -127, 127);
  return e.reverseStereo ? -pan : pan;
}

// Output frames that sourceFrames frames at rate cover at the device rate.
int OutputFrames(int64_t sourceFrames, int rate, int deviceRate) {
  return int(std::max<int64_t>(1, sourceFrames * deviceRate / rate));
}

// The tail of a replaced sound: mixed first, fading out with the bytes left.
void MixTail(SoundEngine& e, SoundVoice& v, int frames, int deviceRate, MixerAddFn add) {
  if (v.tailLeft <= 0 || v.tailRate <= 0) return;
  const int fb = Sound_FrameBytes(v.tailFormat);
  const int64_t wanted = std::max<int64_t>(1, int64_t(frames) * v.tailRate / deviceRate);
  const int64_t pieceFrames = std::min<int64_t>(wanted, v.tailLeft / fb);
  if (pieceFrames <= 0) {
    v.tailLeft = 0;
    return;
  }
  const int32_t bytes = int32_t(pieceFrames) * fb;
  const int out =
      pieceFrames == wanted ? frames : std::min(frames, OutputFrames(pieceFrames, v.tailRate, deviceRate));
  const int volume = int(int64_t(v.tailVolume) * v.tailLeft * e.master / 780288);
  add(v.scratch + v.tailPosition, 0, out, bytes, std::clamp(volume, 0, 127), PanOf(e, v),
      v.tailFormat);
  v.tailPosition += bytes;
  v.tailLeft -= bytes;
}

// A playing voice whose position is about to be overwritten by the data still
// arriving jumps ahead; the bytes at the old position become a tail.
void SkipOverrun(SoundVoice& v) {
  if (v.state != kVoicePlaying || v.written >= v.length) return;
  if (v.position >= v.written - v.playRoom + kOverrunMargin) return;
  const int64_t target =
      std::min({v.written - kOverrunMargin, v.position + v.left, v.length});
  if (target <= v.position) return;
  Sound_MakeTail(v, v.volume);
  v.left -= target - v.position;
  v.position = target;
}

// The voice's volume with the master volume and, for class 1, the ducking.
int Gain(const SoundEngine& e, const SoundVoice& v) {
  int gain = v.volume * e.master / 127;
  if ((v.flags & 0xC0) == kSoundClassDucked && e.outputs[1]) gain = gain * e.duckLevel >> 8;
  return std::clamp(gain, 0, 127);
}

void MixVoice(SoundEngine& e, SoundVoice& v, int frames, int deviceRate, MixerAddFn add,
              bool* ducking) {
  SkipOverrun(v);
  MixTail(e, v, frames, deviceRate, add);
  if (v.state == kVoiceStarting) {
    v.playSound = v.sound;
    v.playProgram = v.programOffset;
    v.playProgramLength = v.programLength;
    v.playData = v.dataOffset;
    v.playRoom = v.dataRoom;
    v.playFormat = v.format;
    v.command = 0;
    v.position = 0;
    v.left = 0;
    v.rate = e.defaultRate;
    v.loopLeft = v.loopBase = 0;
    v.lastPiece = -1;
    v.fade = v.replacedPlaying ? 0 : 16;
    v.replacedPlaying = false;
    v.state = kVoicePlaying;
  }
  const int fb = Sound_FrameBytes(v.playFormat);
  int out = 0;
  int commands = 0;
  while ((v.state == kVoicePlaying || v.state == kVoiceWaiting) && out < frames) {
    if (v.left < fb) {
      v.left = 0;
      if (++commands > kMaxCommands) {
        Sound_EndVoice(v);
        break;
      }
      RunCommand(e, v);
      continue;
    }
    const int32_t inRoom = int32_t(v.position % v.playRoom);
    const int64_t toRoomEnd = v.playRoom - inRoom;
    if (toRoomEnd < fb) {  // a room that does not hold whole frames
      v.position += toRoomEnd;
      v.left -= toRoomEnd;
      continue;
    }
    const int64_t wanted = std::max<int64_t>(1, int64_t(frames - out) * v.rate / deviceRate);
    const int64_t pieceFrames =
        std::min({wanted, v.left / fb, int64_t(kMaxPiece / fb), toRoomEnd / fb});
    const int32_t bytes = int32_t(pieceFrames) * fb;
    const int pieceOut = pieceFrames == wanted
                             ? frames - out
                             : std::min(frames - out, OutputFrames(pieceFrames, v.rate, deviceRate));
    if (v.position + bytes > v.written) {
      // Starving: data that will never come ends the sound; otherwise the
      // voice waits, fading down, and repeats its last piece.
      if (v.written >= v.length) {
        Sound_EndVoice(v);
        break;
      }
      v.state = kVoiceWaiting;
      v.fade = std::max(v.fade - 1, 0);
      if (v.lastPiece >= 0) {
        const int repeatOut =
            std::min(frames - out, OutputFrames(v.lastPieceBytes / fb, v.rate, deviceRate));
        add(v.playSound + v.playData + v.lastPiece, out, repeatOut, v.lastPieceBytes,
            Gain(e, v) * v.fade >> 4, PanOf(e, v), v.playFormat);
      }
      break;
    }
    v.fade = std::min(v.fade + 1, 16);
    v.state = kVoicePlaying;
    if ((v.flags & 0xC0) == kSoundClassDucking) *ducking = true;
    add(v.playSound + v.playData + inRoom, out, pieceOut, bytes, Gain(e, v) * v.fade >> 4,
        PanOf(e, v), v.playFormat);
    v.lastPiece = inRoom;
    v.lastPieceBytes = bytes;
    v.position += bytes;
    v.left -= bytes;
    out += pieceOut;
    commands = 0;
  }
  v.history = {v.history[1], v.history[2], v.position};
  v.previousState = v.state;
}

}  // namespace

void Sound_Mix(int frames, int deviceRate, MixerAddFn add) {
  SoundEngine& e = Sound_Engine();
  if (frames <= 0 || deviceRate <= 0 || !add) return;
  int32_t adjust = 0;
  bool adjustNow = false;
  {
    std::lock_guard<std::mutex> lock(e.mutex);
    e.mixCounter++;
    if (e.mixCounterOut) *e.mixCounterOut = e.mixCounter;
    // The clock counts ticks x deviceRate, so no fraction of a tick is lost.
    e.clockAccumulator += int64_t(frames) * kClockRate;
    if (e.clockMarkSet && e.timer) {
      const int64_t since = int64_t(e.timer->GetTime()) - e.clockMark;
      if (since >= 0 && since / 5 < kClockRate) {
        e.clockMarkSet = false;
        e.clockAccumulator -= since * deviceRate;
      }
    }
    const int64_t whole = e.clockAccumulator / deviceRate;
    e.clockAccumulator -= whole * deviceRate;
    adjust = int32_t(std::clamp<int64_t>(whole, INT32_MIN, INT32_MAX));
    adjustNow = e.open && e.timer;
    if (e.open && e.pauseCount.load() == 0 && (e.outputs[0] || e.outputs[1] || e.outputs[2])) {
      if (e.resetRequest) {
        for (int i = 0; i < e.voiceCount; ++i) {
          SoundVoice& v = e.voices[size_t(i)];
          v.tailLeft = 0;
          v.loopLeft = v.loopBase = 0;
        }
        e.resetRequest = false;
      }
      bool ducking = false;
      for (int i = 0; i < e.voiceCount; ++i)
        MixVoice(e, e.voices[size_t(i)], frames, deviceRate, add, &ducking);
      if (ducking && e.duckLevel > e.duckFloor)
        e.duckLevel = std::max(e.duckLevel - (e.duckSpeed * frames >> 13), e.duckFloor);
      else if (!ducking && e.duckLevel < 256)
        e.duckLevel = std::min(e.duckLevel + (e.duckSpeed * frames >> 15), 256);
    }
  }
  // Outside the engine mutex: the timer's own mutex is held while its thread
  // calls the player, which may hold or release the sound.
  if (adjustNow) e.timer->Adjust(adjust);
}
