#pragma once

// The sample maps for the window tests, in a header free of the platform layer's picture types
// (which carry the Win32 names and cannot meet windows.h in one file).

#include <string>

#include "app/core/map_catalogue.h"

namespace win32test {

void WriteSample(const std::string& Folder, Facet F, MapScale S);
void WriteAllSamples(const std::string& Folder);

}  // namespace win32test
