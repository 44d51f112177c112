// A plain native window with the controls of the three wizard pages. It hosts
// the install run until the skinned main window takes its place, and
// implements InstallView with ordinary Win32 controls. Main thread only.
#pragma once
#include <windows.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "app/launch_options.h"
#include "install/install_run.h"

class PlainWindow : public InstallView {
 public:
  explicit PlainWindow(const LaunchOptions& options, std::unique_ptr<ChannelController> channel);
  ~PlainWindow() override;

  // Creates the native window (hidden) with the given caption; false on failure.
  bool Create(const std::wstring& caption);
  HWND hwnd() const { return window; }

  // InstallView
  void SetControlVisible(const std::wstring& name, bool visible) override;
  void SetParentVisible(const std::wstring& name, bool visible) override;
  void SetControlEnabled(const std::wstring& name, bool enabled) override;
  void SetControlText(const std::wstring& name, const std::wstring& text) override;
  bool IsControlSelected(const std::wstring& name) override;
  void SelectTabPage(const std::wstring& tabName, int page) override;
  int ProgressValue(const std::wstring& name) override;
  void SetProgressValue(const std::wstring& name, int value) override;
  void CloseWindow() override;

 private:
  struct Control {
    HWND hwnd = nullptr;
    int page = -1;  // -1: on every page
    bool hidden = false;
  };
  static LRESULT CALLBACK Proc(HWND, UINT, WPARAM, LPARAM);
  LRESULT Handle(UINT msg, WPARAM wp, LPARAM lp);
  void Add(const wchar_t* name, const wchar_t* cls, const wchar_t* textId, DWORD style, int page, int x, int y,
           int w, int h, bool hidden = false);
  void Initialise();
  void UpdatePageVisibility();
  HWND Find(const std::wstring& name) const;

  LaunchOptions options;
  std::unique_ptr<ChannelController> channel;
  std::unique_ptr<InstallRun> run;
  HWND window = nullptr;
  HFONT font = nullptr;
  int page = 0;
  std::map<std::wstring, Control> controls;
  std::map<int, std::wstring> idToName;
};
