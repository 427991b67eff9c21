// The waits and time-outs of the download engine in one place. The product
// always runs with the defaults below; tests shorten them through
// SetEngineTimingsForTests so that a stalled peer or a retry pause costs
// milliseconds instead of seconds.
#pragma once

#include <windows.h>

namespace ns_JEB {

struct EngineTimings {
  DWORD jobStopGraceMs = 5000;      // StopDownload waits this long before terminating the job thread
  DWORD workerStopGraceMs = 1000;   // StopWorker waits this long before terminating a worker thread
  DWORD retryPauseMs = 1000;        // between two tries of a job
  DWORD workerRetryPauseMs = 100;   // between two attempts of a worker
  DWORD workerStartDelayMs = 200;   // before a worker's first request
  DWORD bandwidthWindowMs = 16000;  // window of the slow-connection guard
  DWORD operatorIdleMs = 300;       // command thread, queue empty
  DWORD operatorPauseMs = 100;      // command thread, after a command
  DWORD recordSaveMs = 2000;        // how often running jobs save their resume records
};

// The timings in force; written only before any download starts.
const EngineTimings& Timings();

// Test seam only: nothing in the product calls it.
void SetEngineTimingsForTests(const EngineTimings& timings);

}  // namespace ns_JEB
