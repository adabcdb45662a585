#include "model/hosts.h"

#include <cstdio>
#include <vector>

#include "model/resolve.h"
#include "model/value_check.h"

namespace sim {

namespace {

std::string format(const char* fmt, unsigned a, unsigned b = 0, unsigned c = 0) {
  char buf[64];
  std::snprintf(buf, sizeof buf, fmt, a, b, c);
  return buf;
}

// Stores a value when the template has the member and the value suits its type.
void put(Node& inst, const char* name, k::Json value) {
  Node* p = inst.child(name);
  k::Json stored;
  if (p && p->kind == NodeKind::kParameter && check_value(p->attr.get(), value.get(), stored) == 0)
    p->value = stored;
}

void describe_host(Node& inst, unsigned i) {
  unsigned subnet = 1 + (i - 1) / 250;  // 250 hosts per /24, from 192.168.1.2 on
  unsigned host = 2 + (i - 1) % 250;
  bool wifi = i % 3 == 0;
  put(inst, "Alias", k::json_str(format("cpe-host-%u", i)));
  put(inst, "HostName", k::json_str(format("host-%04u", i)));
  put(inst, "PhysAddress",
      k::json_str(format("02:1a:2b:%02x:%02x:%02x", (i >> 16) & 0xff, (i >> 8) & 0xff, i & 0xff)));
  put(inst, "IPAddress", k::json_str(format("192.168.%u.%u", subnet % 256, host)));
  put(inst, "AddressSource", k::json_str(i % 7 == 0 ? "Static" : "DHCP"));
  put(inst, "DHCPClient", k::json_str("Device.DHCPv4.Server.Pool.1.Client.1"));
  put(inst, "LeaseTimeRemaining", k::Json::take(json_integer(i % 7 == 0 ? -1 : 86400 - (i * 37) % 86400)));
  put(inst, "Layer1Interface",
      k::json_str(wifi ? "Device.WiFi.SSID.1" : format("Device.Ethernet.Interface.%u", 1 + i % 4)));
  put(inst, "Layer3Interface", k::json_str("Device.IP.Interface.1"));
  put(inst, "InterfaceType", k::json_str(wifi ? "Wi-Fi" : "Ethernet"));
  put(inst, "VendorClassID", k::json_str(i % 4 == 0 ? "android-dhcp-13" : "MSFT 5.0"));
  put(inst, "Active", k::Json::take(json_boolean(i % 5 != 0)));
  put(inst, "ActiveLastChange", k::json_str("2026-01-01T00:00:00Z"));
}

}  // namespace

bool fill_hosts(Node& root, unsigned count, std::string& error) {
  std::vector<Target> found;
  Fault fault;
  if (!resolve(root, kHostTablePath, TemplateMode::kSchema, found, fault) ||
      found.front().node->kind != NodeKind::kTable) {
    error = std::string("the model has no table ") + kHostTablePath;
    return false;
  }
  Node& table = *found.front().node;
  table.instances.clear();
  table.order.clear();
  table.max_instance = 0;
  for (unsigned i = 1; i <= count; ++i) describe_host(add_instance(table, i), i);
  return true;
}

}  // namespace sim
