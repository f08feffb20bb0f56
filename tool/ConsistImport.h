#pragma once
// "importconsists": reads an old-style consist list (a config file of the route editor) and creates one
// consist asset for every consist whose name no local consist asset has yet.
//
// The list: "train-0", "train-1", ... (read while the numbers are dense), each with a "name" and a
// "list" of "car-<j>" KUIDs with their "num-<j>" numbers and "dir-<j>" directions. A new asset's config
// gets "kind" "consist", "username", "velmar-build" 3.1, "consist-list" { "car-<j>" { car-kuid,
// car-num, car-dir } } and "kuid-table" { "<n>" KUID } of the distinct cars in ascending order.
#include "tool/CommandArgs.h"

int ImportConsistsCommand(ResultsLog& log, const CommandArgs& args);
