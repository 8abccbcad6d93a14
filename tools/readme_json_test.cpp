// The README's table of update-cli's JSON fields against what update-cli writes:
// every object of every kind is made here, as the commands and views make it,
// and each kind's fields must be those its row lists, in that order.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "xsvf/file_bytes.h"
#include "engine/update_file.h"
#include "testsupport/captured_text.h"
#include "testsupport/json_lines.h"
#include "testsupport/test_keys.h"
#include "testsupport/update_cases.h"
#include "tools/cli/device_log.h"
#include "tools/cli/file_check.h"
#include "tools/cli/progress_view.h"
#include "tools/cli/serial_ports.h"

namespace {

namespace fs = std::filesystem;

using FieldLists = std::map<std::string, std::vector<std::string>>;

// The README's rows "| `--json` result | `event` ("result"), `port`, ... |" of
// the section on update-cli's JSON: the kind of object (its first cell without
// the backticks) and the names in backticks in its second cell.
FieldLists ReadmeFieldLists() {
  std::ifstream in(std::string(UPD_SOURCE_DIR) + "/README.md");
  FieldLists lists;
  bool inSection = false;
  const std::regex row(R"(^\| ([^|]+) \| ([^|]+) \|$)");
  const std::regex name("`([A-Za-z0-9]+)`");
  for (std::string line; std::getline(in, line);) {
    if (line.rfind("#", 0) == 0) inSection = line == "### update-cli: its JSON";
    std::smatch cells;
    if (!inSection || !std::regex_match(line, cells, row) || cells[1] == "JSON object") continue;
    const std::string kind = std::regex_replace(cells[1].str(), std::regex("`"), "");
    const std::string fields = cells[2];
    for (auto it = std::sregex_iterator(fields.begin(), fields.end(), name);
         it != std::sregex_iterator(); ++it) {
      lists[kind].push_back((*it)[1]);
    }
  }
  return lists;
}

// What update-cli wrote, by the kind of object as the README names it.
class WrittenJson {
 public:
  void Add(const std::string& kind, const JsonDocument& object) {
    ASSERT_TRUE(object.is_object()) << kind << ": " << object;
    objects[kind].push_back(object);
  }

  void AddEach(const std::string& kind, const JsonDocument& array) {
    ASSERT_TRUE(array.is_array()) << kind << ": " << array;
    for (const JsonDocument& object : array) Add(kind, object);
  }

  // The view's lines, with each progress object's rows.
  void AddViewLines(const std::string& text) {
    for (const JsonDocument& object : JsonLines(text)) {
      const std::string kind = "--json " + object.at("event").get<std::string>();
      Add(kind, object);
      if (kind == "--json progress") AddEach("--json progress row", object.at("rows"));
    }
  }

  // A document of --list, --check or --ports, with each of its targets or ports.
  void AddDocument(const std::string& kind, const std::string& part, const std::string& text) {
    const JsonDocument document = ParsedJson(text);
    Add(kind, document);
    const char* array = part == "port" ? "ports" : "targets";
    if (document.contains(array)) AddEach(kind + " " + part, document.at(array));
  }

  std::map<std::string, std::vector<JsonDocument>> objects;
};

std::string Written(const std::function<void(std::FILE*)>& write) {
  std::FILE* out = std::tmpfile();
  write(out);
  return ContentsAndClose(out);
}

void AddViewObjects(WrittenJson* written) {
  written->AddViewLines(Written([](std::FILE* out) {
    std::unique_ptr<ProgressView> view = MakeJsonView(out, "COM3");
    PortDisplay display;
    display.state.statusLine = "running update";
    display.state.rows = {{"", " Main", 35, "", 20}, {"2 *  ", " Logic", 0, "", 0}};
    view->Show({display});
    view->Comment("", "erasing");
    DeviceResult failed;
    failed.hasResult = true;
    failed.total = 2;
    failed.statusLine = "TDO mismatch";
    failed.exitStatus = 2;
    failed.debugLogPath = "xsvf_debug.txt";
    view->DeviceEnded(display, failed);
    PrintJsonResult(out, DeviceResult{});
    view->Finish({{failed}, "0 of 1 devices updated successfully.", 2});
  }));
}

void AddLogEntries(WrittenJson* written) {
  written->Add("--log start", ParsedJson(DeviceLogStartLine({{}, "COM3", "a.upd", "ab12", {}})));
  const SignatureCheck signedBy{SignatureState::UntrustedKey, "0011223344556677", ""};
  written->Add("--log start",
               ParsedJson(DeviceLogStartLine({{}, "COM3", "a.upd", "ab12", signedBy})));
  DeviceLogEntry entry;
  entry.ids = {1};
  entry.last.rows = {{"", " Main", 100, "ok", 84}};
  for (const std::vector<std::string>& warnings :
       {std::vector<std::string>{}, std::vector<std::string>{"a warning"}}) {
    entry.warnings = warnings;
    entry.signature = warnings.empty() ? SignatureCheck{} : signedBy;
    const JsonDocument end = ParsedJson(DeviceLogLine(entry));
    written->Add("--log end", end);
    written->AddEach("--log end target", end.at("targets"));
  }
}

void AddFileDocuments(WrittenJson* written, const std::string& folder) {
  const std::string good = folder + "/good.upd";
  ASSERT_TRUE(WriteFileBytes(good, BuildFile("V1.01",
                                             {FirmwareTarget(1, " Main", 2),
                                              XsvfTarget(3, " Logic", DemoChipProgram()),
                                              OtherKindTarget(4, " Other", 0x1234)},
                                             Trailer::Checksum)));
  // A trailer of a format this version cannot check.
  Bytes later = BuildFile("V1.01", {FirmwareTarget(1, " Main", 2)}, Trailer::Checksum);
  later[later.size() - kTrailerSize + sizeof kTrailerMarker] = '2';
  const std::string unchecked = folder + "/later.upd";
  ASSERT_TRUE(WriteFileBytes(unchecked, later));
  Bytes cut = BuildFile("V1.01", {FirmwareTarget(1, " Main", 2)});
  cut.resize(cut.size() - 4);
  const std::string bad = folder + "/cut.upd";
  ASSERT_TRUE(WriteFileBytes(bad, cut));
  const std::string missing = folder + "/missing.upd";
  // Signed by a key that is not trusted here: checked, with its key id.
  const std::string signedFile = folder + "/signed.upd";
  ASSERT_TRUE(WriteFileBytes(
      signedFile,
      SignedWith(BuildFile("V1.01", {FirmwareTarget(1, " Main", 2)}, Trailer::Checksum),
                 kSignerAPrivate)));
  for (const std::string& file : {good, unchecked, bad, missing, signedFile}) {
    CliOptions options;
    options.file = file;
    options.json = true;
    std::FILE* err = std::tmpfile();
    written->AddDocument("--list --json", "target",
                         Written([&](std::FILE* out) { RunListCommand(options, out, err); }));
    written->AddDocument("--check --json", "target",
                         Written([&](std::FILE* out) { RunCheckCommand(options, out, err); }));
    std::fclose(err);
  }
}

// A sysfs tree with one UART, the port that --ports finds there.
void AddPortsDocument(WrittenJson* written, const std::string& folder) {
  const std::string root = fs::absolute(folder + "/sysfs").string();
  const std::string device = root + "/devices/pnp0/00:04";
  fs::create_directories(device);
  fs::create_directories(root + "/bus/drivers/serial");
  fs::create_directory_symlink(root + "/bus/drivers/serial", device + "/driver");
  fs::create_directories(root + "/class/tty/ttyS0");
  fs::create_directory_symlink(device, root + "/class/tty/ttyS0/device");
  std::ofstream(root + "/class/tty/ttyS0/type") << "4\n";
  written->AddDocument("--ports --json", "port",
                       Written([&](std::FILE* out) { RunPortsCommand(out, true, root); }));
}

// Whether `fields` are some of `listed`, in the same order.
bool InListedOrder(const std::vector<std::string>& fields, const std::vector<std::string>& listed) {
  auto next = listed.begin();
  for (const std::string& field : fields) {
    next = std::find(next, listed.end(), field);
    if (next == listed.end()) return false;
    ++next;
  }
  return true;
}

std::string Joined(const std::vector<std::string>& names) {
  std::string text;
  for (const std::string& name : names) text += (text.empty() ? "" : ", ") + name;
  return text;
}

TEST(ReadmeJson, ListsTheFieldsEveryObjectHasInTheirOrder) {
  const std::string folder = "readme_json";
  fs::remove_all(folder);
  fs::create_directories(folder);
  WrittenJson written;
  AddViewObjects(&written);
  AddLogEntries(&written);
  AddFileDocuments(&written, folder);
  AddPortsDocument(&written, folder);

  const FieldLists listed = ReadmeFieldLists();
  for (const auto& [kind, fields] : listed) {
    EXPECT_EQ(written.objects.count(kind), 1u)
        << "the README lists " << kind << ", which nothing here writes";
  }
  for (const auto& [kind, objects] : written.objects) {
    const auto row = listed.find(kind);
    if (row == listed.end()) {
      ADD_FAILURE() << "the README lists no fields of " << kind;
      continue;
    }
    std::set<std::string> seen;
    for (const JsonDocument& object : objects) {
      std::vector<std::string> fields;
      for (const auto& field : object.items()) fields.push_back(field.key());
      seen.insert(fields.begin(), fields.end());
      EXPECT_TRUE(InListedOrder(fields, row->second))
          << kind << " writes " << Joined(fields) << "; the README lists " << Joined(row->second);
    }
    for (const std::string& field : row->second) {
      EXPECT_EQ(seen.count(field), 1u) << kind << ": the README lists " << field
                                       << ", which no object here has";
    }
  }
}

}  // namespace
