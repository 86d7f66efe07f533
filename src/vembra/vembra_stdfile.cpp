// vembra_stdfile: stdio-like conveniences over the chained FILIO table.
#include <cstdarg>
#include <cstdio>

#include "vembra/vembra_zfilio.h"

namespace {

VembraFilio* g_io = nullptr;
const char* g_context = nullptr;

const char kModuleKey[] = "ORNMODULE=vembra_stdfile";
const char kFileKey[] = "FILE=vembra_stdfile";

VembraFileHandle Open(const char* path, const char* mode) {
  return g_io ? g_io->Open(path, mode) : nullptr;
}
int Close(VembraFileHandle h) {
  return g_io ? g_io->Close(h) : -1;
}
int32_t Read(VembraFileHandle h, void* buffer, int32_t count) {
  return g_io ? g_io->Read(h, buffer, count) : -1;
}
int32_t Write(VembraFileHandle h, const void* buffer, int32_t count) {
  return g_io ? g_io->Write(h, buffer, count) : -1;
}
int32_t Tell(VembraFileHandle h) {
  return g_io ? g_io->Tell(h) : -1;
}
int32_t Seek(VembraFileHandle h, int32_t offset, int origin) {
  return g_io ? g_io->Seek(h, offset, origin) : -1;
}
int Flush(VembraFileHandle h) {
  return g_io ? g_io->Flush(h) : -1;
}

int32_t Size(VembraFileHandle h) {
  int32_t here = Tell(h);
  Seek(h, 0, 2);
  int32_t size = Tell(h);
  Seek(h, here, 0);
  return size;
}

int Eof(VembraFileHandle h) {
  return Tell(h) >= Size(h) ? 1 : 0;
}

char* Gets(VembraFileHandle h, char* buffer, int n) {
  if (!buffer || n <= 0) return nullptr;
  int got = 0;
  while (got < n - 1) {
    char c;
    if (Read(h, &c, 1) != 1) break;
    buffer[got++] = c;
    if (c == '\n') break;
  }
  buffer[got] = '\0';
  return got > 0 ? buffer : nullptr;
}

int Printf(VembraFileHandle h, const char* format, ...) {
  char text[500];
  va_list args;
  va_start(args, format);
  int len = vsnprintf(text, sizeof text, format, args);
  va_end(args);
  if (len < 0) return -1;
  if (len >= int(sizeof text)) len = int(sizeof text) - 1;
  return Write(h, text, len);
}

int Getc(VembraFileHandle h) {
  unsigned char c;
  return Read(h, &c, 1) == 1 ? c : -1;
}

int Putc(VembraFileHandle h, int c) {
  unsigned char b = static_cast<unsigned char>(c);
  return Write(h, &b, 1) == 1 ? b : -1;
}

VembraFile g_table = {
    {Open, Close, Read, Write, Tell, Seek, Flush}, Size, Gets, Eof, Printf, Getc, Putc};

int Startup(void) {
  g_io = static_cast<VembraFilio*>(OrnShare_Subscribe("FILIO.chainto", g_context));
  if (!g_io) {
    OrnShare_GetErrorPrinter()("StdFile Module: Cannot allocate filio services.");
    return -1;
  }
  return 0;
}

void Shutdown(void) {
  if (g_io) OrnShare_Unsubscribe(g_io);
  g_io = nullptr;
}

void Unregister(void) {
  OrnShare_Unpublish(kModuleKey);
  OrnShare_Unpublish(kFileKey);
}

OrnModuleTable g_module = {vembra_stdfile_Register, Unregister, Startup, Shutdown};

}  // namespace

int vembra_stdfile_Register(OrnShareServices* services, const char* context) {
  g_context = context;
  services->Publish(kModuleKey, &g_module);
  services->Publish(kFileKey, &g_table);
  return 0;
}

VembraFile* vembra_stdfile_Table(void) {
  return &g_table;
}
