// The launcher on Windows: the modal dialog of resource 102 (win32_resources.rc). The viewer
// picks the display mode with the radio buttons, ticks "No Sound" and "Loop Demo", and presses
// "Run Demo"; Escape or the close box cancel.
#include <windows.h>

#include <vector>

#include "platform/launcher.h"
#include "platform/log.h"
#include "platform/win32_common.h"
#include "platform/win32_resource.h"

namespace {

constexpr UINT_PTR kCloseTimer = 1;

struct DialogState {
  LauncherModel model;
  const LauncherArt* art = nullptr;
  uint32_t closeAfterMs = 0;
  HICON bigIcon = nullptr;
  HICON smallIcon = nullptr;
  HBITMAP madePicture = nullptr;  // only when the program carries no picture resource
};

HWND FindPictureControl(HWND dialog) {
  for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    char className[16] = {};
    GetClassNameA(child, className, sizeof className);
    const LONG_PTR style = GetWindowLongPtrA(child, GWL_STYLE);
    if (lstrcmpiA(className, "Static") == 0 && (style & SS_TYPEMASK) == SS_BITMAP) return child;
  }
  return nullptr;
}

// A top-down 32-bit DIB of RGBA rows, for when the picture resource is missing.
HBITMAP MakeBitmap(const uint8_t* rgba, int width, int height) {
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (!bitmap || !bits) return bitmap;
  auto* out = static_cast<uint8_t*>(bits);
  for (size_t i = 0, n = static_cast<size_t>(width) * static_cast<size_t>(height); i < n; ++i) {
    out[i * 4 + 0] = rgba[i * 4 + 2];
    out[i * 4 + 1] = rgba[i * 4 + 1];
    out[i * 4 + 2] = rgba[i * 4 + 0];
    out[i * 4 + 3] = 0;
  }
  return bitmap;
}

void EnsurePicture(HWND dialog, DialogState* state) {
  HWND picture = FindPictureControl(dialog);
  if (!picture || SendMessageA(picture, STM_GETIMAGE, IMAGE_BITMAP, 0) != 0) return;
  Log("launcher: no picture resource, drawing the picture given");
  const LauncherArt* art = state->art;
  std::vector<uint8_t> placeholder;
  const uint8_t* rgba = nullptr;
  int width = kLauncherArtWidth, height = kLauncherArtHeight;
  if (art && art->rgba && art->width > 0 && art->height > 0 && art->width <= 4096 && art->height <= 4096) {
    rgba = art->rgba;
    width = art->width;
    height = art->height;
  } else {
    placeholder = MakePlaceholderArt(width, height);
    rgba = placeholder.data();
  }
  state->madePicture = MakeBitmap(rgba, width, height);
  if (state->madePicture) {
    SendMessageA(picture, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(state->madePicture));
  }
}

INT_PTR CALLBACK DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* state = reinterpret_cast<DialogState*>(GetWindowLongPtrA(dialog, DWLP_USER));
  switch (message) {
    case WM_INITDIALOG: {
      state = reinterpret_cast<DialogState*>(lParam);
      SetWindowLongPtrA(dialog, DWLP_USER, lParam);
      state->bigIcon = ProgramIcon(GetSystemMetrics(SM_CXICON));
      state->smallIcon = ProgramIcon(GetSystemMetrics(SM_CXSMICON));
      SendMessageA(dialog, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(state->bigIcon));
      SendMessageA(dialog, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(state->smallIcon));
      CheckRadioButton(dialog, IDC_MODE_640_FULLSCREEN, IDC_MODE_1024_FULLSCREEN, IDC_MODE_640_FULLSCREEN);
      EnsurePicture(dialog, state);
      if (state->closeAfterMs > 0) SetTimer(dialog, kCloseTimer, state->closeAfterMs, nullptr);
      SetForegroundWindow(dialog);
      return TRUE;  // the default button gets the focus
    }
    case WM_COMMAND: {
      if (!state) return FALSE;
      const int id = LOWORD(wParam);
      switch (id) {
        case IDC_MODE_640_FULLSCREEN:
        case IDC_MODE_WINDOW:
        case IDC_MODE_800_FULLSCREEN:
        case IDC_MODE_1024_FULLSCREEN:
          if (HIWORD(wParam) == BN_CLICKED) {
            state->model.SelectRow(LauncherModel::RowOfMode(id - IDC_MODE_640_FULLSCREEN));
          }
          return TRUE;
        case IDOK:
          state->model.RunDemo(IsDlgButtonChecked(dialog, IDC_NO_SOUND) == BST_CHECKED,
                               IsDlgButtonChecked(dialog, IDC_LOOP_DEMO) == BST_CHECKED);
          EndDialog(dialog, IDOK);
          return TRUE;
        case IDCANCEL:  // Escape, and the close box through WM_CLOSE
          state->model.Cancel();
          EndDialog(dialog, IDCANCEL);
          return TRUE;
        default:
          return FALSE;
      }
    }
    case WM_CLOSE:
      if (state) state->model.Cancel();
      EndDialog(dialog, IDCANCEL);
      return TRUE;
    case WM_TIMER:
      if (wParam == kCloseTimer) {
        KillTimer(dialog, kCloseTimer);
        if (state) state->model.Cancel();
        EndDialog(dialog, IDCANCEL);
        return TRUE;
      }
      return FALSE;
    case WM_PAINT:
      // Minimised, the dialog shows its icon in the middle of the client area.
      if (state && IsIconic(dialog)) {
        PAINTSTRUCT paint;
        HDC dc = BeginPaint(dialog, &paint);
        SendMessageA(dialog, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
        RECT client;
        GetClientRect(dialog, &client);
        const int cx = GetSystemMetrics(SM_CXICON), cy = GetSystemMetrics(SM_CYICON);
        DrawIcon(dc, (client.right - client.left - cx + 1) / 2, (client.bottom - client.top - cy + 1) / 2,
                 state->bigIcon);
        EndPaint(dialog, &paint);
        return TRUE;
      }
      return FALSE;
    case WM_QUERYDRAGICON:
      return state ? reinterpret_cast<INT_PTR>(state->bigIcon) : 0;
    default:
      return FALSE;
  }
}

}  // namespace

bool RunLauncher(LauncherChoice* choice, const LauncherArt* art, std::string* why, uint32_t closeAfterMs) {
  if (why) why->clear();
  DialogState state;
  state.art = art;
  state.closeAfterMs = closeAfterMs;
  const INT_PTR result = DialogBoxParamA(ProgramInstance(), MAKEINTRESOURCEA(IDD_LAUNCHER), nullptr,
                                         &DialogProc, reinterpret_cast<LPARAM>(&state));
  if (state.madePicture) DeleteObject(state.madePicture);
  if (result == -1 || result == 0) {
    // 0: no parent window could be used; -1: the template is missing or broken.
    const DWORD code = GetLastError();
    Log("launcher: the dialog could not be shown (error %lu)", code);
    if (why) *why = "Can't open the launcher dialog (error " + std::to_string(code) + ")";
    return false;
  }
  if (state.model.outcome() != LauncherModel::Outcome::kRun) return false;
  if (choice) *choice = state.model.choice();
  return true;
}
