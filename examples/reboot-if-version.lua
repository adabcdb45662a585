#!/usr/bin/velc_lua
-- Reboots the device when its firmware is not the version given: after an upgrade, to make
-- sure the new image runs. Needs a user with system access.
--   ./reboot-if-version.lua -a admin:admin -u /tmp/veld.sock 4.2.1-build2031

local device = require("norlan.device")

local wanted = ...
if not wanted then
  print("usage: reboot-if-version.lua VERSION")
  return
end
local path = "Device.DeviceInfo.SoftwareVersion"
local running = device.get(path)[path]
if running == wanted then
  print(("firmware %s: no reboot"):format(running))
  return
end
device.request("Reboot")
print(("firmware %s, not %s: rebooting"):format(running, wanted))
