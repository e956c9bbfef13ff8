// A host application outside the tree, built against the installed libadnet with nothing
// but pkg-config: asks for a banner from an ad server that is not there and reports what
// its delegate heard.
#include <cstdio>
#include <memory>

#include "adnet/AdNetDelegate.h"
#include "adnet/AdNetView.h"
#include "platform/core/RunLoop.h"

namespace {

class Host final : public adnet::AdNetDelegate {
public:
    std::string publisherId() override { return "install-check"; }
    void didReceiveAd(adnet::AdNetView&) override { outcome = "received"; }
    void didFailToReceiveAd(adnet::AdNetView&) override { outcome = "failed"; }
    const char* outcome{"none"};
};

} // namespace

int main()
{
    auto loop = platform::RunLoop::createVirtual();
    platform::RunLoop::setMain(loop);
    auto host = std::make_shared<Host>();
    auto banner = adnet::AdNetView::requestAdWithDelegate(host);
    loop->runUntil([&] { return host->outcome[0] != 'n'; }, 30.0);
    const auto frame = banner->frame();
    std::printf("banner %gx%g at %g,%g; first ad %s\n", frame.width(), frame.height(), frame.x(), frame.y(),
                host->outcome);
    banner.reset();
    platform::RunLoop::setMain(nullptr);
    return 0;
}
