// The record of one UPnP device (nineteen texts), the plain properties a
// device finder hands over for it, and the rules that turn the one into the
// other and decide which devices the search keeps.
#pragma once

#include <optional>
#include <string>
#include <string_view>

// Nineteen UTF-8 texts of one UPnP device, empty by default, in the
// alphabetical order of the device properties.
struct DeviceInformationContainer {
  std::string children;
  std::string description;
  std::string friendly_name;
  std::string has_children;
  std::string icon_url;
  std::string is_root_device;
  std::string manufacturer_name;
  std::string manufacturer_url;
  std::string model_name;
  std::string model_number;
  std::string model_url;
  std::string parent_device;
  std::string presentation_url;
  std::string root_device;
  std::string serial_number;
  std::string services;
  std::string type;
  std::string unique_device_name;
  std::string upc;
  // Not one of the nineteen: the network interface the device answered on
  // ("eth0"; "" when unknown), and the IPv4 address its description came
  // from ("10.0.0.9"; "" when unknown): only that host may say it is gone.
  std::string interface;
  std::string description_address;

  bool operator==(const DeviceInformationContainer&) const = default;
};

constexpr int kDeviceInformationFieldCount = 19;
// Field i (0 = children ... 18 = upc) in record order.
const std::string& DeviceInformationField(const DeviceInformationContainer& d, int i);

// The device above another one (parent or root), as a finder reports it.
struct UpnpRelative {
  bool read_ok = true;  // false: the read failed; the field keeps its text
  bool present = false;  // a device was returned
  // That device's friendly name; nullopt when reading it failed.
  std::optional<std::string> friendly_name;
};

// What a finder could read of one device, all texts UTF-8. nullopt means the
// read failed: the matching field of the record is left as it was. A read
// that succeeded with no text is an empty string.
struct UpnpDeviceProperties {
  std::optional<int> children;  // number of embedded devices
  std::optional<std::string> description;
  std::optional<std::string> friendly_name;
  std::optional<bool> has_children;
  std::optional<std::string> icon_url;  // the icon asked for "image/gif", 32 x 32, depth 8
  std::optional<bool> is_root_device;
  std::optional<std::string> manufacturer_name;
  std::optional<std::string> manufacturer_url;
  std::optional<std::string> model_name;
  std::optional<std::string> model_number;
  std::optional<std::string> model_url;
  UpnpRelative parent_device;
  std::optional<std::string> presentation_url;
  UpnpRelative root_device;
  std::optional<std::string> serial_number;
  std::optional<int> services;  // number of services
  std::optional<std::string> type;
  std::optional<std::string> unique_device_name;
  std::optional<std::string> upc;
  std::string interface;  // the network interface it answered on; "" when unknown
  std::string description_address;  // the IPv4 address its description came from; "" when unknown
};

// "No: Zero children", "Yes: One child", "Yes: <n> children" (a negative
// count reads as zero); likewise with "services"/"service".
std::string ChildrenText(int count);
std::string ServicesText(int count);
// The text of a device with no parent (or root) device above it.
extern const char kTopmostDeviceText[];  // "This is a topmost device"

// Writes every property that was read into its field of `record`, in record
// order; fields whose read failed keep their text. The interface is copied.
void ReadDeviceInformation(const UpnpDeviceProperties& device,
                           DeviceInformationContainer& record);

// The two makers whose devices the search keeps, by their manufacturer name:
// AXIS when it holds "AXIS" anywhere, as written (so "Praxis" is not AXIS);
// Vivotek when it holds "Vivotek" anywhere in any case, since that maker's
// devices write it "VIVOTEK INC." as well as "Vivotek Corporation".
bool IsAxisMaker(std::string_view manufacturer_name);
bool IsVivotekMaker(std::string_view manufacturer_name);

// True for an AXIS or a Vivotek device.
bool IsWantedUpnpDevice(const DeviceInformationContainer& record);
