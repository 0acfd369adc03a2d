// Where the simulator's devices come from: a file of device information
// texts, or generated devices with distinct addresses and MACs.
#pragma once

#include <string>
#include <vector>

#include "protocol/unit_info.h"
#include "sim_options.h"

// One line "Zentravox,01,model,proj,name,ip,port,netmask,gateway,dns,mac,dev,note":
// exactly thirteen comma-separated fields (empty ones allowed), each short
// enough for its record field. False with a message in *error otherwise.
bool ParseDeviceLine(const std::string& line, tComUnitInfo* info, std::string* error);

// Reads a device file (blank lines and lines starting with # skipped). False
// with "F:LINE: message" in *error on the first bad line or an unreadable file.
bool LoadDeviceFile(const std::string& path, std::vector<tComUnitInfo>* devices,
                    std::string* error);

// `options.count` devices (names with bytes above 127 when options.high_bytes:
// Latin-1 "C\xE4m\xE9ra" and UTF-8 "C\xC3\xA4m\xC3\xA9ra" in turn): addresses from options.ip_base up (host parts .0
// and .255 skipped) in a /16, MACs 02:4B:44:xx:xx:xx from the index, models,
// projects and ports taken in turn from their lists, names name_prefix + 1,
// 2, ... False with *error when the base address is bad or the addresses run
// out.
bool GenerateDevices(const SimOptions& options, std::vector<tComUnitInfo>* devices,
                     std::string* error);

// The file's devices, then the generated ones, shuffled when asked.
bool LoadSimDevices(const SimOptions& options, std::vector<tComUnitInfo>* devices,
                    std::string* error);

// Packet texts (flag 01) of `count` devices whose every field is 1,000
// characters long, yet passes the reply parser's field checks: the address
// "10.99.2.<n>" and the netmask padded with spaces, the port with leading
// zeros, the MAC "02:4B:44:EE:xx:xx" padded with colons, the other texts
// long runs of characters, many of them above 127 (UTF-8 "Ä" and raw 0xE9).
std::vector<std::string> LongFieldPacketTexts(int count);
