#pragma once
// A test-only way to make the renderer fail to start, so that the tool's retry with the null renderer
// can be exercised without a broken machine. The environment variable VELMAR_TEST_RENDER_FAIL holds
// comma-separated words:
//   "os"            OS::Init fails unless the options hold "-NullRender"
//   "kernel"        RenderKernel::Init fails unless the OS options hold "-NullRender"
//   "both"          both of the above
//   "os-always", "kernel-always"   fail even with "-NullRender" (the retry fails too)
// Unset or empty: nothing is forced.
#include <string_view>

namespace Orvo {

class Options;

enum class RenderStartPoint
{
    OS,
    Kernel
};

// True when a start failure is forced for `point` under these options.
bool RenderStartFailureForced(RenderStartPoint point, const Options& options);
// The same, with the words given directly (the environment is not read).
bool RenderStartFailureForced(RenderStartPoint point, const Options& options, std::string_view words);

}  // namespace Orvo
