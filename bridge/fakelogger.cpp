// orvane-fake-logger: a Win32 stand-in for the logger, for tests and demonstrations under
// Wine. A QSO-entry window laid out as the logger's (window classes and child order as the
// logger has them), the logger's registry key pointing at its folder, and commands on
// standard input, one a line, each answered "ok" or "error: <why>" once applied:
//
//   call TEXT | locator TEXT | azimuth TEXT    the field's text (TEXT may be empty)
//   repair on|off                              show or hide the repair progress window
//   hang SECONDS                               stop answering window messages that long
//   quit                                       close the QSO-entry window and end
//
//   orvane-fake-logger [--install-path C:\Tovrin_Log3\]
// It prints "ready" once its windows and key are in place.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <thread>

#include "bridge/win32host.h"

namespace {

constexpr UINT WM_COMMAND_LINE = WM_APP + 1;  // lParam: a std::string* the window deletes

HINSTANCE Instance = nullptr;
HWND QsoWindow = nullptr;
HWND ProgressWindow = nullptr;
HWND Callsign = nullptr;
HWND Azimuth = nullptr;
HWND Locator = nullptr;

void Answer(const char* Text) {
  std::fputs(Text, stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

// The logger's edit controls are its own classes; here they are edit windows under those
// names, so that class lookups see what they see in the logger.
WNDPROC EditProc = nullptr;
LRESULT CALLBACK EditLike(HWND Window, UINT Message, WPARAM W, LPARAM L) {
  return CallWindowProcW(EditProc, Window, Message, W, L);
}

bool RegisterEditClass(const wchar_t* Name) {
  WNDCLASSEXW Edit{};
  Edit.cbSize = sizeof Edit;
  if (!GetClassInfoExW(nullptr, L"EDIT", &Edit)) return false;
  EditProc = Edit.lpfnWndProc;
  Edit.lpfnWndProc = EditLike;
  Edit.hInstance = Instance;
  Edit.lpszClassName = Name;
  return RegisterClassExW(&Edit) != 0;
}

bool RegisterPlainClass(const wchar_t* Name, WNDPROC Procedure) {
  WNDCLASSEXW Class{};
  Class.cbSize = sizeof Class;
  Class.lpfnWndProc = Procedure;
  Class.hInstance = Instance;
  Class.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
  Class.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  Class.lpszClassName = Name;
  return RegisterClassExW(&Class) != 0;
}

HWND Child(const wchar_t* Class, HWND Parent, int X, int Y, int Width, int Height,
           DWORD Style = 0) {
  return CreateWindowExW(0, Class, L"", WS_CHILD | WS_VISIBLE | Style, X, Y, Width, Height, Parent,
                         nullptr, Instance, nullptr);
}

// Panels as the logger nests them: the fields sit in the third panel inside the second
// panel of the window (the place the logger's usual layout has them).
void BuildFields(HWND Window) {
  const HWND Top = Child(L"TPanel", Window, 0, 0, 480, 40);
  const HWND Main = Child(L"TPanel", Window, 0, 40, 480, 200);
  (void)Top;
  Child(L"TPanel", Main, 0, 0, 480, 40);
  Child(L"TPanel", Main, 0, 40, 480, 40);
  const HWND Fields = Child(L"TPanel", Main, 0, 80, 480, 120);
  Azimuth = Child(L"TEdit", Fields, 10, 10, 100, 22, WS_BORDER);
  Callsign = Child(L"TdxButtonEdit", Fields, 120, 10, 150, 22, WS_BORDER);
  for (int i = 0; i < 6; ++i) {
    const HWND Edit = Child(L"TdxEdit", Fields, 10 + 76 * i, 50, 70, 22, WS_BORDER);
    if (i == 5) Locator = Edit;
  }
}

void ShowProgress(bool On) {
  if (On && !ProgressWindow) {
    ProgressWindow = CreateWindowExW(0, L"TfmProgress", L"Repair database",
                                     WS_OVERLAPPED | WS_CAPTION | WS_VISIBLE, 760, 420, 320, 100,
                                     nullptr, nullptr, Instance, nullptr);
  } else if (!On && ProgressWindow) {
    DestroyWindow(ProgressWindow);
    ProgressWindow = nullptr;
  }
}

void Apply(const std::string& Line) {
  const std::size_t Blank = Line.find(' ');
  const std::string Verb = Line.substr(0, Blank);
  const std::string Rest = Blank == std::string::npos ? std::string() : Line.substr(Blank + 1);
  auto Put = [&](HWND Field) {
    SetWindowTextW(Field, bridge::Wide(Rest).c_str());
    Answer("ok");
  };
  if (Verb == "call") return Put(Callsign);
  if (Verb == "locator") return Put(Locator);
  if (Verb == "azimuth") return Put(Azimuth);
  if (Verb == "repair" && (Rest == "on" || Rest == "off")) {
    ShowProgress(Rest == "on");
    return Answer("ok");
  }
  if (Verb == "hang") {
    char* End = nullptr;
    const double Seconds = std::strtod(Rest.c_str(), &End);
    if (Rest.empty() || *End != '\0' || !(Seconds >= 0 && Seconds <= 600))
      return Answer("error: hang takes seconds from 0 to 600");
    Answer("ok");
    // The window's thread does nothing else meanwhile: messages to its windows wait.
    Sleep(static_cast<DWORD>(Seconds * 1000));
    return;
  }
  if (Verb == "quit" && Rest.empty()) {
    Answer("ok");
    DestroyWindow(QsoWindow);
    return;
  }
  Answer(("error: unknown command '" + Verb + "'").c_str());
}

LRESULT CALLBACK QsoProc(HWND Window, UINT Message, WPARAM W, LPARAM L) {
  switch (Message) {
    case WM_COMMAND_LINE: {
      const std::unique_ptr<std::string> Line(reinterpret_cast<std::string*>(L));
      Apply(*Line);
      return 0;
    }
    case WM_DESTROY:
      ShowProgress(false);
      PostQuitMessage(0);
      return 0;
    default:
      return DefWindowProcW(Window, Message, W, L);
  }
}

// Commands arrive on a thread of their own, so that the window's thread only ever waits
// for messages (or hangs on command).
void ReadCommands(HWND Window) {
  std::string Line;
  for (;;) {
    const int c = std::fgetc(stdin);
    if (c == EOF) break;
    if (c != '\n') {
      // Commands are short; a longer line is cut rather than held without bound.
      if (Line.size() < 4096) Line += static_cast<char>(c);
      continue;
    }
    if (!Line.empty() && Line.back() == '\r') Line.pop_back();
    auto* Posted = new std::string(std::move(Line));
    if (!PostMessageW(Window, WM_COMMAND_LINE, 0, reinterpret_cast<LPARAM>(Posted))) {
      delete Posted;
      break;
    }
    Line.clear();
  }
}

bool WriteInstallPath(const std::wstring& Path) {
  HKEY Key = nullptr;
  if (RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Tovrin_Log3", 0, nullptr, 0, KEY_WRITE,
                      nullptr, &Key, nullptr) != ERROR_SUCCESS)
    return false;
  const auto Bytes = static_cast<DWORD>((Path.size() + 1) * sizeof(wchar_t));
  const bool Ok =
      RegSetValueExW(Key, L"InstallPath", 0, REG_SZ, reinterpret_cast<const BYTE*>(Path.c_str()),
                     Bytes) == ERROR_SUCCESS;
  RegCloseKey(Key);
  return Ok;
}

}  // namespace

int main(int argc, char** argv) {
  std::wstring InstallPath = L"C:\\Tovrin_Log3\\";
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--install-path") == 0 && i + 1 < argc) {
      InstallPath = bridge::Wide(argv[++i]);
    } else {
      std::fprintf(stderr, "orvane-fake-logger: usage: orvane-fake-logger [--install-path PATH]\n");
      return 2;
    }
  }
  Instance = GetModuleHandleW(nullptr);
  if (!RegisterPlainClass(L"TfmEditNewQso", QsoProc) ||
      !RegisterPlainClass(L"TfmProgress", DefWindowProcW) ||
      !RegisterPlainClass(L"TPanel", DefWindowProcW) || !RegisterEditClass(L"TEdit") ||
      !RegisterEditClass(L"TdxButtonEdit") || !RegisterEditClass(L"TdxEdit")) {
    std::fprintf(stderr, "orvane-fake-logger: cannot register the window classes\n");
    return 1;
  }
  QsoWindow = CreateWindowExW(0, L"TfmEditNewQso", L"QSO entry", WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                              680, 100, 500, 290, nullptr, nullptr, Instance, nullptr);
  if (!QsoWindow) {
    std::fprintf(stderr, "orvane-fake-logger: cannot create the QSO-entry window\n");
    return 1;
  }
  BuildFields(QsoWindow);
  if (!WriteInstallPath(InstallPath)) {
    std::fprintf(stderr, "orvane-fake-logger: cannot write the registry key\n");
    return 1;
  }
  Answer("ready");

  std::thread Reader(ReadCommands, QsoWindow);
  Reader.detach();  // blocked in a read of standard input; ends with the process

  MSG Message;
  while (GetMessageW(&Message, nullptr, 0, 0) > 0) {
    TranslateMessage(&Message);
    DispatchMessageW(&Message);
  }
  return 0;
}
