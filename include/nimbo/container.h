// What the component needs of the container that hosts it: the ambient UserMode flag, the
// property-changed notice, a way to let the host process pending events, and the property bag
// through which four properties are persisted.
// Thread-safety: only the host's user-interface thread calls these.
#ifndef NIMBO_CONTAINER_H_
#define NIMBO_CONTAINER_H_

#include <string>
#include <string_view>

#include "nimbo/export.h"
#include "nimbo/variant.h"

namespace nimbo {

class NIMBO_API Container {
 public:
  virtual ~Container() = default;
  // True while the host runs, False while its form is being designed.
  virtual bool UserMode() const = 0;
  // A persisted property changed, so the container should save the instance.
  virtual void PropertyChanged(std::string_view name) = 0;
  // Lets the host process its pending events once.
  virtual void DoEvents() {}
};

// A container for hosts that only run the component: UserMode True, notices ignored.
class NIMBO_API RunTimeContainer : public Container {
 public:
  bool UserMode() const override { return true; }
  void PropertyChanged(std::string_view) override {}
};

// A container for design-time hosts: UserMode False; counts property-changed notices so the
// host knows that the instance must be saved.
class NIMBO_API DesignTimeContainer : public Container {
 public:
  bool UserMode() const override { return false; }
  void PropertyChanged(std::string_view) override { ++changes_; }
  int changes() const { return changes_; }

 private:
  int changes_ = 0;
};

class NIMBO_API PropertyBag {
 public:
  virtual ~PropertyBag() = default;
  // The stored value for `name`, or `default_value` when none is stored.
  virtual Variant ReadProperty(const std::string& name, const Variant& default_value) = 0;
  // Stores `value` for `name`; stores nothing (and forgets an older value) when `value` equals
  // `default_value`.
  virtual void WriteProperty(const std::string& name, const Variant& value,
                             const Variant& default_value) = 0;
};

}  // namespace nimbo

#endif  // NIMBO_CONTAINER_H_
