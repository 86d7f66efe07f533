// The byte streams a clip reads its Ogg data from: a file read lazily, or a
// whole file held in memory. Positions and sizes are 32-bit.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

class KineDataSource {
 public:
  virtual ~KineDataSource() = default;
  // Reads up to n bytes; returns the count read (0 at the end).
  virtual int32_t Read(void* buffer, int32_t n) = 0;
  virtual std::string Describe() = 0;
  virtual void Seek(int32_t position) = 0;
  virtual int32_t GetSize() = 0;
  virtual int32_t Tell() = 0;
};

class KineFileDataSource : public KineDataSource {
 public:
  // Nothing is opened until the first read, seek or size query.
  explicit KineFileDataSource(const std::string& fileName);
  ~KineFileDataSource() override;
  // Throws "Can't open video file: " + name when the file cannot be opened
  // (or is 2 GB or larger).
  void Open();
  int32_t Read(void* buffer, int32_t n) override;
  std::string Describe() override { return fileName; }
  void Seek(int32_t position) override;
  int32_t GetSize() override;
  int32_t Tell() override;

 private:
  FILE* file = nullptr;
  std::string fileName;
  int32_t size = 0;
};

class KineMemoryFileDataSource : public KineDataSource {
 public:
  // Loads the whole file; throws "Can't open video file: " + name on failure.
  explicit KineMemoryFileDataSource(const std::string& fileName);
  // The same over bytes already in memory (copied), named as given.
  KineMemoryFileDataSource(const std::string& name, const uint8_t* bytes, int32_t count);
  int32_t Read(void* buffer, int32_t n) override;
  std::string Describe() override { return "MEM:" + fileName; }
  void Seek(int32_t position) override { this->position = position; }
  int32_t GetSize() override { return size; }
  int32_t Tell() override { return position; }

 private:
  std::string fileName;
  int32_t size = 0;
  int32_t position = 0;
  std::vector<uint8_t> data;
};
