// Faults of the data-model operations: the codes of docs/protocol.md and their fixed texts.
#pragma once

#include <string>

#include "platform/json.h"

namespace sim {

// Fault codes a request can end with.
enum FaultCode : int {
  kParseError = -32700,
  kInvalidRequest = -32600,
  kMethodNotFound = -32601,
  kInvalidParams = -32602,
  kRequestDenied = 9001,
  kInternalError = 9002,
  kInvalidArguments = 9003,
  kResourcesExceeded = 9004,
  kInvalidName = 9005,
  kInvalidType = 9006,
  kInvalidValue = 9007,
  kNotWritable = 9008,
  kDownloadFailure = 9010,         // Download: the file could not be stored or applied
  kUnsupportedProtocol = 9013,     // Download: a URL scheme the device does not fetch
  kCannotContactServer = 9015,     // Download: the sender could not be reached
  kCannotAccessFile = 9016,        // Download: the file is not there or not readable
  kIncompleteDownload = 9017,      // Download: the transfer broke off, stalled or was too large
  kFileCorrupted = 9018,           // Download: MD5 mismatch, or not a file of the right kind
};

// The fixed message of a code ("Internal error" for an unknown one).
const char* fault_message(int code);

// A failed operation: code, an optional explaining text, and optional per-member data.
struct Fault {
  int code = 0;
  std::string detail;
  k::Json data;  // object: failing name -> "<code> <message>"
};

// The text a failing member gets in a fault's data: "9007 Invalid parameter value".
std::string fault_member_text(int code);

}  // namespace sim
