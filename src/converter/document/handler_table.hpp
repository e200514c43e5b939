// The DOM road's handler table: which handler converts each HandlerFamily.
#pragma once

#include "converter/walk/walk.hpp"

namespace tidewell {

const HandlerTable& dom_handler_table();

}  // namespace tidewell
