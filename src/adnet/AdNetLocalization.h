#pragma once

#include <string>

namespace adnet {

// The ad client's texts in the user's language, looked up with the English text as the key
// in gettext's "libadnet" domain; without a translation the English text itself. The
// catalogues are read from $ADNET_LOCALEDIR when set, else from share/locale beside the
// program's bin/ folder when it holds ours (an installed program), else from share/locale
// relative to the shared library libadnet.so (an installed library in another host), else
// from the build tree's "locale" folder, else from the configured installation's. As with
// any gettext program, the application must have called setlocale() for LANGUAGE or
// LC_MESSAGES to count.
std::string localizedString(const char* english);

// The folder holding <lang>/LC_MESSAGES/libadnet.mo.
const std::string& localeDirectory();

} // namespace adnet
