#include "ui/main_wnd.h"
// The shell headers need windows.h first.
#include <shellapi.h>
#include <shlobj.h>

#include "base/debug_output.h"
#include "base/text_convert.h"
#include "telemetry/device_identity.h"
#include "toolkit/controls.h"
#include "ui/channel_messages.h"
#include "ui/links.h"
#include "ui/path_pattern.h"
#include "ui/shell_open_win.h"
#include "ui/text_table.h"

namespace {

const wchar_t* const kNamedControls[] = {
    L"closebtn",          L"installPath",    L"InstallStatusLayout",    L"progres", L"install",  L"pathIsOK",
    L"installstatustips", L"install_status", L"installfailed_towebsit", L"browse",  L"startApp", L"protocol",
    L"grantoption",       L"language_combo"};

// The controls the run's view speaks of.
const wchar_t kCloseButton[] = L"closebtn";
const wchar_t kPages[] = L"InstallStatusLayout";
const wchar_t kProgressBar[] = L"progres";
const wchar_t kFailureText[] = L"installstatustips";
const wchar_t kStatusText[] = L"install_status";
const wchar_t kDownloadPageLink[] = L"installfailed_towebsit";
const wchar_t kAutostartBox[] = L"autostart";
const wchar_t kShortcutBox[] = L"createshortcut";
// The options page's controls.
const wchar_t kInstallButton[] = L"install";
const wchar_t kFolderWarning[] = L"pathIsOK";
const wchar_t kAgreementBox[] = L"grantoption";
const wchar_t kStartButton[] = L"startApp";

// Shows a status-row change the presenter held back once its interval is over.
constexpr UINT_PTR kStatusTimer = 0x5154;
constexpr int kFolderFieldFont = 10;
constexpr UINT kIconResource = 106;

// The browser must not inherit our administrator token: the desktop's
// shell opens the link as the signed-in user.
void OpenInBrowser(const std::wstring& url) { OpenAsDesktopUser(url); }

std::wstring DefaultInstallFolder() {
  wchar_t folder[MAX_PATH] = {};
  // The 32-bit program files folder, the one a 32-bit process gets for
  // CSIDL_PROGRAM_FILES, so a 64-bit build proposes the same folder.
  SHGetSpecialFolderPathW(nullptr, folder, CSIDL_PROGRAM_FILESX86, FALSE);
  return std::wstring(folder) + L"\\" + L"Quorvane";
}

}  // namespace

bool ShowFolderPicker(HWND owner, const std::wstring& title, std::wstring& picked) {
  BROWSEINFOW info = {};
  info.hwndOwner = owner;
  info.lpszTitle = title.c_str();
  info.ulFlags = BIF_NEWDIALOGSTYLE;
  PIDLIST_ABSOLUTE item = SHBrowseForFolderW(&info);
  if (!item) return false;
  wchar_t path[MAX_PATH] = {};
  const bool ok = SHGetPathFromIDListW(item, path) != FALSE;
  CoTaskMemFree(item);
  if (ok) picked = path;
  return ok;
}

CMainWnd::CMainWnd(const InstallOptions& opts, std::unique_ptr<ChannelController> ch, InstallActions acts,
                   ExitCodeSlot& exit)
    : options(opts),
      rules(*this, BuildPathPattern(LogicalDrives()), opts.installPath),
      channel(std::move(ch)),
      actions(std::move(acts)),
      exitCode(exit),
      transferStatus(GetText) {
  ApplyWindowDefaults(options);
  openUrl = OpenInBrowser;
  pickFolder = [this](const std::wstring& title, std::wstring& picked) {
    return ShowFolderPicker(GetHWND(), title, picked);
  };
  Manager().SetTextResolver([](const std::wstring& id) { return GetText(id); });
  // What a screen reader says for actions and the progress value, in the
  // window's language like everything else.
  skinui::AccTexts acc;
  acc.press = L"tt_acc_press";
  acc.jump = L"tt_acc_jump";
  acc.check = L"tt_acc_check";
  acc.uncheck = L"tt_acc_uncheck";
  acc.select = L"tt_acc_select";
  acc.open = L"tt_acc_open";
  acc.close = L"tt_acc_close";
  acc.percent = L"tt_acc_percent";
  Manager().SetAccTexts(acc);
}

CMainWnd::~CMainWnd() {
  // Reports on their way finish first, then the activation report.
  if (run) run->JoinReportThreads();
}

void CMainWnd::InitWindow() {
  SetIcon(kIconResource);
  KvWindowBase::InitWindow();
  GetDeviceId();
  FindControls();
  GiveFolderFieldItsFont();
  if (rules.Folder().empty()) rules.SetFolder(DefaultInstallFolder());
  ShowFolder();
  events = std::make_unique<WindowInstallEvents>(GetHWND());
  run = std::make_unique<InstallRun>(options, *this, *channel, *events, std::move(actions), exitCode);
  RegisterNotifications();
  WireKeyboard();
  // An automatic start comes before the language list exists, so the
  // identification line of this run carries an empty language. Nobody can
  // correct the folder of a silent run: an unusable one fails at once.
  if ((options.autoStart || options.autoInstall) && options.silent && !rules.FolderValid()) {
    DebugOutW(L"install folder unusable (invalid, or not representable in the ANSI code page): " + rules.Folder());
    run->OnChannelFailed(L"tt_pathnotfind", ExitCode::kFolderUnusable);
  } else if (options.autoStart || options.autoInstall) {
    run->StartInstall();
  }
  FillLanguageList();
  ApplyDirectionWithCombo();
}

void CMainWnd::WireKeyboard() {
  skinui::PaintManager& pm = Manager();
  // Enter on the options page installs (while allowed); Escape and Alt+F4
  // press the close button only while it is shown and enabled.
  pm.SetDefaultButton(dynamic_cast<skinui::Button*>(Ctl(kInstallButton)));
  pm.SetCancelButton(dynamic_cast<skinui::Button*>(Ctl(kCloseButton)));
  pm.SetFocus(Ctl(kInstallButton));
}

void CMainWnd::ShowProgress(const ChannelProgress& progress) {
  run->OnChannelProgress(progress.barValue);
  if (progress.phase == ProgressPhase::kDownloading)
    ShowStatusRow(transferStatus.Downloading(progress.received, progress.total, GetTickCount64(), CurrentLanguage()));
  else if (progress.phase == ProgressPhase::kInstallerRunning)
    ShowStatusRow(transferStatus.InstallerRunning());
}

void CMainWnd::ShowStatusRow(const StatusRowStep& step) {
  if (step.waitMs) SetTimer(GetHWND(), kStatusTimer, static_cast<UINT>(step.waitMs), nullptr);
  skinui::Control* status = Ctl(kStatusText);
  if (!step.show || !status) return;
  status->SetText(step.text);
  if (step.downloadText) DebugOutW(L"download status: " + step.text);
}

void CMainWnd::FindControls() {
  for (const wchar_t* name : kNamedControls)
    if (skinui::Control* c = Manager().FindControl(name)) controls[name] = c;
}

skinui::Control* CMainWnd::Ctl(const std::wstring& name) {
  auto it = controls.find(name);
  return it != controls.end() ? it->second : Manager().FindControl(name);
}

void CMainWnd::GiveFolderFieldItsFont() {
  skinui::Control* field = Ctl(L"installPath");
  if (!field) return;
  // Per-language faces replace the skin's fonts by id; font 10 is not in
  // the skin, so the folder field keeps "Arial" in every language.
  skinui::FontDesc font = Manager().ResolveFont(field->GetFont());
  font.face = L"Arial";
  font.shared = false;
  Manager().AddFont(kFolderFieldFont, font);
  field->SetFont(kFolderFieldFont);
}

void CMainWnd::ShowFolder() {
  if (skinui::Control* field = Ctl(L"installPath")) field->SetText(rules.Folder());
}

void CMainWnd::FillLanguageList() {
  auto* combo = dynamic_cast<skinui::Combo*>(Ctl(L"language_combo"));
  if (!combo) return;
  const std::wstring current = CurrentLanguage();
  int selected = -1;
  for (const LanguageEntry& e : LanguageTable()) {
    skinui::ComboItem item;
    item.text = e.displayName;
    item.userData = e.code;
    item.toolTip = e.displayName;
    item.height = 26;
    item.margin = skinui::Rect{6, 0, 6, 0};
    combo->AddItem(item);
    if (current == e.code) selected = combo->GetCount() - 1;
  }
  combo->SelectItem(selected, false);
}

void CMainWnd::ApplyDirectionWithCombo() {
  const bool rtl = CurrentLanguage() == L"arabic";
  ApplyDirection();
  // The combo's images follow the direction whichever side switched it, so a
  // window that starts in Arabic gets the reversed images as well; the
  // hover image is reversed too, or the arrow would jump under the mouse.
  if (skinui::Control* combo = Ctl(L"language_combo")) {
    const wchar_t* corner = rtl ? L"' corner='30,10,10,10'" : L"' corner='10,10,30,10'";
    const wchar_t* suffix = rtl ? L"_reverse.svg" : L".svg";
    combo->SetImage(L"normalimage", std::wstring(L"file='install_drop_down_normal") + suffix + corner);
    combo->SetImage(L"hotimage", std::wstring(L"file='install_drop_down_hover") + suffix + corner);
    combo->SetImage(L"pushedimage", std::wstring(L"file='install_drop_down_select") + suffix + corner);
  }
}

std::wstring CMainWnd::LanguageSelectorText() {
  auto* combo = dynamic_cast<skinui::Combo*>(Ctl(L"language_combo"));
  if (!combo) return std::wstring();
  const skinui::ComboItem* item = combo->GetItem(combo->GetCurSel());
  return item ? Manager().ResolveText(item->text) : std::wstring();
}

void CMainWnd::RegisterNotifications() {
  skinui::NotifyPump& pump = Pump();
  pump.On(L"click", kAgreementBox, [this](const skinui::Notification&) { rules.AgreementClicked(); });
  pump.On(L"click", kInstallButton, [this](const skinui::Notification&) { run->StartInstall(); });
  pump.On(L"click", L"browse", [this](const skinui::Notification&) { OnBrowse(); });
  pump.On(L"click", L"startApp", [this](const skinui::Notification&) { OnStartApp(); });
  pump.On(L"click", L"protocol",
          [this](const skinui::Notification&) { openUrl(Utf8ToWide(AgreementPageUrl())); });
  pump.On(L"click", kDownloadPageLink,
          [this](const skinui::Notification&) { openUrl(Utf8ToWide(DownloadPageUrl(CurrentLanguage()))); });
  pump.On(L"textchanged", L"installPath", [this](const skinui::Notification& n) {
    rules.FolderTextChanged(n.sender ? n.sender->GetText() : std::wstring());
  });
  pump.On(L"itemselect", L"language_combo", [this](const skinui::Notification&) { OnLanguageSelected(); });
}

void CMainWnd::OnBrowse() {
  // One picker at a time: a second one (a press that reached the window by
  // a way the disabled window does not stop) would return into an outer
  // picker whose window may be gone by then.
  if (pickerOpen) {
    DebugOut("browse refused: the folder picker is open");
    return;
  }
  std::wstring picked;
  bool ok = false;
  if (pickFolder) {
    // The picker is modal to the window: disabled, the window holds its
    // input (its folder field, forwarded keys and screen-reader actions
    // included, see the toolkit's HoldInput), and close requests are refused.
    HWND hwnd = GetHWND();
    EnableWindow(hwnd, FALSE);
    pickerOpen = true;
    ok = pickFolder(GetText(L"tt_choosepath"), picked);
    pickerOpen = false;
    if (destroyedDuringPicker) return;  // the object is left to the process's end
    EnableWindow(hwnd, TRUE);
    SetForegroundWindow(hwnd);
  }
  if (ok) rules.SetFolder(ComposeBrowsedFolder(picked));
  ShowFolder();
  rules.FolderTextChanged(rules.Folder());
}

void CMainWnd::OnStartApp() {
  run->StartClient();
  if (HWND hwnd = GetHWND(); hwnd && IsWindow(hwnd)) PostMessageW(hwnd, WM_CLOSE, 0, 0);
}

void CMainWnd::OnLanguageSelected() {
  auto* combo = dynamic_cast<skinui::Combo*>(Ctl(L"language_combo"));
  if (!combo) return;
  const skinui::ComboItem* item = combo->GetItem(combo->GetCurSel());
  if (!item) return;
  SetCurrentLanguage(item->userData);
  LoadLanguage(L"language\\" + item->userData + L".xml");
  ApplyDirectionWithCombo();
  ApplyLanguage();
  Manager().TextsChanged();
}

void CMainWnd::OnFinalMessage(HWND hwnd) {
  if (run) run->JoinChannelThread();
  // No worker posts any more; what they posted and nobody read goes with the window.
  DiscardChannelMessages(hwnd);
  KvWindowBase::OnFinalMessage(hwnd);
  PostQuitMessage(0);
  // The picker's caller still runs on the stack and uses this object.
  if (pickerOpen) {
    DebugOut("window destroyed while the folder picker was open");
    destroyedDuringPicker = true;
    return;
  }
  delete this;
}

LRESULT CMainWnd::HandleCustomMessage(UINT msg, WPARAM wp, LPARAM lp, bool& handled) {
  handled = false;  // every other message goes on to the toolkit afterwards
  // A channel message owns its payload, taken here and freed at the end of the block.
  if (msg == WM_CHANNEL_PROGRESS) {
    std::unique_ptr<ChannelProgress> progress = TakeChannelMessage<ChannelProgress>(lp);
    if (run) ShowProgress(*progress);
    handled = true;
    return 0;
  }
  if (msg == WM_CHANNEL_FAILED) {
    std::unique_ptr<ChannelFailed> failed = TakeChannelMessage<ChannelFailed>(lp);
    if (run) run->OnChannelFailed(failed->text, failed->code);
    handled = true;
    return 0;
  }
  if (!run) return 0;
  if (msg == WM_TIMER && wp == kStatusTimer) {
    KillTimer(GetHWND(), kStatusTimer);
    ShowStatusRow(transferStatus.Due(GetTickCount64(), CurrentLanguage()));
    handled = true;  // the status timer is this window's own
  }
  // Alt+F4, the taskbar's close and any WM_CLOSE are refused like the
  // disabled close button while the install runs or the picker is open.
  const bool closing = msg == WM_CLOSE || (msg == WM_SYSCOMMAND && (wp & 0xFFF0) == SC_CLOSE);
  if (closing && (run->InstallRunning() || pickerOpen)) {
    DebugOut(run->InstallRunning() ? "close refused: the install is running" : "close refused: the folder picker is open");
    handled = true;
    return 0;
  }
  if (msg == WM_QUERYENDSESSION) {
    DebugOut(run->InstallRunning() ? "Windows session may end while the install runs" : "Windows session may end");
    handled = true;
    return TRUE;
  }
  if (msg == WM_ENDSESSION && wp) {
    DebugOut("Windows session ends; exit code " + std::to_string(exitCode.value));
    if (endSession) endSession();
    handled = true;
    return 0;
  }
  return 0;
}

void CMainWnd::ShowPage(InstallPage page) {
  if (skinui::Control* c = Ctl(kCloseButton)) c->SetEnabled(page != InstallPage::kProgress);
  if (auto* tabs = dynamic_cast<skinui::TabLayout*>(Ctl(kPages))) tabs->SelectItem(static_cast<int>(page));
  if (page == InstallPage::kFinished) Manager().SetFocus(Ctl(kStartButton));
}

int CMainWnd::ProgressValue() {
  auto* bar = dynamic_cast<skinui::Progress*>(Ctl(kProgressBar));
  return bar ? bar->GetValue() : 0;
}

void CMainWnd::SetProgressValue(int value) {
  if (auto* bar = dynamic_cast<skinui::Progress*>(Ctl(kProgressBar))) bar->SetValue(value);
}

void CMainWnd::ShowFailure(const std::wstring& text) {
  if (skinui::Control* c = Ctl(kCloseButton)) c->SetEnabled(true);
  skinui::Control* tips = Ctl(kFailureText);
  if (tips && tips->GetParent()) tips->GetParent()->SetVisible(true);
  skinui::Control* status = Ctl(kStatusText);
  if (status) status->SetVisible(false);
  if (tips) tips->SetText(text);
  if (skinui::Control* link = Ctl(kDownloadPageLink)) link->SetVisible(true);
  // The status text's row goes too, so the failure text, the bar and the
  // link all stay inside the window.
  if (status && !status->IsVisible() && status->GetParent()) status->GetParent()->SetVisible(false);
}

ChosenOptions CMainWnd::Choices() {
  ChosenOptions choices;
  choices.autostart = IsSelected(kAutostartBox);
  choices.createShortcut = IsSelected(kShortcutBox);
  return choices;
}

void CMainWnd::ShowFolderWarning(bool shown) {
  if (skinui::Control* c = Ctl(kFolderWarning)) c->SetVisible(shown);
}

void CMainWnd::EnableInstall(bool enabled) {
  if (skinui::Control* c = Ctl(kInstallButton)) c->SetEnabled(enabled);
}

bool CMainWnd::AgreementSelected() { return IsSelected(kAgreementBox); }

bool CMainWnd::IsSelected(const std::wstring& name) {
  auto* option = dynamic_cast<skinui::Option*>(Ctl(name));
  return option && option->IsSelected();
}

void CMainWnd::CloseWindow() { Close(IDOK); }
