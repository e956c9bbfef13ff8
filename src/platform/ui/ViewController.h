#pragma once

#include <memory>

#include "platform/ui/View.h"

namespace platform {

// Owns one view, made on first use: set from an interface description, or by loadView().
class ViewController : public Responder {
public:
    static std::shared_ptr<ViewController> create();

    // Loads the view when it is not there yet.
    std::shared_ptr<View> view();
    void setView(std::shared_ptr<View> view);
    bool isViewLoaded() const { return m_view != nullptr; }

    // Makes the view when none was set: a plain view filling the application frame.
    virtual void loadView();
    virtual void viewDidLoad() { }
    virtual void didReceiveMemoryWarning() { }

    Responder* nextResponder() const override;

protected:
    ViewController() = default;

private:
    std::shared_ptr<View> m_view;
};

} // namespace platform
