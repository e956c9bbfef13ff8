#pragma once

#include <memory>

#include "platform/ui/ViewController.h"

namespace brimsey {

// The window's root controller. Its view, with the game view inside it, comes from the
// interface description; it adds nothing of its own.
class brimseyViewController final : public platform::ViewController {
public:
    static std::shared_ptr<brimseyViewController> create();
    void didReceiveMemoryWarning() override;

    brimseyViewController() = default;
};

} // namespace brimsey
