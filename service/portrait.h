// Generated portraits: a pleasant, symmetric picture for every uid, encoded as JPEG, so the
// application's photo pipeline has real images to download from the service.
#pragma once

#include <string>

// The two pictures of a person: the "pic" (a 100 x 125 portrait of a mirrored block pattern on
// a soft gradient) and the "pic_square" (a 50 x 50 tile of rings and a diamond). Both take
// their colours and pattern from the uid, so they are the same every run. Answers the JPEG
// file's bytes, or "" when encoding fails.
std::string make_portrait_jpeg(const std::string& uid, bool square);
