// The player's abort callback (follows the SDK's abort_callback.h). The
// component passes it on and never asks it anything.
#pragma once

class abort_callback {
 public:
  virtual bool is_aborting() const = 0;
  // The event the player signals on abort; may be null.
  virtual void* get_abort_event() const = 0;

 protected:
  ~abort_callback() = default;
};

// Never aborts. The player's own version reaches a shared never-signalled
// event in the player's library; the component never asks for it, and none
// exists without the player, so this one has none.
class abort_callback_dummy final : public abort_callback {
 public:
  bool is_aborting() const override { return false; }
  void* get_abort_event() const override { return nullptr; }
};
