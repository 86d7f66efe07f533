#include "OggWriter.h"

#include <ogg/ogg.h>
#include <theora/theoraenc.h>
#include <vorbis/vorbisenc.h>

#include <cmath>
#include <cstdio>
#include <memory>

namespace {

void Append(std::vector<uint8_t>& out, const ogg_page& page) {
  out.insert(out.end(), page.header, page.header + page.header_len);
  out.insert(out.end(), page.body, page.body + page.body_len);
}

struct AudioTrack {
  vorbis_info info;
  vorbis_comment comment;
  vorbis_dsp_state dsp;
  vorbis_block block;
  ogg_stream_state stream;
  int64_t samplesWritten = 0;
  double pageTime = 0;
  bool ended = false;
};

}  // namespace

std::vector<uint8_t> OggWriter_Write(const OggWriterOptions& o) {
  std::vector<uint8_t> out;
  th_info ti;
  th_info_init(&ti);
  ti.frame_width = static_cast<ogg_uint32_t>(o.width);
  ti.frame_height = static_cast<ogg_uint32_t>(o.height);
  ti.pic_width = ti.frame_width;
  ti.pic_height = ti.frame_height;
  ti.fps_numerator = static_cast<ogg_uint32_t>(o.fpsNumerator);
  ti.fps_denominator = static_cast<ogg_uint32_t>(o.fpsDenominator);
  ti.pixel_fmt = TH_PF_420;
  ti.colorspace = TH_CS_UNSPECIFIED;
  ti.quality = 32;
  th_enc_ctx* enc = th_encode_alloc(&ti);
  th_info_clear(&ti);
  if (!enc) return out;
  ogg_uint32_t kf = static_cast<ogg_uint32_t>(o.keyframeInterval);
  th_encode_ctl(enc, TH_ENCCTL_SET_KEYFRAME_FREQUENCY_FORCE, &kf, sizeof kf);

  ogg_stream_state video;
  ogg_stream_init(&video, 1000);
  th_comment tc;
  th_comment_init(&tc);
  ogg_packet packet;
  ogg_page page;
  // Theora headers: the first on its own page (beginning of stream).
  bool first = true;
  while (th_encode_flushheader(enc, &tc, &packet) > 0) {
    ogg_stream_packetin(&video, &packet);
    if (first) {
      while (ogg_stream_flush(&video, &page) > 0) Append(out, page);
      first = false;
    }
  }
  th_comment_clear(&tc);

  std::vector<std::unique_ptr<AudioTrack>> tracks;
  for (size_t i = 0; i < o.audioLanguages.size(); ++i) {
    auto t = std::make_unique<AudioTrack>();
    vorbis_info_init(&t->info);
    vorbis_encode_init_vbr(&t->info, o.audioChannels, o.audioRate, 0.1f);
    vorbis_comment_init(&t->comment);
    if (!o.audioLanguages[i].empty()) {
      vorbis_comment_add_tag(&t->comment, "LANGUAGE", o.audioLanguages[i].c_str());
    }
    vorbis_analysis_init(&t->dsp, &t->info);
    vorbis_block_init(&t->dsp, &t->block);
    ogg_stream_init(&t->stream, 2000 + static_cast<int>(i));
    ogg_packet h0, h1, h2;
    vorbis_analysis_headerout(&t->dsp, &t->comment, &h0, &h1, &h2);
    ogg_stream_packetin(&t->stream, &h0);
    while (ogg_stream_flush(&t->stream, &page) > 0) Append(out, page);
    ogg_stream_packetin(&t->stream, &h1);
    ogg_stream_packetin(&t->stream, &h2);
    tracks.push_back(std::move(t));
  }
  // The remaining headers, each stream's on pages of their own.
  while (ogg_stream_flush(&video, &page) > 0) Append(out, page);
  for (auto& t : tracks) {
    while (ogg_stream_flush(&t->stream, &page) > 0) Append(out, page);
  }

  // Pictures: a moving gradient; tones: a different pitch per track.
  const int w = o.width, h = o.height;
  std::vector<uint8_t> luma(static_cast<size_t>(w * h)), cb(static_cast<size_t>(w * h / 4)),
      cr(static_cast<size_t>(w * h / 4));
  const double fps = static_cast<double>(o.fpsNumerator) / o.fpsDenominator;
  for (int f = 0; f < o.frames; ++f) {
    if (o.picture) {
      o.picture(f, w, h, luma.data(), cb.data(), cr.data());
    } else {
      for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x)
          luma[y * w + x] = static_cast<uint8_t>(16 + (x + y + f * 3) % 220);
      }
      for (int i = 0; i < w * h / 4; ++i) {
        cb[i] = static_cast<uint8_t>(128 + (f % 32));
        cr[i] = static_cast<uint8_t>(128 - (f % 32));
      }
    }
    th_ycbcr_buffer planes;
    planes[0] = {w, h, w, luma.data()};
    planes[1] = {w / 2, h / 2, w / 2, cb.data()};
    planes[2] = {w / 2, h / 2, w / 2, cr.data()};
    th_encode_ycbcr_in(enc, planes);
    while (th_encode_packetout(enc, f == o.frames - 1, &packet) > 0) {
      ogg_stream_packetin(&video, &packet);
    }
    // Audio up to the end of this frame.
    const double until = (f + 1) / fps;
    const bool last = f == o.frames - 1;
    for (size_t i = 0; i < tracks.size(); ++i) {
      AudioTrack& t = *tracks[i];
      const int64_t target = static_cast<int64_t>(until * o.audioRate);
      const int n = static_cast<int>(target - t.samplesWritten);
      if (n > 0) {
        float** buffer = vorbis_analysis_buffer(&t.dsp, n);
        for (int s = 0; s < n; ++s) {
          const double phase = 2 * M_PI * (220.0 * (i + 1)) * (t.samplesWritten + s) / o.audioRate;
          for (int c = 0; c < o.audioChannels; ++c) buffer[c][s] = 0.25f * std::sin(phase);
        }
        vorbis_analysis_wrote(&t.dsp, n);
        t.samplesWritten = target;
      }
      if (last) vorbis_analysis_wrote(&t.dsp, 0);
      while (vorbis_analysis_blockout(&t.dsp, &t.block) == 1) {
        vorbis_analysis(&t.block, nullptr);
        vorbis_bitrate_addblock(&t.block);
        while (vorbis_bitrate_flushpacket(&t.dsp, &packet)) ogg_stream_packetin(&t.stream, &packet);
      }
    }
    // Pages in time order: one video page per frame, as players that seek
    // by page expect; audio pages as they fill.
    while (ogg_stream_flush(&video, &page) > 0) Append(out, page);
    for (auto& t : tracks) {
      while (ogg_stream_pageout(&t->stream, &page) > 0) Append(out, page);
    }
  }
  while (ogg_stream_flush(&video, &page) > 0) Append(out, page);
  for (auto& t : tracks) {
    while (ogg_stream_flush(&t->stream, &page) > 0) Append(out, page);
    ogg_stream_clear(&t->stream);
    vorbis_block_clear(&t->block);
    vorbis_dsp_clear(&t->dsp);
    vorbis_comment_clear(&t->comment);
    vorbis_info_clear(&t->info);
  }
  ogg_stream_clear(&video);
  th_encode_free(enc);
  return out;
}

bool OggWriter_WriteFile(const std::string& path, const OggWriterOptions& options) {
  std::vector<uint8_t> bytes = OggWriter_Write(options);
  if (bytes.empty()) return false;
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  return std::fclose(f) == 0 && ok;
}
