#include "link/session.h"

#include <unistd.h>

#include <random>

Session::Session() {
  std::random_device random;
  std::string id = std::to_string(getpid()) + "-" + std::to_string(random());
  requests.set_session_id(id);
  events.set_session_id(id);
}
