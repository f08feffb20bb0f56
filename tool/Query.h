#pragma once
// The asset query commands: countbuiltins, searchbycategory, authors. Each sends one asset search and
// prints its answer on standard output.
#include "assetdb/VADFilter.h"
#include "tool/CommandArgs.h"

#include <string>

int CountBuiltinsCommand(ResultsLog& log, const CommandArgs& args);
int SearchByCategoryCommand(ResultsLog& log, const CommandArgs& args);
int AuthorsCommand(ResultsLog& log, const CommandArgs& args);

// The filter searchbycategory sends: with "-a" the category alone (download-station assets match too),
// otherwise the category and "local". False (and the message posted) when "-a" has no category.
bool BuildCategoryFilter(const CommandArgs& args, VADFilterElementGroup& filter, ResultsLog& log);
