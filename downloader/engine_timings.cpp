#include "downloader/engine_timings.h"

namespace ns_JEB {

namespace {
EngineTimings g_timings;
}  // namespace

const EngineTimings& Timings() { return g_timings; }

void SetEngineTimingsForTests(const EngineTimings& timings) { g_timings = timings; }

}  // namespace ns_JEB
