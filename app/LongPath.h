// The form in which a long log path opens on every Windows.
#pragma once

#include <functional>
#include <optional>
#include <string>

namespace orvi {

// The "\\?\" form of `fullPath`, a full path as GetFullPathNameW gives it, when it is MAX_PATH (260)
// characters long or longer: "\\?\C:\..." for a path on a drive, "\\?\UNC\server\share\..." for one on
// a share ("\\server\share\..."). Windows opens such a path in its plain form only where the
// machine's long-path policy is on, in the "\\?\" form everywhere. Nothing for a shorter path (which
// opens as it is given), and nothing for one that has a device form already ("\\?\...",
// "\\.\...") or no "\\?\" form.
std::optional<std::wstring> extendedLengthPath(const std::wstring& fullPath);

// The full path of a path, as GetFullPathNameW makes it; nothing when it cannot be made.
using FullPathOf = std::function<std::optional<std::wstring>(const std::wstring& path)>;

// The path under which the file that `path` names is opened: the "\\?\" form of its full path when
// that is long (extendedLengthPath), also where `path` itself is short (a relative one in a deep
// folder); otherwise `path` as given, so that device names such as NUL still open, and so too when
// its full path cannot be made.
std::wstring pathToOpen(const std::wstring& path, const FullPathOf& fullPathOf);

}  // namespace orvi
