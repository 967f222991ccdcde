#pragma once

#include <string>
#include <string_view>

// A path or name as a URI reference: letters and digits of any script and the characters
// ! ' ; & = + $ , : / \ . - _ ~ [ ] ( ) @ stay; every other UTF-16 unit becomes its UTF-8 bytes as
// "%xx" (lower-case hex), one to three bytes by the unit's value, so that each half of a surrogate
// pair is escaped on its own. The classification of letters does not depend on the process locale.
std::u16string UriEscape(std::u16string_view text);
// UriEscape, then XmlEscape (the URI escape keeps '&', which XML content must not hold bare), as
// UTF-8 ready to splice into the file.
std::string UriEscapeForXml(std::u16string_view text);
