#include "model/saved_config.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "model/config_tree.h"
#include "model/model_load.h"
#include "platform/socket.h"

namespace sim {

namespace {

constexpr size_t kMaxRestorePointName = 64;

std::string failure(const char* what, const std::string& path) {
  return std::string("cannot ") + what + " " + path + ": " + std::strerror(errno);
}

// Makes a folder only its owner may use; one already there is taken as it is.
bool make_folder(const std::string& path, std::string& error) {
  if (::mkdir(path.c_str(), 0700) == 0 || errno == EEXIST) return true;
  error = failure("make the folder", path);
  return false;
}

std::string folder_of(const std::string& file) {
  size_t slash = file.rfind('/');
  return slash == std::string::npos ? "." : file.substr(0, slash);
}

// Writes `text` to a new file beside `file` and renames it into place, so that a crash or a
// full disk leaves the earlier file whole.
bool write_atomically(const std::string& file, const std::string& text, std::string& error) {
  std::string temp = file + ".XXXXXX";
  k::Fd fd(::mkostemp(temp.data(), O_CLOEXEC));  // mode 0600
  if (!fd) {
    error = failure("create a file beside", file);
    return false;
  }
  bool ok = k::write_all(fd.get(), text.data(), text.size()) && ::fsync(fd.get()) == 0;
  if (ok) ok = ::close(fd.release()) == 0;
  if (ok) ok = ::rename(temp.c_str(), file.c_str()) == 0;
  if (!ok) {
    error = failure("write", file);
    ::unlink(temp.c_str());
    return false;
  }
  // The rename itself lasts once the folder is on disk too.
  k::Fd folder(::open(folder_of(file).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (folder) ::fsync(folder.get());
  return true;
}

bool is_stored(const Node& param) {
  // Of the read handlers only "secret" shows something else than a stored value.
  bool computed = !param.handler.empty() && param.handler != "secret";
  return !computed && !attr_bool(param, "runtime") && !attr_bool(param, "const");
}

}  // namespace

std::string saved_config_file(const std::string& dir) { return dir + "/config.json"; }

std::string restore_point_file(const std::string& dir, std::string_view name) {
  if (name.empty() || name.size() > kMaxRestorePointName) return {};
  std::string file = dir + "/restore-points/";
  for (size_t i = 0; i < name.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(name[i]);
    bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                 c == '-' || c == '_' || (c == '.' && i > 0);
    if (plain) {
      file.push_back(static_cast<char>(c));
    } else {
      static const char kHex[] = "0123456789ABCDEF";
      file += {'%', kHex[c >> 4], kHex[c & 15]};
    }
  }
  return file + ".json";
}

k::Json saved_config(const Node& root) {
  ConfigTreeRules rules{
      .include = [](const Node&) { return true; },
      .value = [](const Node& param) { return is_stored(param) ? param.value : k::Json(); },
      .table_state = true,
  };
  k::Json file = k::Json::take(json_object());
  json_object_set_new(file.get(), "Version", json_integer(1));
  json_object_set_new(file.get(), "Configuration", config_tree(root, rules).release());
  return file;
}

bool write_saved_config(const std::string& dir, const std::string& file, json_t* config,
                        std::string& error) {
  if (!make_folder(dir, error)) return false;
  if (folder_of(file) != dir && !make_folder(folder_of(file), error)) return false;
  return write_atomically(file, k::json_dump(config, JSON_INDENT(1)) + "\n", error);
}

bool load_saved_config(const std::string& dir, Node& root, std::string& error) {
  std::string file = saved_config_file(dir);
  if (::access(file.c_str(), F_OK) != 0) {
    if (errno == ENOENT) return true;
    error = failure("read", file);
    return false;
  }
  k::Json saved = read_json_file(file, error);
  if (!saved) return false;
  json_t* version = json_object_get(saved.get(), "Version");
  json_t* config = json_object_get(saved.get(), "Configuration");
  if (!json_is_integer(version) || json_integer_value(version) != 1 || !json_is_object(config)) {
    error = file +
            ": not a saved configuration (expects {\"Version\": 1, \"Configuration\": {...}})";
    return false;
  }
  if (!load_saved_values(config, root, error)) {
    error = file + ": " + error;
    return false;
  }
  return true;
}

bool erase_saved_config(const std::string& dir, std::string& error) {
  std::string file = saved_config_file(dir);
  if (::unlink(file.c_str()) == 0 || errno == ENOENT) return true;
  error = failure("erase", file);
  return false;
}

}  // namespace sim
