#include "downloads/download_service.h"

#include <fcntl.h>
#include <sys/eventfd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <thread>

#include "downloads/firmware_image.h"

namespace sim {

// One fetch: what the worker thread needs and what it leaves for the server's thread.
struct DownloadService::Job {
  ConnId conn = 0;
  k::Json msg_id;
  bool wants_reply = false;
  DownloadRequest request;
  FetchOrder order;
  std::string name;  // File: the name to store it under
  std::atomic<bool> cancel{false};
  // Filled by the worker.
  FetchResult result;
  FirmwareHeader header;
  std::string payload_error;  // firmware: why its payload is bad ("" good)
  std::thread thread;
};

namespace {

// The worker's checks of the fetched bytes that need no state: the MD5 and, for firmware, the
// header and the payload's checksum. Returns false with the fault in `r`.
bool inspect(const DownloadRequest& request, FetchResult& r, FirmwareHeader& header,
             std::string& payload_error) {
  if (request.md5) {
    std::string got = md5_hex(r.data);
    if (got != *request.md5) {
      r = {kFileCorrupted, "MD5 mismatch: expected " + *request.md5 + ", the file has " + got, {}};
      return false;
    }
  }
  if (request.type != FileType::kFirmware) return true;
  std::string error;
  if (!parse_firmware_header(r.data, header, error)) {
    r = {kFileCorrupted, error, {}};
    return false;
  }
  if (!verify_firmware_payload(r.data, header, error)) payload_error = error;
  return true;
}

// Makes a folder (one level) only its owner may use; one already there is taken as it is.
bool make_folder(const std::string& path, std::string& error) {
  if (::mkdir(path.c_str(), 0700) == 0 || errno == EEXIST) return true;
  error = "cannot make the folder " + path + ": " + std::strerror(errno);
  return false;
}

// Writes a new file beside `file` and renames it into place, so that a reader never sees half.
bool write_file(const std::string& file, const std::string& data, std::string& error) {
  std::string temp = file + ".XXXXXX";
  k::Fd fd(::mkostemp(temp.data(), O_CLOEXEC));  // mode 0600
  if (!fd) {
    error = "cannot write " + file + ": " + std::strerror(errno);
    return false;
  }
  bool ok = k::write_all(fd.get(), data.data(), data.size());
  if (ok) ok = ::close(fd.release()) == 0;
  if (ok) ok = ::rename(temp.c_str(), file.c_str()) == 0;
  if (!ok) {
    error = "cannot write " + file + ": " + std::strerror(errno);
    ::unlink(temp.c_str());
  }
  return ok;
}

}  // namespace

DownloadService::DownloadService(Engine& engine, DownloadSettings settings)
    : engine_(engine), settings_(std::move(settings)), upgrade_(engine, settings_.flash_ms) {}

const std::string& DownloadService::work_dir(std::string& error) {
  if (work_dir_.empty()) {
    std::error_code ec;
    std::string dir = (std::filesystem::temp_directory_path(ec) / "veld-sim-XXXXXX").string();
    if (!ec && ::mkdtemp(dir.data()))
      work_dir_ = dir;
    else
      error = "cannot make a temporary folder " + dir + ": " + std::strerror(errno);
  }
  return work_dir_;
}

DownloadService::~DownloadService() {
  for (auto& [id, job] : jobs_) job->cancel = true;
  for (auto& [id, job] : jobs_)
    if (job->thread.joinable()) job->thread.join();
  upgrade_.forget();  // its images go before their folder
  if (!work_dir_.empty()) {
    std::error_code ignored;
    std::filesystem::remove_all(work_dir_, ignored);
  }
}

std::optional<Reply> DownloadService::request(ConnId conn, json_t* msg_id, bool wants_reply,
                                              DownloadRequest request, Clock::time_point now) {
  if (upgrade_.flashing())
    return Reply::failure(kRequestDenied, "a firmware upgrade is in progress");

  if (request.transaction_id) {
    if (request.type != FileType::kFirmware)
      return Reply::failure(kInvalidValue, "a TransactionID belongs to a firmware download");
    if (!request.url) return upgrade_.cancel(request.transaction_id.get());
    return upgrade_.confirm(request.transaction_id.get(), *request.url, now);
  }
  if (!request.url) return Reply::failure(kInvalidParams, "expects URL (text)");
  SourceUrl url;
  if (auto bad = read_source_url(*request.url, url)) return bad;
  if (url.scheme == Scheme::kNetcat && !request.file_size)
    return Reply::failure(kInvalidParams, "a netcat URL needs FileSize (integer)");
  std::string name;
  if (request.type == FileType::kFile) {
    name = request.target_name ? *request.target_name : url_file_name(url.text);
    // A URL without a file name (netcat://HOST:PORT) and no TargetFileName: a name of its own.
    if (!request.target_name && name.empty()) name = "download-" + std::to_string(next_job_);
    if (!is_safe_file_name(name))
      return Reply::failure(kInvalidValue,
                            "cannot store a file named \"" + name +
                                "\" (expects 1 to 255 bytes without \"/\" or \"..\")");
  }
  // Preparing fetches nothing: a netcat sender serves one connection only, the real download.
  if (request.need_pre_update) {
    if (request.type == FileType::kFirmware) engine_.set_upgrade_state(kUpgradeIdle, 0);
    return Reply::status_ok();
  }
  return start_fetch(conn, msg_id, wants_reply, std::move(request), std::move(url),
                     std::move(name));
}

std::optional<Reply> DownloadService::start_fetch(ConnId conn, json_t* msg_id, bool wants_reply,
                                                  DownloadRequest request, SourceUrl url,
                                                  std::string name) {
  // Made at the first fetch: a daemon that downloads nothing holds no descriptor for it.
  if (!wake_) wake_ = k::Fd(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC));
  if (!wake_)
    return Reply::failure(kInternalError, std::string("eventfd: ") + std::strerror(errno));
  auto job = std::make_unique<Job>();
  job->conn = conn;
  if (msg_id) job->msg_id = k::Json::borrow(msg_id);
  job->wants_reply = wants_reply;
  job->order = {.url = std::move(url), .size = request.file_size,
                .timeout_ms = settings_.fetch_timeout_ms, .max_bytes = settings_.max_bytes};
  job->request = std::move(request);
  job->name = std::move(name);
  if (job->request.type == FileType::kFirmware) upgrade_.fetch_started();
  uint64_t id = next_job_++;
  Job& j = *job;
  jobs_.emplace(id, std::move(job));
  try {
    j.thread = std::thread([this, &j, id] {
      j.result = fetch(j.order, j.cancel);
      if (j.result.code == 0) inspect(j.request, j.result, j.header, j.payload_error);
      {
        std::lock_guard lock(done_mutex_);
        done_.push_back(id);
      }
      uint64_t one = 1;
      (void)!::write(wake_.get(), &one, sizeof one);
    });
  } catch (const std::system_error& e) {
    jobs_.erase(id);
    return Reply::failure(kInternalError, std::string("cannot start the fetch: ") + e.what());
  }
  return std::nullopt;
}

std::vector<DownloadService::Finished> DownloadService::collect(Clock::time_point now) {
  uint64_t count;
  (void)!::read(wake_.get(), &count, sizeof count);
  std::vector<uint64_t> done;
  {
    std::lock_guard lock(done_mutex_);
    done.swap(done_);
  }
  std::vector<Finished> out;
  for (uint64_t id : done) {
    auto it = jobs_.find(id);
    if (it == jobs_.end()) continue;
    std::unique_ptr<Job> job = std::move(it->second);
    jobs_.erase(it);
    job->thread.join();
    if (job->cancel) continue;  // abandoned by a reboot: nothing is applied
    Reply r = complete(*job, now);
    out.push_back({job->conn, job->msg_id, job->wants_reply, std::move(r)});
  }
  return out;
}

Reply DownloadService::complete(Job& job, Clock::time_point now) {
  FetchResult& result = job.result;
  std::string error;
  bool firmware = job.request.type == FileType::kFirmware;
  if (result.code) {
    if (firmware)
      upgrade_.fetch_failed(result.code == kFileCorrupted ? kUpgradeBadImage
                                                           : kUpgradeFetchFailed);
    return Reply::failure(result.code, result.detail);
  }
  switch (job.request.type) {
    case FileType::kFirmware:
      if (upgrade_.flashing()) {
        return Reply::failure(kRequestDenied, "a firmware upgrade is in progress");
      }
      if (const std::string& dir = work_dir(error); !dir.empty())
        return upgrade_.downloaded(dir, result.data, job.header, job.payload_error, now);
      upgrade_.fetch_failed(kUpgradeFlashFailed);
      return Reply::failure(kDownloadFailure, error);
    case FileType::kConfig: {
      k::Json config = k::json_parse(result.data, 0);
      if (!json_is_object(config.get()))
        return Reply::failure(kFileCorrupted, "the configuration is not a JSON object");
      return engine_.apply_configuration(config.get());
    }
    case FileType::kFile:
      return store_file(job);
  }
  return Reply::failure(kInternalError, "unknown file type");
}

Reply DownloadService::store_file(const Job& job) {
  std::string dir = settings_.download_dir;
  std::string error;
  if (dir.empty()) {
    const std::string& state = engine_.state_dir();
    if (!state.empty() && !make_folder(state, error))
      return Reply::failure(kDownloadFailure, error);
    dir = state.empty() ? work_dir(error) : state;
    if (dir.empty()) return Reply::failure(kDownloadFailure, error);
    dir += "/downloads";
  }
  if (!make_folder(dir, error) || !write_file(dir + "/" + job.name, job.result.data, error))
    return Reply::failure(kDownloadFailure, error);
  Reply r = Reply::status_ok();
  json_object_set_new(r.result.get(), "FileName", json_string(job.name.c_str()));
  return r;
}

void DownloadService::advance(Clock::time_point now) { upgrade_.advance(now); }

std::optional<DownloadService::Clock::time_point> DownloadService::next_wake() const {
  return upgrade_.next_wake();
}

void DownloadService::reboot() {
  for (auto& [id, job] : jobs_) job->cancel = true;
  upgrade_.forget();
}

}  // namespace sim
