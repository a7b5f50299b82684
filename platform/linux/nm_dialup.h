// NetworkManager's dial-up connections, over its D-Bus API.
#pragma once

#include <QDBusConnection>
#include <QDBusMessage>
#include <QString>
#include <QVariantList>
#include <functional>
#include <string>
#include <vector>

#include "platform/linux/nm_objects.h"

namespace platform::linux_ras {

// The longest that any one call to NetworkManager may take, in milliseconds,
// so that a stalled NetworkManager cannot freeze the window.
inline constexpr int kNmCallTimeoutMs = 250;

enum class NmResult {
  kOk,
  kAbsent,    // no NetworkManager on the bus, or no bus at all
  kFailed,    // NetworkManager refused or the reply made no sense
  kTimedOut,  // NetworkManager did not answer in time
  kGone,      // the connection to hang up is no longer active
};

class NmDialup {
 public:
  // How the bus is reached: again whenever the last connection has been lost.
  using Connector = std::function<QDBusConnection()>;

  explicit NmDialup(Connector connect, int timeoutMs = kNmCallTimeoutMs);

  // Fills `links` with the active dial-up connections in NetworkManager's
  // order. One round trip for the list (the manager's ActiveConnections);
  // a connection that is new to the list costs one more (its properties),
  // and a Bluetooth one another (its settings). `reason` receives
  // NetworkManager's error, if any.
  NmResult List(std::vector<NmLink>& links, std::string* reason = nullptr);

  // Asks NetworkManager to take the connection down; does not wait for that.
  NmResult Deactivate(const std::string& activePath, std::string* reason = nullptr);

  // D-Bus calls made so far (for the benchmark).
  long calls() const { return calls_; }

 private:
  // Reads for the view what it does not know yet, a round trip each.
  class Replies : public NmReplies {
   public:
    Replies(NmDialup& dialup, std::string* reason) : dialup_(dialup), reason_(reason) {}
    Read Properties(const std::string& activePath, NmProperties& properties) override;
    Read Settings(const std::string& connectionPath, NmSettings& settings) override;

   private:
    Read Unanswered(const QDBusMessage& reply);
    NmDialup& dialup_;
    std::string* reason_;
  };

  QDBusMessage Call(const QString& path, const QString& interface, const QString& method,
                    const QVariantList& args);
  bool Connected();

  Connector connect_;
  QDBusConnection bus_;
  int timeoutMs_;
  long calls_ = 0;
  NmActiveView view_;
};

// Connects to the system bus afresh, under a name of its own each time.
QDBusConnection ConnectToSystemBus();

}  // namespace platform::linux_ras
