// What the simulator puts on the wire: answer datagrams of several packets
// (each encoded by EncodeAnswer, protocol/answer_codec.h), the relay's
// one-text answer, deliberate garbage; and the decoding of the requests it
// receives.
#pragma once

#include <netinet/in.h>

#include <cstddef>
#include <string>
#include <vector>

#include "protocol/unit_info.h"

// Largest UDP payload over IPv4.
constexpr std::size_t kMaxDatagram = 65507;

// The device information packet text (flag 01) of each device.
std::vector<std::string> DevicePacketTexts(const std::vector<tComUnitInfo>& devices);

// Answer datagrams: the devices' packets, then the `extra` packet texts, in
// groups of `per_datagram`, in order; a group whose encoding would exceed
// kMaxDatagram is split.
std::vector<std::string> EncodeAnswerDatagrams(const std::vector<tComUnitInfo>& devices,
                                               int per_datagram,
                                               const std::vector<std::string>& extra = {});

// The relay's answer: every device's packet, then the `extra` texts, in one
// encoded text.
std::string EncodeRelayAnswer(const std::vector<tComUnitInfo>& devices,
                              const std::vector<std::string>& extra = {});

// Datagrams that are no device information: text that is not Base64, an
// encoded text without the magic word, an encoded flag-99 packet, and an
// encoded answer whose packets are a non-packet, a flag-99 packet and a
// lower-case magic word.
std::vector<std::string> GarbageDatagrams();

// The plain text of a received request: Base64-decoded and complemented,
// up to its first zero byte (or the end of what decoded). *complete, when
// given, tells whether that zero byte was there (the whole text arrived).
std::string DecodeRequest(const char* data, std::size_t len, bool* complete = nullptr);

// The flag of a plain packet text "Zentravox,NN,...", or -1 when the text
// does not begin with the magic word, a comma and a number.
int RequestFlag(const std::string& plain);

// "a.b.c.d:port".
std::string AddressText(const sockaddr_in& addr);
