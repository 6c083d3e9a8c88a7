#pragma once

namespace platform {

class ModelObject;

// Follows changes of the toolkit model; a renderer is one. There is at most
// one per process, and it is called on the main queue.
class ModelObserver {
 public:
  virtual ~ModelObserver() = default;
  virtual void modelChanged(ModelObject& object) = 0;
};

// Base of every toolkit model object. With no observer (tests) objects just
// hold their state.
class ModelObject {
 public:
  ModelObject() = default;
  ModelObject(const ModelObject&) = delete;
  ModelObject& operator=(const ModelObject&) = delete;
  virtual ~ModelObject() = default;

  static void setObserver(ModelObserver* observer);
  static ModelObserver* observer();

 protected:
  void notifyChanged();
};

}  // namespace platform
