#pragma once
// Who may see the station's page and who may press its controls. The page is
// served to whoever reaches the address; a control (pause, resume, stop) is a POST
// that must come from the page the station served: its Origin is the station, and
// it carries the token that only that page holds. A page elsewhere in the same
// browser can send a POST to the station but cannot read the token; nor can it
// reach the station under a name of its own (DNS rebinding), since the station
// answers only to its own host names.

#include <string>

#include "tools/station/station_options.h"

struct StationRequest {
  bool control = false;  // a POST that changes the line
  std::string host;      // the Host header
  std::string origin;    // the Origin header, empty when there is none
  std::string token;     // the X-Station-Token header
};

struct StationAccess {
  ListenAddress listen;
  bool control = false;  // the page may control the line at all
  std::string token;     // what the served page carries (empty: read-only)
};

// The control token: 128 bits from the system's random source, in hex.
std::string MakeStationToken();

// Whether `host` (a Host header) names this station: its port with either an
// address given as digits (which no other site can be made to resolve to), the
// name "localhost", or the name the station listens on.
bool HostServed(const std::string& host, const ListenAddress& listen);

// Empty when the request may go on; otherwise why it is refused (for the reply).
std::string RefusalOf(const StationRequest& request, const StationAccess& access);
