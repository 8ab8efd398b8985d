#include "app/connection_state.h"

#include <QNetworkInformation>

namespace zendo {

TConnectionState SystemConnectionState() {
    static const bool loaded
        = QNetworkInformation::loadBackendByFeatures(QNetworkInformation::Feature::Reachability);
    QNetworkInformation* information = loaded ? QNetworkInformation::instance() : nullptr;
    if (information == nullptr)
        return TConnectionState::csUnknown;
    switch (information->reachability()) {
    case QNetworkInformation::Reachability::Disconnected:
        return TConnectionState::csOffline;
    case QNetworkInformation::Reachability::Unknown:
        return TConnectionState::csUnknown;
    default:
        return TConnectionState::csOnline;
    }
}

} // namespace zendo
