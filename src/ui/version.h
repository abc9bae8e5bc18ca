// Texts built from the executable's version resource.
#pragma once

#include <string>

namespace kv {

// "Kestrova 2.0": the product name and the version.
std::string title_with_version();
// "Version 2.0".
std::string version_text();

}  // namespace kv
