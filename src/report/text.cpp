#include "report/text.h"

#include <cerrno>
#include <charconv>
#include <cstdio>

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

// Through the decoder; a byte that the code page does not define is Latin-1.
std::string decode(iconv_t decoder, std::string_view label) {
  std::string utf8;
  iconv(decoder, nullptr, nullptr, nullptr, nullptr);
  char* in = const_cast<char*>(label.data());
  size_t inLeft = label.size();
  while (inLeft > 0) {
    char buffer[256];
    char* out = buffer;
    size_t outLeft = sizeof buffer;
    const size_t done = iconv(decoder, &in, &inLeft, &out, &outLeft);
    utf8.append(buffer, static_cast<size_t>(out - buffer));
    if (done != static_cast<size_t>(-1) || errno == E2BIG) continue;
    appendLatin1(utf8, static_cast<unsigned char>(*in++));
    --inLeft;
    iconv(decoder, nullptr, nullptr, nullptr, nullptr);
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
    for (char& c : key) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
    if (key != "label=") continue;
    text.remove_prefix(start + 6);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.remove_suffix(1);
    return text;  // lines are in reading order: the first match is the first line
  }
  return {};
}

std::string labelAsUtf8(std::string_view label, iconv_t decoder) {
  if (decoder != reinterpret_cast<iconv_t>(-1)) return decode(decoder, label);
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
  for (const char c : utf8) {
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
        out +=
            static_cast<unsigned char>(c) < 0x20 && c != '\t' && c != '\n' && c != '\r' ? '?' : c;
    }
  }
}

}  // namespace tovlek::report
