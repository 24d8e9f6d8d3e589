#include "sample_folder.h"

#include "app/core/sample_maps.h"

namespace win32test {

void WriteSample(const std::string& Folder, Facet F, MapScale S) {
  WriteSampleMap(Folder, F, S);
}

void WriteAllSamples(const std::string& Folder) {
  WriteSampleMaps(Folder);
}

}  // namespace win32test
