#pragma once
// The container rule "soundisvalid": the sound description of an asset (an entry of its sound script)
// must say how far it is heard unless it is ambient, and every file its "sound" lists name must exist and
// be a readable RIFF/WAVE file.
#include "core/TDBTagRef.h"

namespace TETLib {

class Container;
class ValidationPlugins;

bool CheckSounds(Container& container, const TDBTagRef* params);

// Makes CheckSounds the body of "soundisvalid" among a manager's plug-ins (ValidationHooks.h).
void RegisterSoundCheck(ValidationPlugins& plugins);

}  // namespace TETLib
