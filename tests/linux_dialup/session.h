// What every dial-up test shares within one run of the test program: its folder, its private
// system bus and the stand-in programs it links there.
#pragma once

#include <filesystem>
#include <string>

namespace dialup_test {

// This run's folder, only root's: the bus's socket, the links to the stand-ins.
const std::filesystem::path& RunDir();
// A stand-in program by the name it runs as: "pppd" or "NetworkManager".
std::string Standin(const char* name);
// The private bus that stands in for the system bus: its address.
std::string BusAddress();
// Starts it at that address (anew after StopBus); false when it did not start.
bool StartBus();
void StopBus();
// Whether this machine runs a pppd of its own, which the tests would end: asked before a test
// starts a stand-in.
bool ForeignPppd();
void WriteFile(const std::filesystem::path& path, const std::string& text);

}  // namespace dialup_test
