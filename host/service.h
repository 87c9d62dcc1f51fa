// The player's service model as the component sees it: reference-counted
// service objects, the services interface and the console receivers.
// Every reference obtained is released once (service_ptr_t does it).
#pragma once

#include <cstddef>

#include "host/guid.h"

class service_base;

// An owning reference: adds one reference when it takes an object and releases
// what it held before.
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
  // Takes over a reference already counted (a freshly created object's).
  void attach(T* p) {
    T* old = p_;
    p_ = p;
    if (old) old->service_release();
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

// The player's services interface, handed to the component by the export.
class foobar2000_api {
public:
  virtual service_class_ref service_enum_find_class(const GUID& guid) = 0;
  // Stores the class's instance at index in out; false past the last one.
  virtual bool service_enum_create(service_ptr& out, service_class_ref clazz,
                                   size_t index) = 0;

protected:
  ~foobar2000_api() = default;
};

// A console of the player; every registered receiver shows each line.
class console_receiver : public service_base {
public:
  static constexpr GUID class_guid = {
      0x90DF5270, 0x65BB, 0x4DBA, {0xBA, 0xF5, 0x86, 0xBE, 0x9E, 0x59, 0xDC, 0x20}};
  // length all bits set: up to the terminating zero.
  virtual void print(const char* text, size_t length) = 0;

protected:
  ~console_receiver() = default;
};
