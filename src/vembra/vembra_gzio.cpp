// The gzip stream layer of the codec library.
#include "vembra/vembra_gzio.h"

#include <zlib.h>

#include <cstdlib>
#include <cstring>
#include <string>

namespace {

constexpr int32_t kBufferSize = 16384;
constexpr int kOsCode = 11;  // the operating-system byte of written headers

// Header flag bits.
constexpr int kHeadCrc = 0x02;
constexpr int kExtraField = 0x04;
constexpr int kOrigName = 0x08;
constexpr int kComment = 0x10;
constexpr int kReserved = 0xE0;

}  // namespace

struct VembraGzStream {
  z_stream stream{};
  int err = Z_OK;
  bool eof = false;  // the chained file has no more input
  bool transparent = false;
  const VembraFilio* io = nullptr;
  VembraFileHandle file = nullptr;
  Bytef* inbuf = nullptr;
  Bytef* outbuf = nullptr;
  Bytef* scratch = nullptr;
  uLong crc = 0;
  int64_t in = 0;   // uncompressed bytes taken (write) / compressed read
  int64_t out = 0;  // uncompressed bytes produced (read)
  int32_t start = 0;
  char mode = 0;
  bool zInit = false;
  std::string path;
  std::string message;
};

namespace {

// The next byte of input, refilling the buffer from the chained file; -1 at
// the end of input (a read error also marks the file error).
int GetByte(VembraGzStream* s) {
  if (s->eof) return -1;
  if (s->stream.avail_in == 0) {
    int32_t n = s->io->Read(s->file, s->inbuf, kBufferSize);
    if (n <= 0) {
      s->eof = true;
      if (n < 0) s->err = Z_ERRNO;
      s->stream.avail_in = 0;
      return -1;
    }
    s->stream.avail_in = uInt(n);
    s->stream.next_in = s->inbuf;
  }
  s->stream.avail_in--;
  return *s->stream.next_in++;
}

uLong GetLong(VembraGzStream* s) {
  uLong x = 0;
  for (int i = 0; i < 4; ++i) {
    int c = GetByte(s);
    if (c < 0) {
      if (s->err == Z_OK) s->err = Z_DATA_ERROR;
      return x;
    }
    x |= uLong(c) << (8 * i);
  }
  return x;
}

void CheckHeader(VembraGzStream* s) {
  // The two magic bytes, pushed back when they are not there.
  int magic[2];
  for (int i = 0; i < 2; ++i) {
    magic[i] = GetByte(s);
    if (magic[i] != (i == 0 ? 0x1F : 0x8B)) {
      if (magic[i] >= 0) {
        s->stream.avail_in++;
        s->stream.next_in--;
      }
      // Push the matching first byte back too while it is still in the
      // buffer (not data that is being refused anyway).
      if (i == 1 && magic[0] >= 0 && s->stream.next_in > s->inbuf) {
        s->stream.avail_in++;
        s->stream.next_in--;
      }
      s->transparent = true;
      s->err = s->stream.avail_in != 0 ? Z_OK : Z_STREAM_END;
      return;
    }
  }
  int method = GetByte(s);
  int flags = GetByte(s);
  if (method != Z_DEFLATED || flags < 0 || (flags & kReserved) != 0) {
    s->err = Z_DATA_ERROR;
    return;
  }
  for (int i = 0; i < 6; ++i) GetByte(s);
  if (flags & kExtraField) {
    int lo = GetByte(s);
    int hi = GetByte(s);
    int len = (lo < 0 || hi < 0) ? 0 : lo | (hi << 8);
    while (len-- > 0 && GetByte(s) >= 0) {
    }
  }
  if (flags & kOrigName) {
    int c;
    while ((c = GetByte(s)) > 0) {
    }
  }
  if (flags & kComment) {
    int c;
    while ((c = GetByte(s)) > 0) {
    }
  }
  if (flags & kHeadCrc) {
    GetByte(s);
    GetByte(s);
  }
  s->err = s->eof ? Z_DATA_ERROR : Z_OK;
}

void Destroy(VembraGzStream* s) {
  if (s->zInit) {
    if (s->mode == 'w')
      deflateEnd(&s->stream);
    else
      inflateEnd(&s->stream);
  }
  free(s->inbuf);
  free(s->outbuf);
  free(s->scratch);
  delete s;
}

int DestroyAndClose(VembraGzStream* s) {
  int err = Z_OK;
  if (s->file && s->io->Close(s->file) != 0) err = Z_ERRNO;
  if (s->err < 0) err = s->err;
  Destroy(s);
  return err;
}

void PutLong(VembraGzStream* s, uLong x) {
  for (int i = 0; i < 4; ++i) {
    unsigned char c = static_cast<unsigned char>(x & 0xFF);
    if (s->io->Write(s->file, &c, 1) != 1) s->err = Z_ERRNO;
    x >>= 8;
  }
}

int DoFlush(VembraGzStream* s, int flush) {
  if (s->mode != 'w') return Z_STREAM_ERROR;
  s->stream.avail_in = 0;
  bool done = false;
  for (;;) {
    uInt len = kBufferSize - s->stream.avail_out;
    if (len != 0) {
      if (s->io->Write(s->file, s->outbuf, int32_t(len)) != int32_t(len)) {
        s->err = Z_ERRNO;
        return Z_ERRNO;
      }
      s->stream.next_out = s->outbuf;
      s->stream.avail_out = kBufferSize;
    }
    if (done) break;
    s->err = deflate(&s->stream, flush);
    if (len == 0 && s->err == Z_BUF_ERROR) s->err = Z_OK;
    done = s->stream.avail_out != 0 || s->err == Z_STREAM_END;
    if (s->err != Z_OK && s->err != Z_STREAM_END) break;
  }
  return s->err == Z_STREAM_END ? Z_OK : s->err;
}

}  // namespace

VembraGzStream* vembra_gz_Open(const VembraFilio* io, const char* path, const char* mode) {
  if (!io || !path || !mode || !*path) return nullptr;
  auto* s = new VembraGzStream;
  s->io = io;
  s->path = path;
  s->crc = crc32(0L, Z_NULL, 0);
  int level = Z_DEFAULT_COMPRESSION;
  int strategy = Z_DEFAULT_STRATEGY;
  char fmode[81] = {};
  size_t m = 0;
  for (size_t i = 0; mode[i] && i < 80; ++i) {
    char c = mode[i];
    if (c == 'r') s->mode = 'r';
    if (c == 'w' || c == 'a') s->mode = 'w';
    if (c >= '0' && c <= '9')
      level = c - '0';
    else if (c == 'f')
      strategy = Z_FILTERED;
    else if (c == 'h')
      strategy = Z_HUFFMAN_ONLY;
    else
      fmode[m++] = c;
  }
  if (s->mode == 0) {
    Destroy(s);
    return nullptr;
  }
  if (s->mode == 'w') {
    if (deflateInit2(&s->stream, level, Z_DEFLATED, -MAX_WBITS, 8, strategy) != Z_OK) {
      delete s;
      return nullptr;
    }
    s->zInit = true;
    s->outbuf = static_cast<Bytef*>(malloc(kBufferSize));
    s->stream.next_out = s->outbuf;
    if (!s->outbuf) {
      Destroy(s);
      return nullptr;
    }
  } else {
    s->inbuf = static_cast<Bytef*>(malloc(kBufferSize));
    s->stream.next_in = s->inbuf;
    if (!s->inbuf || inflateInit2(&s->stream, -MAX_WBITS) != Z_OK) {
      Destroy(s);
      return nullptr;
    }
    s->zInit = true;
  }
  s->stream.avail_out = kBufferSize;
  s->file = io->Open(path, fmode);
  if (!s->file) {
    Destroy(s);
    return nullptr;
  }
  if (s->mode == 'w') {
    const unsigned char header[10] = {0x1F, 0x8B, Z_DEFLATED, 0, 0, 0, 0, 0, 0, kOsCode};
    if (io->Write(s->file, header, 10) != 10) {
      DestroyAndClose(s);
      return nullptr;
    }
    s->start = 10;
  } else {
    CheckHeader(s);
    if (s->transparent || s->err != Z_OK) {
      DestroyAndClose(s);
      return nullptr;
    }
    s->start = io->Tell(s->file) - int32_t(s->stream.avail_in);
  }
  return s;
}

int32_t vembra_gz_Read(VembraGzStream* s, void* buffer, int32_t count) {
  if (!s || s->mode != 'r') return Z_STREAM_ERROR;
  if (s->err == Z_DATA_ERROR || s->err == Z_ERRNO) return -1;
  if (s->err == Z_STREAM_END || count <= 0) return 0;
  Bytef* start = static_cast<Bytef*>(buffer);
  s->stream.next_out = start;
  s->stream.avail_out = uInt(count);
  while (s->stream.avail_out != 0) {
    if (s->stream.avail_in == 0 && !s->eof) {
      int32_t n = s->io->Read(s->file, s->inbuf, kBufferSize);
      if (n <= 0) {
        s->eof = true;
        if (n < 0) {
          s->err = Z_ERRNO;
          break;
        }
        n = 0;
      }
      s->stream.avail_in = uInt(n);
      s->stream.next_in = s->inbuf;
    }
    uInt before = s->stream.avail_out;
    s->err = inflate(&s->stream, Z_NO_FLUSH);
    if (s->err == Z_BUF_ERROR && s->eof && s->stream.avail_out == before) {
      // The input ended inside a member: a truncated file, not its end.
      s->err = Z_DATA_ERROR;
    }
    if (s->err == Z_STREAM_END) {
      s->crc = crc32(s->crc, start, uInt(s->stream.next_out - start));
      start = s->stream.next_out;
      if (GetLong(s) != s->crc) {
        s->err = Z_DATA_ERROR;
      } else {
        GetLong(s);  // the member's size, not needed
        // A further member continues the stream; anything else ends it.
        if (s->err == Z_STREAM_END) {
          CheckHeader(s);
          if (s->err == Z_OK && s->transparent) s->err = Z_STREAM_END;
          s->transparent = false;
          if (s->err == Z_OK) {
            inflateReset(&s->stream);
            s->crc = crc32(0L, Z_NULL, 0);
          }
        }
      }
    }
    if (s->err != Z_OK) break;
  }
  s->crc = crc32(s->crc, start, uInt(s->stream.next_out - start));
  int32_t produced = count - int32_t(s->stream.avail_out);
  s->out += produced;
  if (produced == 0 && (s->err == Z_DATA_ERROR || s->err == Z_ERRNO)) return -1;
  return produced;
}

int32_t vembra_gz_Write(VembraGzStream* s, const void* buffer, int32_t count) {
  if (!s || s->mode != 'w') return Z_STREAM_ERROR;
  if (count <= 0) return 0;
  s->stream.next_in = static_cast<Bytef*>(const_cast<void*>(buffer));
  s->stream.avail_in = uInt(count);
  while (s->stream.avail_in != 0) {
    if (s->stream.avail_out == 0) {
      s->stream.next_out = s->outbuf;
      if (s->io->Write(s->file, s->outbuf, kBufferSize) != kBufferSize) {
        s->err = Z_ERRNO;
        break;
      }
      s->stream.avail_out = kBufferSize;
    }
    s->err = deflate(&s->stream, Z_NO_FLUSH);
    if (s->err != Z_OK) break;
  }
  int32_t taken = count - int32_t(s->stream.avail_in);
  s->crc = crc32(s->crc, static_cast<const Bytef*>(buffer), uInt(taken));
  s->in += taken;
  return taken;
}

int32_t vembra_gz_Seek(VembraGzStream* s, int32_t offset, int origin) {
  if (!s || origin == 2 || s->err == Z_ERRNO || s->err == Z_DATA_ERROR) return -1;
  if (origin != 0 && origin != 1) return -1;
  if (s->mode == 'w') {
    int64_t target = origin == 0 ? int64_t(offset) - s->in : offset;
    if (target < 0) return -1;
    static const Bytef zeros[kBufferSize] = {};
    while (target > 0) {
      int32_t piece = target < kBufferSize ? int32_t(target) : kBufferSize;
      int32_t n = vembra_gz_Write(s, zeros, piece);
      if (n <= 0) return -1;
      target -= n;
    }
    return int32_t(s->in);
  }
  int64_t target = origin == 1 ? s->out + offset : offset;
  if (target < 0) return -1;
  if (target < s->out) {
    // Backward: start again from the first member.
    s->err = Z_OK;
    s->eof = false;
    s->transparent = false;
    s->stream.avail_in = 0;
    s->stream.next_in = s->inbuf;
    s->crc = crc32(0L, Z_NULL, 0);
    inflateReset(&s->stream);
    s->in = 0;
    s->out = 0;
    if (s->io->Seek(s->file, s->start, 0) < 0) {
      s->err = Z_ERRNO;
      return -1;
    }
  }
  int64_t skip = target - s->out;
  if (skip > 0 && !s->scratch) {
    s->scratch = static_cast<Bytef*>(malloc(kBufferSize));
    if (!s->scratch) return -1;
  }
  while (skip > 0) {
    int32_t piece = skip < kBufferSize ? int32_t(skip) : kBufferSize;
    int32_t n = vembra_gz_Read(s, s->scratch, piece);
    if (n <= 0) return -1;
    skip -= n;
  }
  return int32_t(s->out);
}

int vembra_gz_Flush(VembraGzStream* s, int flushMode) {
  if (!s) return Z_STREAM_ERROR;
  int err = DoFlush(s, flushMode);
  if (err != Z_OK) return err;
  s->io->Flush(s->file);
  return s->err == Z_STREAM_END ? Z_OK : s->err;
}

int vembra_gz_Close(VembraGzStream* s) {
  if (!s) return Z_STREAM_ERROR;
  if (s->mode == 'w') {
    if (DoFlush(s, Z_FINISH) != Z_OK) return DestroyAndClose(s);
    PutLong(s, s->crc);
    PutLong(s, uLong(s->in & 0xFFFFFFFF));
  }
  if (s->err == Z_STREAM_END) s->err = Z_OK;
  return DestroyAndClose(s);
}

const char* vembra_gz_Error(VembraGzStream* s, int* code) {
  if (!s) {
    if (code) *code = Z_STREAM_ERROR;
    return "stream error";
  }
  if (code) *code = s->err;
  if (s->err == Z_OK) return "";
  const char* text = s->err == Z_ERRNO ? "file error" : zError(s->err);
  if (s->stream.msg && s->err != Z_ERRNO) text = s->stream.msg;
  s->message = s->path + ": " + text;
  return s->message.c_str();
}
