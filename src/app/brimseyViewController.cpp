#include "app/brimseyViewController.h"

namespace brimsey {

std::shared_ptr<brimseyViewController> brimseyViewController::create()
{
    return std::make_shared<brimseyViewController>();
}

void brimseyViewController::didReceiveMemoryWarning()
{
    platform::ViewController::didReceiveMemoryWarning();
}

} // namespace brimsey
