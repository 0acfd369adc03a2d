// Texts of the UPnP device record and the manufacturer filter.
#include "upnp/device_information.h"

#include <algorithm>
#include <array>

const char kTopmostDeviceText[] = "This is a topmost device";

namespace {

std::string CountText(int count, const char* one, const char* many) {
  if (count <= 0) return std::string("No: Zero ") + many;
  if (count == 1) return std::string("Yes: One ") + one;
  return "Yes: " + std::to_string(count) + " " + many;
}

void Store(const std::optional<std::string>& value, std::string& field) {
  if (value) field = *value;
}

void StoreFlag(const std::optional<bool>& value, std::string& field) {
  if (value) field = *value ? "Yes" : "No";
}

void StoreRelative(const UpnpRelative& relative, std::string& field) {
  if (!relative.read_ok) return;
  if (!relative.present) {
    field = kTopmostDeviceText;
    return;
  }
  if (relative.friendly_name) field = *relative.friendly_name;
}

}  // namespace

std::string ChildrenText(int count) { return CountText(count, "child", "children"); }
std::string ServicesText(int count) { return CountText(count, "service", "services"); }

const std::string& DeviceInformationField(const DeviceInformationContainer& d, int i) {
  const std::array<const std::string*, kDeviceInformationFieldCount> fields = {
      &d.children,         &d.description,      &d.friendly_name, &d.has_children,
      &d.icon_url,         &d.is_root_device,   &d.manufacturer_name,
      &d.manufacturer_url, &d.model_name,       &d.model_number,  &d.model_url,
      &d.parent_device,    &d.presentation_url, &d.root_device,   &d.serial_number,
      &d.services,         &d.type,             &d.unique_device_name, &d.upc};
  return *fields.at(static_cast<std::size_t>(i));
}

void ReadDeviceInformation(const UpnpDeviceProperties& device,
                           DeviceInformationContainer& record) {
  if (device.children) record.children = ChildrenText(*device.children);
  Store(device.description, record.description);
  Store(device.friendly_name, record.friendly_name);
  StoreFlag(device.has_children, record.has_children);
  Store(device.icon_url, record.icon_url);
  StoreFlag(device.is_root_device, record.is_root_device);
  Store(device.manufacturer_name, record.manufacturer_name);
  Store(device.manufacturer_url, record.manufacturer_url);
  Store(device.model_name, record.model_name);
  Store(device.model_number, record.model_number);
  Store(device.model_url, record.model_url);
  StoreRelative(device.parent_device, record.parent_device);
  Store(device.presentation_url, record.presentation_url);
  StoreRelative(device.root_device, record.root_device);
  Store(device.serial_number, record.serial_number);
  if (device.services) record.services = ServicesText(*device.services);
  Store(device.type, record.type);
  Store(device.unique_device_name, record.unique_device_name);
  Store(device.upc, record.upc);
  record.interface = device.interface;
  record.description_address = device.description_address;
}

bool IsAxisMaker(std::string_view manufacturer_name) {
  return manufacturer_name.find("AXIS") != std::string_view::npos;
}

bool IsVivotekMaker(std::string_view manufacturer_name) {
  constexpr std::string_view kVivotek = "vivotek";
  auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
  return std::search(manufacturer_name.begin(), manufacturer_name.end(), kVivotek.begin(),
                     kVivotek.end(), [&](char a, char b) { return lower(a) == b; }) !=
         manufacturer_name.end();
}

bool IsWantedUpnpDevice(const DeviceInformationContainer& record) {
  return IsAxisMaker(record.manufacturer_name) || IsVivotekMaker(record.manufacturer_name);
}
