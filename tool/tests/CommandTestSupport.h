#pragma once
// Runs one command through the dispatcher the way main does, catching what it prints.
#include "assetdb/ResultsLog.h"
#include "tool/Dispatcher.h"
#include "tool/ToolContext.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

struct CommandRun
{
    int exit = 0;
    std::string out;
    std::vector<ResultsLog::Result> results;

    // The texts of the results, in order.
    std::vector<std::string> Texts() const
    {
        std::vector<std::string> t;
        for (const auto& r : results) t.push_back(r.text.str());
        return t;
    }
};

// With `link`, the command's requests go through that connection; without one every request fails at once,
// as without a daemon. Relative paths are taken from `startDirectory`.
inline CommandRun RunWords(std::vector<std::string> words, VADConnection* link = nullptr,
                           std::string startDirectory = {})
{
    words.insert(words.begin(), "VelmarUtil");
    std::vector<char*> argv;
    for (auto& w : words) argv.push_back(w.data());
    argv.push_back(nullptr);
    ResultsLog log;
    EngineObjects engine{};
    ToolContext tool(link, engine);
    tool.SetStartDirectory(std::move(startDirectory));
    CommandRun run;
    std::fflush(stdout);
    testing::internal::CaptureStdout();
    run.exit = DispatchCommand(tool, log, static_cast<int>(words.size()), argv.data());
    std::fflush(stdout);
    run.out = testing::internal::GetCapturedStdout();
    run.results = log.GetResults();
    return run;
}

// A fresh folder below the system's temporary folder, removed with the object.
class TempFolder
{
public:
    TempFolder();
    ~TempFolder();
    const std::string& Path() const { return path_; }
    std::string Sub(const std::string& name) const { return path_ + "/" + name; }
    void Write(const std::string& name, const std::string& text) const;

private:
    std::string path_;
};
