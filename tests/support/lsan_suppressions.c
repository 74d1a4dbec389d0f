/* Under LeakSanitizer: libraries below Qt (D-Bus, fontconfig, the X client
   libraries) and SANE with its backends keep allocations for the life of the
   process by design; the AV1 decoder under the HEIF library loses a small
   block on some damaged streams. Compiled into every test program and helper, so each
   has its own copy of the one list. */
__attribute__((visibility("default"), used)) const char* __lsan_default_suppressions(void);
const char* __lsan_default_suppressions(void)
{
    return "leak:libdbus-1.so\nleak:libfontconfig.so\nleak:libxcb\nleak:libX11.so\nleak:libglib-2.0.so\n"
           "leak:libsane\nleak:libdav1d.so\nleak:libheif.so\n";
}
