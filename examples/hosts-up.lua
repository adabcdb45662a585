#!/usr/bin/velc_lua
-- Lists the hosts that are up (Device.Hosts.Host.N.Active is true): address and name, then
-- how many of how many. Reads all the hosts in one request.
--   ./hosts-up.lua -a support:support -u /tmp/veld.sock
-- (on the emulator's default model: a user who may read Device.Hosts., admin or support)

local device = require("norlan.device")

local up, total = 0, 0
for _, host in device.each("Device.Hosts.Host.") do
  total = total + 1
  if host.Active then
    up = up + 1
    print(("%-15s %s"):format(host.IPAddress, host.HostName))
  end
end
print(("%d of %d hosts are up"):format(up, total))
