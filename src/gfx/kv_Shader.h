// Shader programs: GLSL sources under x86/shaders/compiled/ (<name>_v.glsl and
// <name>_p.glsl), compiled, linked and kept for the rest of the run. Vertex
// inputs are matched by name: a layout member "uv" feeds the attribute
// "vs_uv". Constant blocks bind to the uniform blocks "VSConstants" and
// "PSConstants"; declare them with an instance name ("VSConstants.member") so
// that the constant-layout check can match their members.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

struct LayoutDescriptor;
struct kvRenderContext;
struct kvVertexBuffer;

struct kvShader {
  char name[512];
  uint32_t vertexShader;
  uint32_t fragmentShader;
  uint32_t program;
  std::map<std::string, int>* uniformLocations;
};

struct kvVertexBinding {
  int location;
  int componentCount;
  uint32_t glType;
  uint8_t normalized;
  int stride;
  int offset;
};

// The program, or null when a source file is missing or it fails to compile
// or link (logged; nothing is cached then, so a later call tries again).
kvShader* kv_Shader_Load(const char* name);
kvShader* kv_Shader_Load_Separate(const char* vertexName, const char* fragmentName);
// Linked programs are kept as the driver's program binaries in a cache folder,
// one file per program, keyed by the program's sources and the driver's
// vendor, renderer and version strings, and a later run loads them from there
// instead of compiling. Any problem (no binary support, a damaged, short or
// out-of-date file, a binary the driver refuses) falls back to compiling the
// sources, with one log line. The folder is a game-folder name ("Saves/
// ProgramCache/"); null or "" (the default) keeps no cache.
void kv_Shader_SetProgramCacheFolder(const char* folder);
struct kvProgramCacheCounts {
  int loaded;     // programs made from a cached binary
  int stored;     // binaries written to the cache
  int fallbacks;  // cached binaries that could not be used
};
kvProgramCacheCounts kv_Shader_GetProgramCacheCounts(void);
// Tests and benchmarks: deletes every program and forgets it, as a new run
// starts.
void kv_Shader_ForgetProgramsForTest(void);
// Location of a uniform, remembered per program.
int kv_Shader_GetUniformLocation(kvShader* shader, const char* name);

const std::vector<kvVertexBinding>& getShaderBinding(kvRenderContext* context, kvShader* program,
                                                     kvVertexBuffer* buffer);
void applyVertexBindingsForShader(kvRenderContext* context, kvShader* program,
                                  kvVertexBuffer* buffer);
// Returns false for an unknown code (outputs untouched).
bool kv_VertexAttribute_GetGLType(int typeCode, uint32_t* glType, int* componentCount);
const char* kv_Shader_UniformTypeName(uint32_t glType);
// Diagnostic: compares a constant layout with the program's uniform block.
void kv_Shader_CheckConstantLayout(kvShader* program, const char* blockName, uint32_t blockIndex,
                                   const LayoutDescriptor* layout);
// Whether a uniform's name belongs to a member: "<block>.<member>[...]" with the
// member compared without regard to case.
bool kv_Shader_UniformMatchesMember(const char* uniformName, const char* blockName,
                                    const char* memberName);
