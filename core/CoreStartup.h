#pragma once
// Start-up of the core services.
#include "engine/String.h"

#include <cstdint>

// Once-only start-up of the core: seeds the random generators, starts the clock and records the calling
// thread as the main thread. Later calls do nothing.
void InitialiseCoreServices();

// InitialiseCoreServices, then keeps `name` as the application name and records the calling thread as
// the main thread.
void InitialiseApplication(const Orvo::String& name);

// The name given to InitialiseApplication (empty before).
Orvo::String GetApplicationName();

// Milliseconds since InitialiseCoreServices (0 before).
uint64_t GetCoreUptimeMs();
