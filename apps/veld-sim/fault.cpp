#include "fault.h"

namespace sim {

const char* fault_message(int code) {
  switch (code) {
    case kParseError: return "Parse error";
    case kInvalidRequest: return "Invalid Request";
    case kMethodNotFound: return "Method not found";
    case kInvalidParams: return "Invalid params";
    case kRequestDenied: return "Request denied";
    case kInvalidArguments: return "Invalid arguments";
    case kResourcesExceeded: return "Resources exceeded";
    case kInvalidName: return "Invalid parameter name";
    case kInvalidType: return "Invalid parameter type";
    case kInvalidValue: return "Invalid parameter value";
    case kNotWritable: return "Attempt to set a non-writable parameter";
    default: return "Internal error";
  }
}

std::string fault_member_text(int code) {
  return std::to_string(code) + " " + fault_message(code);
}

}  // namespace sim
