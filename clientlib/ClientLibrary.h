// Loading and releasing the client library, for the start and end of the
// program and for the tests, without the binding's types.
#pragma once

#include <cstdint>

enum class ClientLibraryState : std::uint8_t {
  NotLoaded,        // nothing loaded (start, and after a release)
  FileNotLoadable,  // the file could not be loaded
  EntryPointAbsent, // loaded, but at least one entry point was not found
  Complete,         // loaded and every entry point found
};

// Loads the client library from `fileName` (the program's default when
// null), releasing one loaded before; commands that need an absent entry
// point say so when they run.
ClientLibraryState LoadClientLibraryFile(const char *fileName = nullptr);
ClientLibraryState CurrentClientLibraryState();
void ReleaseClientLibrary();
