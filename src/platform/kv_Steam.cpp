#include "platform/kv_Steam.h"

#include <cstdio>
#include <cstring>

#include "platform/kv_Log.h"

namespace {

// The game's achievements by API name; each name is also the preset display
// name, and descriptions start empty.
constexpr const char* kApiNames[kv_Steam_kAchievementCount] = {
    "ACH_ARRIVAL",       "ACH_FIRST_SET",    "ACH_FERRY",        "ACH_LIGHTHOUSE",
    "ACH_HARBOUR",       "ACH_MARKET",       "ACH_ARCHIVE",      "ACH_TOWER",
    "ACH_GARDEN",        "ACH_CELLAR",       "ACH_ROOFTOP",      "ACH_TUNNEL",
    "ACH_OBSERVATORY",   "ACH_BRIDGE",       "ACH_QUARRY",       "ACH_MILL",
    "ACH_CHAPTER_1",     "ACH_CHAPTER_2",    "ACH_CHAPTER_3",    "ACH_CHAPTER_4",
    "ACH_FINALE",        "ACH_ALL_DIALOGUE", "ACH_ALL_COSTUMES", "ACH_ALL_NOTES",
    "ACH_ALL_KEYS",      "ACH_ALL_MAPS",     "ACH_ALL_SONGS",    "ACH_ALL_PORTRAITS",
    "ACH_COMMENTARY",    "ACH_CONCEPT_ART",  "ACH_CUTSCENES",    "ACH_NO_HINTS",
    "ACH_SPEEDRUN",      "ACH_PACIFIST",     "ACH_COLLECTOR",    "ACH_LOCKSMITH",
    "ACH_CARTOGRAPHER",  "ACH_MUSICIAN",     "ACH_PHOTOGRAPHER", "ACH_GARDENER",
    "ACH_FISHERMAN",     "ACH_STARGAZER",    "ACH_LIBRARIAN",    "ACH_SECRET_ROOM",
    "ACH_SECRET_ENDING", "ACH_SAVE_SCUMMER", "ACH_COMPLETIONIST"};

kvAchievement* Table() {
  static kvAchievement table[kv_Steam_kAchievementCount];
  static bool filled = false;
  if (!filled) {
    for (int i = 0; i < kv_Steam_kAchievementCount; ++i) {
      table[i].id = i;
      table[i].apiName = kApiNames[i];
      std::snprintf(table[i].name, sizeof table[i].name, "%s", kApiNames[i]);
      table[i].description[0] = '\0';
      table[i].achieved = false;
      table[i].icon = 0;
    }
    filled = true;
  }
  return table;
}

SteamAchievements* g_achievements = nullptr;

}  // namespace

SteamAchievements::SteamAchievements(kvAchievement* table, int count)
    : achievements_(table),
      count_(count),
      statsReceivedCallback_(this, &SteamAchievements::HandleStatsReceived),
      statsStoredCallback_(this, &SteamAchievements::HandleStatsStored),
      achievementStoredCallback_(this, &SteamAchievements::HandleAchievementStored) {
  if (ISteamUtils* utils = SteamUtils()) gameId_ = utils->GetAppID();
  RequestStats();
}

int SteamAchievements::RequestStats() {
  ISteamUserStats* stats = SteamUserStats();
  ISteamUser* user = SteamUser();
  if (!stats || !user || !user->BLoggedOn()) return 0;
  if (!stats->RequestCurrentStats()) {
    kv_Log_Printf("[Steam] - Requesting the achievement statistics failed");
    return 0;
  }
  return 1;
}

int SteamAchievements::Unlock(const char* apiName) {
  if (!statsReceived_ || !apiName) return 0;
  ISteamUserStats* stats = SteamUserStats();
  if (!stats) return 0;
  stats->SetAchievement(apiName);
  const bool stored = stats->StoreStats();
  if (!stored) kv_Log_Printf("[Steam] - Storing achievement %s failed", apiName);
  return stored ? 1 : 0;
}

void SteamAchievements::HandleStatsReceived(UserStatsReceived_t* data) {
  if (!data || data->m_nGameID != gameId_) return;
  if (data->m_eResult != k_EResultOK) {
    // No retry: achievements stay locked for this run, but say so.
    kv_Log_Printf("[Steam] - Receiving the achievement statistics failed (result %d)",
                  static_cast<int>(data->m_eResult));
    return;
  }
  statsReceived_ = true;
  ISteamUserStats* stats = SteamUserStats();
  if (!stats) return;
  for (int i = 0; i < count_; ++i) {
    kvAchievement& a = achievements_[i];
    if (!stats->GetAchievement(a.apiName, &a.achieved)) continue;
    const char* name = stats->GetAchievementDisplayAttribute(a.apiName, "name");
    const char* desc = stats->GetAchievementDisplayAttribute(a.apiName, "desc");
    std::snprintf(a.name, sizeof a.name, "%s", name ? name : "");
    std::snprintf(a.description, sizeof a.description, "%s", desc ? desc : "");
  }
}

void SteamAchievements::HandleStatsStored(UserStatsStored_t* data) {
  if (data && data->m_nGameID == gameId_ && data->m_eResult != k_EResultOK) {
    kv_Log_Printf("[Steam] - Storing the achievement statistics failed (result %d)",
                  static_cast<int>(data->m_eResult));
  }
}

void SteamAchievements::HandleAchievementStored(UserAchievementStored_t*) {}

void kv_Steam_InitAchievements(void) {
  // Lives until the process ends, as its callbacks do.
  if (!g_achievements) g_achievements = new SteamAchievements(Table(), kv_Steam_kAchievementCount);
}

int kv_Steam_UnlockAchievement(const char* apiName) {
  return g_achievements ? g_achievements->Unlock(apiName) : 0;
}

int kv_Steam_RequestStats(void) {
  return g_achievements ? g_achievements->RequestStats() : 0;
}
int kv_Steam_AreAchievementsInstalled(void) {
  return 1;
}
int kv_Steam_ResetAchievements(void) {
  return 0;
}
kvAchievement* kv_Steam_GetAchievementTable(void) {
  return Table();
}
