// The codec library's file modules: vembra_zfilio (FILIO=vembra_zfilio),
// which opens gzip-compressed files transparently by a fragment of their
// name, vembra_stdfile (FILE=vembra_stdfile), which adds size, line reading
// and formatted writing over a chained FILIO table, and vembra_directory
// (DIRECTORY=vembra_directory), Windows-style path helpers.
#pragma once

#include <cstdint>

#include "vembra/OrnShare.h"
#include "vembra/vembra_Services.h"

constexpr int kVembraZfilioMaxExtensions = 50;

// DIRECTORY=vembra_directory.
struct VembraDirectory {
  int (*Reserved0)(void);
  int (*GetCurrentDir)(char* buffer, int size);
  int (*ParentDir)(char* out, const char* path);
  int (*MakePath)(char* buffer, const char* base, const char* path, int size);
  int (*Reserved4)(void);
  int (*Exists)(const char* path);
  int (*Rename)(const char* from, const char* to);
  int (*Remove)(const char* path);
};

int vembra_zfilio_Register(OrnShareServices* services, const char* context);
int vembra_stdfile_Register(OrnShareServices* services, const char* context);
int vembra_directory_Register(OrnShareServices* services, const char* context);

// Tag list of pairs {1, name fragment} ended by tag 0: adds fragments that make
// Open try a gzip open. -1 for an unknown tag.
int vembra_zfilio_Configure(const intptr_t* tags);

VembraFilio* vembra_zfilio_Table(void);
VembraFile* vembra_stdfile_Table(void);
VembraDirectory* vembra_directory_Table(void);
