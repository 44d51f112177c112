// The notification table: handlers keyed by (notification type, control
// name). A window owns one and registers it with its manager.
#pragma once
#include <functional>
#include <map>
#include <string>
#include <utility>

#include "toolkit/paint_manager.h"

namespace skinui {

class NotifyPump : public NotifyListener {
 public:
  using Handler = std::function<void(const Notification&)>;
  // Replaces an earlier handler for the same pair.
  void On(const std::wstring& type, const std::wstring& controlName, Handler h) {
    handlers_[{type, controlName}] = std::move(h);
  }
  bool Has(const std::wstring& type, const std::wstring& controlName) const {
    return handlers_.count({type, controlName}) != 0;
  }
  // True when a handler ran.
  bool Dispatch(const Notification& n) {
    if (!n.sender) return false;
    auto it = handlers_.find({n.type, n.sender->GetName()});
    if (it == handlers_.end()) return false;
    Handler h = it->second;  // the handler may replace itself
    h(n);
    return true;
  }
  void Notify(const Notification& n) override { Dispatch(n); }

 private:
  std::map<std::pair<std::wstring, std::wstring>, Handler> handlers_;
};

}  // namespace skinui
