// The character sets of a text Stream: "Unicode" (UTF-16LE, the default),
// "utf-8", "us-ascii", "iso-8859-1" and "windows-1252", each with its byte
// order mark where it has one. Encoding turns unmappable characters into
// '?'; decoding reads at most a given number of characters. Pure functions;
// any thread.
#pragma once
#include <cstddef>
#include <string>
#include <string_view>

#include "platform/automation/ustring.h"

namespace tarnel::adodb {

enum class Charset { Unicode, Utf8, Ascii, Latin1, Windows1252 };

// The character set a Charset name denotes (case-insensitive); false for
// names this implementation does not know.
bool CharsetFromName(UStringView name, Charset& out);

// The byte order mark written before the first text ("" for none).
std::string_view ByteOrderMark(Charset charset);

std::string EncodeText(UStringView text, Charset charset);

// Decodes characters from `bytes` starting at `offset`: at most
// `maxChars` (all when negative). Returns the text and sets `consumed` to
// the bytes read.
UString DecodeText(std::string_view bytes, std::size_t offset, long long maxChars, Charset charset,
                   std::size_t& consumed);

}  // namespace tarnel::adodb
