// The command line of the front end.
#include <strings.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "app/voskdemo.h"
#include "engine/drevMain.h"
#include "presentation/drevRender.h"
#include "platform/kv_Language.h"

namespace {

// One slot of 20 characters per language index.
char g_textTables[6][20] = {"vosk.en.tab", "vosk.de.tab", "vosk.es.tab",
                            "vosk.fr.tab", "vosk.it.tab", "vosk.pt.tab"};

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

}  // namespace

const char* voskdemo_GetTextTableName(int language) {
  return g_textTables[(language >= 0 && language < 6) ? language : 0];
}

int voskdemo_ParseOptions(const char* commandLine) {
  voskdemo_State* state = voskdemo_GetState();
  const std::vector<std::string> tokens = SplitBlanks(commandLine);
  for (size_t i = 0; i < tokens.size(); ++i) {
    const std::string& token = tokens[i];
    // An option that takes an argument but stands last has none: it is ignored.
    const bool hasArgument = i + 1 < tokens.size();
    if (Is(token, "?")) {
      return 0;
    } else if (Is(token, "t")) {
      if (!hasArgument) continue;
      std::snprintf(g_textTables[LanguageSlot()], sizeof g_textTables[0], "%s",
                    tokens[++i].c_str());
    } else if (Is(token, "m")) {
      if (!hasArgument) continue;
      drevMain_SetMaxMemory(static_cast<int64_t>(std::atoi(tokens[++i].c_str())) * 1048576);
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
      if (!hasArgument) continue;
      std::snprintf(state->bootParameter, sizeof state->bootParameter, "%s", tokens[++i].c_str());
      state->hasBootParameter = 1;
    } else if (Is(token, "p")) {
      if (!hasArgument) continue;
      drevMain_SetDataPath(tokens[++i].c_str());
    } else if (Is(token, "z")) {
      state->zBufferVideo = 1;
      drevRender_zBufferInSystemMemory = 0;
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
