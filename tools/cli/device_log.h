#pragma once
// update-cli --log: JSON lines appended to a file, for a production line's
// records. Two entries per device update:
//
//   {"entry":"start","start":"2026-12-07T16:56:30Z","port":"/dev/ttyUSB0",
//    "file":"release.upd","sha256":"<the update file's SHA-256>",
//    "signature":"trusted","keyId":"<the signing key's id>"}
//
// written before anything goes to the device, and when the update has ended
//
//   {"entry":"end","start":"2026-12-07T16:56:30Z","port":"/dev/ttyUSB0",
//    "file":"release.upd","sha256":"...","verified":true,
//    "signature":"trusted","keyId":"...",
//    "targets":[{"id":"01","name":"Main board",
//    "outcome":"updated","multiplicity":1},...],"seconds":12.412,
//    "status":"2 of 2 targets updated successfully.","exit":0}
//
// (each on one line). A start without its end (same port and start) is an update
// that was cut off: the program was killed or the machine went down. A target's
// outcome is "updated", "failed", "missing target", "not handled" (a kind the
// updater does not handle), "cancelled", "partly sent" (the update ended while its
// data went out) or "not reached". "verified" says whether the file's checksum
// trailer matched (false for a file without one). "signature" is the file's
// signature state: "none" (unsigned), "trusted", or "untrusted" (signed by a key
// that is not trusted, updated because no key is); "keyId" names the signing key
// of a signed file. "warnings", present only when
// the update gave any, lists them (a device that did not confirm the end of a
// JTAG program, after a pass). Each line is written whole and
// flushed to the disk at once, so that a crash or Ctrl-C loses none.

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "engine/update_signature.h"
#include "tools/cli/progress_view.h"

// What both entries of a device update carry.
struct DeviceLogStart {
  std::chrono::system_clock::time_point start;
  std::string port;
  std::string file;
  std::string fileSha256;
  SignatureCheck signature;
};

struct DeviceLogEntry {
  std::chrono::system_clock::time_point start;
  std::string port;
  std::string file;
  std::string fileSha256;
  bool fileVerified = false;  // its checksum trailer matched ("verified" in the line)
  SignatureCheck signature;   // "signature" and "keyId"
  std::vector<uint32_t> ids;  // of the file's targets, in order
  StateSnapshot last;         // the record as the update left it
  double seconds = 0;
  std::string statusLine;     // the final status line
  int exitStatus = 0;
  std::vector<std::string> warnings;  // the update's warnings ("warnings", when any)
};

// The entries as their JSON lines, without the line end.
std::string DeviceLogStartLine(const DeviceLogStart& start);
std::string DeviceLogLine(const DeviceLogEntry& entry);

// A moment as the log writes it: "2026-12-07T16:56:30Z". On the front end's
// thread only (it uses the shared calendar).
std::string UtcTime(std::chrono::system_clock::time_point when);

// A target's outcome as the log names it.
const char* OutcomeName(TargetOutcome outcome);

// "2026-03-02T14:05:09Z", as the log and the trace give times. Uses the shared
// calendar of std::gmtime: the front end's thread only.
std::string UtcTime(std::chrono::system_clock::time_point when);

class DeviceLog {
 public:
  DeviceLog() = default;
  ~DeviceLog();
  DeviceLog(const DeviceLog&) = delete;
  DeviceLog& operator=(const DeviceLog&) = delete;

  // Opens the log for appending (creating it). False with the reason when it
  // cannot be written.
  bool Open(const std::string& path, std::string* error);
  // Append the entry's line and flush it to the disk. False if it could not be
  // written whole.
  bool AppendStart(const DeviceLogStart& start);
  bool Append(const DeviceLogEntry& entry);

 private:
  bool AppendLine(const std::string& line);

  std::FILE* file = nullptr;
};

// Hands what the stream holds to the disk (fsync, or its Windows counterpart).
bool SyncToDisk(std::FILE* file);
