#include "tools/common/program_version.h"

const char* ProgramVersion() {
  return UPD_PROGRAM_VERSION;
}
