#pragma once

#include <string>
#include <string_view>

// Text for an XML attribute value or element content: the five markup characters become
// "&quot;", "&amp;", "&apos;", "&lt;" and "&gt;". Code units that XML 1.0 does not allow (control
// characters other than tab, line feed and carriage return, U+FFFE, U+FFFF and unpaired
// surrogates) become U+FFFD, so that any name gives a well-formed file. Everything else is kept.
std::u16string XmlEscape(std::u16string_view text);
