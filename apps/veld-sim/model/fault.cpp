#include "model/fault.h"

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
    case kDownloadFailure: return "Download failure";
    case kUnsupportedProtocol: return "Unsupported protocol for file transfer";
    case kCannotContactServer: return "Download failure: unable to contact file server";
    case kCannotAccessFile: return "Download failure: unable to access file";
    case kIncompleteDownload: return "Download failure: unable to complete download";
    case kFileCorrupted: return "Download failure: file corrupted";
    default: return "Internal error";
  }
}

std::string fault_member_text(int code) {
  return std::to_string(code) + " " + fault_message(code);
}

}  // namespace sim
