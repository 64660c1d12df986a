/* Linked into sanitizer builds only: options every sanitized program starts
 * with, whoever runs it (the options in the environment still come after
 * these and can change them).
 *
 * intercept_tls_get_addr=0: the GCC 12 runtime notes each thread-local block
 * of a library opened at run time (the GL driver's) when it is first used,
 * and takes the block's bounds from the 16 bytes in front of it whenever the
 * block starts 16 bytes into a page. Such a block is an ordinary heap chunk,
 * and those 16 bytes are the allocator's own chunk header, so the bounds read
 * are garbage (a range from about address 0x1210). The leak check at exit then
 * scans that range and its thread-stopping tracer dies of the fault ("Tracer
 * caught signal 11"), depending only on where the heap put the block. Without
 * the interception the leak check still finds those blocks: they are heap
 * chunks reached from each thread's own thread-local area, which it scans.
 * Fewer roots can only add reports, never hide a leak. */
const char* __asan_default_options(void);

const char* __asan_default_options(void) {
    return "intercept_tls_get_addr=0";
}
