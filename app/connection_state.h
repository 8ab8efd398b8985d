// Whether the computer is online, as the mail and about windows ask before they reach out. The
// system's answer comes from QNetworkInformation; the windows take the check as a function so
// that tests can answer for the system.
// Thread-safety: UI thread only (QNetworkInformation lives there).
#pragma once

#include <functional>

namespace zendo {

enum class TConnectionState { csOnline, csOffline, csUnknown };
using TConnectionCheck = std::function<TConnectionState()>;

// csOffline only when the system's network information reports no connection at all; csUnknown
// when no backend can tell, in which case the windows go on and let the attempt report itself.
TConnectionState SystemConnectionState();

} // namespace zendo
