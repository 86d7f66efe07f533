#include "vembra/OrnShare.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "VembraTestSupport.h"

using vembratest::Messages;
using vembratest::RecordingPrinter;

namespace {

int tableA, tableB, tableC;

void Fresh(const char* defaults = nullptr, const char* overrides = nullptr) {
  Messages().clear();
  OrnShare_Init(RecordingPrinter, nullptr, defaults, overrides);
}

TEST(OrnShare, LaterPublisherAnswers) {
  Fresh();
  OrnShare_Publish("FILIO=one", &tableA);
  OrnShare_Publish("FILIO=two", &tableB);
  EXPECT_EQ(OrnShare_Subscribe("FILIO", nullptr), &tableB);
  EXPECT_EQ(OrnShare_Subscribe("FILIO.io", nullptr), &tableB);
  EXPECT_EQ(OrnShare_Count("filio"), 2);
  // Both subscriptions counted on the answering entry.
  EXPECT_EQ(OrnShare_Unpublish("FILIO=TWO"), 2);
  EXPECT_EQ(OrnShare_Unpublish("FILIO=two"), 1);  // no longer there
}

struct Resolution {
  const char* overrides;
  const char* callDefaults;
  const char* defaults;
  const char* request;
  int* expected;
};

TEST(OrnShare, ResolutionTable) {
  const Resolution cases[] = {
      // The override beats per-call defaults.
      {"FILIO.chainto=vembra_zfilio", "FILIO=vembra_stdio", nullptr, "FILIO.chainto", &tableB},
      // Per-call defaults beat the default configuration.
      {nullptr, "FILIO=vembra_stdio", "FILIO=vembra_zfilio", "FILIO.chainto", &tableA},
      // The default configuration's NAME item serves NAME.purpose.
      {nullptr, nullptr, "FILIO=vembra_zfilio", "FILIO.io", &tableB},
      // A value naming an unpublished implementation fails: no fallback.
      {nullptr, nullptr, "FILIO=vembra_missing", "FILIO", nullptr},
      // Two SOUND items: the last fallback wins.
      {nullptr, nullptr, "SOUND=a SOUND=b", "SOUND.lipsync", &tableB},
      // An exact item wins over a later fallback.
      {nullptr, nullptr, "SOUND.lipsync=c;SOUND=a", "SOUND.lipsync", &tableC},
      // Items that only begin with the request are neither; no '=' is skipped.
      {nullptr, nullptr, "SOUNDX=a, junk SOUND.lipsyncx=a", "SOUND.lipsync", &tableC},
  };
  for (const Resolution& c : cases) {
    Fresh(c.defaults, c.overrides);
    OrnShare_Publish("FILIO=vembra_stdio", &tableA);
    OrnShare_Publish("FILIO=vembra_zfilio", &tableB);
    OrnShare_Publish("SOUND=a", &tableA);
    OrnShare_Publish("SOUND=b", &tableB);
    OrnShare_Publish("SOUND=c", &tableC);
    EXPECT_EQ(OrnShare_Subscribe(c.request, c.callDefaults), c.expected) << c.request;
  }
}

TEST(OrnShare, NamePartIgnoresTrailingBlanksAndPurpose) {
  Fresh();
  OrnShare_Publish("DEBUG ;=x", &tableA);
  OrnShare_Publish("VIDEO.thing=y", &tableB);
  EXPECT_EQ(OrnShare_Count("DEBUG"), 1);
  EXPECT_EQ(OrnShare_Count("video"), 1);
  EXPECT_EQ(OrnShare_Count(nullptr), 2);
}

// Module fakes for the lifecycle tests.
std::vector<std::string> g_calls;
void* g_registerSubscription = &tableA;
int g_failAt = 0;

template <int N>
struct FakeModule {
  static inline std::string key = "ORNMODULE=m" + std::to_string(N);
  static int Register(OrnShareServices* services, const char*) {
    services->Publish(key.c_str(), &table);
    g_registerSubscription = services->Subscribe("ORNMODULE", nullptr);
    return 0;
  }
  static void Unregister() {
    g_calls.push_back("unregister" + std::to_string(N));
    OrnShare_Unpublish(key.c_str());
  }
  static int Startup() {
    g_calls.push_back("start" + std::to_string(N));
    return N == g_failAt ? -7 : 0;
  }
  static void Shutdown() { g_calls.push_back("stop" + std::to_string(N)); }
  static inline OrnModuleTable table = {Register, Unregister, Startup, Shutdown};
};

const OrnModuleListEntry kModules[] = {
    {FakeModule<1>::Register, nullptr}, {FakeModule<2>::Register, nullptr},
    {FakeModule<3>::Register, nullptr}, {FakeModule<4>::Register, nullptr},
    {FakeModule<5>::Register, nullptr}, {nullptr, nullptr}};

TEST(OrnShare, SubscriptionFromRegisterGivesNull) {
  g_registerSubscription = &tableA;
  OrnShare_Init(nullptr, kModules, nullptr, nullptr);
  EXPECT_EQ(g_registerSubscription, nullptr);
  EXPECT_NE(OrnShare_Subscribe("ORNMODULE", nullptr), nullptr);
}

TEST(OrnShare, FailingFifthStartupRollsBack) {
  Messages().clear();
  OrnShare_Init(RecordingPrinter, kModules, nullptr, nullptr);
  g_calls.clear();
  g_failAt = 5;
  EXPECT_EQ(OrnShare_Startup(), -7);
  g_failAt = 0;
  const std::vector<std::string> expected = {"start1", "start2", "start3", "start4", "start5",
                                             "stop4",  "stop3",  "stop2",  "stop1"};
  EXPECT_EQ(g_calls, expected);
  ASSERT_EQ(Messages().size(), 1u);
  EXPECT_EQ(Messages()[0], "OrnShare_Startup: Failed with module ORNMODULE=m5.");
  EXPECT_EQ(OrnShare_Shutdown(), 1);  // nothing is started any more

  g_calls.clear();
  EXPECT_EQ(OrnShare_Startup(), 0);
  EXPECT_EQ(OrnShare_Shutdown(), 0);
  EXPECT_EQ(OrnShare_Shutdown(), 1);
  EXPECT_EQ(g_calls.back(), "stop1");
  g_calls.clear();
  OrnShare_UnregisterAll();
  const std::vector<std::string> unreg = {"unregister5", "unregister4", "unregister3",
                                          "unregister2", "unregister1"};
  EXPECT_EQ(g_calls, unreg);
  EXPECT_EQ(OrnShare_Count(nullptr), 0);
}

TEST(OrnShare, FullRegisterRefusesAndReusesFreedSlots) {
  Fresh();
  static std::vector<std::string> keys;
  keys.clear();
  keys.reserve(kOrnShareSlots);
  for (int i = 0; i < kOrnShareSlots; ++i) {
    keys.push_back("K" + std::to_string(i) + "=x");
    ASSERT_EQ(OrnShare_Publish(keys.back().c_str(), &tableA), 0);
  }
  EXPECT_EQ(OrnShare_Publish("EXTRA=x", &tableB), 1);
  EXPECT_EQ(OrnShare_Unpublish("K7=x"), 0);
  EXPECT_EQ(OrnShare_Publish("EXTRA=x", &tableB), 0);
  EXPECT_EQ(OrnShare_Enumerate(nullptr, 7), std::string("EXTRA=x"));
}

TEST(OrnShare, BatchSubscribeAndUnsubscribe) {
  Fresh();
  OrnShare_Publish("MEMORY=vembra", &tableA);
  OrnShare_Publish("FILIO=plain", &tableB);
  OrnShare_Publish("FILIO=gz", &tableC);
  void* memory = nullptr;
  void* filio = nullptr;
  void* video = &tableA;
  OrnBatchItem items[] = {{&memory, "MEMORY.workspace", nullptr},
                          {&filio, "FILIO.chainto", "FILIO=plain"},
                          {&video, "VIDEO.display", nullptr},
                          {nullptr, nullptr, nullptr}};
  EXPECT_EQ(OrnShare_BatchSubscribe(items, nullptr), 1);
  EXPECT_EQ(memory, &tableA);
  EXPECT_EQ(filio, &tableB);
  EXPECT_EQ(video, nullptr);
  ASSERT_EQ(Messages().size(), 1u);
  EXPECT_EQ(Messages()[0],
            "OrnShare:BatchSubscribe Couldn't subscribe to VIDEO.display interface.");
  items[2].table = nullptr;  // release only the two that resolved
  EXPECT_EQ(OrnShare_BatchUnsubscribe(items), 0);
  EXPECT_EQ(memory, nullptr);
  EXPECT_EQ(OrnShare_Unpublish("FILIO=plain"), 0);
  EXPECT_EQ(OrnShare_BatchUnsubscribe(items), 1);
}

TEST(OrnShare, EnumerationCursorEqualsFreshScan) {
  Fresh();
  const char* keys[] = {"FLOBDEC=a", "X=1", "FLOBDEC=b", "Y=2", "flobdec=c", "Z=3"};
  for (const char* k : keys) OrnShare_Publish(k, &tableA);
  // A fresh scan: publishing and unpublishing forgets the cursor.
  auto scan = [](const char* name, int n) -> const char* {
    OrnShare_Publish("TMP=t", &tableA);
    OrnShare_Unpublish("TMP=t");
    return OrnShare_Enumerate(name, n);
  };
  const int order[] = {0, 1, 2, 3, 2, 0, 1, 5, -1, 4, 1};
  for (const char* name :
       {static_cast<const char*>("FLOBDEC"), static_cast<const char*>(nullptr)}) {
    std::vector<const char*> expected, got;
    for (int n : order) expected.push_back(n < 0 ? nullptr : scan(name, n));
    for (int n : order) got.push_back(OrnShare_Enumerate(name, n));
    EXPECT_EQ(got, expected);
  }
  EXPECT_STREQ(OrnShare_Enumerate("FLOBDEC", 2), "flobdec=c");
  EXPECT_EQ(OrnShare_Enumerate("FLOBDEC", 3), nullptr);
}

}  // namespace
