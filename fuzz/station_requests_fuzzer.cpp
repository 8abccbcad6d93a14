// Who update-station lets in, on any request headers: the Host, Origin and token
// (the input's three NUL-separated parts), for a page and for a control, with
// the station listening on 127.0.0.1:8080 and on a name of its own.
//
// Besides crashes it reports a request let in whose Host is not the station's,
// and a control let in from another origin or without the page's token.

#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/fuzz_support.h"
#include "tools/station/station_access.h"

namespace {

struct Headers {
  std::string host;
  std::string origin;
  std::string token;
};

Headers HeadersOf(const uint8_t* data, size_t size) {
  Headers headers;
  std::string* part[] = {&headers.host, &headers.origin, &headers.token};
  size_t at = 0;
  for (size_t i = 0; i < size; ++i) {
    if (data[i] == 0 && at < 2) {
      ++at;
    } else {
      *part[at] += static_cast<char>(data[i]);
    }
  }
  return headers;
}

// The station's own names for itself, as a browser that reached it sends them:
// written apart from the code under test.
bool NamesTheStation(const std::string& host, const ListenAddress& listen) {
  const std::string port = ":" + std::to_string(listen.port);
  if (host.size() <= port.size() || host.compare(host.size() - port.size(), port.size(), port) != 0) {
    return false;
  }
  const std::string name = host.substr(0, host.size() - port.size());
  int dots = 0;
  bool digits = true;
  for (char c : name) {
    dots += c == '.' ? 1 : 0;
    digits = digits && (c == '.' || (c >= '0' && c <= '9'));
  }
  std::string lower;
  for (char c : name) lower += (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
  return (digits && dots == 3) || lower == "localhost" || lower == listen.host;
}

void CheckRequest(const Headers& headers, const StationAccess& access, bool control) {
  StationRequest request;
  request.control = control;
  request.host = headers.host;
  request.origin = headers.origin;
  request.token = headers.token;
  const std::string refusal = RefusalOf(request, access);
  if (!refusal.empty()) return;
  FuzzCheck(NamesTheStation(headers.host, access.listen), "only the station's own host is served");
  if (control) {
    FuzzCheck(access.control && !access.token.empty() && headers.token == access.token,
              "a control carries the page's token");
    FuzzCheck(headers.origin == "http://" + headers.host, "a control comes from the station's page");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const Headers headers = HeadersOf(data, size);
  StationAccess access;
  access.listen.host = "127.0.0.1";
  access.listen.port = 8080;
  access.control = true;
  access.token = "0123456789abcdef0123456789abcdef";
  for (bool control : {false, true}) {
    CheckRequest(headers, access, control);
    access.listen.host = "station-7";
    CheckRequest(headers, access, control);
    access.control = false;
    CheckRequest(headers, access, control);
    access.listen.host = "127.0.0.1";
    access.control = true;
  }
  return 0;
}
