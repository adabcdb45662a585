#include "downloads/upgrade.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/socket.h"

namespace sim {

namespace {

k::Json object() { return k::Json::take(json_object()); }

}  // namespace

Upgrade::Upgrade(Engine& engine, int flash_ms) : engine_(engine), flash_ms_(std::max(flash_ms, 0)) {}

Upgrade::~Upgrade() {
  drop(pending_);
  drop(flashing_);
}

void Upgrade::drop(std::optional<Saved>& image) {
  if (image) ::unlink(image->path.c_str());
  image.reset();
}

void Upgrade::fetch_started() { engine_.set_upgrade_state(kUpgradeDownloading, 0); }

void Upgrade::fetch_failed(int status) { engine_.set_upgrade_state(status, 0); }

Reply Upgrade::downloaded(const std::string& image_dir, const std::string& image,
                          const FirmwareHeader& header, const std::string& payload_error,
                          Clock::time_point now) {
  long long id = next_id_++;
  Saved saved{id, image_dir + "/firmware-" + std::to_string(id) + ".img", header.version,
              payload_error};
  k::Fd fd(::open(saved.path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600));
  if (!fd || !k::write_all(fd.get(), image.data(), image.size())) {
    std::string why = "cannot save the image as " + saved.path + ": " + std::strerror(errno);
    ::unlink(saved.path.c_str());
    engine_.set_upgrade_state(kUpgradeFlashFailed, 0);
    return Reply::failure(kDownloadFailure, why);
  }
  drop(pending_);  // a newer image takes the place of one not confirmed
  std::string current = engine_.software_version();
  bool same = current == header.version;
  Reply r;
  r.result = object();
  json_object_set_new(r.result.get(), "Status", json_integer(same ? 0 : 1));
  json_object_set_new(r.result.get(), "CurrentVersion", json_string(current.c_str()));
  json_object_set_new(r.result.get(), "NewVersion", json_string(header.version.c_str()));
  json_object_set_new(r.result.get(), "SavedFirmware", json_string(saved.path.c_str()));
  json_object_set_new(r.result.get(), "TransactionID", json_integer(saved.id));
  if (same) {
    start_flash(std::move(saved), now);
  } else {
    pending_ = std::move(saved);
    engine_.set_upgrade_state(kUpgradeIdle, 0);
  }
  return r;
}

std::optional<Reply> Upgrade::unknown_transaction(json_t* transaction) const {
  if (pending_ && json_is_integer(transaction) && json_integer_value(transaction) == pending_->id)
    return std::nullopt;
  std::string id = k::json_dump(transaction, JSON_COMPACT | JSON_ENCODE_ANY);
  return Reply::failure(kInvalidValue, "TransactionID " + id + ": no firmware image awaits it");
}

Reply Upgrade::confirm(json_t* transaction, const std::string& url, Clock::time_point now) {
  if (auto unknown = unknown_transaction(transaction)) return *unknown;
  if (url != "file://" + pending_->path)
    return Reply::failure(kInvalidValue, "URL \"" + url + "\": the transaction's image is file://" +
                                             pending_->path);
  Saved image = std::move(*pending_);
  pending_.reset();
  start_flash(std::move(image), now);
  return Reply::status_ok();
}

Reply Upgrade::cancel(json_t* transaction) {
  if (auto unknown = unknown_transaction(transaction)) return *unknown;
  drop(pending_);
  engine_.set_upgrade_state(kUpgradeIdle, 0);
  return Reply::status_ok();
}

void Upgrade::start_flash(Saved image, Clock::time_point now) {
  if (!image.payload_error.empty()) {
    // Verifying fails: nothing is written, the running version stays.
    std::optional<Saved> bad = std::move(image);
    drop(bad);
    engine_.set_upgrade_state(kUpgradeBadImage, 0);
    return;
  }
  flashing_ = std::move(image);
  flash_start_ = now;
  engine_.set_upgrade_state(kUpgradeFlashing, 0);
  advance(now);
}

void Upgrade::advance(Clock::time_point now) {
  if (!flashing_) return;
  auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(now - flash_start_).count();
  if (elapsed < flash_ms_) {
    engine_.set_upgrade_state(kUpgradeFlashing, static_cast<unsigned>(elapsed * 100 / flash_ms_));
    return;
  }
  std::string error;
  if (engine_.install_firmware(flashing_->version, error)) {
    engine_.set_upgrade_state(kUpgradeDone, 100);
    engine_.request_reboot();
  } else {
    std::fprintf(stderr, "veld-sim: the flash failed: %s\n", error.c_str());
    engine_.set_upgrade_state(kUpgradeFlashFailed, 0);
  }
  drop(flashing_);
}

std::optional<Upgrade::Clock::time_point> Upgrade::next_wake() const {
  if (!flashing_) return std::nullopt;
  auto elapsed =
      std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - flash_start_).count();
  // The moment the next percent is reached.
  long long next_percent = std::min<long long>(100, elapsed * 100 / std::max(flash_ms_, 1) + 1);
  return flash_start_ + std::chrono::milliseconds((next_percent * flash_ms_ + 99) / 100);
}

void Upgrade::forget() {
  drop(pending_);
  drop(flashing_);  // a reboot in the middle of a flash leaves the running version
}

}  // namespace sim
