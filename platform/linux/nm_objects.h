// What NetworkManager's replies say, as plain values: which active
// connections there are, which of them count as dial-up, and what is known of
// them from earlier listings. No D-Bus here, so that it can be tried with any
// input on its own.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace platform::linux_ras {

// A property value of NetworkManager's replies, of the kinds read here: a
// string or object path, or an array of them. Anything else is monostate.
using NmValue = std::variant<std::monostate, std::string, std::vector<std::string>>;
// An interface's properties (Properties.GetAll), or one group of settings.
using NmProperties = std::map<std::string, NmValue>;
// What Settings.Connection.GetSettings answers: setting -> key -> value.
using NmSettings = std::map<std::string, NmProperties>;

// An active connection as its object describes it.
struct NmActive {
  std::string path;        // its active-connection object, which hanging up takes
  std::string id;          // the connection's name
  std::string type;        // NetworkManager's connection type, e.g. "gsm"
  std::string connection;  // its settings object
};

// An active NetworkManager connection that counts as dial-up.
struct NmLink {
  std::string activePath;
  std::string id;
  std::string type;
  const char* deviceType;  // the Remote Access Service's word for it: "modem", "vpn", ...
};

// The manager's ActiveConnections property as a list of object paths, in its
// order, each once (one listed twice is taken where it first stands). Any
// other value lists nothing.
std::vector<std::string> ActivePaths(const NmValue& activeConnections);

// An active connection from the properties of its Connection.Active
// interface, or nullopt when they give no type: it cannot be told apart.
std::optional<NmActive> ReadActive(const std::string& path, const NmProperties& properties);

// Whether a Bluetooth connection's settings make it dial-up networking.
bool IsBluetoothDun(const NmSettings& settings);

// NetworkManager's connection type to the Remote Access device type, or
// nullptr for a type that never counts as dial-up. Bluetooth counts only for
// dial-up networking, which the connection's settings tell.
const char* DialupDeviceType(std::string_view type, bool bluetoothDun);

// How a listing reads what it does not know yet of an active connection.
class NmReplies {
 public:
  enum class Read {
    kOk,
    kSkip,  // no answer that tells: the connection is left out of this listing
    kStop,  // no answer in time: the listing ends here
  };
  virtual ~NmReplies() = default;
  // The properties of an active connection's Connection.Active interface.
  virtual Read Properties(const std::string& activePath, NmProperties& properties) = 0;
  // The settings of a connection (the settings object an active one names).
  virtual Read Settings(const std::string& connectionPath, NmSettings& settings) = 0;
};

// What the listings have learnt of the active connections of one running
// NetworkManager. NetworkManager never gives an active connection's object
// path to another activation while it runs, and an active connection keeps
// its settings object and type while it is up, so each is read once, when it
// first shows in the list; the list itself is asked for on every listing. (A
// connection renamed while it is up keeps the name it came up with here.) A
// NetworkManager of another bus name, one restarted, starts afresh.
class NmActiveView {
 public:
  // One listing: `activeConnections` is the manager's property as the
  // NetworkManager named `owner` answered it just now; what is not known yet
  // is read through `replies`. Fills `links` with the dial-up connections in
  // the list's order, or returns false, with `links` empty, when a reading
  // said to stop.
  bool List(const std::string& owner, const NmValue& activeConnections, NmReplies& replies,
            std::vector<NmLink>& links);
  // Forgets everything: the bus itself may have restarted.
  void Clear();

 private:
  std::string owner_;
  std::map<std::string, NmLink, std::less<>> known_;  // deviceType nullptr: not dial-up
};

}  // namespace platform::linux_ras
