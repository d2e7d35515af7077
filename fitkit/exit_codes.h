// fitkit's exit codes, the same for every command (fitkit(1) lists them); they
// live beside the outcome table, which gives each outcome of a run its code.
#pragma once

#include "report/exit_codes.h"

namespace fitkit {

using report::ExitCode;
using enum report::ExitCode;

}  // namespace fitkit
