// SPDX-License-Identifier: GPL-3.0-or-later
// Row sharing for the warp engine: the program's one pool of row bands lives in the platform
// layer (platform/rows.h), so that the imaging library below this layer shares the same threads
// when it converts the colours of an opened picture.
#pragma once

#include "platform/rows.h"

namespace warp {

using platform::ForEachRowBand;
using platform::OnRowHelper;
using platform::RowThreads;
using platform::TBandFn;

} // namespace warp
