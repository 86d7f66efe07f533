#include "gfx/kv_Shader.h"

#include <GL/glew.h>
#include <strings.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <utility>

#include "gfx/kv_Buffer.h"
#include "gfx/kv_Layout.h"
#include "gfx/kv_RenderContext.h"
#include "platform/kv_Log.h"
#include "platform/kv_Platform.h"
#include "platform/kv_PlatformFile.h"
#include "platform/stdByteOrder.h"

namespace {

// Programs by the text of their name ("%s_%s" for separately loaded pairs).
std::map<std::string, kvShader*>& Cache() {
  static auto* cache = new std::map<std::string, kvShader*>();
  return *cache;
}

struct BindingEntry {
  kvShader* program;
  const LayoutDescriptor* layout;
  std::vector<kvVertexBinding> bindings;
};
std::map<std::pair<kvShader*, const LayoutDescriptor*>, BindingEntry>& BindingCache() {
  static auto* cache = new std::map<std::pair<kvShader*, const LayoutDescriptor*>, BindingEntry>();
  return *cache;
}

// The debugger output: standard error.
void DebugOut(const char* text) {
  std::fputs(text, stderr);
}

std::string SourcePath(const char* name, const char* suffix) {
  std::string path = "x86/shaders/compiled/";
  path.append(name, strnlen(name, 1002));
  path += suffix;
  return path;
}

bool ReadSource(const std::string& path, std::string* text) {
  uint8_t* data = nullptr;
  size_t size = 0;
  if (!kv_Platform_LoadFile(&data, &size, path.c_str()) || !data) return false;
  text->assign(reinterpret_cast<const char*>(data), size);
  kv_Platform_FreeFileData(data);
  return true;
}

std::string ShaderLog(GLuint shader) {
  char log[4096];
  GLsizei length = 0;
  glGetShaderInfoLog(shader, sizeof log, &length, log);
  return std::string(log, length > 0 ? static_cast<size_t>(length) : 0);
}

std::string ProgramLog(GLuint program) {
  char log[4096];
  GLsizei length = 0;
  glGetProgramInfoLog(program, sizeof log, &length, log);
  return std::string(log, length > 0 ? static_cast<size_t>(length) : 0);
}

// Compiles one stage; on failure reports as the load wants it and answers false.
bool CompileStage(GLuint shader, const std::string& source, const char* reportName,
                  const char* stage, bool toProgramLog) {
  const GLchar* text = source.c_str();
  const GLint length = static_cast<GLint>(source.size());
  glShaderSource(shader, 1, &text, &length);
  glCompileShader(shader);
  kv_GL_CheckErrors();
  GLint status = GL_FALSE;
  glGetShaderiv(shader, GL_COMPILE_STATUS, &status);
  if (status == GL_TRUE) return true;
  if (toProgramLog && kv_Log_Open("Vosk.log")) CheckOpenGLRequirements();
  const std::string log = ShaderLog(shader);
  if (log.size() > 2) {
    DebugOut(reportName);
    DebugOut(std::strcmp(stage, "vs") == 0 ? " vs:\n" : " ps:\n");
  }
  if (toProgramLog) kv_Log_Printf("[OpenGL] %s %s failed:", reportName, stage);
  DebugOut(log.c_str());
  if (toProgramLog) kv_Log_Printf("%s", log.c_str());
  return false;
}

// The program cache -------------------------------------------------------------
// One file per program: "VQPB", the layout (u32, 1), the key (u64), the
// binary format (u32), the binary's length (u32), then the binary; little
// endian, nothing after it.
constexpr uint8_t kCacheMagic[4] = {'V', 'Q', 'P', 'B'};
constexpr uint32_t kCacheLayout = 1;
constexpr size_t kCacheHeaderSize = 24;

struct ProgramCache {
  std::string folder;   // "" = no cache
  int usable = -1;      // whether the driver can do it: -1 not asked yet
  std::string driver;   // vendor, renderer and version, part of every key
  bool announced = false;
  bool writeFailed = false;  // one failed write ends the writing for the run
  kvProgramCacheCounts counts{};
};
ProgramCache& CacheState() {
  static auto* state = new ProgramCache();
  return *state;
}

std::string GLText(GLenum name) {
  const GLubyte* text = glGetString(name);
  return text ? reinterpret_cast<const char*>(text) : "";
}

// Asked once: binaries need the driver's support and at least one format.
bool CacheUsable() {
  ProgramCache& cache = CacheState();
  if (cache.folder.empty()) return false;
  if (cache.usable >= 0) return cache.usable == 1;
  cache.usable = 0;
  if (!(GLEW_VERSION_4_1 || GLEW_ARB_get_program_binary) || !glProgramBinary ||
      !glGetProgramBinary || !glProgramParameteri) {
    kv_Log_Printf("[OpenGL] Program cache: the driver has no program binaries; programs are "
                  "compiled from their sources");
    return false;
  }
  GLint formats = 0;
  glGetIntegerv(GL_NUM_PROGRAM_BINARY_FORMATS, &formats);
  if (formats <= 0) {
    kv_Log_Printf("[OpenGL] Program cache: the driver offers no program binary format; programs "
                  "are compiled from their sources");
    return false;
  }
  cache.driver = GLText(GL_VENDOR) + "\n" + GLText(GL_RENDERER) + "\n" + GLText(GL_VERSION);
  cache.usable = 1;
  return true;
}

// 64-bit FNV-1a over the driver strings and both sources, each with its length.
uint64_t CacheKey(const std::string& vertexSource, const std::string& fragmentSource) {
  uint64_t hash = 0xcbf29ce484222325ull;
  auto add = [&hash](const std::string& text) {
    const uint64_t length = text.size();
    for (int i = 0; i < 8; ++i) {
      hash = (hash ^ ((length >> (8 * i)) & 0xff)) * 0x100000001b3ull;
    }
    for (const char c : text) hash = (hash ^ static_cast<uint8_t>(c)) * 0x100000001b3ull;
  };
  add(CacheState().driver);
  add(vertexSource);
  add(fragmentSource);
  return hash;
}

// "<folder><program name>.bin", the name kept to letters, digits, '_', '-' and '.'.
std::string CacheFileName(const std::string& programName) {
  std::string file = CacheState().folder;
  // Long names are cut: the key inside the file still tells programs apart.
  for (const char c : programName.substr(0, 200)) {
    const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                       c == '_' || c == '-' || c == '.';
    file += plain ? c : '_';
  }
  return file + ".bin";
}

void NoteFallback(const std::string& file, const char* programName, const char* why) {
  ++CacheState().counts.fallbacks;
  kv_Log_Printf("[OpenGL] Program cache: %s %s; %s is compiled from its sources", file.c_str(),
                why, programName);
}

// The program made from the cached binary, or 0 (a missing file is not worth
// a log line: the first run has none).
GLuint LoadCachedProgram(const std::string& file, uint64_t key, const char* programName) {
  std::string host;
  struct stat info;
  if (!kv_PlatformFile_ResolvePath(file.c_str(), &host) || stat(host.c_str(), &info) != 0) return 0;
  uint8_t* data = nullptr;
  size_t size = 0;
  if (!kv_Platform_LoadFile(&data, &size, host.c_str()) || !data) {
    NoteFallback(file, programName, "could not be read");
    return 0;
  }
  const uint32_t length = size >= kCacheHeaderSize ? stdLE_GetU32(data + 20) : 0;
  const uint64_t storedKey =
      size >= kCacheHeaderSize
          ? (static_cast<uint64_t>(stdLE_GetU32(data + 12)) << 32) | stdLE_GetU32(data + 8)
          : 0;
  GLuint program = 0;
  if (size < kCacheHeaderSize || std::memcmp(data, kCacheMagic, 4) != 0 ||
      stdLE_GetU32(data + 4) != kCacheLayout || length == 0 || size - kCacheHeaderSize != length ||
      length > static_cast<uint32_t>(INT32_MAX)) {
    NoteFallback(file, programName, "is damaged");
  } else if (storedKey != key) {
    NoteFallback(file, programName, "is out of date");
  } else {
    glGetError();  // what came before is not this load's
    program = glCreateProgram();
    glProgramBinary(program, stdLE_GetU32(data + 16), data + kCacheHeaderSize,
                    static_cast<GLsizei>(length));
    GLint status = GL_FALSE;
    glGetProgramiv(program, GL_LINK_STATUS, &status);
    if (glGetError() != GL_NO_ERROR || status != GL_TRUE) {
      glDeleteProgram(program);
      program = 0;
      NoteFallback(file, programName, "was refused by the driver");
    }
  }
  kv_Platform_FreeFileData(data);
  if (program) {
    ProgramCache& cache = CacheState();
    ++cache.counts.loaded;
    if (!cache.announced) {
      cache.announced = true;
      kv_Log_Printf("[OpenGL] Program cache: linked programs are loaded from %s",
                    cache.folder.c_str());
    }
  }
  return program;
}

// Writes the linked program's binary to its cache file.
void StoreProgram(GLuint program, const std::string& file, uint64_t key) {
  ProgramCache& cache = CacheState();
  if (cache.writeFailed) return;
  GLint length = 0;
  glGetProgramiv(program, GL_PROGRAM_BINARY_LENGTH, &length);
  if (length <= 0) return;
  std::vector<uint8_t> bytes(kCacheHeaderSize + static_cast<size_t>(length));
  GLenum format = 0;
  GLsizei written = 0;
  glGetProgramBinary(program, length, &written, &format, bytes.data() + kCacheHeaderSize);
  if (glGetError() != GL_NO_ERROR || written <= 0 || written > length) return;
  bytes.resize(kCacheHeaderSize + static_cast<size_t>(written));
  std::memcpy(bytes.data(), kCacheMagic, 4);
  stdLE_PutU32(bytes.data() + 4, kCacheLayout);
  stdLE_PutU32(bytes.data() + 8, static_cast<uint32_t>(key));
  stdLE_PutU32(bytes.data() + 12, static_cast<uint32_t>(key >> 32));
  stdLE_PutU32(bytes.data() + 16, format);
  stdLE_PutU32(bytes.data() + 20, static_cast<uint32_t>(written));
  if (kv_Platform_WriteFile(bytes.data(), bytes.size(), file.c_str())) {
    ++cache.counts.stored;
  } else {
    cache.writeFailed = true;
    kv_Log_Printf("[OpenGL] Program cache: %s could not be written; no more programs are kept "
                  "this run",
                  file.c_str());
  }
}

kvShader* NewRecord(GLuint vertexShader, GLuint fragmentShader, GLuint program) {
  auto* shader = new kvShader();
  std::memset(shader->name, 0, sizeof shader->name);
  shader->vertexShader = vertexShader;
  shader->fragmentShader = fragmentShader;
  shader->program = program;
  shader->uniformLocations = new std::map<std::string, int>();
  return shader;
}

kvShader* Build(const char* vertexName, const char* fragmentName, const char* function,
                bool toProgramLog, const std::string& programName) {
  std::string vertexSource, fragmentSource;
  if (!ReadSource(SourcePath(vertexName, "_v.glsl"), &vertexSource)) return nullptr;
  if (!ReadSource(SourcePath(fragmentName, "_p.glsl"), &fragmentSource)) return nullptr;

  const bool cached = CacheUsable();
  const uint64_t key = cached ? CacheKey(vertexSource, fragmentSource) : 0;
  const std::string cacheFile = cached ? CacheFileName(programName) : std::string();
  if (cached) {
    if (const GLuint program = LoadCachedProgram(cacheFile, key, programName.c_str())) {
      return NewRecord(0, 0, program);
    }
  }

  kv_GL_SetDebugTag("create shaders and program", function, 400);
  const GLuint vertexShader = glCreateShader(GL_VERTEX_SHADER);
  const GLuint fragmentShader = glCreateShader(GL_FRAGMENT_SHADER);
  const GLuint program = glCreateProgram();
  kv_GL_CheckErrors();
  kv_GL_SetDebugTag("attach shaders", function, 401);
  glAttachShader(program, vertexShader);
  glAttachShader(program, fragmentShader);
  kv_GL_CheckErrors();

  kv_GL_SetDebugTag("compile vertex shader", function, 402);
  bool ok = CompileStage(vertexShader, vertexSource, vertexName, "vs", toProgramLog);
  kv_GL_SetDebugTag("compile fragment shader", function, 403);
  ok = CompileStage(fragmentShader, fragmentSource, fragmentName, "ps", toProgramLog) && ok;

  if (ok) {
    kv_GL_SetDebugTag("link shader program", function, 404);
    if (cached) glProgramParameteri(program, GL_PROGRAM_BINARY_RETRIEVABLE_HINT, GL_TRUE);
    glLinkProgram(program);
    kv_GL_CheckErrors();
    GLint status = GL_FALSE;
    glGetProgramiv(program, GL_LINK_STATUS, &status);
    if (status != GL_TRUE) {
      const std::string log = ProgramLog(program);
      if (log.size() > 2) {
        DebugOut(vertexName);
        if (fragmentName != vertexName) {
          DebugOut(" ");
          DebugOut(fragmentName);
        }
        DebugOut(" prog:\n");
        DebugOut(log.c_str());
      }
      ok = false;
    }
  }
  if (!ok) {
    // A broken program is never drawn with: callers get null and skip their draws.
    glDeleteProgram(program);
    glDeleteShader(vertexShader);
    glDeleteShader(fragmentShader);
    return nullptr;
  }
  if (cached) StoreProgram(program, cacheFile, key);
  return NewRecord(vertexShader, fragmentShader, program);
}

void CopyName(kvShader* shader, const std::string& name) {
  const size_t n = name.size() < sizeof shader->name - 1 ? name.size() : sizeof shader->name - 1;
  std::memcpy(shader->name, name.data(), n);
  shader->name[n] = 0;
}

}  // namespace

kvShader* kv_Shader_Load(const char* name) {
  if (!name) return nullptr;
  kv_Log_Printf("[OpenGL] Compiling shader: %s", name);
  auto found = Cache().find(name);
  if (found != Cache().end()) return found->second;
  kvShader* shader = Build(name, name, "kv_Shader_Load", true, name);
  if (!shader) return nullptr;
  CopyName(shader, name);
  Cache().emplace(name, shader);
  return shader;
}

kvShader* kv_Shader_Load_Separate(const char* vertexName, const char* fragmentName) {
  if (!vertexName || !fragmentName) return nullptr;
  char joined[1100];
  std::snprintf(joined, sizeof joined, "%s_%s", vertexName, fragmentName);
  auto found = Cache().find(joined);
  if (found != Cache().end()) return found->second;
  kvShader* shader = Build(vertexName, fragmentName, "kv_Shader_Load_Separate", false, joined);
  if (!shader) return nullptr;
  CopyName(shader, joined);
  Cache().emplace(joined, shader);
  return shader;
}

void kv_Shader_SetProgramCacheFolder(const char* folder) {
  ProgramCache& cache = CacheState();
  cache.folder = folder ? folder : "";
  if (!cache.folder.empty() && cache.folder.back() != '/') cache.folder += '/';
  cache.announced = false;
  cache.writeFailed = false;
}

kvProgramCacheCounts kv_Shader_GetProgramCacheCounts(void) {
  return CacheState().counts;
}

void kv_Shader_ForgetProgramsForTest(void) {
  for (auto& [name, shader] : Cache()) {
    glDeleteProgram(shader->program);
    if (shader->vertexShader) glDeleteShader(shader->vertexShader);
    if (shader->fragmentShader) glDeleteShader(shader->fragmentShader);
    delete shader->uniformLocations;
    delete shader;
  }
  Cache().clear();
  BindingCache().clear();
  CacheState().announced = false;
}

int kv_Shader_GetUniformLocation(kvShader* shader, const char* name) {
  if (!shader || !name) return -1;
  auto found = shader->uniformLocations->find(name);
  if (found != shader->uniformLocations->end()) return found->second;
  const int location = glGetUniformLocation(shader->program, name);
  shader->uniformLocations->emplace(name, location);
  return location;
}

bool kv_VertexAttribute_GetGLType(int typeCode, uint32_t* glType, int* componentCount) {
  static constexpr struct {
    uint32_t type;
    int components;
  } kTypes[] = {{GL_FLOAT, 1},         {GL_FLOAT, 2},         {GL_FLOAT, 3},        {GL_FLOAT, 4},
                {GL_UNSIGNED_BYTE, 1}, {GL_UNSIGNED_BYTE, 2}, {GL_UNSIGNED_BYTE, 4}};
  if (typeCode < 0 || typeCode > 6) return false;
  if (glType) *glType = kTypes[typeCode].type;
  if (componentCount) *componentCount = kTypes[typeCode].components;
  return true;
}

const std::vector<kvVertexBinding>& getShaderBinding(kvRenderContext*, kvShader* program,
                                                     kvVertexBuffer* buffer) {
  const LayoutDescriptor* layout = buffer->layout;
  const auto key = std::make_pair(program, layout);
  auto found = BindingCache().find(key);
  if (found != BindingCache().end()) return found->second.bindings;
  BindingEntry& entry = BindingCache()[key];
  entry.program = program;
  entry.layout = layout;
  if (!layout) return entry.bindings;
  kv_GL_SetDebugTag("get shader bindings", "getShaderBinding", 410);
  const size_t attributeCount = buffer->attributes ? buffer->attributes->size() : 0;
  for (int i = 0; i < layout->memberCount; ++i) {
    const LayoutMember& member = layout->members[i];
    std::string attributeNameText = "vs_";
    attributeNameText.append(member.name ? member.name : "",
                             member.name ? strnlen(member.name, 509) : 0);
    const char* attributeName = attributeNameText.c_str();
    const GLint location = glGetAttribLocation(program->program, attributeName);
    kv_GL_CheckErrors();
    if (location < 0) {
      std::string text = "No matching vertex attribute '";
      text += attributeName;
      text += "' in shader '";
      text += program->name;
      text += "' for ";
      text += layout->typeName ? layout->typeName : "";
      text += "::";
      text += member.name;
      text += "\n";
      DebugOut(text.c_str());
      continue;
    }
    // One attribute per layout member, in member order; a buffer with fewer
    // leaves the rest of the members unbound.
    uint32_t glType = 0;
    int components = 0;
    if (static_cast<size_t>(i) >= attributeCount ||
        !kv_VertexAttribute_GetGLType((*buffer->attributes)[i]->typeCode, &glType, &components)) {
      const std::string text = "Vertex buffer has no usable attribute " + std::to_string(i) +
                               " for '" + attributeNameText + "' in shader '" + program->name +
                               "'\n";
      DebugOut(text.c_str());
      continue;
    }
    entry.bindings.push_back({location, components, glType, 0, layout->size, member.offset});
  }
  return entry.bindings;
}

void applyVertexBindingsForShader(kvRenderContext* context, kvShader* program,
                                  kvVertexBuffer* buffer) {
  kv_GL_SetDebugTag("get vertrex attribute count", "applyVertexBindingsForShader", 420);
  int n = context->enabledAttributeCount;
  if (n < 1) {
    glGetIntegerv(GL_MAX_VERTEX_ATTRIBS, &n);
    kv_GL_CheckErrors();
  }
  ptrdiff_t base = 0;
  if (!buffer->ownsGLBuffer && context->frameData) {
    base = buffer->data - context->frameData->vertexRing.base;
  }
  const std::vector<kvVertexBinding>& bindings = getShaderBinding(context, program, buffer);
  for (int i = 0; i < n; ++i) glDisableVertexAttribArray(static_cast<GLuint>(i));
  kv_GL_SetDebugTag("set vertex attributes", "applyVertexBindingsForShader", 421);
  int highest = -1;
  for (const kvVertexBinding& binding : bindings) {
    glEnableVertexAttribArray(static_cast<GLuint>(binding.location));
    glVertexAttribPointer(
        static_cast<GLuint>(binding.location), binding.componentCount, binding.glType,
        binding.normalized ? GL_TRUE : GL_FALSE, binding.stride,
        reinterpret_cast<const void*>(static_cast<intptr_t>(binding.offset) + base));
    kv_GL_CheckErrors();
    if (binding.location > highest) highest = binding.location;
  }
  context->enabledAttributeCount = highest + 1;
}

const char* kv_Shader_UniformTypeName(uint32_t glType) {
  switch (glType) {
    case GL_INT:
      return "int";
    case GL_UNSIGNED_INT:
      return "unsigned";
    case GL_FLOAT:
      return "float";
    case GL_FLOAT_VEC2:
      return "kvVector2F";
    case GL_FLOAT_VEC3:
      return "kvVector3F";
    case GL_FLOAT_VEC4:
      return "kvVector4F";
    case GL_FLOAT_MAT4:
      return "kvMatrix4F";
    default:
      return nullptr;
  }
}

bool kv_Shader_UniformMatchesMember(const char* uniformName, const char* blockName,
                                    const char* memberName) {
  if (!uniformName || !blockName || !memberName) return false;
  const size_t blockLength = std::strlen(blockName);
  // Only names "<block>.<member>" carry the prefix; anything shorter or
  // different is not a member of this block.
  if (std::strncmp(uniformName, blockName, blockLength) != 0 || uniformName[blockLength] != '.') {
    return false;
  }
  std::string rest = uniformName + blockLength + 1;
  const size_t bracket = rest.find('[');
  if (bracket != std::string::npos) rest.resize(bracket);
  return strcasecmp(rest.c_str(), memberName) == 0;
}

void kv_Shader_CheckConstantLayout(kvShader* program, const char* blockName, uint32_t blockIndex,
                                   const LayoutDescriptor* layout) {
  if (!program || !blockName || !layout || blockIndex == GL_INVALID_INDEX) return;
  GLint count = 0;
  glGetActiveUniformBlockiv(program->program, blockIndex, GL_UNIFORM_BLOCK_ACTIVE_UNIFORMS, &count);
  if (count <= 0) count = 0;
  std::vector<GLint> indices(static_cast<size_t>(count) + 1);
  std::vector<GLint> types(static_cast<size_t>(count) + 1);
  std::vector<GLint> offsets(static_cast<size_t>(count) + 1);
  if (count > 0) {
    glGetActiveUniformBlockiv(program->program, blockIndex, GL_UNIFORM_BLOCK_ACTIVE_UNIFORM_INDICES,
                              indices.data());
    std::vector<GLuint> unsignedIndices(indices.begin(), indices.begin() + count);
    glGetActiveUniformsiv(program->program, count, unsignedIndices.data(), GL_UNIFORM_TYPE,
                          types.data());
    glGetActiveUniformsiv(program->program, count, unsignedIndices.data(), GL_UNIFORM_OFFSET,
                          offsets.data());
  }
  char text[1024];
  const char* typeName = layout->typeName ? layout->typeName : "";
  for (int m = 0; m < layout->memberCount; ++m) {
    const LayoutMember& member = layout->members[m];
    int found = -1;
    for (int u = 0; u < count && found < 0; ++u) {
      char name[256];
      GLsizei length = 0;
      glGetActiveUniformName(program->program, static_cast<GLuint>(indices[u]), sizeof name,
                             &length, name);
      if (kv_Shader_UniformMatchesMember(name, blockName, member.name)) found = u;
    }
    if (found < 0) {
      std::snprintf(text, sizeof text,
                    "%s -> %s: Constant '%s' has no matching uniform in uniform block '%s'.\n",
                    program->name, typeName, member.name, blockName);
      DebugOut(text);
      continue;
    }
    if (offsets[found] != member.offset) {
      std::snprintf(text, sizeof text,
                    "%s -> %s: Constant '%s' and uniform have mismatched offsets: %i != %i\n",
                    program->name, typeName, member.name, member.offset, offsets[found]);
      DebugOut(text);
    }
    const char* uniformType = kv_Shader_UniformTypeName(static_cast<uint32_t>(types[found]));
    if (uniformType) {
      std::string memberType = member.typeName ? member.typeName : "";
      const size_t bracket = memberType.find('[');
      if (bracket != std::string::npos) memberType.resize(bracket);
      if (memberType != uniformType) {
        std::snprintf(text, sizeof text,
                      "%s -> %s: Constant '%s' and uniform have mismatched types: '%s' != '%s'\n",
                      program->name, typeName, member.name, memberType.c_str(), uniformType);
        DebugOut(text);
      }
    }
  }
}
