// Network Setup rules: address checks, network type, record assembly, send.
#include "netsetup/net_setup_rules.h"

#include <cstring>
#include <vector>

#include "protocol/codec.h"
#include "protocol/ipv4_text.h"
#include "protocol/string_printf.h"

namespace {

struct EditInfo {
  const char* caption;
  int field;  // record field index, model = 0 ... note = 10
};

// In NetEdit order.
const EditInfo kEdits[kNetEditCount] = {
    {"Model", 0},   {"Project", 1},    {"Name", 2},    {"MAC", 8}, {"IP Address", 3},
    {"Gateway", 6}, {"Netmask", 5},    {"DNS", 7},     {"Dev", 9}, {"Port", 4},
};

// The order in which "Apply" copies the edits into the record.
const NetEdit kCopyOrder[] = {NetEdit::kModel, NetEdit::kProj,    NetEdit::kName,
                              NetEdit::kIp,    NetEdit::kPort,    NetEdit::kNetmask,
                              NetEdit::kGateway, NetEdit::kDns,   NetEdit::kMac,
                              NetEdit::kDev};

const int kNoteField = 10;

NetEdit EditOf(AddressField field) {
  switch (field) {
    case AddressField::kNetmask:
      return NetEdit::kNetmask;
    case AddressField::kGateway:
      return NetEdit::kGateway;
    case AddressField::kDns:
      return NetEdit::kDns;
    case AddressField::kIp:
      break;
  }
  return NetEdit::kIp;
}

}  // namespace

const char* NetSetupRules::Caption(NetEdit edit) { return kEdits[static_cast<int>(edit)].caption; }

int NetSetupRules::FieldOf(NetEdit edit) { return kEdits[static_cast<int>(edit)].field; }

bool NetSetupRules::IsValidAddress(const std::string& text) { return GivenAddress(text).has_value(); }

std::uint32_t NetSetupRules::AddressOrAllOnes(const std::string& text) {
  return GivenAddress(text).value_or(0xFFFFFFFFu);
}

bool NetSetupRules::GatewayOutsideSubnet(const std::string& ip, const std::string& netmask,
                                         const std::string& gateway) {
  if (IsNoAddress(gateway)) return false;
  std::uint32_t mask = AddressOrAllOnes(netmask);
  return (AddressOrAllOnes(ip) & mask) != (AddressOrAllOnes(gateway) & mask);
}

NetSetupRules::ExitCheck NetSetupRules::CheckAddressExit(NetEdit edit, const NetFormTexts& texts) {
  ExitCheck check;
  const std::string& text = texts[edit];
  if (!IsValidAddress(text)) {
    check.notice = {StringPrintf("Invalid %s - [%s]", Caption(edit), text.c_str()), "Warning"};
    check.refocus = true;
    return check;
  }
  if (edit == NetEdit::kGateway &&
      GatewayOutsideSubnet(texts[NetEdit::kIp], texts[NetEdit::kNetmask], text)) {
    check.notice = {StringPrintf("Unresonable Gateway - [%s]", text.c_str()), "Warning"};
  }
  return check;
}

NetworkType NetSetupRules::ChooseNetworkType(bool static_checked, bool dhcp_checked,
                                             bool zonet_checked) {
  if (static_checked) return NetworkType::kStatic;
  if (dhcp_checked) return NetworkType::kDhcp;
  if (zonet_checked) return NetworkType::kZonet;
  return NetworkType::kNone;
}

const char* NetSetupRules::Keyword(NetworkType type) {
  switch (type) {
    case NetworkType::kStatic:
      return "static";
    case NetworkType::kDhcp:
      return "dhcp";
    case NetworkType::kZonet:
      return "zonet";
    case NetworkType::kNone:
      break;
  }
  return "";
}

bool NetSetupRules::NetworkEditsEnabled(bool static_checked, bool dhcp_checked,
                                        bool zonet_checked) {
  if (static_checked) return true;
  if (dhcp_checked) return false;
  return zonet_checked;
}

bool NetSetupRules::AssembleRecord(const NetFormTexts& texts, NetworkType type,
                                   tComUnitInfo* out, Notice* notice, NetEdit* refused) {
  *out = tComUnitInfo{};
  for (NetEdit edit : kCopyOrder) {
    int field = FieldOf(edit);
    std::size_t limit = UnitFieldWidth(field) - 1;
    if (texts[edit].size() > limit) {
      *out = tComUnitInfo{};
      if (notice != nullptr)
        *notice = {StringPrintf("%s is too long - at most %zu characters", Caption(edit), limit),
                   "Warning"};
      if (refused != nullptr) *refused = edit;
      return false;
    }
    SetUnitField(UnitField(*out, field), UnitFieldWidth(field), texts[edit]);
  }
  SetUnitField(UnitField(*out, kNoteField), UnitFieldWidth(kNoteField), Keyword(type));
  return true;
}

NetSetupRules::ApplyResult NetSetupRules::Apply(NetworkType type, const NetFormTexts& texts) {
  ApplyResult result;
  if (type == NetworkType::kNone) {
    result.notice = {"Please specify the network type first.", "Warning"};
    return result;
  }
  tComUnitInfo info{};
  if (!AssembleRecord(texts, type, &info, &result.notice, &result.focus)) {
    result.has_focus = true;
    return result;
  }
  if (type == NetworkType::kStatic) {
    const StaticAddress address{texts[NetEdit::kIp], texts[NetEdit::kNetmask], texts[NetEdit::kGateway]};
    std::optional<AddressRefusal> refused =
        neighbours_ ? CheckDeviceAddress(address, *neighbours_) : CheckStaticAddress(address, "", {});
    // The gateway and the DNS server are given addresses too, unless they
    // are the device's own texts, which go back to it as they came.
    for (const auto& [edit, field] : {std::pair{NetEdit::kGateway, AddressField::kGateway},
                                      std::pair{NetEdit::kDns, AddressField::kDns}}) {
      if (refused) break;
      const std::string& text = texts[edit];
      if (neighbours_ && text == TextsOfRecord(neighbours_->device.record)[edit]) continue;
      refused = CheckGivenAddress(field, text);
    }
    if (refused) {
      result.notice = {refused->Message("\n"), "Warning"};
      result.has_focus = true;
      result.focus = EditOf(refused->field);
      result.refused = refused;
      return result;
    }
  }
  std::vector<char> packet(kPacketBufferSize, '\0');
  if (BuildPacket(3, packet.data(), packet.size(), &info, log_) == 0)
    result.sent = sender_.Send(packet.data()) == 0;
  result.notice = result.sent ? Notice{"Control package sent.\nPlease try to re-search the "
                                       "device after one minute.",
                                       "Note"}
                              : Notice{"Failed to send the control package.", "Note"};
  result.close = true;
  return result;
}

NetFormTexts TextsOfRecord(const tComUnitInfo& info) {
  NetFormTexts texts;
  for (int e = 0; e < kNetEditCount; ++e) {
    const int field = kEdits[e].field;
    texts.text[e] = std::string(UnitField(info, field), strnlen(UnitField(info, field), UnitFieldWidth(field)));
  }
  return texts;
}

std::vector<tComUnitInfo> NetworkSetupRecords(const DeviceTable& table,
                                              std::vector<std::string>* interfaces) {
  std::vector<tComUnitInfo> records;
  if (interfaces != nullptr) interfaces->clear();
  const int row = table.selected_row;
  // Only a data row of the grid names a device; cells past the last row may
  // still hold texts of an earlier search.
  if (!IsDataRow(table, row)) return records;
  // Devices found by UPnP cannot be re-addressed.
  if (IsUpnpRow(table, row)) return records;
  for (const tComUnitInfo* record : RecordsOfRow(table, row)) {
    records.push_back(*record);
    if (interfaces != nullptr) interfaces->push_back(table.devices.InterfaceOf(record));
  }
  return records;
}

