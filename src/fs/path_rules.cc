// validate_path, directory_part and the mask matcher.
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "fs/file_system.h"

bool validate_path(const NameString& name, bool masks_allowed) {
  std::string_view s = name.view();
  if (s.empty()) return false;
  if (s.find('\\') != s.npos) return false;
  if (s.back() == '/') return false;
  if (s.find("//") != s.npos) return false;
  if (s.find("..") != s.npos) return false;
  if (s.find("./") != s.npos) return false;
  // An embedded NUL would make the platform see a different name than we checked.
  if (s.find('\0') != s.npos) return false;
  std::size_t first_mask = s.find_first_of("*?");
  if (first_mask == s.npos) return true;
  if (!masks_allowed) return false;
  std::size_t last_slash = s.rfind('/');
  return last_slash == s.npos || first_mask > last_slash;
}

NameString directory_part(const NameString& path) {
  std::string_view s = path.view();
  std::size_t last_slash = s.rfind('/');
  if (last_slash == s.npos) return NameString();
  return NameString(s.substr(0, last_slash + 1));
}

// The matcher's rules: a mask character equal to the name character (even "*" against
// "*") or "?" takes one character; otherwise "*" followed by more mask stands for any
// run that leaves at least one name character, and a "*" ending the mask for at least one
// character. Written as a table over (name position, mask position) instead of the
// natural recursion, which takes exponential time on masks with many stars.
bool mask_match(const char* name, const char* mask) {
  std::size_t n = std::strlen(name);
  std::size_t m = std::strlen(mask);
  // next[i] = match of (name + i, mask + j + 1); cur[i] = match of (name + i, mask + j).
  std::vector<char> next(n + 1), cur(n + 1);
  for (std::size_t i = 0; i <= n; ++i) next[i] = (i == n);  // empty mask
  for (std::size_t j = m; j-- > 0;) {
    char c = mask[j];
    bool star_at_end = c == '*' && j + 1 == m;
    bool any_suffix = false;  // next[k] for some k in [i, n - 1]
    cur[n] = false;           // the name has ended, the mask has not
    for (std::size_t i = n; i-- > 0;) {
      any_suffix = any_suffix || next[i];
      if (c == '?' || c == name[i])
        cur[i] = next[i + 1];
      else if (c != '*')
        cur[i] = false;
      else
        cur[i] = star_at_end || any_suffix;
    }
    next.swap(cur);
  }
  return next[0];
}

bool pattern_match(const char* name, const char* mask) {
  if (*mask == '\0') return false;
  if (std::strcmp(mask, "*.*") == 0 || std::strcmp(mask, ".") == 0) return true;
  std::string trimmed(mask);
  std::size_t length = trimmed.size();
  while (!trimmed.empty() && trimmed.back() == '.') trimmed.pop_back();
  if (trimmed.size() != length && std::strchr(name, '.') != nullptr) return false;
  return mask_match(name, trimmed.c_str());
}
