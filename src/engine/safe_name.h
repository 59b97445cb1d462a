#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// The form in which a backup stores a file or folder name that Windows refuses, so that a
// backup made on any system can be copied to and read on Windows, and the way back.
//
// A stored form keeps the name readable: each refused character becomes its full-width
// counterpart ("Why?" -> "Why？", "AC:DC" -> "AC：DC"), a control character its control picture
// ("␉"), a final dot or space "．" or "␠", and the first letter of a device name its full-width
// form ("CON.txt" -> "ＣON.txt"). A character the form itself uses (the quote mark "‛", the
// full-width forms, the control pictures) is written behind "‛", as is any character that must
// differ only to keep two names apart, so decode() gives back exactly the name encoded.
namespace morrowdeck::SafeName {

// True when Windows refuses the name as a file or folder name: it holds one of
// : * ? " < > | \ or a control character, ends in a dot or a space, or is a device name (CON,
// PRN, AUX, NUL, COM0-9, LPT0-9, alone or followed by an extension).
bool isRefused(std::string_view name);

// The stored form of the name. The first `quoted` characters are written behind the quote
// mark (a refused one in its full-width form instead): that keeps two names apart that a
// file system ignoring case would take for one. Bytes that are not UTF-8 pass unchanged.
std::string encode(std::string_view name, std::size_t quoted = 0);

// The name a stored form was made from; for every name and count, decode(encode(n, q)) == n.
std::string decode(std::string_view stored);

}  // namespace morrowdeck::SafeName
