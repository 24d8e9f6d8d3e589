#pragma once

// What a map job can tell from its base file's headers alone, before it decodes or changes
// anything.

#include <cstdint>
#include <string>

// What a job on a base file would hold in memory at once: the file's pixel bytes, their
// decoded form (run-length encoded and 16/32-bit files), the map's bands and the 24-bit
// working copy. Zero sizes when the headers are not a bitmap that the loader could take.
struct TJobFootprint {
  std::int32_t Width = 0;   // 0 when the headers were not understood
  std::int64_t Height = 0;  // rows, whatever the stored order
  std::int64_t Bytes = 0;   // all four parts together
};

// Reads the base file's headers. A file that cannot be opened raises EFOpenError (as the job's
// check would); any other trouble gives Width 0 and is left to the job's own steps.
TJobFootprint JobFootprint(const std::string& BaseName);

// Fails at once a job that could not complete: a map whose 24-bit working copy cannot exist
// raises the working copy's own error, and a job needing more memory than the machine has
// (PhysicalMemory bytes; 0 = unknown, no check) raises EMapJobError. Headers the loader would
// reject are left to it.
void PrecheckMapJob(const std::string& BaseName, std::uint64_t PhysicalMemory);
