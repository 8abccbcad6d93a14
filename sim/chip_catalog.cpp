#include "sim/chip_catalog.h"

#include <fstream>
#include <iterator>
#include <memory>
#include <vector>

#include "sim/demo_chip.h"
#include "sim/scripted_chip.h"

namespace {

constexpr const char kScriptPrefix[] = "script:";

// The program is parsed once; every chip made from it replays the same scans.
ChipFactory ScriptedChipFactory(const std::string& path, std::string* error) {
  std::ifstream in(path, std::ios::binary);
  if (!in.is_open()) {
    *error = "cannot read " + path;
    return nullptr;
  }
  const std::vector<uint8_t> program{std::istreambuf_iterator<char>(in),
                                     std::istreambuf_iterator<char>()};
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
