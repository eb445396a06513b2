// A library with thread-local data, loaded with dlopen by
// sanitizer_exit_test: each thread that touches the variable gets a dynamic
// TLS block allocated by glibc, as libjpeg does under Qt's JPEG plugin.
#include <cstdint>

namespace {
thread_local void* t_slot = nullptr;
}

// Address of the calling thread's block, and stores a value in it.
extern "C" __attribute__((visibility("default"))) std::uintptr_t TouchThreadBlock(void* value)
{
    t_slot = value;
    return reinterpret_cast<std::uintptr_t>(&t_slot);
}
