// The command line of the front end.
#include <strings.h>
#include <sys/stat.h>

#include <cerrno>
#include <climits>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "app/voskdemo.h"
#include "engine/Polyglot.h"
#include "engine/drevMain.h"
#include "platform/kv_Language.h"
#include "platform/kv_Log.h"
#include "presentation/drevRender.h"

namespace {

// One slot of 20 characters per language index.
char g_textTables[6][20] = {"vosk.en.tab", "vosk.de.tab", "vosk.es.tab",
                            "vosk.fr.tab", "vosk.it.tab", "vosk.pt.tab"};

// What -? prints, one line per option of the table.
constexpr const char* kUsage =
    "usage: VoskQuorvale [option ...]   (options start with - or /, in any case)\n"
    "  -t name    text table to use for the current language\n"
    "  -m number  memory for the engine's resources, in megabytes\n"
    "  -c         open the chore tool after start-up\n"
    "  -l         copy messages to debug.log (developer machines only)\n"
    "  -h         prefer hardware 3D devices\n"
    "  -nofmv     no high-definition movies (no / form)\n"
    "  -r         log resource use to resource.log\n"
    "  -w         windowed display\n"
    "  -s         resume the game at start\n"
    "  -b text    boot parameter for the boot script (79 characters at most)\n"
    "  -p path    an extra data folder, searched after the game's own\n"
    "  -z         keep the clean z-buffer as a video buffer\n"
    "  -?         print this and end with status 1\n";

int LanguageSlot() {
  const int language = kv_Language_Get();
  return (language >= 0 && language < 6) ? language : 0;
}

std::vector<std::string> SplitBlanks(const char* text) {
  std::vector<std::string> tokens;
  std::string current;
  for (const char* p = text; p && *p; ++p) {
    if (*p == ' ' || *p == '\t') {
      if (!current.empty()) tokens.push_back(current);
      current.clear();
    } else {
      current += *p;
    }
  }
  if (!current.empty()) tokens.push_back(current);
  return tokens;
}

// "-x" or "/x", ignoring case; "-nofmv" has no "/" form.
bool Is(const std::string& token, const char* name, bool slashForm = true) {
  if (token.empty()) return false;
  if (token[0] != '-' && !(slashForm && token[0] == '/')) return false;
  return strcasecmp(token.c_str() + 1, name) == 0;
}

// The whole token as a decimal number, or false.
bool WholeNumber(const std::string& text, long* value) {
  if (text.empty()) return false;
  errno = 0;
  char* end = nullptr;
  *value = std::strtol(text.c_str(), &end, 10);
  return errno == 0 && end && *end == '\0';
}

bool IsFolder(std::string path) {
  for (char& c : path)
    if (c == '\\') c = '/';
  struct stat info {};
  return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

}  // namespace

void voskdemo_OptionMessage(const char* format, ...) {
  char text[512];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  // Before the printers exist: the program log when it is open, else the
  // shell's standard error.
  if (kv_Log_IsOpen()) {
    kv_Log_Printf("%s", text);
  } else {
    std::fprintf(stderr, "%s\n", text);
  }
}

const char* voskdemo_GetTextTableName(int language) {
  return g_textTables[(language >= 0 && language < 6) ? language : 0];
}

int voskdemo_LoadTextTable(void) {
  const char* name = voskdemo_GetTextTableName(kv_Language_Get());
  if (Polyglot_LoadTable(name)) return 1;
  voskdemo_OptionMessage(
      "[Options] - text table \"%s\" could not be loaded: no text of the game is translated", name);
  return 0;
}

int voskdemo_ParseOptions(const char* commandLine) {
  voskdemo_State* state = voskdemo_GetState();
  const std::vector<std::string> tokens = SplitBlanks(commandLine);
  for (size_t i = 0; i < tokens.size(); ++i) {
    const std::string& token = tokens[i];
    // An option that takes an argument but stands last has none: it is
    // ignored, with a word.
    const bool takesArgument = Is(token, "t") || Is(token, "m") || Is(token, "b") || Is(token, "p");
    if (takesArgument && i + 1 >= tokens.size()) {
      voskdemo_OptionMessage("[Options] - %s needs a value; ignored", token.c_str());
      continue;
    }
    if (Is(token, "?")) {
      std::fputs(kUsage, stderr);
      return 0;
    } else if (Is(token, "t")) {
      std::snprintf(g_textTables[LanguageSlot()], sizeof g_textTables[0], "%s",
                    tokens[++i].c_str());
    } else if (Is(token, "m")) {
      // Megabytes: the engine converts them to bytes (64 bits, so values past
      // 2047 are taken whole).
      const std::string& value = tokens[++i];
      long megabytes = 0;
      if (WholeNumber(value, &megabytes) && megabytes >= 1 && megabytes <= INT_MAX) {
        drevMain_SetMaxMemory(static_cast<int>(megabytes));
      } else {
        voskdemo_OptionMessage(
            "[Options] - -m %s is not a whole number of megabytes above 0; the memory budget "
            "stays as it is",
            value.c_str());
      }
    } else if (Is(token, "c")) {
      state->startChoreTool = 1;
    } else if (Is(token, "l")) {
      state->logToFile = 1;
    } else if (Is(token, "h")) {
      state->hardware = 1;
    } else if (Is(token, "nofmv", false)) {
      state->noMovies = 1;
    } else if (Is(token, "r")) {
      state->logResources = 1;
    } else if (Is(token, "w")) {
      state->windowed = 1;
    } else if (Is(token, "s")) {
      voskdemo_resumeFlag = 1;  // it starts at 1: every boot is told to resume
    } else if (Is(token, "b")) {
      std::snprintf(state->bootParameter, sizeof state->bootParameter, "%s", tokens[++i].c_str());
      state->hasBootParameter = 1;
    } else if (Is(token, "p")) {
      const std::string& path = tokens[++i];
      drevMain_SetDataPath(path.c_str());
      if (!IsFolder(path)) {
        voskdemo_OptionMessage("[Options] - -p %s: no such folder; nothing is read from it",
                               path.c_str());
      }
    } else if (Is(token, "z")) {
      state->zBufferVideo = 1;
      drevRender_zBufferInSystemMemory = 0;
    } else if (token == "-log") {
      // The platform's: it opened the program log before the game started.
    } else {
      voskdemo_OptionMessage("[Options] - unknown option %s ignored (-? lists the options)",
                             token.c_str());
    }
  }
  return 1;
}

int voskdemo_IsNoFmv(void) {
  return voskdemo_GetState()->noMovies;
}

void voskdemo_ResetTextTablesForTest(void) {
  static const char kNames[6][20] = {"vosk.en.tab", "vosk.de.tab", "vosk.es.tab",
                                     "vosk.fr.tab", "vosk.it.tab", "vosk.pt.tab"};
  std::memcpy(g_textTables, kNames, sizeof g_textTables);
}
