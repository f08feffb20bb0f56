#pragma once
// Posting plain work to the main thread (the daemon client's receive thread hands notifications over
// this way). Apart from MainThreadWork.h so that only posters include Boost.
#include <boost/function.hpp>

#include <cstdint>

// Queues `job` for the next MainThreadUpdate and sets the 'main-thread work posted' event. `id` lets
// VelmarWorker::CancelTasks drop it while it is still queued.
void PostMainThreadWork(const boost::function<void()>& job, uintptr_t id = 0);
