#pragma once
// The asset query commands: countbuiltins, searchbycategory, authors. Each sends one asset search and
// prints its answer on standard output.
#include "assetdb/VADFilter.h"
#include "tool/CommandArgs.h"

#include <string>

int CountBuiltinsCommand(ToolContext& tool, ResultsLog& log, const CommandArgs& args);
int SearchByCategoryCommand(ToolContext& tool, ResultsLog& log, const CommandArgs& args);
int AuthorsCommand(ToolContext& tool, ResultsLog& log, const CommandArgs& args);

// The filter searchbycategory sends: with "-a" the category alone (download-station assets match too),
// otherwise the category and "local". False (and the message posted) when "-a" has no category.
bool BuildCategoryFilter(const VADClient& client, const CommandArgs& args, VADFilterElementGroup& filter,
                         ResultsLog& log);
