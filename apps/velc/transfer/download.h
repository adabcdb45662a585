// `download` and `upgrade`: handing a file to veld with the data-model method "Download". The
// client never copies the file itself: it gives veld a URL to fetch it from, through one of three
// channels: the user's own URL, a "file://" URL when veld runs on this machine (a UNIX socket),
// or the netcat channel of transfer/netcat.h otherwise. A firmware image then goes through the
// upgrade dialogue (transfer/firmware_dialogue.h), which ends the client once flashing starts.
#pragma once

#include <string>

#include <jansson.h>

#include "datamodel/context.h"
#include "transfer/netcat.h"
#include "transfer/progress.h"

// The waits of a download: production uses the defaults; tests shorten them.
struct TransferWaits {
  int netcat_wait_ms = kNetcatWaitMs;  // for veld to connect to the netcat channel
  ProgressWaits progress;              // of the flashing progress
};

// `download <firmware|config|file> <path_to_file> [<target_file_name>]`. Sends "Download" with
// "FileType", "URL", "MD5" (when the path names a readable local file), "TargetFileName" (when
// given) and "FileSize" (netcat channel only); firmware is preceded by a pre-update request
// ("NeedPreUpdate" true) and followed by the dialogue. 0 (config and file succeed silently, a
// cancelled upgrade), or -1: the syntax line for wrong arguments, "NAME: PATH: no such file."
// (or "not a regular file (a FIFO)." and the like) for a local path that is not a regular file,
// the failing step of the channel, or veld's refusal. A firmware upgrade that starts flashing
// does not return: the client ends with the upgrade's outcome (k::ExitRequest, see
// progress_display).
int cmd_download(CommandContext& client, const std::string& name, json_t* args);
// `upgrade <path_to_firmware>`: `download firmware <path>`, under the name "download".
int cmd_upgrade(CommandContext& client, const std::string& name, json_t* args);

// cmd_download with the given waits.
int download_run(CommandContext& client, const std::string& name, json_t* args,
                 const TransferWaits& waits);
