// The player's service model (follows the SDK's service.h): reference-counted
// service objects, owning references and the registration list's nodes.
// Every reference obtained is released once (service_ptr_t does it).
#pragma once

#include <cstddef>

#include "host/guid.h"

// An owning reference, one pointer wide like the player's, which fills it in
// place: adds one reference when it takes an object and releases what it held
// before.
template <typename T>
class service_ptr_t {
 public:
  service_ptr_t() = default;
  service_ptr_t(T* p) : p_(p) {  // NOLINT: takes a new reference, like the SDK's
    if (p_) p_->service_add_ref();
  }
  service_ptr_t(const service_ptr_t& o) : service_ptr_t(o.p_) {}
  ~service_ptr_t() { release(); }
  service_ptr_t& operator=(const service_ptr_t& o) {
    set(o.p_);
    return *this;
  }
  void set(T* p) {
    if (p) p->service_add_ref();
    T* old = p_;
    p_ = p;
    if (old) old->service_release();
  }
  void release() {
    T* old = p_;
    p_ = nullptr;
    if (old) old->service_release();
  }
  // Hands the counted reference to the caller, who must release it.
  T* detach() {
    T* p = p_;
    p_ = nullptr;
    return p;
  }
  T* get() const { return p_; }
  T* operator->() const { return p_; }
  T& operator*() const { return *p_; }
  explicit operator bool() const { return p_ != nullptr; }

 private:
  T* p_ = nullptr;
};

class service_base {
 public:
  virtual int service_release() noexcept = 0;
  virtual int service_add_ref() noexcept = 0;
  // On a match: stores this object (one more reference) in out and returns
  // true; otherwise returns false and leaves out untouched.
  virtual bool service_query(service_ptr_t<service_base>& out, const GUID& guid) = 0;

 protected:
  ~service_base() = default;
};

typedef service_ptr_t<service_base> service_ptr;
typedef const void* service_class_ref;

// A node of the registration list: the factory operation, the next node and
// the class it registers under, in that order. Each static factory pushes
// itself onto the list when the library loads, so the last constructed comes
// first.
class service_factory_base {
 public:
  virtual void instance_create(service_ptr& out) = 0;

  service_factory_base* get_next() const { return next_; }
  const GUID& get_class_guid() const { return class_guid_; }
  static service_factory_base* list_head() { return head(); }

 protected:
  explicit service_factory_base(const GUID& class_guid) : next_(head()), class_guid_(class_guid) {
    head() = this;
  }
  ~service_factory_base() = default;

 private:
  static service_factory_base*& head();
  service_factory_base* next_;
  const GUID& class_guid_;
};
