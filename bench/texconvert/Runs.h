#pragma once
// Timed runs of other programs: one program (optionally pinned to one processor), or one program per input
// with a fixed number running at once (nvcompress over a corpus).
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

struct Timing
{
    double wall = 0;  // seconds
    double cpu = 0;   // processor seconds of the program(s) and their children
    int exitCode = -1;
};

// Runs argv[0] with its arguments in workDir to its end; stdout goes to /dev/null.
Timing RunTimed(const std::vector<std::string>& argv, const std::string& workDir);

// Runs `command` once for every (input, output) pair, appending input and output to its arguments, with at
// most `processes` of them at once. exitCode is 0 when every one ended with 0.
Timing RunPool(const std::vector<std::string>& command, const std::vector<std::pair<std::string, std::string>>& files,
               unsigned processes);

// The first program of that name on PATH; empty when there is none.
std::string FindOnPath(const std::string& name);

// A temporary installation from a stage folder (hard links of the staged files where possible).
void LayOutRoot(const std::filesystem::path& stageBin, const std::filesystem::path& root);

// The load averages of the last 1, 5 and 15 minutes, as "a / b / c".
std::string LoadAverage();
