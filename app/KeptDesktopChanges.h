// One listener for the whole run, which every wait of the run shares: a watch listens also during its
// passes, so that no notice between two waits is lost.
#pragma once

#include "platform/DesktopChanges.h"

#include <memory>

namespace orvi {

class KeptDesktopChanges final : public platform::DesktopChanges {
public:
    // Starts listening to `changes` at once. When the run is told to end, the SessionEnding given to the
    // listen() whose view exists then is called, otherwise `ownEnding`.
    KeptDesktopChanges(platform::DesktopChanges& changes, platform::SessionEnding ownEnding);

    // A view of the one listener, null when `changes` could not listen; ending the view goes on listening.
    std::unique_ptr<platform::DesktopChangeListener> listen(const platform::SessionEnding& sessionEnding) override;

    // The one listener; null when `changes` could not listen.
    platform::DesktopChangeListener* listener() const { return listener_.get(); }

private:
    class View;

    platform::SessionEnding ownEnding_;
    platform::SessionEnding viewEnding_;  // the SessionEnding of the view that exists now, if any
    std::unique_ptr<platform::DesktopChangeListener> listener_;
};

}  // namespace orvi
