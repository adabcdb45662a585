// The firmware upgrade dialogue of the emulated device: a fetched image is saved and answered
// with the versions; a confirming request (or an image of the running version) starts the
// flash, which moves Device.DeviceInfo.UpgradeProgress from 0 to 100 over the flash time and
// ends in a reboot into the new version. A cancelling request drops the saved image.
#pragma once

#include <chrono>
#include <optional>
#include <string>

#include "downloads/firmware_image.h"
#include "engine/engine.h"

namespace sim {

// Values of Device.DeviceInfo.UpgradeStatus.
enum UpgradeStatus : int {
  kUpgradeIdle = 0,
  kUpgradeDownloading = 1,  // downloading or verifying
  kUpgradeFlashing = 2,
  kUpgradeDone = 3,         // flashed, about to reboot
  kUpgradeBadImage = -1,    // bad header, checksum or MD5
  kUpgradeFlashFailed = -2, // the new version could not be installed
  kUpgradeFetchFailed = -3, // the image could not be fetched
};

class Upgrade {
 public:
  using Clock = std::chrono::steady_clock;

  // A flash takes `flash_ms`.
  Upgrade(Engine& engine, int flash_ms);
  ~Upgrade();
  Upgrade(const Upgrade&) = delete;
  Upgrade& operator=(const Upgrade&) = delete;

  // True while a flash runs: no other Download is taken.
  bool flashing() const { return flashing_.has_value(); }
  // A firmware fetch begins (status 1), or failed before an image was saved (`status` < 0).
  void fetch_started();
  void fetch_failed(int status);
  // A fetched image whose header reads: saved in `image_dir`, and answered with Status, CurrentVersion,
  // NewVersion, SavedFirmware and TransactionID. An image of the running version starts
  // flashing at once (Status 0); any other waits for confirm() or cancel() (Status 1).
  // `payload_error` tells why its payload is bad ("" when good): the flash then fails.
  Reply downloaded(const std::string& image_dir, const std::string& image,
                   const FirmwareHeader& header, const std::string& payload_error,
                   Clock::time_point now);
  // The confirming request: `url` must be "file://" and the saved image's path.
  Reply confirm(json_t* transaction, const std::string& url, Clock::time_point now);
  // The cancelling request: drops the saved image.
  Reply cancel(json_t* transaction);
  // Moves a running flash on to `now`; its end installs the version and asks for a reboot.
  void advance(Clock::time_point now);
  // When advance() has something to do next; none while no flash runs.
  std::optional<Clock::time_point> next_wake() const;
  // The device reboots: a saved image awaiting confirmation is dropped, a flash abandoned.
  void forget();

 private:
  // A saved image and its transaction.
  struct Saved {
    long long id = 0;
    std::string path;
    std::string version;
    std::string payload_error;
  };

  void start_flash(Saved image, Clock::time_point now);
  void drop(std::optional<Saved>& image);
  std::optional<Reply> unknown_transaction(json_t* transaction) const;

  Engine& engine_;
  int flash_ms_;
  long long next_id_ = 1;
  std::optional<Saved> pending_;   // awaiting confirmation
  std::optional<Saved> flashing_;  // being flashed
  Clock::time_point flash_start_{};
};

}  // namespace sim
