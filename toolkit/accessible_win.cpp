#include "toolkit/accessible_win.h"

#include <string>
#include <vector>

#include "toolkit/accessible.h"
#include "toolkit/controls.h"
#include "toolkit/paint_manager.h"

namespace skinui {

namespace {

HMODULE Oleacc() {
  static HMODULE module = LoadLibraryExW(L"oleacc.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
  return module;
}

template <typename Fn>
Fn OleaccProc(const char* name) {
  HMODULE module = Oleacc();
  return module ? reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name))) : nullptr;
}

LONG RoleId(AccRole r) {
  switch (r) {
    case AccRole::PushButton: return ROLE_SYSTEM_PUSHBUTTON;
    case AccRole::Link: return ROLE_SYSTEM_LINK;
    case AccRole::CheckButton: return ROLE_SYSTEM_CHECKBUTTON;
    case AccRole::RadioButton: return ROLE_SYSTEM_RADIOBUTTON;
    case AccRole::EditableText: return ROLE_SYSTEM_TEXT;
    case AccRole::ComboBox: return ROLE_SYSTEM_COMBOBOX;
    case AccRole::ProgressBar: return ROLE_SYSTEM_PROGRESSBAR;
    case AccRole::StaticText: return ROLE_SYSTEM_STATICTEXT;
    case AccRole::Graphic: return ROLE_SYSTEM_GRAPHIC;
  }
  return ROLE_SYSTEM_CLIENT;
}

LONG StateBits(const AccNode& n) {
  LONG s = 0;
  const std::pair<unsigned, LONG> map[] = {
      {kAccFocused, STATE_SYSTEM_FOCUSED},         {kAccFocusable, STATE_SYSTEM_FOCUSABLE},
      {kAccChecked, STATE_SYSTEM_CHECKED},         {kAccUnavailable, STATE_SYSTEM_UNAVAILABLE},
      {kAccInvisible, STATE_SYSTEM_INVISIBLE},     {kAccLinked, STATE_SYSTEM_LINKED},
      {kAccDefault, STATE_SYSTEM_DEFAULT},         {kAccExpanded, STATE_SYSTEM_EXPANDED},
      {kAccCollapsed, STATE_SYSTEM_COLLAPSED}};
  for (const auto& m : map)
    if (n.state & m.first) s |= m.second;
  if (n.role == AccRole::StaticText) s |= STATE_SYSTEM_READONLY;
  return s;
}

HRESULT Str(const std::wstring& s, BSTR* out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (s.empty()) return S_FALSE;
  *out = SysAllocStringLen(s.data(), static_cast<UINT>(s.size()));
  return *out ? S_OK : E_OUTOFMEMORY;
}

// The client area (combo == null) or one combo with its list items.
class AccObject final : public IAccessible {
 public:
  AccObject(std::shared_ptr<AccessBridge> bridge, Control* combo) : bridge_(std::move(bridge)), combo_(combo) {}

  // IUnknown
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_IDispatch || iid == IID_IAccessible) {
      *out = static_cast<IAccessible*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return InterlockedIncrement(&refs_); }
  ULONG STDMETHODCALLTYPE Release() override {
    LONG r = InterlockedDecrement(&refs_);
    if (r == 0) delete this;
    return static_cast<ULONG>(r);
  }
  // IDispatch: clients use the IAccessible methods directly.
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* n) override {
    if (n) *n = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
    return E_NOTIMPL;
  }

  HRESULT STDMETHODCALLTYPE get_accParent(IDispatch** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (!Live()) return CO_E_OBJNOTCONNECTED;
    if (combo_) {
      *out = CreateClientAccessible(bridge_);
      return S_OK;
    }
    using FromWindowFn = HRESULT(WINAPI*)(HWND, DWORD, REFIID, void**);
    static const auto fromWindow = OleaccProc<FromWindowFn>("AccessibleObjectFromWindow");
    if (!fromWindow) return E_FAIL;
    return fromWindow(bridge_->hwnd, static_cast<DWORD>(OBJID_WINDOW), IID_IDispatch, reinterpret_cast<void**>(out));
  }
  HRESULT STDMETHODCALLTYPE get_accChildCount(long* count) override {
    if (!count) return E_POINTER;
    *count = 0;
    Snapshot s;
    if (!Take(s)) return CO_E_OBJNOTCONNECTED;
    *count = static_cast<long>(combo_ ? s.self.items.size() : s.nodes.size());
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_accChild(VARIANT child, IDispatch** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    Snapshot s;
    if (!Take(s)) return CO_E_OBJNOTCONNECTED;
    const AccNode* n = nullptr;
    if (!Child(s, child, n)) return E_INVALIDARG;
    if (!combo_ && n && n->role == AccRole::ComboBox) {
      *out = new AccObject(bridge_, n->control);
      return S_OK;
    }
    return S_FALSE;  // a simple element: ask the parent
  }
  HRESULT STDMETHODCALLTYPE get_accName(VARIANT child, BSTR* out) override {
    return Answer(child, out, [&](const Snapshot& s, const AccNode* n, long item) -> std::wstring {
      if (item >= 0) return s.self.items[static_cast<size_t>(item)];
      if (n) return n->name;
      int len = GetWindowTextLengthW(bridge_->hwnd);
      std::wstring t(static_cast<size_t>(len) + 1, L'\0');
      GetWindowTextW(bridge_->hwnd, &t[0], len + 1);
      t.resize(static_cast<size_t>(len));
      return t;
    });
  }
  HRESULT STDMETHODCALLTYPE get_accValue(VARIANT child, BSTR* out) override {
    return Answer(child, out, [](const Snapshot&, const AccNode* n, long item) {
      return n && item < 0 ? n->value : std::wstring();
    });
  }
  HRESULT STDMETHODCALLTYPE get_accDescription(VARIANT, BSTR* out) override { return Str(L"", out); }
  HRESULT STDMETHODCALLTYPE get_accHelp(VARIANT, BSTR* out) override { return Str(L"", out); }
  HRESULT STDMETHODCALLTYPE get_accHelpTopic(BSTR* file, VARIANT, long* topic) override {
    if (file) *file = nullptr;
    if (topic) *topic = 0;
    return S_FALSE;
  }
  HRESULT STDMETHODCALLTYPE get_accKeyboardShortcut(VARIANT, BSTR* out) override { return Str(L"", out); }
  HRESULT STDMETHODCALLTYPE get_accDefaultAction(VARIANT child, BSTR* out) override {
    return Answer(child, out, [](const Snapshot& s, const AccNode* n, long item) {
      if (item >= 0) return s.self.itemAction;
      return n ? n->defaultAction : std::wstring();
    });
  }
  HRESULT STDMETHODCALLTYPE get_accRole(VARIANT child, VARIANT* out) override {
    return AnswerLong(child, out, [](const Snapshot&, const AccNode* n, long item) -> LONG {
      return item >= 0 ? ROLE_SYSTEM_LISTITEM : n ? RoleId(n->role) : ROLE_SYSTEM_CLIENT;
    });
  }
  HRESULT STDMETHODCALLTYPE get_accState(VARIANT child, VARIANT* out) override {
    return AnswerLong(child, out, [this](const Snapshot& s, const AccNode* n, long item) -> LONG {
      LONG st = 0;
      if (item >= 0) {
        st = STATE_SYSTEM_SELECTABLE;
        if (item == s.self.selectedItem) st |= STATE_SYSTEM_SELECTED;
        if (!(s.self.state & kAccExpanded)) st |= STATE_SYSTEM_INVISIBLE;
      } else if (n) {
        st = StateBits(*n);
      } else {
        st = STATE_SYSTEM_FOCUSABLE;
        if (!IsWindowVisible(bridge_->hwnd)) st |= STATE_SYSTEM_INVISIBLE;
        if (GetFocus() == bridge_->hwnd) st |= STATE_SYSTEM_FOCUSED;
      }
      return st;
    });
  }
  HRESULT STDMETHODCALLTYPE get_accFocus(VARIANT* out) override {
    if (!out) return E_POINTER;
    VariantInit(out);
    Snapshot s;
    if (!Take(s)) return CO_E_OBJNOTCONNECTED;
    if (combo_) return S_FALSE;
    for (size_t i = 0; i < s.nodes.size(); ++i) {
      if (!(s.nodes[i].state & kAccFocused)) continue;
      return ChildVariant(s, i, out);
    }
    if (GetFocus() == bridge_->hwnd) {
      out->vt = VT_I4;
      out->lVal = CHILDID_SELF;
      return S_OK;
    }
    return S_FALSE;
  }
  HRESULT STDMETHODCALLTYPE get_accSelection(VARIANT* out) override {
    if (!out) return E_POINTER;
    VariantInit(out);
    Snapshot s;
    if (!Take(s)) return CO_E_OBJNOTCONNECTED;
    if (combo_ && s.self.selectedItem >= 0) {
      out->vt = VT_I4;
      out->lVal = s.self.selectedItem + 1;
      return S_OK;
    }
    return S_FALSE;
  }
  HRESULT STDMETHODCALLTYPE accSelect(long flags, VARIANT child) override {
    Snapshot s;
    if (!Take(s)) return CO_E_OBJNOTCONNECTED;
    const AccNode* n = nullptr;
    long item = -1;
    if (!Child(s, child, n, &item)) return E_INVALIDARG;
    if (item >= 0) {
      if (flags & (SELFLAG_TAKESELECTION | SELFLAG_ADDSELECTION))
        static_cast<Combo*>(combo_)->SelectItem(static_cast<int>(item), true);
      return S_OK;
    }
    if (!(flags & SELFLAG_TAKEFOCUS)) return S_FALSE;
    if (!n) return S_OK;
    return bridge_->pm->SetFocus(n->control) ? S_OK : S_FALSE;
  }
  HRESULT STDMETHODCALLTYPE accLocation(long* x, long* y, long* w, long* h, VARIANT child) override {
    if (!x || !y || !w || !h) return E_POINTER;
    *x = *y = *w = *h = 0;
    Snapshot s;
    if (!Take(s)) return CO_E_OBJNOTCONNECTED;
    const AccNode* n = nullptr;
    long item = -1;
    if (!Child(s, child, n, &item)) return E_INVALIDARG;
    // Model rectangles are pixels of the window surface from its top-left
    // corner on screen, whatever the window's layout direction.
    RECT wr;
    GetWindowRect(bridge_->hwnd, &wr);
    // A list item has no place of its own while the list is closed: the combo's.
    Rect r = n ? n->rect : Rect{0, 0, wr.right - wr.left, wr.bottom - wr.top};
    *x = wr.left + r.left;
    *y = wr.top + r.top;
    *w = r.Width();
    *h = r.Height();
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE accNavigate(long dir, VARIANT start, VARIANT* out) override {
    if (!out) return E_POINTER;
    VariantInit(out);
    Snapshot s;
    if (!Take(s)) return CO_E_OBJNOTCONNECTED;
    const long count = static_cast<long>(combo_ ? s.self.items.size() : s.nodes.size());
    if (start.vt != VT_I4) return E_INVALIDARG;
    long target = 0;
    const long from = start.lVal;
    if (dir == NAVDIR_FIRSTCHILD && from == CHILDID_SELF) target = 1;
    else if (dir == NAVDIR_LASTCHILD && from == CHILDID_SELF) target = count;
    else if ((dir == NAVDIR_NEXT || dir == NAVDIR_DOWN) && from > 0) target = from + 1;
    else if ((dir == NAVDIR_PREVIOUS || dir == NAVDIR_UP) && from > 0) target = from - 1;
    else return S_FALSE;
    if (target < 1 || target > count) return S_FALSE;
    if (!combo_) return ChildVariant(s, static_cast<size_t>(target - 1), out);
    out->vt = VT_I4;
    out->lVal = target;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE accHitTest(long x, long y, VARIANT* out) override {
    if (!out) return E_POINTER;
    VariantInit(out);
    Snapshot s;
    if (!Take(s)) return CO_E_OBJNOTCONNECTED;
    RECT wr;
    GetWindowRect(bridge_->hwnd, &wr);
    Point p{x - wr.left, y - wr.top};
    if (combo_) {
      if (!s.self.rect.Contains(p)) return S_FALSE;
      out->vt = VT_I4;
      out->lVal = CHILDID_SELF;
      return S_OK;
    }
    if (x < wr.left || y < wr.top || x >= wr.right || y >= wr.bottom) return S_FALSE;
    // The last node containing the point: floating controls come later.
    for (size_t i = s.nodes.size(); i-- > 0;)
      if (!(s.nodes[i].state & kAccInvisible) && s.nodes[i].rect.Contains(p)) return ChildVariant(s, i, out);
    out->vt = VT_I4;
    out->lVal = CHILDID_SELF;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE accDoDefaultAction(VARIANT child) override {
    Snapshot s;
    if (!Take(s)) return CO_E_OBJNOTCONNECTED;
    const AccNode* n = nullptr;
    long item = -1;
    if (!Child(s, child, n, &item)) return E_INVALIDARG;
    if (item >= 0) {
      // Picking from the list is the combo's action: not while it is unavailable.
      if (s.self.state & (kAccUnavailable | kAccInvisible)) return E_FAIL;
      static_cast<Combo*>(combo_)->SelectItem(static_cast<int>(item), true);
      return S_OK;
    }
    if (!n || n->defaultAction.empty()) return DISP_E_MEMBERNOTFOUND;
    if (n->state & (kAccUnavailable | kAccInvisible)) return E_FAIL;
    auto* button = dynamic_cast<Button*>(n->control);
    if (!button) return DISP_E_MEMBERNOTFOUND;
    button->Activate();  // presses, toggles, opens the list
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE put_accName(VARIANT, BSTR) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_accValue(VARIANT, BSTR) override { return E_NOTIMPL; }

 private:
  struct Snapshot {
    std::vector<AccNode> nodes;
    AccNode self;  // the combo's own node
  };

  bool Live() const { return bridge_->pm && bridge_->hwnd && IsWindow(bridge_->hwnd); }

  bool Take(Snapshot& s) {
    if (!Live()) return false;
    bridge_->pm->ResolveFocus();
    s.nodes = DescribeAccessible(*bridge_->pm);
    if (!combo_) return true;
    int i = FindAccNode(s.nodes, combo_);
    if (i < 0) return false;  // the combo is gone or hidden
    s.self = s.nodes[static_cast<size_t>(i)];
    return true;
  }

  // Resolves a child id: `n` the node (null for the object itself), `item`
  // a list item of the combo.
  bool Child(const Snapshot& s, const VARIANT& v, const AccNode*& n, long* item = nullptr) const {
    if (item) *item = -1;
    n = combo_ ? &s.self : nullptr;
    if (v.vt != VT_I4) return false;
    if (v.lVal == CHILDID_SELF) return true;
    if (combo_) {
      if (!item || v.lVal < 1 || v.lVal > static_cast<long>(s.self.items.size())) return false;
      *item = v.lVal - 1;
      return true;
    }
    if (v.lVal < 1 || v.lVal > static_cast<long>(s.nodes.size())) return false;
    n = &s.nodes[static_cast<size_t>(v.lVal - 1)];
    return true;
  }

  HRESULT ChildVariant(const Snapshot& s, size_t i, VARIANT* out) {
    if (s.nodes[i].role == AccRole::ComboBox) {
      out->vt = VT_DISPATCH;
      out->pdispVal = new AccObject(bridge_, s.nodes[i].control);
    } else {
      out->vt = VT_I4;
      out->lVal = static_cast<long>(i + 1);
    }
    return S_OK;
  }

  template <class Fn>
  HRESULT Answer(const VARIANT& child, BSTR* out, Fn fn) {
    if (!out) return E_POINTER;
    *out = nullptr;
    Snapshot s;
    if (!Take(s)) return CO_E_OBJNOTCONNECTED;
    const AccNode* n = nullptr;
    long item = -1;
    if (!Child(s, child, n, &item)) return E_INVALIDARG;
    return Str(fn(s, n, item), out);
  }
  // The same for an answer that is a number (role, state).
  template <class Fn>
  HRESULT AnswerLong(const VARIANT& child, VARIANT* out, Fn fn) {
    if (!out) return E_POINTER;
    VariantInit(out);
    Snapshot s;
    if (!Take(s)) return CO_E_OBJNOTCONNECTED;
    const AccNode* n = nullptr;
    long item = -1;
    if (!Child(s, child, n, &item)) return E_INVALIDARG;
    out->vt = VT_I4;
    out->lVal = fn(s, n, item);
    return S_OK;
  }

  LONG refs_ = 1;
  std::shared_ptr<AccessBridge> bridge_;
  Control* combo_;  // compared with the live tree before use
};

}  // namespace

IAccessible* CreateClientAccessible(const std::shared_ptr<AccessBridge>& bridge) {
  return new AccObject(bridge, nullptr);
}

void RaiseWinEvent(HWND hwnd, PaintManager& pm, Control* c, AccEvent e) {
  if (!hwnd) return;
  DWORD event = EVENT_OBJECT_REORDER;
  switch (e) {
    case AccEvent::Focus: event = EVENT_OBJECT_FOCUS; break;
    case AccEvent::StateChange: event = EVENT_OBJECT_STATECHANGE; break;
    case AccEvent::ValueChange: event = EVENT_OBJECT_VALUECHANGE; break;
    case AccEvent::NameChange: event = EVENT_OBJECT_NAMECHANGE; break;
    case AccEvent::Reorder: event = EVENT_OBJECT_REORDER; break;
  }
  LONG child = CHILDID_SELF;
  if (e != AccEvent::Reorder) {
    int i = FindAccNode(DescribeAccessible(pm), c);
    if (i < 0) return;  // nothing a reader knows of
    child = i + 1;
  }
  NotifyWinEvent(event, hwnd, OBJID_CLIENT, child);
}

LRESULT AccessibleResult(WPARAM wp, IAccessible* acc) {
  using ResultFn = LRESULT(WINAPI*)(REFIID, WPARAM, LPUNKNOWN);
  static const auto result = OleaccProc<ResultFn>("LresultFromObject");
  return result ? result(IID_IAccessible, wp, acc) : 0;
}

}  // namespace skinui
