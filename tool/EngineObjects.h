#pragma once
// The tool's start-up record of engine objects (defined with the engine so validation can take it too).
#include "engine/EngineObjects.h"
