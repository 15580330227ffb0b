#include "report/text.h"

#include <charconv>
#include <cstdio>

#include "codec/section_lines.h"

namespace tovlek::report {
namespace {

// Length of the well-formed UTF-8 sequence at text[i], or 0 if there is
// none (overlong forms, surrogates and code points beyond U+10FFFF are not).
size_t utf8Length(std::string_view text, size_t i) {
  const auto byte = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
  const unsigned char lead = byte(i);
  size_t length = 0;
  unsigned char low = 0x80, high = 0xBF;  // the range of the second byte
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  }
  if (length == 0 || i + length > text.size()) return 0;
  if (byte(i + 1) < low || byte(i + 1) > high) return 0;
  for (size_t k = 2; k < length; ++k) {
    if ((byte(i + k) & 0xC0) != 0x80) return 0;
  }
  return length;
}

void appendLatin1(std::string& out, unsigned char byte) {
  if (byte < 0x80) {
    out += static_cast<char>(byte);
  } else {
    out += static_cast<char>(0xC0 | byte >> 6);
    out += static_cast<char>(0x80 | (byte & 0x3F));
  }
}

// Well-formed UTF-8 kept, every other byte taken as Latin-1.
std::string utf8OrLatin1(std::string_view label) {
  std::string utf8;
  for (size_t i = 0; i < label.size(); ++i) {
    if (const size_t length = utf8Length(label, i)) {
      utf8.append(label.substr(i, length));
      i += length - 1;
    } else {
      appendLatin1(utf8, static_cast<unsigned char>(label[i]));
    }
  }
  return utf8;
}

}  // namespace

// The text of the road's first Label= line, line end dropped; empty if none.
std::string_view labelOf(const store::Road& road) {
  const std::string_view lines(road.extraLines, road.extraLinesLength);
  for (size_t begin = 0; begin < lines.size();) {
    const size_t feed = lines.find('\n', begin);
    const size_t end = feed == std::string_view::npos ? lines.size() : feed + 1;
    std::string_view text = lines.substr(begin, end - begin);
    begin = end;
    const size_t start = text.find_first_not_of(" \t");
    if (start == std::string_view::npos || text.size() - start < 6) continue;
    std::string key(text.substr(start, 6));
    for (char& c : key) c = codec::asciiLower(c);
    if (key != "label=") continue;
    text.remove_prefix(start + 6);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.remove_suffix(1);
    return text;  // lines are in reading order: the first match is the first line
  }
  return {};
}

// 65001 is UTF-8, which labels without a code page are taken as anyway.
LabelDecoder::LabelDecoder(int32_t codePage) : decoder_(codePage == 65001 ? 0 : codePage) {}

std::string LabelDecoder::toUtf8(std::string_view label) {
  // A byte that the code page does not define is Latin-1.
  return decoder_.known() ? decoder_.decode(label, appendLatin1) : utf8OrLatin1(label);
}

void appendJsonString(std::string& out, std::string_view utf8, bool forScript) {
  out += '"';
  for (const char c : utf8) {
    const unsigned char byte = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (byte < 0x20 || byte == 0x7F || (forScript && c == '<')) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", byte);
      out += escaped;
    } else {
      out += c;
    }
  }
  out += '"';
}

void appendFixed(std::string& out, double value, int decimals) {
  // Room for the largest double with the few decimals a report asks for.
  char text[400];
  const std::to_chars_result written =
      std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, decimals);
  out.append(text, written.ptr);
}

void appendXmlText(std::string& out, std::string_view utf8) {
  for (size_t i = 0; i < utf8.size(); ++i) {
    const char c = utf8[i];
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      default:
        // U+FFFE and U+FFFF (EF BF BE, EF BF BF) are no XML characters either.
        if (utf8.substr(i, 2) == "\xEF\xBF" && i + 2 < utf8.size() &&
            (utf8[i + 2] == '\xBE' || utf8[i + 2] == '\xBF')) {
          out += '?';
          i += 2;
          break;
        }
        out +=
            static_cast<unsigned char>(c) < 0x20 && c != '\t' && c != '\n' && c != '\r' ? '?' : c;
    }
  }
}

}  // namespace tovlek::report
