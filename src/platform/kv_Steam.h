// Achievements reported to Steamworks. After game initialisation the platform
// main creates one SteamAchievements object, which asks for the user's current
// statistics; once they have arrived, a script call can unlock an achievement
// by its API name and the change is stored at once. Without Steam (our
// stand-in) no statistics arrive and every unlock answers 0.
#pragma once

#include <cstdint>

#include "platform/steam/steam_api.h"

struct kvAchievement {
  int32_t id;  // the record's index
  const char* apiName;
  char name[128];  // display name, filled from Steamworks
  char description[256];
  bool achieved;
  int32_t icon;  // not used
};

constexpr int kv_Steam_kAchievementCount = 47;

class SteamAchievements {
 public:
  SteamAchievements(kvAchievement* table, int count);
  int Unlock(const char* apiName);
  int RequestStats();
  bool StatsReceived() const { return statsReceived_; }

  void HandleStatsReceived(UserStatsReceived_t* data);
  void HandleStatsStored(UserStatsStored_t* data);
  void HandleAchievementStored(UserAchievementStored_t* data);

 private:
  uint64_t gameId_ = 0;
  kvAchievement* achievements_;
  int count_;
  bool statsReceived_ = false;
  CCallback<SteamAchievements, UserStatsReceived_t> statsReceivedCallback_;
  CCallback<SteamAchievements, UserStatsStored_t> statsStoredCallback_;
  CCallback<SteamAchievements, UserAchievementStored_t> achievementStoredCallback_;
};

// Creates the one object over the game's table (once; later calls do nothing).
void kv_Steam_InitAchievements(void);
// 0 before the statistics arrived or without the object; else the store's result.
int kv_Steam_UnlockAchievement(const char* apiName);
int kv_Steam_RequestStats(void);
int kv_Steam_AreAchievementsInstalled(void);
int kv_Steam_ResetAchievements(void);
// The game's table of achievement records.
kvAchievement* kv_Steam_GetAchievementTable(void);
