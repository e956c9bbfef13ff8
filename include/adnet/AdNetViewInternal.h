#pragma once

#include <memory>

#include "adnet/AdNetView.h"

namespace adnet {

class AdNetController;

// The ad view actually handed to hosts: it owns the controller behind it, and only it does.
class AdNetViewInternal final : public AdNetView {
public:
    static std::shared_ptr<AdNetViewInternal> create(const platform::Rect& frame);
    ~AdNetViewInternal() override;

    const std::shared_ptr<AdNetController>& controller() const { return m_controller; }
    void setController(std::shared_ptr<AdNetController> controller) { m_controller = std::move(controller); }

private:
    explicit AdNetViewInternal(const platform::Rect& frame) : AdNetView(frame) { }

    std::shared_ptr<AdNetController> m_controller;
};

} // namespace adnet
