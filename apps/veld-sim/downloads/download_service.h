// The daemon's "Download" method: reads the request, fetches the file on a worker thread (so
// that the other clients are served meanwhile) and, back on the server's thread, applies it: a
// configuration laid over the running model, a file stored in the downloads folder, a firmware
// image handed to the upgrade dialogue (upgrade.h).
#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "downloads/download_request.h"
#include "downloads/fetch.h"
#include "downloads/upgrade.h"
#include "engine/engine.h"
#include "engine/event_router.h"
#include "platform/socket.h"

namespace sim {

// How downloads behave.
struct DownloadSettings {
  // Where "File" downloads are stored; "" for DIR/downloads of the state folder, or without one
  // a "downloads" folder in the daemon's private temporary folder.
  std::string download_dir{};
  int flash_ms = 3000;          // how long a firmware flash takes
  int fetch_timeout_ms = 10000; // the longest wait for a sender's connection or next bytes
  uint64_t max_bytes = 256u << 20;  // the largest file fetched
};

class DownloadService {
 public:
  using Clock = std::chrono::steady_clock;

  // The reply to a Download whose fetch has finished.
  struct Finished {
    ConnId conn = 0;
    k::Json msg_id;  // the request's id; none for a notification
    bool wants_reply = false;
    Reply reply;
  };

  DownloadService(Engine& engine, DownloadSettings settings);
  // Cancels the fetches still running, waits for their threads and removes the private folder.
  ~DownloadService();
  DownloadService(const DownloadService&) = delete;
  DownloadService& operator=(const DownloadService&) = delete;

  // A Download request of connection `conn`, its params read (read_download_request) and its
  // caller's right checked: its reply, or none when a fetch has started, whose reply collect()
  // hands over once it is done.
  std::optional<Reply> request(ConnId conn, json_t* msg_id, bool wants_reply,
                               DownloadRequest request, Clock::time_point now);
  // Readable when a fetch has finished; -1 before the first fetch.
  int wake_fd() const { return wake_.get(); }
  // Applies the finished fetches and gives their replies.
  std::vector<Finished> collect(Clock::time_point now);
  // Moves a running flash on (see Upgrade::advance).
  void advance(Clock::time_point now);
  // When advance() has something to do; none when nothing waits.
  std::optional<Clock::time_point> next_wake() const;
  // The device reboots: fetches still running are abandoned and an unconfirmed image dropped.
  void reboot();

 private:
  struct Job;

  std::optional<Reply> start_fetch(ConnId conn, json_t* msg_id, bool wants_reply,
                                   DownloadRequest request, SourceUrl url, std::string name);
  Reply complete(Job& job, Clock::time_point now);
  Reply store_file(const Job& job);
  // The private temporary folder (saved firmware images and, by default, downloads), made at
  // the first download that needs it; "" with `error` when it cannot be made.
  const std::string& work_dir(std::string& error);

  Engine& engine_;
  DownloadSettings settings_;
  std::string work_dir_;  // "" until made
  Upgrade upgrade_;
  k::Fd wake_;
  uint64_t next_job_ = 1;
  std::map<uint64_t, std::unique_ptr<Job>> jobs_;
  std::mutex done_mutex_;
  std::vector<uint64_t> done_;  // finished jobs, guarded by done_mutex_
};

}  // namespace sim
