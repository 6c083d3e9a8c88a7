#include "ModelObject.h"

namespace platform {

namespace {
ModelObserver*& observerSlot() {
  static ModelObserver* observer = nullptr;
  return observer;
}
}  // namespace

void ModelObject::setObserver(ModelObserver* observer) { observerSlot() = observer; }

ModelObserver* ModelObject::observer() { return observerSlot(); }

void ModelObject::notifyChanged() {
  if (ModelObserver* current = observerSlot()) {
    current->modelChanged(*this);
  }
}

}  // namespace platform
