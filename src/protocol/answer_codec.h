// Answers on the wire: the transport encoding of packet texts as devices and
// relays send them (each text with its terminating zero, all complemented
// byte by byte, then Base64) and its inverse, as the exchanges read them.
// Built on the codec's Base64 and complement (codec.h).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

// The wire form of `texts`: each followed by its zero byte, complemented,
// then Base64-encoded as one text (without a terminating zero of its own).
std::string EncodeAnswer(const std::vector<std::string>& texts);

// Undoes the transport encoding of one received answer of exactly `len`
// bytes (no terminating zero is needed or read): Base64-decodes it into
// `out`, complements the decoded bytes and zero-fills `out` from there up to
// `*dirty`, the end of what an earlier call wrote (0 for a fresh zeroed
// buffer), so that `out` reads as zero-filled beyond the answer. Updates
// `*dirty`. Result: the number of decoded bytes.
std::size_t DecodeAnswer(const char* received, std::size_t len, unsigned char* out,
                         std::size_t out_size, std::size_t* dirty);

// The texts of a wire form (an answer, a request or a control package), in
// order: decoded as DecodeAnswer does and split at the zero bytes. A last
// text that has no zero (the answer was cut) is given as it is.
std::vector<std::string> DecodeAnswerTexts(std::string_view wire);
