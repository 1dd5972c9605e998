// Sanitizer settings every test program carries, so that a test run needs no environment of its own.
extern "C" {

const char* __ubsan_default_options()
{
    return "print_stacktrace=1";
}

// Caches that third-party libraries keep for the whole process are not our leaks.
const char* __lsan_default_suppressions()
{
    return "leak:libfontconfig\n"
           "leak:libdbus\n";
}

}
