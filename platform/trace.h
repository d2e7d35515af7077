// FITKIT_TRACE=1: every platform call and its result on stderr.
#pragma once

namespace platform {

bool TraceEnabled();
void SetTraceEnabled(bool enabled);
// printf-style; writes one line "fitkit: ..." to stderr when tracing is on.
void Trace(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace platform
