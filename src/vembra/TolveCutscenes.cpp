// The game's table of cutscenes (see TolveCutscenes.h).
#include "vembra/TolveCutscenes.h"

#include <array>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "platform/kv_Log.h"
#include "std/std.h"

namespace {

constexpr char kFileName[] = "cutscenes.txt";

struct Table {
  std::array<TolveCutscene, kTolveCutsceneRows> rows{};
  int count = 0;
  bool loaded = false;
};
Table g_table;

bool Blank(char c) {
  return c == ' ' || c == '\t' || c == '\r';
}

// The next blank-separated word of a line.
std::string_view Word(std::string_view& line) {
  size_t start = 0;
  while (start < line.size() && Blank(line[start])) ++start;
  size_t end = start;
  while (end < line.size() && !Blank(line[end])) ++end;
  std::string_view word = line.substr(start, end - start);
  line.remove_prefix(end);
  return word;
}

bool ParseLine(std::string_view line, int number, TolveCutscene* row) {
  const std::string_view name = Word(line), mark = Word(line), time = Word(line);
  if (name.empty() || name[0] == '#') return false;  // blank or a comment
  const auto bad = [number](const char* why) {
    kv_Log_Printf("[Tolve] - %s line %d: %s", kFileName, number, why);
    return false;
  };
  if (name.size() >= sizeof row->name) return bad("the file name is too long");
  if (mark != "resume" && mark != "noresume") return bad("expected resume or noresume");
  if (!Word(line).empty()) return bad("more than three fields");
  uint32_t end = kTolveNoEndTime;
  if (!time.empty() && time != "-") {
    const std::string digits(time);
    char* stop = nullptr;
    errno = 0;
    const unsigned long long value = strtoull(digits.c_str(), &stop, 10);
    if (*stop != '\0' || digits[0] == '-' || errno != 0 || value >= kTolveNoEndTime)
      return bad("the end time is not a number of milliseconds");
    end = uint32_t(value);
  }
  memcpy(row->name, name.data(), name.size());
  row->name[name.size()] = '\0';
  row->noResume = mark == "noresume";
  row->endTime = end;
  return true;
}

}  // namespace

int TolveCutscenes_Parse(const char* text, size_t size) {
  g_table.count = 0;
  g_table.loaded = true;
  std::string_view rest(text ? text : "", text ? size : 0);
  int number = 0;
  bool full = false;
  while (!rest.empty()) {
    const size_t eol = rest.find('\n');
    const std::string_view line = rest.substr(0, eol);
    rest.remove_prefix(eol == std::string_view::npos ? rest.size() : eol + 1);
    ++number;
    TolveCutscene row{};
    if (!ParseLine(line, number, &row)) continue;
    if (g_table.count == kTolveCutsceneRows) {
      if (!full) kv_Log_Printf("[Tolve] - %s: more than %d rows, the rest is left out", kFileName,
                               kTolveCutsceneRows);
      full = true;
      continue;
    }
    g_table.rows[size_t(g_table.count++)] = row;
  }
  return g_table.count;
}

int TolveCutscenes_Load(void) {
  HostServices* hs = std_pHS;
  std::string text;
  const stdFile_t file = hs && hs->fileOpen ? hs->fileOpen(kFileName, "rb") : 0;
  if (!file) return TolveCutscenes_Parse(nullptr, 0);  // no table: every cutscene resumes
  char buffer[4096];
  // 48 rows fit in far less: a larger file is not a table of cutscenes.
  constexpr size_t kMaxBytes = 256 * 1024;
  for (size_t got; text.size() < kMaxBytes && (got = hs->fileRead(file, buffer, sizeof buffer)) > 0;)
    text.append(buffer, got);
  hs->fileClose(file);
  if (text.size() >= kMaxBytes) {
    kv_Log_Printf("[Tolve] - %s is too large; only its beginning is read", kFileName);
    text.resize(kMaxBytes);
  }
  return TolveCutscenes_Parse(text.data(), text.size());
}

const TolveCutscene* TolveCutscenes_Find(const char* name) {
  if (!g_table.loaded) TolveCutscenes_Load();
  if (!name) return nullptr;
  for (int i = 0; i < g_table.count; ++i)
    if (strcmp(g_table.rows[size_t(i)].name, name) == 0) return &g_table.rows[size_t(i)];
  return nullptr;
}

int TolveCutscenes_IsNonResumable(const char* name) {
  const TolveCutscene* row = TolveCutscenes_Find(name);
  return row && row->noResume ? 1 : 0;
}

uint32_t TolveCutscenes_GetEndTime(const char* name) {
  const TolveCutscene* row = TolveCutscenes_Find(name);
  return row ? row->endTime : kTolveNoEndTime;
}
