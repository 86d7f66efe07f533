#include "video/KineVideoClip_Theora.h"

#include <cmath>
#include <cstring>
#include <vector>

#include "video/KineVideoManager.h"

namespace {

constexpr int kChunk = 4096;
constexpr int kMaxVorbisStreams = 6;
// Larger pictures are refused before any buffer is made for them.
constexpr uint64_t kMaxPixels = 4096ull * 4096ull;

}  // namespace

// Audio packets ---------------------------------------------------------------

void KineAudioPacketQueue::AddRawPacket(float* interleaved, int count) {
  Packet* p = new Packet{interleaved, count, nullptr};
  Packet** at = &first;
  while (*at) at = &(*at)->next;
  *at = p;
}

void KineAudioPacketQueue::AddPacket(float** channelSamples, int frames, float gain) {
  if (frames <= 0 || channels == 0) return;
  const int count = frames * static_cast<int>(channels);
  float* out = new float[static_cast<size_t>(count)];
  for (int f = 0; f < frames; ++f) {
    for (uint32_t c = 0; c < channels; ++c) {
      const float s = channelSamples[c][f];
      out[f * channels + c] = gain < 1.0f ? s * gain : s;
    }
  }
  AddRawPacket(out, count);
}

void KineAudioPacketQueue::AddPacket(const float* interleaved, int count, float gain) {
  if (count <= 0) return;
  float* out = new float[static_cast<size_t>(count)];
  for (int i = 0; i < count; ++i) out[i] = gain < 1.0f ? interleaved[i] * gain : interleaved[i];
  AddRawPacket(out, count);
}

float KineAudioPacketQueue::GetQueuedSeconds() const {
  if (channels == 0 || frequency == 0) return 0.0f;
  double total = 0;
  for (Packet* p = first; p; p = p->next) total += p->count;
  return static_cast<float>(total / (static_cast<double>(channels) * frequency));
}

KineAudioPacketQueue::Packet* KineAudioPacketQueue::PopPacket() {
  Packet* p = first;
  if (p) first = p->next;
  return p;
}

void KineAudioPacketQueue::DestroyPacket(Packet* packet) {
  if (!packet) return;
  delete[] packet->samples;
  delete packet;
}

void KineAudioPacketQueue::Flush() {
  while (Packet* p = PopPacket()) DestroyPacket(p);
}

void KineAudioPacketQueue::FlushTo(KineAudioInterface* sink) {
  while (Packet* p = PopPacket()) {
    if (sink) sink->QueueSamples(p->samples, p->count);
    DestroyPacket(p);
  }
}

// Clip ------------------------------------------------------------------------

KineVideoClip_Theora::KineVideoClip_Theora(KineDataSource* source, int mode, int precached,
                                           bool powerOfTwo, uint32_t track)
    : KineVideoClip(source, mode, precached, powerOfTwo), audioTrack(track) {
  ogg_sync_init(&syncState);
  std::memset(&page, 0, sizeof page);
  std::memset(&vorbisStream, 0, sizeof vorbisStream);
  std::memset(&theoraStream, 0, sizeof theoraStream);
  th_info_init(&theoraInfo);
  th_comment_init(&theoraComment);
  vorbis_info_init(&vorbisInfo);
  vorbis_comment_init(&vorbisComment);
  std::memset(&vorbisDsp, 0, sizeof vorbisDsp);
  std::memset(&vorbisBlock, 0, sizeof vorbisBlock);
}

KineVideoClip_Theora::~KineVideoClip_Theora() {
  // The sink's thread must stop before the decoder state goes.
  {
    KineLock lock(clipMutex);
    SetAudioInterface(nullptr);
  }
  th_decode_free(decoder);
  th_setup_free(theoraSetup);
  if (vorbisDspReady) {
    vorbis_block_clear(&vorbisBlock);
    vorbis_dsp_clear(&vorbisDsp);
  }
  ogg_stream_clear(&vorbisStream);
  ogg_stream_clear(&theoraStream);
  th_comment_clear(&theoraComment);
  th_info_clear(&theoraInfo);
  vorbis_comment_clear(&vorbisComment);
  vorbis_info_clear(&vorbisInfo);
  ogg_sync_clear(&syncState);
  Flush();
}

int KineVideoClip_Theora::ReadChunk() {
  char* buffer = ogg_sync_buffer(&syncState, kChunk);
  if (!buffer) return 0;
  int n = dataSource->Read(buffer, kChunk);
  if (n <= 0) return 0;
  ogg_sync_wrote(&syncState, n);
  return n;
}

void KineVideoClip_Theora::ReadHeaders() {
  KineVideoManager* manager = KineVideoManager::GetInstance();
  const bool wantAudio = manager && manager->GetAudioFactory();

  struct VorbisSlot {
    vorbis_info info;
    vorbis_comment comment;
    ogg_stream_state stream;
    int headers;
  };
  VorbisSlot slots[kMaxVorbisStreams];
  for (VorbisSlot& s : slots) {
    vorbis_info_init(&s.info);
    vorbis_comment_init(&s.comment);
    std::memset(&s.stream, 0, sizeof s.stream);
    s.headers = 0;
  }
  int slotCount = 0;
  auto freeSlots = [&](int keep) {
    for (int k = 0; k < kMaxVorbisStreams; ++k) {
      if (k == keep) continue;
      vorbis_info_clear(&slots[k].info);
      vorbis_comment_clear(&slots[k].comment);
      ogg_stream_clear(&slots[k].stream);
    }
  };

  try {
    // Beginning-of-stream pages: find the Theora stream and the Vorbis ones.
    ogg_packet packet;
    th_setup_info* setup = nullptr;
    bool bosDone = false;
    while (!bosDone) {
      if (ReadChunk() == 0) break;
      while (ogg_sync_pageout(&syncState, &page) > 0) {
        if (!ogg_page_bos(&page)) {
          if (theoraHeaders) ogg_stream_pagein(&theoraStream, &page);
          // Each recorded stream takes only its own pages.
          for (int k = 0; k < slotCount; ++k) ogg_stream_pagein(&slots[k].stream, &page);
          bosDone = true;
          break;
        }
        ogg_stream_state test;
        ogg_stream_init(&test, ogg_page_serialno(&page));
        ogg_stream_pagein(&test, &page);
        const int got = ogg_stream_packetout(&test, &packet);
        if (!theoraHeaders && got == 1 &&
            th_decode_headerin(&theoraInfo, &theoraComment, &setup, &packet) >= 1) {
          std::memcpy(&theoraStream, &test, sizeof test);
          theoraHeaders = 1;
        } else if (wantAudio && slotCount < kMaxVorbisStreams && got == 1 &&
                   vorbis_synthesis_headerin(&slots[slotCount].info, &slots[slotCount].comment,
                                             &packet) >= 0) {
          std::memcpy(&slots[slotCount].stream, &test, sizeof test);
          slots[slotCount].headers = 1;
          ++slotCount;
          vorbisHeaders = 1;
        } else {
          ogg_stream_clear(&test);
        }
      }
    }
    theoraSetup = setup;
    if (!theoraHeaders) throw KINE_EXCEPTION("invalid theora stream");

    // The remaining header packets of every stream.
    for (;;) {
      while (theoraHeaders < 3) {
        const int r = ogg_stream_packetout(&theoraStream, &packet);
        if (r == 0) break;
        if (r < 0) throw KINE_EXCEPTION("Error parsing Theora stream headers.");
        const int h = th_decode_headerin(&theoraInfo, &theoraComment, &theoraSetup, &packet);
        if (h < 0) throw KINE_EXCEPTION("Error parsing Theora stream headers.");
        if (h == 0) throw KINE_EXCEPTION("invalid theora stream");
        ++theoraHeaders;
      }
      bool vorbisDone = true;
      for (int k = 0; k < slotCount; ++k) {
        VorbisSlot& s = slots[k];
        while (s.headers < 3) {
          const int r = ogg_stream_packetout(&s.stream, &packet);
          if (r == 0) break;
          if (r < 0) throw KINE_EXCEPTION("Error parsing vorbis stream headers");
          if (vorbis_synthesis_headerin(&s.info, &s.comment, &packet) != 0) {
            throw KINE_EXCEPTION("invalid stream");
          }
          ++s.headers;
        }
        if (s.headers < 3) vorbisDone = false;
      }
      if (theoraHeaders >= 3 && vorbisDone) break;
      if (ReadChunk() == 0) throw KINE_EXCEPTION("End of file found prematurely");
      while (ogg_sync_pageout(&syncState, &page) > 0) {
        ogg_stream_pagein(&theoraStream, &page);
        for (int k = 0; k < slotCount; ++k) ogg_stream_pagein(&slots[k].stream, &page);
      }
    }

    // The audio track: the first stream with a comment naming the requested
    // language (the first code of the list that occurs in it decides).
    vorbisStreamCount = slotCount;
    chosenStream = 0;
    if (slotCount > 0) {
      const std::vector<std::string>& codes = manager->GetLanguageCodes();
      bool found = false;
      for (int k = 0; k < slotCount && !found; ++k) {
        for (int c = 0; c < slots[k].comment.comments && !found; ++c) {
          const std::string text(slots[k].comment.user_comments[c],
                                 static_cast<size_t>(slots[k].comment.comment_lengths[c]));
          int index = -1;
          for (size_t i = 0; i < codes.size(); ++i) {
            if (text.find(codes[i]) != std::string::npos) {
              index = static_cast<int>(i);
              break;
            }
          }
          if (index >= 0 && static_cast<uint32_t>(index) == audioTrack) {
            chosenStream = static_cast<uint32_t>(k);
            found = true;
          }
        }
      }
      vorbis_info_clear(&vorbisInfo);
      vorbis_comment_clear(&vorbisComment);
      std::memcpy(&vorbisInfo, &slots[chosenStream].info, sizeof vorbisInfo);
      std::memcpy(&vorbisComment, &slots[chosenStream].comment, sizeof vorbisComment);
      std::memcpy(&vorbisStream, &slots[chosenStream].stream, sizeof vorbisStream);
      freeSlots(static_cast<int>(chosenStream));
    } else {
      freeSlots(-1);
    }
  } catch (...) {
    freeSlots(-1);
    throw;
  }
}

bool KineVideoClip_Theora::ResetDecoder() {
  th_decode_free(decoder);
  decoder = th_decode_alloc(&theoraInfo, theoraSetup);
  return decoder != nullptr;
}

void KineVideoClip_Theora::Load(KineDataSource* source) {
  if (source && source != dataSource.get()) dataSource.reset(source);
  ReadHeaders();
  const uint64_t pixels = static_cast<uint64_t>(theoraInfo.frame_width) *
                          static_cast<uint64_t>(theoraInfo.frame_height);
  if (pixels == 0 || pixels > kMaxPixels || !ResetDecoder()) {
    throw KINE_EXCEPTION("invalid theora stream");
  }

  width = static_cast<int>(theoraInfo.frame_width);
  height = static_cast<int>(theoraInfo.frame_height);
  pictureWidth = static_cast<int>(theoraInfo.pic_width);
  pictureHeight = static_cast<int>(theoraInfo.pic_height);
  pictureX = static_cast<int>(theoraInfo.pic_x);
  pictureY = static_cast<int>(theoraInfo.pic_y);
  const int w = alpha ? width / 2 : width;
  if (stride == 1) {
    int p = 1;
    while (p < w) p *= 2;
    stride = p;
  } else {
    stride = w;
  }
  if (theoraInfo.fps_numerator == 0 || theoraInfo.fps_denominator == 0) {
    throw KINE_EXCEPTION("invalid theora stream");
  }
  fps =
      static_cast<float>(theoraInfo.fps_numerator) / static_cast<float>(theoraInfo.fps_denominator);

  frameQueue = std::make_unique<KineFrameQueue>(this);
  frameQueue->SetSize(precachedFrames);

  // Length: the last Theora granule position within the end of the file.
  const int32_t size = dataSource->GetSize();
  for (int32_t window = kChunk; window <= 204800; window += kChunk) {
    const int32_t span = window < size ? window : size;
    ogg_sync_reset(&syncState);
    dataSource->Seek(size - span);
    char* buffer = ogg_sync_buffer(&syncState, span);
    const int32_t got = buffer && span > 0 ? dataSource->Read(buffer, span) : 0;
    if (got > 0) ogg_sync_wrote(&syncState, got);
    // The window starts anywhere in a page: skip to the first page boundary,
    // then walk the pages (a negative answer is bytes skipped, 0 the end).
    for (;;) {
      const long n = ogg_sync_pageseek(&syncState, &page);
      if (n == 0) break;
      if (n < 0) continue;
      if (ogg_page_serialno(&page) != theoraStream.serialno) continue;
      const ogg_int64_t granule = ogg_page_granulepos(&page);
      if (granule < 0) {
        if (frameCount >= 0) ++frameCount;
      } else {
        frameCount = static_cast<int>(th_granule_frame(decoder, granule) + 1);
      }
    }
    if (frameCount >= 1 || span >= size) break;
  }
  if (frameCount < 0) {
    KineLog("unable to determine file duration!");
  } else {
    duration = static_cast<float>(frameCount) / fps;
  }
  ogg_sync_reset(&syncState);
  dataSource->Seek(0);
  // Header packets read again from the start are skipped by the decoders.
  ogg_stream_reset(&theoraStream);
  if (vorbisHeaders) ogg_stream_reset(&vorbisStream);

  if (vorbisHeaders) {
    if (vorbis_synthesis_init(&vorbisDsp, &vorbisInfo) != 0) {
      std::memset(&vorbisDsp, 0, sizeof vorbisDsp);
      throw KINE_EXCEPTION("invalid stream");
    }
    vorbis_block_init(&vorbisDsp, &vorbisBlock);
    vorbisDspReady = true;
    frequency = static_cast<uint32_t>(vorbisInfo.rate);
    channels = static_cast<uint32_t>(vorbisInfo.channels);
    KineVideoManager* manager = KineVideoManager::GetInstance();
    KineAudioInterfaceFactory* factory = manager ? manager->GetAudioFactory() : nullptr;
    if (factory) {
      SetAudioInterface(
          factory->CreateInstance(this, static_cast<int>(channels), static_cast<int>(frequency)));
    }
  }
  frameDuration = 1.0f / fps;
}

bool KineVideoClip_Theora::ReadMoreData() {
  float audioTime = 0.0f;
  bool endOfStream = false;
  const float t = restarted ? 0.0f : clock.load()->GetTime();
  const bool withAudio = audioSink && vorbisHeaders;
  for (;;) {
    if (ReadChunk() == 0) return false;
    while (ogg_sync_pageout(&syncState, &page) > 0) {
      const int serial = ogg_page_serialno(&page);
      if (serial == theoraStream.serialno) {
        ogg_stream_pagein(&theoraStream, &page);
      } else if (withAudio && serial == vorbisStream.serialno) {
        const ogg_int64_t granule = ogg_page_granulepos(&page);
        audioTime = granule < 0
                        ? -1.0f
                        : static_cast<float>(static_cast<double>(granule) / vorbisInfo.rate);
        endOfStream = ogg_page_eos(&page) != 0;
        ogg_stream_pagein(&vorbisStream, &page);
      }
    }
    if (!withAudio || endOfStream) return true;
    if (!(audioTime < t + 1.0f)) return true;
  }
}

bool KineVideoClip_Theora::DecodeFrame() {
  lastStepMetEnd = false;
  if (endOfData || !frameQueue || !decoder) return false;
  KineVideoFrame* frame = frameQueue->TakeFreeFrame();
  if (!frame) return false;
  bool restart = false;
  ogg_packet packet;
  for (;;) {
    if (ogg_stream_packetout(&theoraStream, &packet) > 0) {
      ogg_int64_t granule = -1;
      if (th_decode_packetin(decoder, &packet, &granule) != 0) continue;
      const float frameTime = static_cast<float>(th_granule_time(decoder, granule));
      const long number = static_cast<long>(th_granule_frame(decoder, granule));
      if (clock.load()->GetTime() > frameTime && !restarted && number % 16 != 0) {
        // Late: skip the conversion; every 16th frame is always kept.
        ++droppedFrames;
        ++displayedFrames;
        continue;
      }
      frame->timeToDisplay = frameTime - frameDuration;
      frame->iteration = iteration;
      frame->number = static_cast<int>(number);
      lastDecodedFrame = static_cast<uint32_t>(number < 0 ? 0 : number);
      th_ycbcr_buffer planes;
      if (th_decode_ycbcr_out(decoder, planes) != 0) {
        frameQueue->Release(frame);
        break;
      }
      KineConversionJob job{
          nullptr, planes[0].data,   planes[1].data,   planes[2].data,  nullptr, 0, 0,
          0,       planes[0].stride, planes[1].stride, planes[2].stride};
      frame->Decode(job);
      break;
    }
    if (!ReadMoreData()) {
      frameQueue->Release(frame);
      restart = autoRestart;
      lastStepMetEnd = true;
      break;
    }
  }
  if (audioSink) {
    KineLock lock(*audioMutex);
    DecodeAudio();
  }
  if (restart) Restart();
  return true;
}

float KineVideoClip_Theora::DecodeAudio() {
  if (restarted || !vorbisDspReady) return -1.0f;
  const float limit = static_cast<float>(precachedFrames) / fps + 1.0f;
  const float videoTime = static_cast<float>(lastDecodedFrame) / fps;
  float result = -1.0f;
  bool counting = false;
  ogg_packet packet;
  for (;;) {
    float** pcm = nullptr;
    const int n = vorbis_synthesis_pcmout(&vorbisDsp, &pcm);
    if (n > 0) {
      AddPacket(pcm, n, audioGain.load());
      audioFramesDecoded += static_cast<uint32_t>(n);
      if (counting) result += static_cast<float>(n) / static_cast<float>(vorbisInfo.rate);
      vorbis_synthesis_read(&vorbisDsp, n);
    } else if (ogg_stream_packetout(&vorbisStream, &packet) > 0) {
      if (vorbis_synthesis(&vorbisBlock, &packet) != 0) continue;
      if (result < 0.0f && packet.granulepos >= 0) {
        result = static_cast<float>(vorbis_granule_time(&vorbisDsp, packet.granulepos));
      } else if (result >= 0.0f) {
        counting = true;
      }
      vorbis_synthesis_blockin(&vorbisDsp, &vorbisBlock);
    } else {
      if (static_cast<float>(audioFramesDecoded) / static_cast<float>(frequency) - videoTime >=
              limit ||
          !ReadMoreData()) {
        return result;
      }
    }
  }
}

void KineVideoClip_Theora::DeliverAudio() {
  if (!audioSink || clock.load()->IsPaused()) return;
  KineLock lock(*audioMutex);
  FlushTo(audioSink.get());
}

void KineVideoClip_Theora::Restart() {
  KineTimer* timer = clock.load();
  const bool wasPlaying = !timer->IsPaused();
  if (wasPlaying) timer->Pause();
  ResetDecoder();  // without one, decode steps find nothing to do
  ogg_stream_reset(&theoraStream);
  if (audioSink && vorbisDspReady) {
    audioFramesDecoded = 0;
    ogg_packet packet;
    while (ogg_stream_packetout(&vorbisStream, &packet) > 0) {
      if (vorbis_synthesis(&vorbisBlock, &packet) == 0) {
        vorbis_synthesis_blockin(&vorbisDsp, &vorbisBlock);
      }
    }
    ogg_stream_reset(&vorbisStream);
  }
  ogg_sync_reset(&syncState);
  dataSource->Seek(0);
  endOfData = false;
  restarted = true;
  if (wasPlaying) timer->Play();
}

int KineVideoClip_Theora::SeekPage(int target, bool returnKeyframe) {
  int32_t high = dataSource->GetSize();
  int32_t low = 0;
  int32_t middle = 0;
  ogg_int64_t lastGranule = 0;
  if (target == 0) {
    dataSource->Seek(0);
  } else {
    for (int step = 0; step < 100; ++step) {
      ++bisectionSteps;
      middle = low + (high - low) / 2;
      ogg_sync_reset(&syncState);
      dataSource->Seek(middle);
      bool found = false;
      ogg_int64_t granule = -1;
      for (;;) {
        if (ogg_sync_pageout(&syncState, &page) > 0) {
          if (ogg_page_serialno(&page) == theoraStream.serialno &&
              ogg_page_granulepos(&page) >= 0) {
            granule = ogg_page_granulepos(&page);
            found = true;
            break;
          }
          continue;
        }
        if (ReadChunk() == 0) break;
      }
      if (!found) {
        // Nothing after the middle: look before it.
        high = middle;
      } else {
        lastGranule = granule;
        const long f = static_cast<long>(th_granule_frame(decoder, granule));
        if (f < target && target - f < 10) break;
        if (f < target - 1) {
          low = middle;
        } else {
          high = middle;
        }
      }
      if (high - low < 2) break;  // nothing left to halve
    }
  }
  if (returnKeyframe) {
    return static_cast<int>(lastGranule >> theoraInfo.keyframe_granule_shift);
  }
  ogg_sync_reset(&syncState);
  if (target != 0) dataSource->Seek(middle);
  return -1;
}

void KineVideoClip_Theora::PerformSeek() {
  const int s = seekFrame.load();
  if (s < 0 || !decoder) return;
  KineTimer* timer = clock.load();
  timer->Seek(static_cast<float>(s) / fps);
  const bool wasPlaying = !timer->IsPaused();
  if (wasPlaying) timer->Pause();
  endOfData = false;
  restarted = false;
  frameQueue->Clear();
  ogg_stream_reset(&theoraStream);
  if (!ResetDecoder()) {
    // No decoder: the seek stays pending and the clock plays on as it did.
    if (wasPlaying) timer->Play();
    return;
  }
  const bool withAudio = audioSink && vorbisDspReady;
  if (withAudio) {
    audioMutex->Lock();
    ogg_stream_reset(&vorbisStream);
    vorbis_synthesis_restart(&vorbisDsp);
    Flush();
  }

  const int k = SeekPage(s, true);
  SeekPage(k - 1 > 0 ? k - 1 : 0, false);
  bool granuleSet = false;
  if (k <= 1) {
    // The start of the stream: a decoder just made counts from there, with
    // the frame offset of the stream's version.
    granuleSet = true;
  }
  ogg_packet packet;
  while (s != 0) {
    if (ogg_stream_packetout(&theoraStream, &packet) > 0) {
      if (!granuleSet) {
        if (packet.granulepos < 0) continue;
        ogg_int64_t g = packet.granulepos;
        th_decode_ctl(decoder, TH_DECCTL_SET_GRANPOS, &g, sizeof g);
        granuleSet = true;
      }
      ogg_int64_t granule = -1;
      if (th_decode_packetin(decoder, &packet, &granule) < 0) continue;
      if (th_granule_frame(decoder, granule) >= s - 1) break;
      continue;
    }
    if (!ReadMoreData()) {
      KineLog(name + " [seek]: fineseeking failed, _readData failed!");
      if (withAudio) audioMutex->Unlock();
      // The seek stays pending; the clock plays again as it did.
      if (wasPlaying) timer->Play();
      return;
    }
  }

  if (withAudio) {
    // Audio up to and past the new position, then trimmed or padded so that
    // its first sample is at the seek time.
    float a = DecodeAudio();
    while (a < 0.0f && ReadMoreData()) a = DecodeAudio();
    if (a >= 0.0f) {
      float start = a - GetQueuedSeconds();
      const float seekTime = static_cast<float>(s) / fps;
      const float r = static_cast<float>(channels) * static_cast<float>(frequency);
      const int ch = static_cast<int>(channels);
      if (start < seekTime) {
        while (first && start + static_cast<float>(first->count) / r < seekTime) {
          start += static_cast<float>(first->count) / r;
          DestroyPacket(PopPacket());
        }
        if (first) {
          // Whole frames only, so the channels keep their places.
          int drop = static_cast<int>((seekTime - start) * r);
          drop -= drop % ch;
          if (drop >= first->count) {
            DestroyPacket(PopPacket());
          } else if (drop > 0) {
            std::memmove(first->samples, first->samples + drop,
                         static_cast<size_t>(first->count - drop) * sizeof(float));
            first->count -= drop;
          }
        }
      } else if (first) {
        int pad = static_cast<int>((start - seekTime) * r);
        pad -= pad % ch;
        if (pad > 0) {
          float* grown = new float[static_cast<size_t>(first->count + pad)];
          std::memset(grown, 0, static_cast<size_t>(pad) * sizeof(float));
          std::memcpy(grown + pad, first->samples,
                      static_cast<size_t>(first->count) * sizeof(float));
          delete[] first->samples;
          first->samples = grown;
          first->count += pad;
        }
      }
      audioFramesDecoded = static_cast<uint32_t>(static_cast<float>(frequency) * a);
    }
    lastDecodedFrame = static_cast<uint32_t>(s);
    audioMutex->Unlock();
  }
  if (wasPlaying) timer->Play();
  seekFrame = -1;
}
