#include "ui/shell_open_win.h"
// The shell headers need windows.h first.
// clang-format off
#include <windows.h>
#include <exdisp.h>
#include <shellapi.h>
#include <shldisp.h>
#include <shlguid.h>
#include <shlobj.h>
#include <servprov.h>
// clang-format on

#include "base/com_ref_win.h"
#include "base/debug_output.h"

namespace {

// A BSTR or VT_I4 VARIANT for IShellDispatch2::ShellExecute.
struct Variant {
  VARIANT v;
  Variant() { VariantInit(&v); }
  explicit Variant(const wchar_t* text) {
    VariantInit(&v);
    v.vt = VT_BSTR;
    v.bstrVal = SysAllocString(text);
  }
  explicit Variant(long n) {
    VariantInit(&v);
    v.vt = VT_I4;
    v.lVal = n;
  }
  ~Variant() { VariantClear(&v); }
  Variant(const Variant&) = delete;
  Variant& operator=(const Variant&) = delete;
};

// The desktop's shell dispatch object: ShellWindows finds the desktop's
// window, whose browser's active view yields the folder view's automation
// object, whose Application is the shell of the desktop's process.
HRESULT DesktopShell(ComRef<IShellDispatch2>& shell) {
  ComRef<IShellWindows> windows;
  HRESULT hr = CoCreateInstance(CLSID_ShellWindows, nullptr, CLSCTX_LOCAL_SERVER, IID_IShellWindows,
                                windows.put_void());
  if (FAILED(hr)) return hr;
  Variant location(static_cast<long>(CSIDL_DESKTOP)), root;
  long hwnd = 0;
  ComRef<IDispatch> desktop;
  hr = windows->FindWindowSW(&location.v, &root.v, SWC_DESKTOP, &hwnd, SWFO_NEEDDISPATCH,
                             reinterpret_cast<IDispatch**>(desktop.put_void()));
  if (hr != S_OK) return FAILED(hr) ? hr : E_FAIL;  // S_FALSE: no desktop window
  if (!desktop) return E_FAIL;
  ComRef<IServiceProvider> services;
  if (FAILED(hr = desktop->QueryInterface(IID_IServiceProvider, services.put_void()))) return hr;
  ComRef<IShellBrowser> browser;
  if (FAILED(hr = services->QueryService(SID_STopLevelBrowser, IID_IShellBrowser, browser.put_void()))) return hr;
  ComRef<IShellView> view;
  if (FAILED(hr = browser->QueryActiveShellView(reinterpret_cast<IShellView**>(view.put_void())))) return hr;
  if (!view) return E_FAIL;
  ComRef<IDispatch> background;
  if (FAILED(hr = view->GetItemObject(SVGIO_BACKGROUND, IID_IDispatch, background.put_void()))) return hr;
  ComRef<IShellFolderViewDual> folderView;
  if (FAILED(hr = background->QueryInterface(IID_IShellFolderViewDual, folderView.put_void()))) return hr;
  ComRef<IDispatch> application;
  if (FAILED(hr = folderView->get_Application(reinterpret_cast<IDispatch**>(application.put_void())))) return hr;
  if (!application) return E_FAIL;
  return application->QueryInterface(IID_IShellDispatch2, shell.put_void());
}

}  // namespace

ShellOpenRoute OpenAsDesktopUser(const std::wstring& target) {
  ComRef<IShellDispatch2> shell;
  HRESULT hr = DesktopShell(shell);
  if (SUCCEEDED(hr)) {
    BSTR file = SysAllocString(target.c_str());
    Variant arguments, folder, verb(L"open"), show(static_cast<long>(SW_SHOWNORMAL));
    hr = shell->ShellExecute(file, arguments.v, folder.v, verb.v, show.v);
    SysFreeString(file);
    if (SUCCEEDED(hr)) {
      DebugOut("link opened by the desktop's shell");
      return ShellOpenRoute::kDesktopShell;
    }
  }
  // Without a desktop shell (a session without explorer) nobody else can
  // open it: this process does.
  char code[16];
  wsprintfA(code, "0x%08lX", static_cast<unsigned long>(hr));
  const bool opened = reinterpret_cast<INT_PTR>(ShellExecuteW(nullptr, L"open", target.c_str(), nullptr, nullptr,
                                                              SW_SHOWNORMAL)) > 32;
  DebugOut(std::string(opened ? "link opened by this process" : "link could not be opened") +
           " (no desktop shell: " + code + ")");
  return opened ? ShellOpenRoute::kThisProcess : ShellOpenRoute::kFailed;
}
