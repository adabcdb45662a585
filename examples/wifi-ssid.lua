#!/usr/bin/velc_lua
-- Names the Wi-Fi network on every radio: the first SSID of each radio (the lowest numbered
-- Device.WiFi.SSID.N whose LowerLayers is the radio) gets NAME, with "-5G" or "-6G" added on
-- radios of those bands unless the word "same" follows NAME. All the names change in one
-- request, so either all of them change or none does.
--   ./wifi-ssid.lua -a admin:admin -u /tmp/veld.sock MyHome [same]

local device = require("norlan.device")

local name, same = ...
if not name or name == "" then
  print("usage: wifi-ssid.lua NAME [same]")
  return
end
same = same == "same"

local values = device.get({"Device.WiFi.Radio.", "Device.WiFi.SSID."})
local first = {}  -- radio path -> SSID instance number
for path, lower in pairs(values) do
  local n = path:match("^Device%.WiFi%.SSID%.(%d+)%.LowerLayers$")
  if n then
    n = tonumber(n)
    if lower ~= "" and (not first[lower] or n < first[lower]) then first[lower] = n end
  end
end

local changes, radios = {}, {}
for radio in pairs(first) do radios[#radios + 1] = radio end
table.sort(radios)
for _, radio in ipairs(radios) do
  local band = values[radio .. ".OperatingFrequencyBand"] or ""
  local ssid = name
  if not same and band ~= "2.4GHz" and band ~= "" then ssid = name .. "-" .. band:gsub("GHz$", "G") end
  local path = "Device.WiFi.SSID." .. first[radio] .. ".SSID"
  changes[path] = ssid
  print(("%s (%s): %s -> %s"):format(radio, band, values[path], ssid))
end
if next(changes) == nil then
  print("no radio has an SSID")
  return
end
device.set(changes)
print("done")
