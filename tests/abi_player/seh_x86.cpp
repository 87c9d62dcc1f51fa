// 32-bit x86 only: the frame handler that clang's __try/__except code names
// (_except_handler3, normally the MSVC runtime's), written for this program:
// it runs the filters of the frame's scope table and, for the one that takes
// the exception, unwinds the frames above and resumes in its __except block.
// This program has no __finally, so nested scopes need no local unwind.
#if defined(__i386__)
#include "tests/abi_player/player_sdk.h"
#include "tests/abi_player/runtime.h"

extern "C" __declspec(dllimport) void __stdcall RtlUnwind(void*, void*, void*, void*);

namespace {
struct scope_entry {
  int enclosing;
  void* filter;  // null for a __finally
  void* handler;
};
// The registration node: saved ESP and exception pointers, then the record
// that fs:[0] links (the establisher frame), then the scope table and level.
struct registration {
  void* saved_esp;
  void* exception_pointers;
  void* next;
  void* handler;
  scope_entry* table;
  int try_level;
};
struct exception_pointers {
  void* record;
  void* context;
};
}  // namespace

extern "C" int _except_handler3(DWORD* record, void* establisher, void* context, void*) {
  if (record[1] & 6) return 1;  // unwinding: nothing to clean up here
  auto* node = reinterpret_cast<registration*>(static_cast<char*>(establisher) - 8);
  // The frame's filters and __except blocks take this as their EBP.
  char* frame = static_cast<char*>(establisher) + 16;
  exception_pointers pointers = {record, context};
  node->exception_pointers = &pointers;
  for (int level = node->try_level; level != -1; level = node->table[level].enclosing) {
    void* filter = node->table[level].filter;
    if (!filter) continue;
    int verdict = reinterpret_cast<int>(frame);
    __asm__ volatile("push %%ebp\n\tmov %%eax, %%ebp\n\tcall *%%edx\n\tpop %%ebp"
                     : "+a"(verdict), "+d"(filter)
                     :
                     : "ecx", "memory");
    if (verdict < 0) return 0;  // continue execution
    if (verdict == 0) continue;
    __asm__ volatile("push $0\n\tpush %0\n\tpush $1f\n\tpush %1\n\tcall *%2\n1:"
                     :
                     : "b"(record), "S"(establisher), "D"(&RtlUnwind)
                     : "eax", "ecx", "edx", "memory");
    node->try_level = node->table[level].enclosing;
    __asm__ volatile("mov %0, %%esp\n\tmov %1, %%ebp\n\tjmp *%2"
                     :
                     : "a"(node->saved_esp), "c"(frame), "d"(node->table[level].handler));
    __builtin_unreachable();
  }
  return 1;  // continue search
}
#endif
