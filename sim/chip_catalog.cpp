#include "sim/chip_catalog.h"

#include <memory>
#include <vector>

#include "engine/file_bytes.h"
#include "sim/demo_chip.h"
#include "sim/scripted_chip.h"

namespace {

constexpr const char kScriptPrefix[] = "script:";

// The program is parsed once; every chip made from it replays the same scans.
ChipFactory ScriptedChipFactory(const std::string& path, std::string* error) {
  std::vector<uint8_t> program;
  if (!ReadFileBytes(path, &program)) {
    *error = "cannot read " + path;
    return nullptr;
  }
  std::shared_ptr<ScriptedChip> model = MakeScriptedChip(program, error);
  if (!model) {
    *error = path + ": " + *error;
    return nullptr;
  }
  return [model]() -> std::unique_ptr<JtagChip> {
    return std::make_unique<ScriptedChip>(model->Scans());
  };
}

}  // namespace

ChipFactory ChipFactoryFor(const std::string& name, std::string* error) {
  if (name == "demo") {
    return []() -> std::unique_ptr<JtagChip> { return std::make_unique<DemoChip>(); };
  }
  if (name.rfind(kScriptPrefix, 0) == 0) {
    return ScriptedChipFactory(name.substr(sizeof kScriptPrefix - 1), error);
  }
  *error = "unknown chip (demo or script:FILE.xsvf): " + name;
  return nullptr;
}
