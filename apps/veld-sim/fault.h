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
