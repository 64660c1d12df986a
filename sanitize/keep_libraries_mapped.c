/* Linked into sanitizer builds only.
 *
 * The GL driver, SDL and the libraries they open at run time keep memory in
 * their own globals for the life of the process. When SDL or the EGL loader
 * closes them at shutdown, those globals are unmapped before the leak checker
 * runs at exit: their memory then looks leaked, and the stack of the
 * allocation points into a module that is gone, so no suppression can name
 * it. Keeping every library mapped until exit lets the leak checker see
 * those globals as the live roots they are, and name the module of any
 * allocation that really is lost inside a library (sanitize/leaks.supp).
 *
 * A library that is closed and opened again is simply found still loaded. */
int dlclose(void* handle) {
    (void)handle;
    return 0;
}
