// The loaders behind the game's files open them by name, so each input is handed over as a
// file: one scratch file per fuzzing process, rewritten in place for every input.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace fuzz {

// The scratch file's path; created on first use and removed when the process exits.
const char* scratch_path();

// Replaces the scratch file's contents with exactly these bytes. Aborts if the file cannot be written:
// a harness that silently tested an old input would find nothing.
void write_scratch(const uint8_t* data, size_t size);

}  // namespace fuzz
