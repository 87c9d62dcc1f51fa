#include <windows.h>

#include <algorithm>
#include <cstring>
#include <cwctype>

#include "platform/clock.h"
#include "platform/serial_port.h"
#include "platform/utf8.h"

namespace fulgora {
namespace {

static_assert(sizeof(DCB) <= sizeof(comm_state::native), "DCB must fit");

constexpr DWORD write_slice_ms = 10;

HANDLE as_handle(port_handle h) { return reinterpret_cast<HANDLE>(h); }

class win32_port final : public serial_port_api {
 public:
  port_handle create_file(const wchar_t* name) override {
    // Share mode 0: a port held by another program (or instance) fails here.
    HANDLE h =
        CreateFileW(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return invalid_port;
    // Bound writes only; the read fields stay as the device has them. Each
    // WriteFile gives up after one slice, so that a cancel is seen between.
    COMMTIMEOUTS timeouts;
    if (GetCommTimeouts(h, &timeouts)) {
      timeouts.WriteTotalTimeoutMultiplier = 0;
      timeouts.WriteTotalTimeoutConstant = write_slice_ms;
      SetCommTimeouts(h, &timeouts);
    }
    return reinterpret_cast<port_handle>(h);
  }

  bool get_comm_state(port_handle h, comm_state& state) override {
    DCB dcb;
    std::memset(&dcb, 0, sizeof dcb);
    dcb.DCBlength = sizeof dcb;
    if (!GetCommState(as_handle(h), &dcb)) return false;
    state.baud_rate = dcb.BaudRate;
    state.byte_size = dcb.ByteSize;
    state.parity = dcb.Parity;
    state.stop_bits = dcb.StopBits;
    std::memcpy(state.native, &dcb, sizeof dcb);
    return true;
  }

  bool set_comm_state(port_handle h, const comm_state& state) override {
    DCB dcb;
    std::memcpy(&dcb, state.native, sizeof dcb);
    dcb.BaudRate = state.baud_rate;
    dcb.ByteSize = state.byte_size;
    dcb.Parity = state.parity;
    dcb.StopBits = state.stop_bits;
    return SetCommState(as_handle(h), &dcb) != 0;
  }

  bool clear_comm_error(port_handle h, uint32_t& waiting) override {
    DWORD errors = 0;
    COMSTAT status;
    std::memset(&status, 0, sizeof status);
    if (!ClearCommError(as_handle(h), &errors, &status)) return false;
    waiting = status.cbInQue;
    return true;
  }

  bool read_file(port_handle h, void* buffer, uint32_t count, uint32_t& got) override {
    DWORD n = 0;
    const BOOL ok = ReadFile(as_handle(h), buffer, count, &n, nullptr);
    got = n;
    return ok != 0;
  }

  bool write_file(port_handle h, const void* data, uint32_t count, uint32_t& written,
                  const write_limit& limit) override {
    written = 0;
    const auto* p = static_cast<const unsigned char*>(data);
    unsigned long long deadline = monotonic_ms() + limit.timeout_ms;
    bool cancelled = false;
    while (written < count) {
      DWORD n = 0;
      // A timed-out slice reports fewer bytes; the rest goes in the next one.
      if (!WriteFile(as_handle(h), p + written, count - written, &n, nullptr)) {
        const DWORD error = GetLastError();
        if (error != ERROR_TIMEOUT && error != ERROR_SEM_TIMEOUT) return false;
      }
      written += n;
      if (written == count) break;
      if (!cancelled && limit.cancel && limit.cancel->load(std::memory_order_acquire)) {
        cancelled = true;
        deadline = std::min(deadline, monotonic_ms() + port_write_grace_ms);
      }
      if (monotonic_ms() >= deadline) return false;
    }
    return true;
  }

  bool close_handle(port_handle h) override { return CloseHandle(as_handle(h)) != 0; }
};

}  // namespace

std::string port_identity(const wchar_t* name) {
  std::wstring id(name);
  // \\.\COM3 and \\?\COM3 name the device COM3.
  if (id.size() > 4 && id[0] == L'\\' && id[1] == L'\\' && (id[2] == L'.' || id[2] == L'?') &&
      id[3] == L'\\')
    id.erase(0, 4);
  for (wchar_t& c : id) c = static_cast<wchar_t>(std::towupper(c));
  return utf8_of(id);
}

serial_port_api& system_serial_port() {
  static win32_port port;
  return port;
}

}  // namespace fulgora
