#include "net/backup_domains.h"

// Only a Windows executable carries a version resource.
std::string ClientBuildVersion() { return ""; }
