// libgcrypt's one-time set-up, shared by every part of the library that
// calls it.
#pragma once

namespace signature {

void InitialiseGcrypt();

}  // namespace signature
