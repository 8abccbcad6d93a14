// winprobe: looks at and drives another program's windows the way a user would
// see and use them, for automated window tests.
//
//   winprobe wait TITLE [MS]          wait until a visible top-level window TITLE
//                                     exists (default 10000 ms); exit 1 if none
//   winprobe gone TITLE [MS]          wait until no visible window TITLE exists
//   winprobe dump TITLE               the window and all its descendants as JSON
//   winprobe click TITLE ID           click the button ID as the mouse would:
//                                     refused (exit 1) when it is disabled or
//                                     hidden; posted, so that a message box that
//                                     the click opens does not block the probe
//   winprobe command TITLE ID         send the command ID to the window, as a
//                                     button would (also for hidden buttons)
//   winprobe settext TITLE ID TEXT    replace the text of control ID
//   winprobe select TITLE ID INDEX    select a combo box entry
//   winprobe syscommand TITLE CMD     send a system command (decimal or 0x..)
//   winprobe key TITLE VK             press and release a key in the window's
//                                     focused control (decimal or 0x.. key code)
//
// TITLE is matched exactly against visible top-level windows. Exit status 0 on
// success, 1 when the window or control is not found, 2 for a usage error.

#include <windows.h>

#include <commctrl.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace {

using Json = nlohmann::ordered_json;

constexpr UINT kMessageTimeoutMs = 2000;
constexpr DWORD kPollMs = 50;

struct Search {
  std::string title;
  HWND found = nullptr;
};

BOOL CALLBACK MatchTitle(HWND window, LPARAM context) {
  auto* search = reinterpret_cast<Search*>(context);
  char title[512] = {};
  GetWindowTextA(window, title, sizeof(title));
  if (IsWindowVisible(window) && search->title == title) {
    search->found = window;
    return FALSE;
  }
  return TRUE;
}

HWND FindTopLevel(const std::string& title) {
  Search search{title};
  EnumWindows(MatchTitle, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

// Polls until the window's presence is `present`; false if the time is up first.
bool WaitFor(const std::string& title, DWORD timeoutMs, bool present) {
  const DWORD start = GetTickCount();
  while ((FindTopLevel(title) != nullptr) != present) {
    if (GetTickCount() - start >= timeoutMs) return false;
    Sleep(kPollMs);
  }
  return true;
}

LRESULT Send(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  DWORD_PTR result = 0;
  SendMessageTimeoutA(window, message, wParam, lParam, SMTO_ABORTIFHUNG, kMessageTimeoutMs,
                      &result);
  return static_cast<LRESULT>(result);
}

std::string TextOf(HWND window) {
  std::vector<char> text(static_cast<size_t>(Send(window, WM_GETTEXTLENGTH, 0, 0)) + 1, '\0');
  Send(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()));
  return text.data();
}

std::string ClassOf(HWND window) {
  char name[256] = {};
  GetClassNameA(window, name, sizeof(name));
  return name;
}

// A window's text as JSON takes it: its ANSI bytes read as Latin-1, which the
// dump writes as \u00NN escapes, the way the tests read the window's texts.
std::string Latin1AsUtf8(const std::string& text) {
  std::string utf8;
  for (const unsigned char c : text) {
    if (c < 0x80) {
      utf8 += static_cast<char>(c);
    } else {
      utf8 += static_cast<char>(0xC0 | c >> 6);
      utf8 += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return utf8;
}

Json RectJson(const RECT& rect) {
  return Json::array({rect.left, rect.top, rect.right, rect.bottom});
}

HWND FocusOf(HWND window) {
  GUITHREADINFO info = {};
  info.cbSize = sizeof(info);
  GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &info);
  return info.hwndFocus;
}

// One window's state as a JSON object, with what its kind of control adds.
Json Describe(HWND window, HWND focus) {
  RECT rect = {};
  GetWindowRect(window, &rect);
  const std::string className = ClassOf(window);
  Json json{{"id", GetDlgCtrlID(window)},
            {"class", Latin1AsUtf8(className)},
            {"text", Latin1AsUtf8(TextOf(window))},
            {"enabled", IsWindowEnabled(window) != FALSE},
            {"visible", IsWindowVisible(window) != FALSE},
            {"focused", window == focus},
            {"rect", RectJson(rect)},
            {"parent_id", GetDlgCtrlID(GetParent(window))}};
  if (className == PROGRESS_CLASSA) json["position"] = Send(window, PBM_GETPOS, 0, 0);
  if (className == "ComboBox") {
    json["selection"] = Send(window, CB_GETCURSEL, 0, 0);
    json["count"] = Send(window, CB_GETCOUNT, 0, 0);
  }
  return json;
}

struct Children {
  HWND focus;
  Json described = Json::array();
};

BOOL CALLBACK CollectChild(HWND window, LPARAM context) {
  auto* children = reinterpret_cast<Children*>(context);
  children->described.push_back(Describe(window, children->focus));
  return TRUE;
}

int Dump(HWND window) {
  Children children{FocusOf(window)};
  EnumChildWindows(window, CollectChild, reinterpret_cast<LPARAM>(&children));
  RECT rect = {};
  GetWindowRect(window, &rect);
  const Json json{{"title", Latin1AsUtf8(TextOf(window))},
                  {"rect", RectJson(rect)},
                  {"enabled", IsWindowEnabled(window) != FALSE},
                  {"iconic", IsIconic(window) != FALSE},
                  {"controls", children.described}};
  // ASCII only: every character beyond it as a \u escape.
  std::printf("%s\n", json.dump(-1, ' ', true).c_str());
  return 0;
}

HWND Control(HWND window, int id) {
  HWND control = GetDlgItem(window, id);
  if (!control) std::fprintf(stderr, "winprobe: no control %d\n", id);
  return control;
}

int Click(HWND window, int id) {
  HWND button = Control(window, id);
  if (!button) return 1;
  if (!IsWindowEnabled(button) || !IsWindowVisible(button)) {
    std::fprintf(stderr, "winprobe: control %d cannot be clicked\n", id);
    return 1;
  }
  PostMessageA(button, BM_CLICK, 0, 0);
  return 0;
}

int Command(HWND window, int id) {
  HWND button = Control(window, id);
  if (!button) return 1;
  PostMessageA(window, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(button));
  return 0;
}

int SetText(HWND window, int id, const std::string& text) {
  HWND control = Control(window, id);
  if (!control) return 1;
  Send(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
  return 0;
}

int Select(HWND window, int id, int index) {
  HWND combo = Control(window, id);
  if (!combo) return 1;
  Send(combo, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
  return 0;
}

int Key(HWND window, UINT key) {
  HWND focus = FocusOf(window);
  HWND target = focus ? focus : window;
  PostMessageA(target, WM_KEYDOWN, key, 1);
  PostMessageA(target, WM_KEYUP, key, 0xC0000001);
  return 0;
}

long Number(const char* text) {
  return std::strtol(text, nullptr, 0);
}

int Usage() {
  std::fprintf(stderr,
               "usage: winprobe wait|gone TITLE [MS] | dump TITLE | click|command TITLE ID |\n"
               "       settext TITLE ID TEXT | select TITLE ID INDEX |\n"
               "       syscommand TITLE CMD | key TITLE VK\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) return Usage();
  const std::string command = argv[1];
  const std::string title = argv[2];
  const DWORD timeoutMs = argc > 3 ? static_cast<DWORD>(Number(argv[3])) : 10000;
  if (command == "wait") return WaitFor(title, timeoutMs, true) ? 0 : 1;
  if (command == "gone") return WaitFor(title, timeoutMs, false) ? 0 : 1;

  HWND window = FindTopLevel(title);
  if (!window) {
    std::fprintf(stderr, "winprobe: no window \"%s\"\n", title.c_str());
    return 1;
  }
  if (command == "dump" && argc == 3) return Dump(window);
  if (command == "click" && argc == 4) return Click(window, static_cast<int>(Number(argv[3])));
  if (command == "command" && argc == 4) return Command(window, static_cast<int>(Number(argv[3])));
  if (command == "settext" && argc == 5) {
    return SetText(window, static_cast<int>(Number(argv[3])), argv[4]);
  }
  if (command == "select" && argc == 5) {
    return Select(window, static_cast<int>(Number(argv[3])), static_cast<int>(Number(argv[4])));
  }
  if (command == "syscommand" && argc == 4) {
    PostMessageA(window, WM_SYSCOMMAND, static_cast<WPARAM>(Number(argv[3])), 0);
    return 0;
  }
  if (command == "key" && argc == 4) return Key(window, static_cast<UINT>(Number(argv[3])));
  return Usage();
}
