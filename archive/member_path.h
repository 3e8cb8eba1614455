// Turning a stored member name into a path that is safe to create under an extraction
// directory. "\" and "/" both separate components; empty and "." components are dropped.
// Absolute names ("/x", "\x"), drive names ("C:x") and any ".." component are refused, so
// nothing can land outside the directory.
//
//   std::string path, why;
//   if (!SafeMemberPath("DATA\\rock.jpg", &path, &why)) ... why;   // path = "DATA/rock.jpg"
#pragma once

#include <string>

bool SafeMemberPath(const char* name, std::string* path, std::string* why);
