#include "xsvf/xsvf_text_form.h"

#include <cstdio>

#include "xsvf/xsvf_interpreter.h"

namespace upd {

namespace {

const char* const kOperandLayouts[kXsvfCommandCount] = {
    "",    // XCOMPLETE
    "v",   // XTDOMASK
    "1v",  // XSIR
    "v",   // XSDR
    "4",   // XRUNTEST
    "",    // Reserved5
    "",    // Reserved6
    "1",   // XREPEAT
    "4",   // XSDRSIZE
    "vv",  // XSDRTDO
    "vv",  // XSETSDRMASKS
    "vp",  // XSDRINC
    "v",   // XSDRB
    "v",   // XSDRC
    "v",   // XSDRE
    "vv",  // XSDRTDOB
    "vv",  // XSDRTDOC
    "vv",  // XSDRTDOE
    "s",   // XSTATE
    "1",   // XENDIR
    "1",   // XENDDR
    "2v",  // XSIR2
    "t",   // XCOMMENT
    "ss4", // XWAIT
};

}  // namespace

const char* XsvfOperandLayout(int code) {
  return kOperandLayouts[code];
}

std::string QuotedXsvfText(const uint8_t* bytes, size_t count) {
  std::string text = "\"";
  for (size_t i = 0; i < count; ++i) {
    const uint8_t c = bytes[i];
    if (c == '\\' || c == '"') {
      text += '\\';
      text += static_cast<char>(c);
    } else if (c == '\n') {
      text += "\\n";
    } else if (c == '\r') {
      text += "\\r";
    } else if (c == '\t') {
      text += "\\t";
    } else if (c < 0x20 || c > 0x7E) {
      char escape[5];
      std::snprintf(escape, sizeof escape, "\\x%02x", c);
      text += escape;
    } else {
      text += static_cast<char>(c);
    }
  }
  return text + "\"";
}

}  // namespace upd
