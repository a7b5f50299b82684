// Where the main window's "IP Adresa" button reads the computer's address.
#pragma once

#include <string>

namespace platform {

class AddressSource {
 public:
  virtual ~AddressSource() = default;
  // This computer's IPv4 address in dotted form; "127.0.0.1" when none can
  // be read.
  virtual std::string LocalIP() = 0;
};

}  // namespace platform
