#include "archive/member_path.h"

bool SafeMemberPath(const char* name, std::string* path, std::string* why) {
  path->clear();
  if (!name || !*name) {
    *why = "empty name";
    return false;
  }
  if (name[0] == '/' || name[0] == '\\') {
    *why = "absolute name";
    return false;
  }
  if (((name[0] >= 'A' && name[0] <= 'Z') || (name[0] >= 'a' && name[0] <= 'z')) && name[1] == ':') {
    *why = "name with a drive letter";
    return false;
  }
  std::string component;
  for (const char* p = name;; ++p) {
    if (*p == '/' || *p == '\\' || *p == '\0') {
      if (component == "..") {
        *why = "name with a '..' component";
        path->clear();
        return false;
      }
      if (!component.empty() && component != ".") {
        if (!path->empty()) *path += '/';
        *path += component;
      }
      component.clear();
      if (*p == '\0') break;
    } else {
      component += *p;
    }
  }
  if (path->empty()) {
    *why = "name without a file part";
    return false;
  }
  return true;
}
