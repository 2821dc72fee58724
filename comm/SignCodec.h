#pragma once
// Former home of the sign's side of the frame codec; both sides now live in comm/FrameCodec.h.
// Kept so that existing includes and signcodec:: names go on working.

#include "comm/FrameCodec.h"

namespace signcodec = framecodec;
