// Included first into every test built for Windows: the few POSIX calls the tests use.
#pragma once

#include <process.h>
#include <stdlib.h>

inline int setenv(const char* name, const char* value, int /*overwrite*/) { return _putenv_s(name, value); }
inline int unsetenv(const char* name) { return _putenv_s(name, ""); }
