// A sanitized program whose dlopen'ed library holds a dynamic TLS block 16
// bytes into a page, in a thread still running at exit, must pass the leak
// check at exit; and a pointer kept only in such a block is no leak. The
// process's exit code is the verdict: the runtime's leak check runs after
// main returns.
#include <gtest/gtest.h>

#include <dlfcn.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <future>
#include <thread>

namespace {

using TouchFn = std::uintptr_t (*)(void*);

TEST(SanitizerExit, DynamicTlsBlockOnAPageOffsetOf16PassesTheLeakCheck)
{
    void* module = ::dlopen(TESSARO_TLS_MODULE, RTLD_NOW);
    ASSERT_NE(module, nullptr) << ::dlerror();
    const auto touch = reinterpret_cast<TouchFn>(::dlsym(module, "TouchThreadBlock"));
    ASSERT_NE(touch, nullptr);

    // Threads come and go until one's block lands on the offset; that one
    // stays, holding the only pointer to a heap block, until the process ends.
    bool found = false;
    for (int i = 0; i < 20000 && !found; ++i) {
        std::promise<bool> hit;
        std::future<bool> answer = hit.get_future();
        std::thread t([touch, &hit] {
            void* held = std::malloc(64);
            const bool onOffset = touch(held) % 4096 == 16;
            if (!onOffset) {
                touch(nullptr);
                std::free(held);
            }
            hit.set_value(onOffset);
            if (onOffset)
                for (;;) std::this_thread::sleep_for(std::chrono::seconds(1));
        });
        found = answer.get();
        if (found)
            t.detach();
        else
            t.join();
    }
    ASSERT_TRUE(found) << "no thread's block landed 16 bytes into a page";
}

}  // namespace
