// The Network Setup dialog's rules, apart from any window: the address
// check of an edit the focus leaves, the gateway's subnet test, the network
// type and its keyword, the network edits' enabled state, the lookup of the
// records a grid row names, and "Apply": assembling the outgoing record and
// sending it as a control package (flag 03).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "netsetup/address_rules.h"
#include "netsetup/control_sender.h"
#include "protocol/debug_log.h"
#include "protocol/device_table.h"
#include "protocol/unit_info.h"

// The radio button that is checked, tested Static IP, then DHCP, then ZoNet.
enum class NetworkType { kNone, kStatic, kDhcp, kZonet };

// The dialog's edits, as texts (single-byte, as the record holds them).
enum class NetEdit { kModel, kProj, kName, kMac, kIp, kGateway, kNetmask, kDns, kDev, kPort };
constexpr int kNetEditCount = 10;

struct NetFormTexts {
  std::string text[kNetEditCount];
  std::string& operator[](NetEdit e) { return text[static_cast<int>(e)]; }
  const std::string& operator[](NetEdit e) const { return text[static_cast<int>(e)]; }
};

// A message box to show: text and caption; an empty text shows nothing.
struct Notice {
  std::string text;
  std::string caption;
  bool Empty() const { return text.empty(); }
};

class NetSetupRules {
 public:
  // `sender` and `log` must outlive the rules. The log receives the plain
  // packet text that the packet builder writes.
  NetSetupRules(ControlPackageSender& sender, DebugLog& log) : sender_(sender), log_(log) {}

  // The edit's label caption: "Model", "Project", "Name", "MAC",
  // "IP Address", "Gateway", "Netmask", "DNS", "Dev", "Port".
  static const char* Caption(NetEdit edit);
  // The record field an edit carries (index for UnitField/UnitFieldWidth).
  static int FieldOf(NetEdit edit);

  // A given address (GivenAddress): a strict dotted quad other than
  // 255.255.255.255. "10", "10.1", "010.0.0.1", "10.0.0.1 x" and the
  // empty text are not.
  static bool IsValidAddress(const std::string& text);
  // Its value (host byte order), with an invalid text counted as
  // 255.255.255.255.
  static std::uint32_t AddressOrAllOnes(const std::string& text);
  // True when (ip AND netmask) differs from (gateway AND netmask); never for
  // a gateway of 0.0.0.0, which is none.
  static bool GatewayOutsideSubnet(const std::string& ip, const std::string& netmask,
                                   const std::string& gateway);

  // The check when the focus leaves an address edit (IP Address, Gateway,
  // Netmask or DNS). An invalid text gives "Invalid %s - [%s]" / "Warning"
  // and `refocus` (the focus goes back to that edit); a valid Gateway outside
  // the subnet of IP Address and Netmask gives "Unresonable Gateway - [%s]" /
  // "Warning" without refocus; anything else gives no notice.
  struct ExitCheck {
    Notice notice;
    bool refocus = false;
  };
  static ExitCheck CheckAddressExit(NetEdit edit, const NetFormTexts& texts);

  static NetworkType ChooseNetworkType(bool static_checked, bool dhcp_checked,
                                       bool zonet_checked);
  // "static", "dhcp", "zonet"; "" for kNone.
  static const char* Keyword(NetworkType type);
  // Static IP: enabled; else DHCP: disabled; else ZoNet: enabled; else disabled.
  static bool NetworkEditsEnabled(bool static_checked, bool dhcp_checked,
                                  bool zonet_checked);

  // Fills `out` (zeroed first) from the texts and the keyword. A text longer
  // than its field (width less the terminating zero) is refused: false, with
  // `refused` naming the edit and `notice` "<caption> is too long - at most
  // <n> characters" / "Warning"; nothing is ever written past a field.
  static bool AssembleRecord(const NetFormTexts& texts, NetworkType type, tComUnitInfo* out,
                             Notice* notice, NetEdit* refused);

  // What "Apply" checks a static address against besides its texts: where
  // the device answered, this PC's addresses and the devices listed. Without
  // it only the rules of the texts themselves are checked (CheckStaticAddress
  // without an interface).
  void SetNeighbours(AddressNeighbours neighbours) { neighbours_ = std::move(neighbours); }

  // "Apply". No type: "Please specify the network type first." / "Warning",
  // nothing sent, the dialog stays open. A text too long: its notice, nothing
  // sent, the dialog stays open (`focus` names the edit). Static IP with an
  // address that is never handed out (CheckDeviceAddress), or a gateway or
  // DNS that is no given address (unless it is the device's own text, as
  // the record had it): "Invalid IP Address - [...]", "Invalid Netmask -
  // [...]", "Invalid Gateway - [...]" or "Invalid DNS - [...]", a line with
  // the reason, "Warning", nothing sent, the focus on that edit. DHCP and
  // ZoNet packages are not checked for their addresses. Otherwise builds the
  // flag-03 packet and hands it to the sender: "Control package sent.\nPlease
  // try to re-search the device after one minute." or "Failed to send the
  // control package." / "Note", and the dialog closes.
  struct ApplyResult {
    Notice notice;
    bool close = false;
    bool sent = false;
    bool has_focus = false;
    NetEdit focus = NetEdit::kIp;
    std::optional<AddressRefusal> refused;  // the address refused, if that was why
  };
  ApplyResult Apply(NetworkType type, const NetFormTexts& texts);

 private:
  ControlPackageSender& sender_;
  DebugLog& log_;
  std::optional<AddressNeighbours> neighbours_;
};

// The dialog's texts as "Network Setup" fills its edits from a record: Model,
// Project, Name, MAC, IP Address, Netmask, Gateway, DNS, Dev and Port, each
// the field's bytes as they stand.
NetFormTexts TextsOfRecord(const tComUnitInfo& info);


// The records that "Network Setup" opens the dialog for, copied in list
// order: every record whose ip and mac equal the "IP" (column 3) and "Mac"
// (column 6) cells of table.selected_row exactly. Empty when the selected row
// lies outside the grid's data rows, or is a row found by UPnP (IsUpnpRow). When `interfaces` is given it
// receives, in the same order, the interface each record's device was seen on.
std::vector<tComUnitInfo> NetworkSetupRecords(const DeviceTable& table,
                                              std::vector<std::string>* interfaces = nullptr);
