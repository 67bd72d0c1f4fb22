// The form in which a long log path opens on every Windows.
#pragma once

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

}  // namespace orvi
