// NetworkManager's replies as the Linux layer reads them, built from any bytes: the manager's
// ActiveConnections, each active connection's properties and a Bluetooth connection's settings,
// as the values the D-Bus layer hands over, over a run of listings in which connections come up
// and go down and NetworkManager restarts. What must hold: nothing crashes or reads out of
// bounds, and each listing from what the view keeps is the listing read afresh from the replies
// (the same connections, in the list's order, each once).
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdlib>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "platform/linux/nm_objects.h"

using namespace platform::linux_ras;

namespace {

// A property that fails aborts, so that libFuzzer keeps the input.
void Check(bool condition) {
  if (!condition) std::abort();
}

// A string NetworkManager might send, more often than not one it does send.
std::string Word(FuzzedDataProvider& in) {
  static const std::vector<std::string> kWords = {
      "/a/1",  "/a/2",  "/a/3",       "/s/1",      "/s/2",
      "gsm",   "cdma",  "bluetooth",  "dun",       "panu",
      "pppoe", "adsl",  "vpn",        "wireguard", "802-11-wireless",
      "Type",  "Id",    "Connection", "bluetooth", "type",
      "",      "Mobile"};
  if (in.ConsumeBool()) return in.ConsumeRandomLengthString(300);
  return kWords[in.ConsumeIntegralInRange<std::size_t>(0, kWords.size() - 1)];
}

NmValue Value(FuzzedDataProvider& in) {
  switch (in.ConsumeIntegralInRange(0, 2)) {
    case 0:
      return std::monostate();
    case 1:
      return Word(in);
    default: {
      std::vector<std::string> items(in.ConsumeIntegralInRange(0, 8));
      for (std::string& item : items) item = Word(in);
      return items;
    }
  }
}

NmProperties Properties(FuzzedDataProvider& in) {
  NmProperties properties;
  for (int n = in.ConsumeIntegralInRange(0, 5); n > 0; --n) properties[Word(in)] = Value(in);
  return properties;
}

NmSettings Settings(FuzzedDataProvider& in) {
  NmSettings settings;
  for (int n = in.ConsumeIntegralInRange(0, 3); n > 0; --n) settings[Word(in)] = Properties(in);
  return settings;
}

// One running NetworkManager: what it answers for each object, each answer fixed while it runs
// (an active connection's path is never another's; one described once is described alike).
struct Model : NmReplies {
  std::map<std::string, NmProperties> active;  // absent: no such object
  std::map<std::string, NmSettings> settings;  // absent: no such object
  std::set<std::string> undescribed;           // objects that answer nothing that tells
  std::set<std::string> used;                  // paths this one has given out
  std::set<std::string> down;                  // connections gone down: never listed again
  bool stalls = false;                         // the next reading times out

  Read Properties(const std::string& path, NmProperties& properties) override {
    if (stalls) return Read::kStop;
    const auto it = active.find(path);
    if (it == active.end() || undescribed.contains(path)) return Read::kSkip;
    properties = it->second;
    return Read::kOk;
  }
  Read Settings(const std::string& path, NmSettings& result) override {
    if (stalls) return Read::kStop;
    const auto it = settings.find(path);
    if (it == settings.end()) return Read::kSkip;
    result = it->second;
    return Read::kOk;
  }
};

// The listing read afresh: every listed connection read now, nothing kept.
std::vector<NmLink> Afresh(Model& model, const NmValue& list) {
  std::vector<NmLink> links;
  for (const std::string& path : ActivePaths(list)) {
    NmProperties properties;
    if (model.Properties(path, properties) != NmReplies::Read::kOk) continue;
    const std::optional<NmActive> active = ReadActive(path, properties);
    if (!active) continue;
    bool dun = false;
    if (active->type == "bluetooth" && !active->connection.empty()) {
      NmSettings settings;
      if (model.Settings(active->connection, settings) != NmReplies::Read::kOk) continue;
      dun = IsBluetoothDun(settings);
    }
    if (const char* device = DialupDeviceType(active->type, dun)) {
      links.push_back({path, active->id, active->type, device});
    }
  }
  return links;
}

bool Same(const std::vector<NmLink>& a, const std::vector<NmLink>& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (a[i].activePath != b[i].activePath || a[i].id != b[i].id || a[i].type != b[i].type ||
        std::strcmp(a[i].deviceType, b[i].deviceType) != 0) {
      return false;
    }
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider in(data, size);
  NmActiveView view;
  Model model;
  int restarts = 1;
  std::string owner = ":1.1";
  for (int step = 0; step < 32 && in.remaining_bytes() > 0; ++step) {
    switch (in.ConsumeIntegralInRange(0, 4)) {
      case 0: {  // a connection comes up at a path this NetworkManager has not given out
        const std::string path = Word(in);
        if (!model.used.insert(path).second) break;
        model.active[path] = Properties(in);
        if (in.ConsumeBool()) model.undescribed.insert(path);
        break;
      }
      case 1: {  // a settings object appears
        const std::string path = Word(in);
        if (!model.settings.contains(path)) model.settings[path] = Settings(in);
        break;
      }
      case 2: {  // a connection goes down, and leaves the list with it
        const std::string path = Word(in);
        if (model.active.erase(path) > 0) model.down.insert(path);
        break;
      }
      case 3:  // NetworkManager restarts, under a bus name the bus has not given before
        model = Model();
        owner = ":1." + std::to_string(++restarts);
        break;
      default: {  // a listing; the list names what is up, and maybe more
        NmValue list = Value(in);
        if (auto* paths = std::get_if<std::vector<std::string>>(&list)) {
          if (in.ConsumeBool()) {
            for (const auto& [path, properties] : model.active) paths->push_back(path);
          }
          std::erase_if(*paths, [&](const std::string& path) { return model.down.contains(path); });
        }
        // Paths listed but never up are given out now: no later connection takes them.
        for (const std::string& path : ActivePaths(list)) model.used.insert(path);
        model.stalls = in.ConsumeIntegralInRange(0, 7) == 0;
        std::vector<NmLink> links = {{"stale", "", "", "modem"}};
        const bool listed = view.List(owner, list, model, links);
        Check(listed || model.stalls);
        model.stalls = false;
        if (listed) {
          Check(Same(links, Afresh(model, list)));
        } else {
          Check(links.empty());
        }
      }
    }
  }
  return 0;
}
