// Start-up and shut-down of the API layer, driven by the Init and ShutDown
// commands.
#pragma once

#include <cstdint>

namespace api {

// Starts the storage kernel with a main cache of `cacheBytes` (already sized
// by the caller); does nothing when it is already started.
void ZDK_Start(uint32_t cacheBytes);
// Closes whatever is still open and stops the layer; harmless when stopped.
void ZDK_Stop();

bool ZDK_IsStarted();
// The main cache's size; 0 while stopped.
uint32_t ZDK_CacheSize();

}  // namespace api
