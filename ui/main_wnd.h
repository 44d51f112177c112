// CMainWnd: the installer's one window, a skinned three-page wizard (options,
// progress, finished) described by "InstallMainWnd.xml". It binds the controls
// to the launch options, validates the installation folder, answers clicks,
// and owns the install run with its channel thread and report threads. The
// skin's control names live in this window's source alone.
//
// Everything here runs on the main thread. Worker threads reach the window
// only through its WindowInstallEvents adapter, which posts
// WM_CHANNEL_PROGRESS and WM_CHANNEL_FAILED, each with its facts as payload. The object deletes itself when
// its native window is gone (after joining the channel thread); its
// destructor joins the report threads, then the activation thread.
#pragma once
#include <windows.h>

#include <functional>
#include <map>
#include <memory>
#include <string>

#include "channel/channel_controller.h"
#include "ui/channel_messages.h"
#include "ui/install_options.h"
#include "ui/install_run.h"
#include "ui/install_view.h"
#include "ui/kv_window_base.h"
#include "ui/main_wnd_rules.h"
#include "ui/transfer_status.h"
#include "ui/window_install_events_win.h"

class CMainWnd : public KvWindowBase, public InstallView, private OptionsPageView {
 public:
  // `channel` is the channel controller the install action configures and
  // runs; `actions` what the run triggers outside the window; `exitCode` the
  // program's, which must outlive the window.
  CMainWnd(const InstallOptions& options, std::unique_ptr<ChannelController> channel, InstallActions actions,
           ExitCodeSlot& exitCode);
  ~CMainWnd() override;

  // InstallView, on the skin's controls (a missing control does nothing).
  void ShowPage(InstallPage page) override;
  int ProgressValue() override;
  void SetProgressValue(int value) override;
  void ShowFailure(const std::wstring& text) override;
  ChosenOptions Choices() override;
  std::wstring InstallFolder() override { return rules.Folder(); }
  std::wstring LanguageText() override { return LanguageSelectorText(); }
  void CloseWindow() override;

  const InstallOptions& Options() const { return options; }
  const std::wstring& PathPattern() const { return rules.Pattern(); }
  InstallRun* Run() { return run.get(); }
  // The text the language selector shows (the selected item's), or empty.
  std::wstring LanguageSelectorText();

  // How the window reaches the desktop; tests replace them so that no
  // browser starts and no modal picker waits for a person.
  // Opens `url` in the browser ("open" verb, normal window).
  std::function<void(const std::wstring& url)> openUrl;
  // Shows the folder picker titled `title`; true with the picked path.
  std::function<bool(const std::wstring& title, std::wstring& picked)> pickFolder;
  // Called when the Windows session ends; the process goes with it (the
  // program's entry ends it with the run's exit code).
  std::function<void()> endSession;

 protected:
  const wchar_t* GetWindowClassName() const override { return L"InstallMainFrame"; }
  std::wstring GetSkinFile() override { return L"InstallMainWnd.xml"; }
  void InitWindow() override;
  void OnFinalMessage(HWND hwnd) override;
  LRESULT HandleCustomMessage(UINT msg, WPARAM wp, LPARAM lp, bool& handled) override;

 private:
  // OptionsPageView
  void ShowFolderWarning(bool shown) override;
  void EnableInstall(bool enabled) override;
  bool AgreementSelected() override;

  skinui::Control* Ctl(const std::wstring& name);
  bool IsSelected(const std::wstring& name);
  void FindControls();
  void GiveFolderFieldItsFont();
  void FillLanguageList();
  // The right-to-left rule of the window together with the combo images.
  void ApplyDirectionWithCombo();
  void RegisterNotifications();
  // Default button, cancel button and the first focus.
  void WireKeyboard();
  // A WM_CHANNEL_PROGRESS snapshot, drawn once: the bar (through the run)
  // and the status row, both from it.
  void ShowProgress(const ChannelProgress& progress);
  // Applies what the status row's presenter decided: the text, and the timer
  // for a change it held back.
  void ShowStatusRow(const StatusRowStep& step);
  void OnBrowse();
  void OnStartApp();
  void OnLanguageSelected();
  void ShowFolder();

  InstallOptions options;
  OptionsPageRules rules;
  std::unique_ptr<ChannelController> channel;
  InstallActions actions;
  ExitCodeSlot& exitCode;
  // Made with the native window; outlives the run that hands it down.
  std::unique_ptr<WindowInstallEvents> events;
  std::unique_ptr<InstallRun> run;
  std::map<std::wstring, skinui::Control*> controls;
  bool pickerOpen = false;
  bool destroyedDuringPicker = false;
  TransferStatus transferStatus;
};

// The system's folder picker (new dialog style), modal to `owner`, titled
// `title`; true with the picked folder's path.
bool ShowFolderPicker(HWND owner, const std::wstring& title, std::wstring& picked);
