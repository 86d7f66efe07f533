#include "video/KineDataSource.h"

#include <cstring>

#include "video/KineBase.h"

namespace {

// Opens a file for reading and finds its size; null when it cannot be opened
// or does not fit a 32-bit position.
FILE* OpenSized(const std::string& name, int32_t& size) {
  FILE* f = std::fopen(name.c_str(), "rb");
  if (!f) return nullptr;
  long end = -1;
  if (std::fseek(f, 0, SEEK_END) == 0) end = std::ftell(f);
  if (end < 0 || end > INT32_MAX || std::fseek(f, 0, SEEK_SET) != 0) {
    std::fclose(f);
    return nullptr;
  }
  size = static_cast<int32_t>(end);
  return f;
}

}  // namespace

KineFileDataSource::KineFileDataSource(const std::string& name) : fileName(name) {}

KineFileDataSource::~KineFileDataSource() {
  if (file) std::fclose(file);
}

void KineFileDataSource::Open() {
  file = OpenSized(fileName, size);
  if (!file) throw KINE_EXCEPTION("Can't open video file: " + fileName);
}

int32_t KineFileDataSource::Read(void* buffer, int32_t n) {
  if (!file) Open();
  if (n <= 0) return 0;
  return static_cast<int32_t>(std::fread(buffer, 1, static_cast<size_t>(n), file));
}

void KineFileDataSource::Seek(int32_t position) {
  if (!file) Open();
  std::fseek(file, position, SEEK_SET);
}

int32_t KineFileDataSource::GetSize() {
  if (!file) Open();
  return size;
}

int32_t KineFileDataSource::Tell() {
  return file ? static_cast<int32_t>(std::ftell(file)) : 0;
}

KineMemoryFileDataSource::KineMemoryFileDataSource(const std::string& name) : fileName(name) {
  FILE* f = OpenSized(name, size);
  if (!f) throw KINE_EXCEPTION("Can't open video file: " + name);
  data.resize(static_cast<size_t>(size));
  size_t got = size > 0 ? std::fread(data.data(), 1, data.size(), f) : 0;
  std::fclose(f);
  size = static_cast<int32_t>(got);
  data.resize(got);
}

KineMemoryFileDataSource::KineMemoryFileDataSource(const std::string& name, const uint8_t* bytes,
                                                   int32_t count)
    : fileName(name), size(count > 0 ? count : 0), data(bytes, bytes + (count > 0 ? count : 0)) {}

int32_t KineMemoryFileDataSource::Read(void* buffer, int32_t n) {
  // A position outside the data, or a negative count, reads nothing.
  if (n <= 0 || position < 0 || position >= size) return 0;
  if (n > size - position) n = size - position;
  std::memcpy(buffer, data.data() + position, static_cast<size_t>(n));
  position += n;
  return n;
}
