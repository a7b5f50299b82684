// Code shared by the main window's Disconnect button and its schedule.
#pragma once

namespace Module1 {

// Asks the Remote Access Service for the active connections and hangs up each
// one whose entry name is not empty, in the order listed. Synchronous; shows
// nothing and reports nothing.
void HangUpConnections();

}  // namespace Module1
