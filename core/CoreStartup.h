#pragma once
// Start-up of the core services.

// Once-only start-up of the core: seeds the random generators and records the calling thread as the main
// thread. Later calls do nothing.
void InitialiseCoreServices();

// InitialiseCoreServices, then records the calling thread as the main thread.
void InitialiseApplication();
