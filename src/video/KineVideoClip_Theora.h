// Ogg clips of one Theora video stream and up to six Vorbis audio streams:
// headers and the language choice, length scan, frame and audio decoding,
// looping restart and seeking by bisection with the audio realigned.
#pragma once

#include <ogg/ogg.h>
#include <theora/theoradec.h>
#include <vorbis/codec.h>

#include "video/KineVideoClip.h"

// Decoded audio waiting for the sink, in decode order.
class KineAudioPacketQueue {
 public:
  struct Packet {
    float* samples;  // interleaved, owned
    int count;       // samples x channels
    Packet* next;
  };
  KineAudioPacketQueue() = default;
  ~KineAudioPacketQueue() { Flush(); }
  KineAudioPacketQueue(const KineAudioPacketQueue&) = delete;
  KineAudioPacketQueue& operator=(const KineAudioPacketQueue&) = delete;

  // One packet of frames x channels samples from per-channel arrays,
  // multiplied by gain when gain < 1.
  void AddPacket(float** channelSamples, int frames, float gain);
  // The same from interleaved samples (count = frames x channels).
  void AddPacket(const float* interleaved, int count, float gain);
  // Appends an interleaved array (new[]) without copying it.
  void AddRawPacket(float* interleaved, int count);
  float GetQueuedSeconds() const;
  Packet* PopPacket();
  static void DestroyPacket(Packet* packet);
  void Flush();
  void FlushTo(KineAudioInterface* sink);
  Packet* GetFirstPacket() { return first; }

 protected:
  uint32_t frequency = 0;
  uint32_t channels = 0;
  Packet* first = nullptr;
};

class KineVideoClip_Theora : public KineVideoClip, public KineAudioPacketQueue {
 public:
  KineVideoClip_Theora(KineDataSource* source, int outputMode, int precachedFrames,
                       bool powerOfTwoStride, uint32_t audioTrack);
  ~KineVideoClip_Theora() override;

  void PerformSeek() override;
  bool ReadMoreData() override;
  float DecodeAudio() override;
  void Load(KineDataSource* source) override;
  void Restart() override;
  std::string GetDecoderName() override { return "Theora"; }
  bool DecodeFrame() override;
  void DeliverAudio() override;

  void ReadHeaders();
  int SeekPage(int target, bool returnKeyframe);

  // For tests and tools.
  uint32_t GetChosenVorbisStream() const { return chosenStream; }
  int GetVorbisStreamCount() const { return vorbisStreamCount; }
  bool HasAudio() const { return vorbisHeaders > 0; }
  uint32_t GetAudioFramesDecoded() const { return audioFramesDecoded; }
  uint32_t GetLastDecodedFrame() const { return lastDecodedFrame; }
  uint32_t GetAudioFrequency() const { return frequency; }
  uint32_t GetAudioChannels() const { return channels; }
  int GetBisectionSteps() const { return bisectionSteps; }

 private:
  int ReadChunk();
  // Frees and makes the decoder again; false when it cannot be made.
  bool ResetDecoder();

  ogg_sync_state syncState;
  ogg_page page;
  ogg_stream_state vorbisStream;
  ogg_stream_state theoraStream;
  th_info theoraInfo;
  th_comment theoraComment;
  th_setup_info* theoraSetup = nullptr;
  th_dec_ctx* decoder = nullptr;
  vorbis_info vorbisInfo;
  vorbis_dsp_state vorbisDsp;
  vorbis_block vorbisBlock;
  vorbis_comment vorbisComment;
  bool vorbisDspReady = false;
  uint32_t audioTrack;
  uint32_t chosenStream = 0;
  int theoraHeaders = 0;
  int vorbisHeaders = 0;
  int vorbisStreamCount = 0;
  uint32_t audioFramesDecoded = 0;
  uint32_t lastDecodedFrame = 0;
  int bisectionSteps = 0;
};
