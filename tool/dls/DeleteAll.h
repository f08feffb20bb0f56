#pragma once
// "dlsdeleteall": empties the local asset database of the machine that prepares download-station
// material.
class ResultsLog;
class VADClient;

// Deletes every local asset that can be deleted: assets that exist only as built-in copies are left (the
// daemon cannot delete them), a local copy over a built-in one is deleted. A deletion that fails is
// posted with the daemon's reason and the others go on. True when every listed asset was deleted.
bool DeleteAllLocalAssets(VADClient& client, ResultsLog& log);
