#pragma once
// The process's list of auto-released resources: the display helpers keep the textures they make in it, so
// that one sweep can release whatever has not been used for a while. Start-up builds the one list and
// publishes it here; at exit it is withdrawn, every resource still in it is taken out, and it goes. Null
// before start-up and after exit.
class AutoReleaseList;

AutoReleaseList* GetAutoReleaseList();
void SetAutoReleaseList(AutoReleaseList* list);
