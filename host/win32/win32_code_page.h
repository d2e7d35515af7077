// The device's ANSI code page through MultiByteToWideChar and
// WideCharToMultiByte.
#pragma once

#include <memory>
#include <string>

#include "platform/code_page.h"

namespace host {

// Null when Windows does not know the code page: `name` is "CP1252",
// "CP949", a bare number ("1252"), or "UTF-8".
std::unique_ptr<platform::CodePage> CreateWin32CodePage(const std::string& name);

}  // namespace host
