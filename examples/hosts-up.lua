#!/usr/bin/velc_lua
-- Lists the hosts that are up (Device.Hosts.Host.N.Active is true): address and name, then
-- how many of how many. Reads all of Device.Hosts. in one request, as nested tables.
--   ./hosts-up.lua -a support:support -u /tmp/veld.sock
-- (on the emulator's default model: a user who may read Device.Hosts., admin or support)

local device = require("norlan.device")

local hosts = device.tree("Device.Hosts.").Host
local up, total = {}, 0
for n, host in pairs(hosts) do
  if type(n) == "number" then  -- an instance (max_instance stands beside them)
    total = total + 1
    if host.Active then up[#up + 1] = n end
  end
end
table.sort(up)
for _, n in ipairs(up) do
  print(("%-15s %s"):format(hosts[n].IPAddress, hosts[n].HostName))
end
print(("%d of %d hosts are up"):format(#up, total))
