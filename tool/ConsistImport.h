#pragma once
// "importconsists": reads an old-style consist list (a config file of the route editor) and creates one
// consist asset for every consist whose name no local consist asset has yet.
//
// The list: "train-0", "train-1", ... (read while the numbers are dense), each with a "name" and a
// "list" of "car-<j>" KUIDs with their "num-<j>" numbers and "dir-<j>" directions. A new asset's config
// gets "kind" "consist", "username", "velmar-build" 3.1, "consist-list" { "car-<j>" { car-kuid,
// car-num, car-dir } } and "kuid-table" { "<n>" KUID } of the distinct cars in ascending order.
// A consist without a "list" has nothing to import: it is skipped with a warning. One without a "name", or
// with a car that is not a KUID, is an error and makes the command fail; the others are imported all the same.
#include "tool/CommandArgs.h"

int ImportConsistsCommand(ResultsLog& log, const CommandArgs& args);
