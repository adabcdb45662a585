#include "platform/jrpc_message.h"

#include "platform/socket.h"

namespace k {

namespace {

Json object() { return Json::take(json_object()); }

void set(json_t* obj, const char* key, Json v) {
  if (v) json_object_set_new(obj, key, v.release());
}

Message request(std::string method, Json params) {
  Message m;
  m.kind = kMsgRequest;
  m.method = std::move(method);
  m.params = std::move(params);
  return m;
}

Message request_with(std::string method, const char* key, Json value) {
  Json params = object();
  set(params.get(), key, std::move(value));
  return request(std::move(method), std::move(params));
}

std::optional<std::string> opt_text(json_t* obj, const char* key) {
  json_t* v = json_object_get(obj, key);
  if (!json_is_string(v)) return std::nullopt;
  return std::string(json_string_value(v), json_string_length(v));
}

}  // namespace

Json Message::to_json() const {
  Json j = object();
  json_object_set_new(j.get(), "jsonrpc", json_string("2.0"));
  switch (kind) {
    case kMsgRequest:
    case kMsgNotification:
      if (kind == kMsgRequest && id) json_object_set(j.get(), "id", id.get());
      json_object_set_new(j.get(), "method", json_stringn(method.data(), method.size()));
      if (params) json_object_set(j.get(), "params", params.get());
      break;
    case kMsgEvent: {
      Json p = object();
      json_object_set_new(p.get(), "EventId", json_integer(event_id));
      if (params) json_object_set(p.get(), "Data", params.get());
      json_object_set_new(j.get(), "method", json_string(kEventMethod));
      set(j.get(), "params", std::move(p));
      break;
    }
    case kMsgResult:
      json_object_set(j.get(), "id", id ? id.get() : json_null());
      json_object_set(j.get(), "result", result ? result.get() : json_null());
      break;
    case kMsgError: {
      json_object_set(j.get(), "id", id ? id.get() : json_null());
      Json e = object();
      json_object_set_new(e.get(), "code", json_integer(error_code));
      json_object_set_new(e.get(), "message", json_string(error_message.value_or("").c_str()));
      if (error_detail) json_object_set_new(e.get(), "detail", json_string(error_detail->c_str()));
      if (error_data) json_object_set(e.get(), "data", error_data.get());
      set(j.get(), "error", std::move(e));
      break;
    }
    default:
      break;
  }
  return j;
}

void Message::take_reply(const Message& reply) {
  kind = reply.kind;
  result = reply.result;
  error_code = reply.error_code;
  error_message = reply.error_message;
  error_detail = reply.error_detail;
  error_data = reply.error_data;
}

void Message::fail_here(int code) {
  kind = kMsgError;
  result = Json();
  error_code = code;
  error_message = socket_strerror(code);
  error_detail.reset();
  error_data = Json();
  failed_here = true;
}

void Message::forget_failure() {
  if (!failed_here) return;
  kind = kMsgRequest;
  error_code = 0;
  error_message.reset();
  failed_here = false;
}

std::optional<Message> msg_parse(json_t* v) {
  if (!json_is_object(v)) return std::nullopt;
  json_t* version = json_object_get(v, "jsonrpc");
  if (!json_is_string(version) || std::string(json_string_value(version)) != "2.0")
    return std::nullopt;
  json_t* id = json_object_get(v, "id");
  if (id && !json_is_integer(id) && !json_is_string(id) && !json_is_null(id)) return std::nullopt;
  json_t* method = json_object_get(v, "method");
  json_t* params = json_object_get(v, "params");
  json_t* result = json_object_get(v, "result");
  json_t* error = json_object_get(v, "error");

  Message m;
  if (id && !json_is_null(id)) m.id = Json::borrow(id);
  if (method) {
    if (!json_is_string(method) || result || error) return std::nullopt;
    if (params && !json_is_object(params) && !json_is_array(params)) return std::nullopt;
    m.method = json_string_value(method);
    if (!id && m.method == kEventMethod) {
      // An event: {"EventId": n, "Data": any}.
      json_t* event_id = json_object_get(params, "EventId");
      if (!json_is_integer(event_id) || json_integer_value(event_id) < 0 ||
          json_integer_value(event_id) > json_int_t{UINT32_MAX})
        return std::nullopt;
      m.kind = kMsgEvent;
      m.event_id = static_cast<unsigned>(json_integer_value(event_id));
      if (json_t* data = json_object_get(params, "Data")) m.params = Json::borrow(data);
      return m;
    }
    m.kind = id ? kMsgRequest : kMsgNotification;
    if (params) m.params = Json::borrow(params);
    return m;
  }
  if (!id || (result != nullptr) == (error != nullptr)) return std::nullopt;
  if (result) {
    m.kind = kMsgResult;
    m.result = Json::borrow(result);
    return m;
  }
  json_t* code = json_object_get(error, "code");
  if (!json_is_object(error) || !json_is_integer(code)) return std::nullopt;
  m.kind = kMsgError;
  m.error_code = static_cast<int>(json_integer_value(code));
  m.error_message = opt_text(error, "message");
  m.error_detail = opt_text(error, "detail");
  if (json_t* data = json_object_get(error, "data"); json_is_object(data))
    m.error_data = Json::borrow(data);
  return m;
}

Message msg_create(std::string method, Json params) {
  return request(std::move(method), std::move(params));
}

Message msg_create_event(unsigned event_id, Json data) {
  Message m;
  m.kind = kMsgEvent;
  m.method = kEventMethod;
  m.event_id = event_id;
  m.params = std::move(data);
  return m;
}

Message msg_get_parameter_names(const std::string& path, bool next_level) {
  Json params = object();
  json_object_set_new(params.get(), "ParameterPath", json_stringn(path.data(), path.size()));
  json_object_set_new(params.get(), "NextLevel", json_boolean(next_level));
  return request("GetParameterNames", std::move(params));
}

Message msg_get_parameter_values(Json names) {
  return request_with("GetParameterValues", "ParameterNames", std::move(names));
}

Message msg_get_parameter_attributes(Json names, int depth) {
  Message m = request_with("GetParameterAttributes", "ParameterNames", std::move(names));
  json_object_set_new(m.params.get(), "Depth", json_integer(depth));
  return m;
}

Message msg_set_parameter_values(Json parameter_list) {
  return request_with("SetParameterValues", "ParameterList", std::move(parameter_list));
}

Message msg_add_object(const std::string& object_path) {
  return request_with("AddObject", "ObjectName", json_str(object_path));
}

Message msg_delete_object(const std::string& object_path) {
  return request_with("DeleteObject", "ObjectName", json_str(object_path));
}

Message msg_change_order(const std::string& instance_path, unsigned order) {
  Message m = request_with("ChangeOrder", "ObjectName", json_str(instance_path));
  json_object_set_new(m.params.get(), "Order", json_integer(order));
  return m;
}

Message msg_join_group(unsigned group) {
  return request_with("JoinGroup", "Group", Json::take(json_integer(group)));
}

Message msg_execute(const std::string& method_path, Json parameter_list) {
  Message m = request_with("Execute", "MethodName", json_str(method_path));
  set(m.params.get(), "ParameterList", std::move(parameter_list));
  return m;
}

Message msg_login(const std::string& user, const std::optional<std::string>& password) {
  Message m = request_with("Login", "Username", json_str(user));
  if (password) {
    // A password that is no UTF-8 text must not turn into a login without a password: it goes
    // as null, a shape veld refuses.
    Json text = json_str(*password);
    msg_add_parameter(m, "Password", text ? std::move(text) : Json::take(json_null()));
  }
  return m;
}

Message msg_authenticate(const std::string& token) {
  return request_with("Authenticate", "Token", json_str(token));
}

Message msg_logout() { return request("Logout", Json()); }

void msg_add_parameter(Message& m, const char* key, Json value) {
  if (!m.params) m.params = object();
  if (json_is_object(m.params.get())) set(m.params.get(), key, std::move(value));
}

}  // namespace k
