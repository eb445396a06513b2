// Default options of the sanitizer runtime, linked into every executable of
// a sanitized build (tessaro_target). Options given in ASAN_OPTIONS or
// LSAN_OPTIONS still apply on top of these.
//
// intercept_tls_get_addr=0: the runtime of GCC 12 (Debian 12) takes a thread's
// dynamic TLS block of a dlopen'ed library for a glibc 2.19 block whenever
// the block's address lies 16 bytes into a page, and then reads the two
// words before it as the block's start and size. With glibc 2.36 those words
// are the allocator's own chunk header, so the leak check at exit scans a
// range that does not exist and its tracer dies ("Tracer caught signal 11",
// exit code 1). libjpeg, loaded with Qt's JPEG plugin for the photographs,
// has such a block in every thread that decodes, and malloc puts it on that
// offset or not depending only on what was allocated before: a run fails or
// passes by the machine's fonts, paths and environment. Without the
// interception glibc's blocks are still found through each thread's DTV,
// which lies in its thread descriptor, so no leak goes unseen.
extern "C" __attribute__((visibility("default"), used)) const char* __asan_default_options()
{
    return "intercept_tls_get_addr=0";
}
