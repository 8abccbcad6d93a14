#include "tools/common/program_version.h"

#include "updater_version.h"

const char* ProgramVersion() {
  return UPD_VERSION;
}
