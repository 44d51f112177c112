#include "base/build_version.h"

// Only a Windows executable carries a version resource.
std::string ClientBuildVersion() { return ""; }
