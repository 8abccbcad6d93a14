#pragma once
// The command line of update-station: the production line of update-cli --repeat
// with a page in the browser.

#include <cstdint>
#include <string>
#include <vector>

#include "tools/cli/cli_options.h"

// Where the station listens: an IPv4 address or a name, and a TCP port.
struct ListenAddress {
  std::string host = "127.0.0.1";
  uint16_t port = 8080;
  // The host is this machine's loopback address (or "localhost"): only programs
  // on this machine reach the page.
  bool Loopback() const;
  // "127.0.0.1:8080".
  std::string Text() const;
};

// A socket on the bench: the port's path and the name it goes by on the page.
struct StationPort {
  std::string label;  // LABEL of LABEL=PATH, or the last part of the path
  std::string path;
};

struct StationOptions {
  bool help = false;
  bool version = false;
  std::string file;                 // --file
  std::vector<StationPort> ports;   // --port, in order
  ListenAddress listen;             // --listen
  bool allowControl = false;        // --allow-control: control from another address too
  std::string logPath;              // --log
  std::string debugLogPath;         // --debug-log
  bool oneStepFrames = false;       // --one-step-frames
  LineOpener openLine;              // not an option: ports reached otherwise (tests)
};

// Parses the arguments after the program name. False with *error for a command
// line that makes no sense (a usage error).
bool ParseStationOptions(const std::vector<std::string>& arguments, StationOptions* options,
                         std::string* error);

// "ADDR:PORT" (":PORT" alone keeps the address). False for anything else.
bool ParseListenAddress(const std::string& text, ListenAddress* address);

// "LABEL=PATH" or "PATH". A label is what comes before the first '=' when it
// holds no path separator.
StationPort ParseStationPort(const std::string& text);

// The options of the line that update-cli's run takes.
CliOptions LineOptions(const StationOptions& options);

const char* StationUsage();
