// Raises "virelo.errors.UntypableText" for the error of typing or mapping `text`, with the
// characters' indices in the Python string.
#pragma once

#include <string_view>

#include "virelo/client/errors.h"

namespace virelo::python {

void raiseUntypable(const virelo::client::UntypableText& error, std::string_view text);

}  // namespace virelo::python
