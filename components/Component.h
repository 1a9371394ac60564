// The part of a form designer's component model that the components rely
// on: the design-mode state, and the loading hook that runs once after the
// component's stored properties have been set.
//
// Qt's form loaders (uic's generated code, QUiLoader) set properties right
// after construction and call nothing afterwards, so there is no moment at
// which a component learns that loading is over. A component therefore runs
// its Loaded() hook on first need, through EnsureLoaded(); a form designer
// plugin, or code that builds a component by hand, may call it explicitly.
#pragma once

namespace corvid {

class TComponentState {
 public:
  TComponentState() = default;
  TComponentState(const TComponentState&) = delete;
  TComponentState& operator=(const TComponentState&) = delete;
  virtual ~TComponentState() = default;

  // True while the component lives in a form designer rather than in a
  // running application. Set by the designer plugin when it creates one;
  // a change runs DesignModeChanged() so that a component can show itself
  // differently on the designer's form.
  bool DesignMode() const { return designMode_; }
  void SetDesignMode(bool Value) {
    if (designMode_ == Value) return;
    designMode_ = Value;
    DesignModeChanged();
  }

  // Runs Loaded() unless it has already run (or is running). When Loaded()
  // throws, the component counts as not loaded, so a later call tries again.
  void EnsureLoaded();
  bool IsLoaded() const { return loaded_; }

 protected:
  // The loading hook; the base does nothing.
  virtual void Loaded() {}
  // Runs after the design-mode flag has changed; the base does nothing.
  virtual void DesignModeChanged() {}

 private:
  bool designMode_ = false;
  bool loaded_ = false;
};

}  // namespace corvid
