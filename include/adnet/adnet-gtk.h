/* adnet-gtk.h: the one header a GTK 4 application includes to show AdNet banners. */
#pragma once

#include <adnet/adnet-banner.h>
