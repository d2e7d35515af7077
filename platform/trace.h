// FITKIT_TRACE=1: every platform call and its result on stderr.
#pragma once

namespace platform {

bool TraceEnabled();
void SetTraceEnabled(bool enabled);
// printf-style; writes one line "fitkit: ..." to stderr when tracing is on.
// Any thread may trace; each line is written whole. The setting is changed
// only while no other thread runs.
void Trace(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace platform
