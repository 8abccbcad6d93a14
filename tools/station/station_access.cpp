#include "tools/station/station_access.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <random>

#include "engine/messages.h"

namespace {

bool IsIpv4Literal(const std::string& name) {
  int dots = 0;
  for (char c : name) {
    if (c == '.') {
      ++dots;
    } else if (!std::isdigit(static_cast<unsigned char>(c))) {
      return false;
    }
  }
  return dots == 3;
}

// Compares in a time that does not depend on where the texts first differ.
bool SameSecret(const std::string& given, const std::string& expected) {
  if (given.size() != expected.size()) return false;
  unsigned char difference = 0;
  for (size_t i = 0; i < given.size(); ++i) {
    difference |= static_cast<unsigned char>(given[i] ^ expected[i]);
  }
  return difference == 0;
}

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

}  // namespace

std::string MakeStationToken() {
  std::random_device source;
  std::string token;
  for (int i = 0; i < 4; ++i) {
    char part[9];
    std::snprintf(part, sizeof part, "%08x", static_cast<unsigned>(source()));
    token += part;
  }
  return token;
}

bool HostServed(const std::string& host, const ListenAddress& listen) {
  const size_t colon = host.rfind(':');
  if (colon == std::string::npos) return false;
  if (host.substr(colon + 1) != std::to_string(listen.port)) return false;
  const std::string name = Lower(host.substr(0, colon));
  return IsIpv4Literal(name) || name == "localhost" || name == Lower(listen.host);
}

std::string RefusalOf(const StationRequest& request, const StationAccess& access) {
  if (!HostServed(request.host, access.listen)) {
    return FormatMessageText(MsgStationForeignHost, request.host.c_str());
  }
  const bool originGiven = !request.origin.empty();
  if ((originGiven || request.control) && request.origin != "http://" + request.host) {
    const std::string origin = originGiven ? request.origin : "an unknown page";
    return FormatMessageText(MsgStationForeignOrigin, origin.c_str());
  }
  if (!request.control) return "";
  if (!access.control || access.token.empty()) return MessageText(MsgStationNoControl);
  if (!SameSecret(request.token, access.token)) return MessageText(MsgStationNoToken);
  return "";
}
