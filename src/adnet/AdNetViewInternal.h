#pragma once

#include <memory>

#include "platform/ui/View.h"

namespace adnet {

class AdNetController;
class AdNetView;

// The banner itself, behind the host's AdNetView handle: it owns the controller, and only
// it does, and knows its handle without owning it.
class AdNetViewInternal final : public platform::View {
public:
    static std::shared_ptr<AdNetViewInternal> create(const platform::Rect& frame);
    ~AdNetViewInternal() override;

    const std::shared_ptr<AdNetController>& controller() const { return m_controller; }
    void setController(std::shared_ptr<AdNetController> controller) { m_controller = std::move(controller); }

    // Null once the host has let the handle go (the banner may still be on screen).
    std::shared_ptr<AdNetView> handle() const { return m_handle.lock(); }
    void setHandle(std::weak_ptr<AdNetView> handle) { m_handle = std::move(handle); }

private:
    explicit AdNetViewInternal(const platform::Rect& frame) : platform::View(frame) { }

    std::shared_ptr<AdNetController> m_controller;
    std::weak_ptr<AdNetView> m_handle;
};

} // namespace adnet
