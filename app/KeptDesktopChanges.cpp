#include "app/KeptDesktopChanges.h"

#include <utility>

namespace orvi {

class KeptDesktopChanges::View final : public platform::DesktopChangeListener {
public:
    View(KeptDesktopChanges& kept, platform::SessionEnding sessionEnding) : kept_(kept) {
        kept_.viewEnding_ = std::move(sessionEnding);
    }
    ~View() override { kept_.viewEnding_ = nullptr; }
    View(const View&) = delete;
    View& operator=(const View&) = delete;

    platform::Notices waitMilliseconds(std::uint32_t milliseconds) override {
        return kept_.listener_->waitMilliseconds(milliseconds);
    }
    DWORD waitForObject(HANDLE object) override { return kept_.listener_->waitForObject(object); }
    bool sessionEnded() const override { return kept_.listener_->sessionEnded(); }

private:
    KeptDesktopChanges& kept_;
};

KeptDesktopChanges::KeptDesktopChanges(platform::DesktopChanges& changes, platform::SessionEnding ownEnding)
    : ownEnding_(std::move(ownEnding)),
      listener_(changes.listen([this](platform::Ending ending) { (viewEnding_ ? viewEnding_ : ownEnding_)(ending); })) {
}

std::unique_ptr<platform::DesktopChangeListener> KeptDesktopChanges::listen(
    const platform::SessionEnding& sessionEnding) {
    if (!listener_) {
        return nullptr;
    }
    return std::make_unique<View>(*this, sessionEnding);
}

}  // namespace orvi
