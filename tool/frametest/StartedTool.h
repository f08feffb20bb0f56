#pragma once
// Start-up as the tool runs it, without a daemon, in this program's folder (which it enters).
#include "tool/Tool.h"

#include <gtest/gtest.h>

#include <iterator>
#include <memory>

// The started tool; null when start-up failed. What start-up says without a daemon ("- Failed to open asset
// database") is kept off the test's output.
inline std::unique_ptr<Tool> StartTool()
{
    static const char* argv[] = {"VelmarUtil", "version", "-nostartvaddaemon", "closevaddaemon", nullptr};
    auto tool = std::make_unique<Tool>();
    ::testing::internal::CaptureStderr();
    const uint8_t started = tool->Initialise(int(std::size(argv)) - 1, const_cast<char**>(argv));
    ::testing::internal::GetCapturedStderr();
    return started == 0 ? std::move(tool) : nullptr;
}
