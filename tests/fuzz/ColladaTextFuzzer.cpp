// The COLLADA file's text pieces on arbitrary input: names and library ids through XmlEscape,
// texture paths through UriEscapeForXml, floats through AppendFixed. Each piece is spliced into a
// small document the way the writer splices it (an attribute and element content), parsed back by
// expat, and must give the text it stands for.
//
// Input: one byte of decimals (1 to 6), four bytes of float, then UTF-16 units (little-endian) of
// the text.

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <expat.h>

#include "platform/TextConversion.h"
#include "transport/NumberText.h"
#include "transport/UriEscape.h"
#include "transport/XmlEscape.h"

namespace {

struct Parsed {
  bool wellFormed = false;
  std::string attribute;
  std::string content;
};

void OnStart(void* user, const XML_Char*, const XML_Char** attributes) {
  auto* parsed = static_cast<Parsed*>(user);
  for (size_t index = 0; attributes[index]; index += 2) {
    if (std::strcmp(attributes[index], "name") == 0) parsed->attribute = attributes[index + 1];
  }
}

void OnText(void* user, const XML_Char* text, int length) {
  static_cast<Parsed*>(user)->content.append(text, static_cast<size_t>(length));
}

// `<node name="PIECE">PIECE</node>`, as the writer's text-mode file writes it (LF as CR LF).
Parsed ParseBack(const std::string& piece) {
  std::string document = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<node name=\"" + piece + "\">" + piece + "</node>\n";
  std::string written;
  for (const char byte : document) {
    if (byte == '\n') written += '\r';
    written += byte;
  }
  Parsed parsed;
  XML_Parser parser = XML_ParserCreate("UTF-8");
  XML_SetUserData(parser, &parsed);
  XML_SetElementHandler(parser, OnStart, nullptr);
  XML_SetCharacterDataHandler(parser, OnText);
  parsed.wellFormed = XML_Parse(parser, written.data(), static_cast<int>(written.size()), 1) == XML_STATUS_OK;
  XML_ParserFree(parser);
  return parsed;
}

// What a reader must see of `text`: units XML cannot carry replaced as XmlEscape documents it,
// line ends as XML reads them (CR LF and a lone CR become LF; in an attribute tab and LF become
// spaces).
std::u16string Carried(std::u16string_view text, bool inAttribute) {
  std::u16string carried;
  for (size_t index = 0; index < text.size(); ++index) {
    char16_t unit = text[index];
    const bool high = unit >= 0xD800 && unit <= 0xDBFF, low = unit >= 0xDC00 && unit <= 0xDFFF;
    if (high && index + 1 < text.size() && text[index + 1] >= 0xDC00 && text[index + 1] <= 0xDFFF) {
      carried += unit;
      carried += text[++index];
      continue;
    }
    if (high || low || unit == 0xFFFE || unit == 0xFFFF || (unit < 0x20 && unit != u'\t' && unit != u'\n' && unit != u'\r')) {
      unit = u'\uFFFD';
    } else if (unit == u'\r') {
      // The file writes each LF as CR LF, so a CR of the text is a line end of its own.
      unit = u'\n';
    }
    if (inAttribute && (unit == u'\t' || unit == u'\n')) unit = u' ';
    carried += unit;
  }
  return carried;
}

void Require(bool condition, const char* what) {
  if (condition) return;
  std::fprintf(stderr, "ColladaTextFuzzer: %s\n", what);
  std::abort();
}

void CheckName(std::u16string_view text) {
  const Parsed parsed = ParseBack(platform::Utf8FromUtf16(XmlEscape(text)));
  Require(parsed.wellFormed, "an escaped name is not well-formed XML");
  Require(parsed.attribute == platform::Utf8FromUtf16(Carried(text, true)), "an escaped name reads back changed in an attribute");
  Require(parsed.content == platform::Utf8FromUtf16(Carried(text, false)), "an escaped name reads back changed in content");
}

void CheckPath(std::u16string_view text) {
  const std::u16string uri = UriEscape(text);
  for (size_t index = 0; index < uri.size(); ++index) {
    const char16_t unit = uri[index];
    Require(unit > 0x20 && unit != u'"' && unit != u'<' && unit != u'>' && unit != u'#' && unit != u'?',
            "a URI escape kept a space, quote, angle bracket, '#' or '?'");
    if (unit != u'%') continue;
    const auto isLowerHex = [](char16_t digit) { return (digit >= u'0' && digit <= u'9') || (digit >= u'a' && digit <= u'f'); };
    Require(index + 2 < uri.size() && isLowerHex(uri[index + 1]) && isLowerHex(uri[index + 2]),
            "a '%' in a URI escape without two lower-case hex digits");
  }
  const Parsed parsed = ParseBack(UriEscapeForXml(text));
  Require(parsed.wellFormed, "an escaped path is not well-formed XML");
  const std::string expected = platform::Utf8FromUtf16(Carried(uri, false));
  Require(parsed.attribute == expected && parsed.content == expected, "an escaped path reads back changed");
}

void CheckNumber(float value, int decimals) {
  char text[kMaximumFixedTextSize + 1];
  char* end = AppendFixed(text, value, decimals);
  Require(end > text && end - text <= static_cast<std::ptrdiff_t>(kMaximumFixedTextSize), "number text of a bad length");
  *end = '\0';
  const Parsed parsed = ParseBack(text);
  Require(parsed.wellFormed && parsed.content == text, "number text is not plain XML text");
  if (!std::isfinite(value)) {
    Require(std::strcmp(text, std::isnan(value) ? "NaN" : value < 0 ? "-INF" : "INF") == 0, "non-finite number text");
    return;
  }
  char expected[400];
  std::snprintf(expected, sizeof(expected), "%.*f", decimals, static_cast<double>(value));
  Require(std::strcmp(text, expected) == 0, "number text differs from printf's");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 5) return 0;
  const int decimals = 1 + data[0] % 6;
  float value;
  std::memcpy(&value, data + 1, sizeof(value));
  CheckNumber(value, decimals);

  std::u16string text((size - 5) / 2, u'\0');
  for (size_t index = 0; index < text.size(); ++index) {
    text[index] = static_cast<char16_t>(data[5 + 2 * index] | data[6 + 2 * index] << 8);
  }
  CheckName(text);
  CheckPath(text);
  return 0;
}
