#pragma once
// The JSON that update-cli writes (--json, --list/--check/--ports --json, --log):
// nlohmann/json values whose objects keep their fields in the order they were
// set, since scripts and the README list them in that order. Each value becomes
// one line, valid UTF-8 whatever its strings hold (xsvf/shown_text.h): a byte
// that is not part of valid UTF-8 stands for its Latin-1 character, and
// controls, DEL, C1 controls and the marks that reorder text are escaped.

#include <string>

#include <nlohmann/json.hpp>

using Json = nlohmann::ordered_json;

// The value as one line of JSON, without a line end.
std::string JsonText(Json value);

// A target's name as JSON gives it: the file's name line keeps the blank between
// id and name as part of the name (the window shows it so); in JSON the name
// starts at its first character that is not white space.
std::string JsonTargetName(const std::string& name);
