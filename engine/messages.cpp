#include "engine/messages.h"

#include <cstdarg>
#include <cstdio>
#include <vector>

const char* MessageText(int id) {
  switch (id) {
#define MESSAGE(name, id, text) \
  case id:                      \
    return text;
#include "engine/messages.def"
#undef MESSAGE
  }
  return "";
}

std::string FormatMessageText(int id, ...) {
  va_list args;
  va_start(args, id);
  va_list probe;
  va_copy(probe, args);
  const int length = std::vsnprintf(nullptr, 0, MessageText(id), probe);
  va_end(probe);
  std::string text;
  if (length > 0) {
    std::vector<char> buffer(static_cast<size_t>(length) + 1);
    std::vsnprintf(buffer.data(), buffer.size(), MessageText(id), args);
    text.assign(buffer.data(), static_cast<size_t>(length));
  }
  va_end(args);
  return text;
}
