// The build number the program reports about itself: the directory request
// and the install report both carry it.
#pragma once
#include <string>

// The fourth component of the running executable's FileVersion string, or ""
// (no version resource, or not exactly four components). "" off Windows.
// Reads the resource on every call; any thread.
std::string ClientBuildVersion();
// The fourth of exactly four "."-separated pieces of `fileVersion` (an empty
// piece between two dots counts, an empty tail after the last dot does not),
// unchanged; "" for any other number of pieces.
std::string BuildVersionFromFileVersion(const std::string& fileVersion);
